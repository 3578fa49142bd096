#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <set>
#include <sstream>
#include <unordered_map>

#include "exporter/host/GltfInterpolation.h"
#include "exporter/host/HostMaterials.h"
#include "exporter/host/SceneBuilder.h"
#include "exporter/host/SceneImport.h"
#include "exporter/host/VertexWeld.h"

// The builder's images, materials and meshes.

// Images stored in the file, in the importer's order, each under the name
// its bitmap maps report: the recorded file name, else "embedded<index>.<hint>".
void SceneBuilder::ReadImages() {
    s.images.assign(ai.mNumTextures, SceneImage());
    for (unsigned i = 0; i < ai.mNumTextures; ++i) {
        const aiTexture* t = ai.mTextures[i];
        if (t == nullptr) continue;
        SceneImage& image = s.images[i];
        image.fileName = Str(t->mFilename);
        image.hint = std::string(t->achFormatHint, strnlen(t->achFormatHint, HINTMAXTEXTURELEN));
        image.hostName = image.fileName.empty() ? "embedded" + std::to_string(i) +
                                                      (image.hint.empty() ? "" : "." + image.hint)
                                                : image.fileName;
        std::replace(image.hostName.begin(), image.hostName.end(), '/', '\\');
        if (t->pcData == nullptr) continue;
        if (t->mHeight == 0) {
            const uint8_t* data = reinterpret_cast<const uint8_t*>(t->pcData);
            image.data.assign(data, data + t->mWidth);
        } else {
            image.width = t->mWidth;
            image.height = t->mHeight;
            image.texels.resize(size_t(t->mWidth) * t->mHeight);
            for (size_t k = 0; k < image.texels.size(); ++k) {
                const aiTexel& x = t->pcData[k];
                image.texels[k] =
                    (uint32_t(x.r) << 24) | (uint32_t(x.g) << 16) | (uint32_t(x.b) << 8) | x.a;
            }
        }
    }
}

void SceneBuilder::BuildMaterials() {
    struct Slot {
        aiTextureType type;
        int slot;
    };
    // Where each kind of file texture sits on a standard material; the first
    // type found fills a slot.
    static const Slot slots[] = {
        {aiTextureType_AMBIENT, ID_AM},        {aiTextureType_DIFFUSE, ID_DI},
        {aiTextureType_BASE_COLOR, ID_DI},     {aiTextureType_SPECULAR, ID_SP},
        {aiTextureType_SHININESS, ID_SH},      {aiTextureType_EMISSIVE, ID_SI},
        {aiTextureType_EMISSION_COLOR, ID_SI}, {aiTextureType_OPACITY, ID_OP},
        {aiTextureType_NORMALS, ID_BU},        {aiTextureType_HEIGHT, ID_BU},
        {aiTextureType_REFLECTION, ID_RL},     {aiTextureType_DISPLACEMENT, ID_DP},
    };
    for (unsigned i = 0; i < ai.mNumMaterials; ++i) {
        const aiMaterial* am = ai.mMaterials[i];
        aiString name;
        if (am) am->Get(AI_MATKEY_NAME, name);
        auto mtl = std::make_unique<HostStdMat>(Str(name));
        for (const Slot& sl : slots) {
            if (am == nullptr || mtl->maps[static_cast<size_t>(sl.slot)] != nullptr) continue;
            aiString texPath;
            if (am->GetTexture(sl.type, 0, &texPath) != AI_SUCCESS) continue;
            std::string p = Str(texPath);
            Texmap* map = nullptr;
            if (p.empty()) {
                s.maps.push_back(std::make_unique<HostProceduralTex>());
            } else {
                if (p[0] == '*') {  // texture stored inside the scene file
                    const long idx = std::strtol(p.c_str() + 1, nullptr, 10);
                    std::string file;
                    if (idx >= 0 && static_cast<unsigned long>(idx) < s.images.size())
                        file = s.images[static_cast<size_t>(idx)].hostName;
                    if (!file.empty()) p = file;
                } else if (s.format.find("glTF") != std::string::npos) {
                    p = DecodeUri(p);  // glTF names its images by URI
                }
                // The package keeps paths in its own (backslash) form.
                std::replace(p.begin(), p.end(), '/', '\\');
                s.maps.push_back(std::make_unique<HostBitmapTex>(p));
            }
            map = s.maps.back().get();
            mtl->maps[static_cast<size_t>(sl.slot)] = map;
            // A map blended in at strength 0 is a map switched off.
            float blend = 1.0f;
            if (am->Get(AI_MATKEY_TEXBLEND(sl.type, 0), blend) == AI_SUCCESS && blend == 0.0f)
                mtl->enabled[static_cast<size_t>(sl.slot)] = FALSE;
        }
        aiMaterials.push_back(mtl.get());
        s.materials.push_back(std::move(mtl));
    }
}

Mtl* SceneBuilder::NodeMaterial(const std::vector<unsigned>& mats, const std::string& nodeName) {
    if (mats.empty()) return nullptr;
    if (mats.size() == 1) return mats[0] < aiMaterials.size() ? aiMaterials[mats[0]] : nullptr;
    auto it = multis.find(mats);
    if (it != multis.end()) return it->second;
    auto multi = std::make_unique<HostMultiMtl>(nodeName + " materials");
    for (unsigned m : mats)
        multi->subs.push_back(m < aiMaterials.size() ? aiMaterials[m] : nullptr);
    Mtl* result = multi.get();
    s.materials.push_back(std::move(multi));
    multis.emplace(mats, result);
    return result;
}

// One triangle mesh from all meshes of a node. Positions are welded by exact
// equality, in corner order, together with their skin weights and morph
// offsets (so welded vertices move together at every tick); texture
// coordinates are welded separately into texture vertices with texture
// faces beside the faces. The result is the same at every tick.
void SceneBuilder::BuildMesh(HostNode* node, const aiNode* an) {
    HostMeshObject* obj = node->meshObject;
    if (obj == nullptr) return;
    Mesh& mesh = obj->rest;
    MeshDeformation& def = obj->deform;

    std::vector<unsigned> matOrder;
    size_t faceCount = 0;
    bool anyUV = false;
    int targetCount = 0;
    for (unsigned m = 0; m < an->mNumMeshes; ++m) {
        const unsigned mi = an->mMeshes[m];
        if (mi >= ai.mNumMeshes) continue;
        const aiMesh* am = ai.mMeshes[mi];
        if (std::find(matOrder.begin(), matOrder.end(), am->mMaterialIndex) == matOrder.end())
            matOrder.push_back(am->mMaterialIndex);
        if (am->mTextureCoords[0]) anyUV = true;
        targetCount = std::max(targetCount, static_cast<int>(am->mNumAnimMeshes));
        faceCount += am->mNumFaces;
    }
    node->material = NodeMaterial(matOrder, node->name);

    std::vector<Point3> verts;
    std::vector<Point3> tverts;
    std::vector<TVFace> tvfaces;
    // Faces go straight into the mesh: room for all, cut to those kept.
    mesh.setNumFaces(static_cast<int>(std::min<size_t>(faceCount, INT_MAX)));
    size_t faceTotal = 0;
    if (anyUV) tvfaces.reserve(faceCount);
    VertexWeld weld;
    std::vector<uint32_t> key;                                 // the weld key of one vertex
    std::vector<Point3> vd(static_cast<size_t>(targetCount));  // its morph offsets
    std::unordered_map<uint64_t, DWORD> tvertIndex;
    std::vector<std::vector<std::pair<int, float>>> influences;
    std::vector<std::vector<Point3>> deltas(static_cast<size_t>(targetCount));
    std::vector<float> defaultWeights(static_cast<size_t>(targetCount), 0.0f);
    std::map<std::pair<HostNode*, std::string>, int> bindingIndex;
    bool nonFinite = false, badFaces = false, unknownBones = false;
    size_t skipped = 0;

    const Matrix3& E = s.frame;
    const Matrix3& Einv = s.frameInverse;

    for (unsigned m = 0; m < an->mNumMeshes; ++m) {
        const unsigned mi = an->mMeshes[m];
        if (mi >= ai.mNumMeshes) continue;
        const aiMesh* am = ai.mMeshes[mi];
        const unsigned nv = am->mNumVertices;
        if (am->mVertices == nullptr) continue;
        const unsigned short matId = static_cast<unsigned short>(
            std::find(matOrder.begin(), matOrder.end(), am->mMaterialIndex) - matOrder.begin());

        // Per-vertex skin of this mesh.
        std::vector<std::vector<std::pair<int, float>>> skin(am->mNumBones ? nv : 0);
        for (unsigned b = 0; b < am->mNumBones; ++b) {
            const aiBone* bone = am->mBones[b];
            if (bone == nullptr) continue;
            auto resolved = boneNodes.find({node, bone});
            HostNode* boneNode = resolved == boneNodes.end() ? nullptr : resolved->second;
            if (boneNode == nullptr) {
                unknownBones = true;
                continue;
            }
            const Matrix3 offset = Einv * FromAi(bone->mOffsetMatrix) * E;
            std::string offsetKey;
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 3; ++c) AppendBits(offsetKey, KeyBits(offset.GetRow(r)[c]));
            auto [it, added] = bindingIndex.emplace(std::make_pair(boneNode, offsetKey),
                                                    static_cast<int>(def.bindings.size()));
            if (added) def.bindings.push_back({boneNode, offset});
            const int binding = it->second;
            for (unsigned w = 0; w < bone->mNumWeights; ++w) {
                const aiVertexWeight& vw = bone->mWeights[w];
                if (vw.mVertexId >= nv || !(vw.mWeight > 0.0f) || !std::isfinite(vw.mWeight))
                    continue;
                auto& list = skin[vw.mVertexId];
                auto found = std::find_if(list.begin(), list.end(),
                                          [&](const auto& e) { return e.first == binding; });
                if (found != list.end())
                    found->second += vw.mWeight;
                else
                    list.emplace_back(binding, vw.mWeight);
            }
        }
        if (am->mNumBones) def.skinned = true;
        for (auto& list : skin) std::sort(list.begin(), list.end());
        for (unsigned k = 0; k < am->mNumAnimMeshes; ++k)
            if (am->mAnimMeshes[k]) defaultWeights[k] = am->mAnimMeshes[k]->mWeight;

        auto position = [&](unsigned v) {
            aiVector3D p = am->mVertices[v];
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
                nonFinite = true;
                if (!std::isfinite(p.x)) p.x = 0;
                if (!std::isfinite(p.y)) p.y = 0;
                if (!std::isfinite(p.z)) p.z = 0;
            }
            return p;
        };

        // The vertex (and texture vertex) each mesh vertex welded to: the key
        // of a mesh vertex is the same at every corner that uses it.
        std::vector<int64_t> welded(nv, -1), tWelded(anyUV ? nv : 0, -1);
        auto weldVertex = [&](unsigned v) {
            const aiVector3D p = position(v);
            key.clear();
            key.push_back(KeyBits(p.x));
            key.push_back(KeyBits(p.y));
            key.push_back(KeyBits(p.z));
            if (!skin.empty()) {
                key.push_back(static_cast<uint32_t>(skin[v].size()));
                for (const auto& [bi, w] : skin[v]) {
                    key.push_back(static_cast<uint32_t>(bi));
                    key.push_back(KeyBits(w));
                }
            }
            std::fill(vd.begin(), vd.end(), Point3());
            for (unsigned k = 0; k < am->mNumAnimMeshes; ++k) {
                const aiAnimMesh* amesh = am->mAnimMeshes[k];
                if (amesh && amesh->mVertices && v < amesh->mNumVertices) {
                    const aiVector3D d = amesh->mVertices[v] - am->mVertices[v];
                    if (std::isfinite(d.x) && std::isfinite(d.y) && std::isfinite(d.z))
                        vd[k] = VectorTransform(E, Point3(d.x, d.y, d.z));
                }
            }
            for (const Point3& d : vd) {
                key.push_back(KeyBits(d.x));
                key.push_back(KeyBits(d.y));
                key.push_back(KeyBits(d.z));
            }
            bool added = false;
            const uint32_t index = weld.FindOrAdd(key.data(), key.size(), added);
            if (added) {
                verts.push_back(Point3(p.x, p.y, p.z) * E);
                std::vector<std::pair<int, float>> infl =
                    skin.empty() ? std::vector<std::pair<int, float>>() : skin[v];
                double sum = 0;
                for (const auto& e : infl) sum += e.second;
                for (auto& e : infl) e.second = static_cast<float>(e.second / sum);
                influences.push_back(std::move(infl));
                for (int k = 0; k < targetCount; ++k)
                    deltas[static_cast<size_t>(k)].push_back(vd[static_cast<size_t>(k)]);
            }
            return index;
        };
        auto weldTexture = [&](unsigned v) {
            float u = 0, w = 0;
            if (am->mTextureCoords[0]) {
                u = am->mTextureCoords[0][v].x;
                w = am->mTextureCoords[0][v].y;
            }
            const uint64_t tkey = (uint64_t(KeyBits(u)) << 32) | KeyBits(w);
            auto [tit, tadded] = tvertIndex.emplace(tkey, static_cast<DWORD>(tverts.size()));
            if (tadded) tverts.push_back(Point3(u, w, 0.0f));
            return tit->second;
        };

        for (unsigned f = 0; f < am->mNumFaces; ++f) {
            const aiFace& face = am->mFaces[f];
            if (face.mNumIndices != 3 || face.mIndices == nullptr) {
                ++skipped;
                continue;
            }
            if (face.mIndices[0] >= nv || face.mIndices[1] >= nv || face.mIndices[2] >= nv) {
                badFaces = true;
                continue;
            }
            Face out;
            TVFace tout;
            out.setMatID(matId);
            out.smGroup = 1;
            for (int c = 0; c < 3; ++c) {
                const unsigned v = face.mIndices[c];
                if (welded[v] < 0) welded[v] = weldVertex(v);
                out.v[c] = static_cast<DWORD>(welded[v]);
                if (anyUV) {
                    if (tWelded[v] < 0) tWelded[v] = static_cast<int64_t>(weldTexture(v));
                    tout.t[c] = static_cast<DWORD>(tWelded[v]);
                }
            }
            if (faceTotal < static_cast<size_t>(mesh.numFaces)) mesh.faces[faceTotal++] = out;
            if (anyUV) tvfaces.push_back(tout);
        }
    }
    if (nonFinite)
        s.warnings.push_back("node '" + node->name +
                             "': non-finite vertex coordinates were set to 0");
    if (badFaces)
        s.warnings.push_back("node '" + node->name +
                             "': faces with vertex indices out of range were left out");
    if (unknownBones)
        s.warnings.push_back("node '" + node->name + "': skin bones without a node were left out");
    (void)skipped;  // points and lines are not part of a triangle mesh

    mesh.setNumVerts(static_cast<int>(verts.size()));
    for (size_t i = 0; i < verts.size(); ++i) mesh.verts[i] = verts[i];
    mesh.setNumFaces(static_cast<int>(faceTotal));
    mesh.setNumTVerts(static_cast<int>(tverts.size()));
    for (size_t i = 0; i < tverts.size(); ++i) mesh.tVerts[i] = tverts[i];
    for (size_t i = 0; i < tvfaces.size() && mesh.numTVerts > 0; ++i) mesh.tvFace[i] = tvfaces[i];

    if (def.skinned) def.influences = std::move(influences);
    if (targetCount > 0) {
        def.morphDeltas = std::move(deltas);
        def.defaultWeights = defaultWeights;
        auto mt = s.morphTracks.find(node);
        if (mt != s.morphTracks.end() && !mt->second.empty()) def.morphKeys = &mt->second;
        if (s.steppedMorphs.count(node)) def.morphMode = KeyInterpolation::Step;
    }

    bool deforming = false;
    if (def.skinned) {
        for (const SkinBinding& b : def.bindings)
            if (b.bone->MovesInScene()) deforming = true;
        // Skinned vertices are kept in world space: those without weights
        // move with their node.
        if (node->MovesInScene())
            for (const auto& infl : def.influences)
                if (infl.empty()) deforming = true;
    }
    if (def.morphKeys && def.morphKeys->size() > 1) {
        const std::vector<float> first = SampleMorph(*def.morphKeys, def.morphKeys->front().time,
                                                     targetCount, KeyInterpolation::Linear);
        for (const MorphKey& k : *def.morphKeys)
            if (SampleMorph(*def.morphKeys, k.time, targetCount, KeyInterpolation::Linear) != first)
                deforming = true;
    }
    obj->deforming = deforming;
}
