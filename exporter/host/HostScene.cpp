#include "exporter/host/HostScene.h"

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
#include "exporter/host/SceneImport.h"
#include "exporter/host/VertexWeld.h"

namespace {

// Assimp matrices take column vectors with the translation in a4/b4/c4; the
// SDK's take row vectors: the row-vector form is the transpose.
Matrix3 FromAi(const aiMatrix4x4& m) {
    return Matrix3(Point3(m.a1, m.b1, m.c1), Point3(m.a2, m.b2, m.c2), Point3(m.a3, m.b3, m.c3),
                   Point3(m.a4, m.b4, m.c4));
}

// The turn from a file's axes to the package's: file axis `up` (times
// upSign) becomes z, axis `coord` (times coordSign) x, and the third axis
// follows as for a right-handed turn. Y up with x across: x stays, y becomes
// z, z becomes -y.
Matrix3 AxesToZUp(int up, float upSign, int coord, float coordSign) {
    Point3 rows[3];
    rows[up] = Point3(0.0f, 0.0f, upSign);
    rows[coord] = Point3(coordSign, 0.0f, 0.0f);
    const int third = 3 - up - coord;
    rows[third] = CrossProd(rows[(third + 1) % 3], rows[(third + 2) % 3]);
    return Matrix3(rows[0], rows[1], rows[2], Point3(0.0f, 0.0f, 0.0f));
}

// Bits of a float for exact comparison and hashing: -0 equals 0, every NaN
// equals every other.
uint32_t KeyBits(float f) {
    if (std::isnan(f)) return 0x7fc00000u;
    if (f == 0.0f) return 0u;
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

void AppendBits(std::string& key, uint32_t v) {
    key.append(reinterpret_cast<const char*>(&v), sizeof v);
}

bool IsBipedName(const std::string& name) {
    if (name.size() < 4 || name.compare(0, 3, "Bip") != 0) return false;
    size_t i = 3;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9') ++i;
    return i > 3 && (i == name.size() || name[i] == ' ');
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

double FbxFrameRate(int mode, double custom) {
    switch (mode) {
        case 1:
            return 120;
        case 2:
            return 100;
        case 3:
            return 60;
        case 4:
            return 50;
        case 5:
            return 48;
        case 6:
        case 7:
            return 30;
        case 8:
        case 9:
            return 29.97;
        case 10:
            return 25;
        case 11:
            return 24;
        case 12:
            return 1000;
        case 13:
            return 23.976;
        case 14:
            return custom > 0 ? custom : 30;
        case 15:
            return 96;
        case 16:
            return 72;
        case 17:
            return 59.94;
        case 18:
            return 119.88;
        default:
            return 30;
    }
}

// True when m's 3x3 part is a rotation times a positive uniform scale and it
// has no translation: a change of frame rather than a placement.
bool IsFrameChange(const Matrix3& m) {
    if (m.GetTrans().LengthSquared() > 1e-12f) return false;
    const Point3 r0 = m.GetRow(0), r1 = m.GetRow(1), r2 = m.GetRow(2);
    const float l0 = r0.Length(), l1 = r1.Length(), l2 = r2.Length();
    if (!(l0 > 1e-6f)) return false;
    const float tol = 1e-4f * l0;
    if (std::fabs(l0 - l1) > tol || std::fabs(l0 - l2) > tol) return false;
    if (std::fabs(DotProd(r0, r1)) > tol * l0 || std::fabs(DotProd(r0, r2)) > tol * l0 ||
        std::fabs(DotProd(r1, r2)) > tol * l0)
        return false;
    return m.Determinant() > 0;
}

Matrix3 WithoutScale(const Matrix3& m) {
    Matrix3 out = m;
    for (int r = 0; r < 3; ++r) out.SetRow(r, m.GetRow(r).Normalize());
    return out;
}

std::string Str(const aiString& s) {
    return std::string(s.C_Str(), s.length);
}

}  // namespace

namespace {
struct LengthUnit {
    const char* name;
    double metres;
};
const LengthUnit kLengthUnits[] = {
    {"m", 1.0}, {"cm", 0.01}, {"mm", 0.001}, {"in", 0.0254}, {"ft", 0.3048}};
}  // namespace

double LengthUnitMetres(const std::string& name) {
    for (const LengthUnit& u : kLengthUnits)
        if (name == u.name) return u.metres;
    return 0.0;
}

std::string DescribeLengthUnit(double metres) {
    for (const LengthUnit& u : kLengthUnits)
        if (std::fabs(metres - u.metres) <= 1e-6 * u.metres) return u.name;
    std::ostringstream text;
    text << "1 unit = " << metres << " m";
    return text.str();
}

const char* NodeKindName(NodeKind kind) {
    switch (kind) {
        case NodeKind::Root:
            return "root";
        case NodeKind::Mesh:
            return "mesh";
        case NodeKind::Joint:
            return "joint";
        case NodeKind::Camera:
            return "camera";
        case NodeKind::Light:
            return "light";
        case NodeKind::Target:
            return "target";
        case NodeKind::Helper:
            return "helper";
    }
    return "?";
}

// ------------------------------------------------------------------ HostNode
HostNode::HostNode(HostScene* scene, HostNode* parent, std::string name)
    : scene(scene), parent(parent), name(std::move(name)) {}

INode* HostNode::GetChildNode(int i) {
    return i >= 0 && i < NumberOfChildren() ? children[static_cast<size_t>(i)] : nullptr;
}

bool HostNode::MovesInScene() const {
    for (const HostNode* n = this; n != nullptr; n = n->parent)
        if (n->HasTransformKeys()) return true;
    return false;
}

Matrix3 HostNode::LocalTM(TimeValue t) {
    if (parent == nullptr) return Matrix3(1);
    Matrix3 local;
    if (track.Empty()) {
        local = restLocal;
    } else {
        const double time = t;
        const Point3 pos = track.position.empty()
                               ? restTranslation
                               : SampleVec(track.position, time, track.positionMode);
        const Quat rot = track.rotation.empty()
                             ? restRotation
                             : SampleRot(track.rotation, time, track.rotationMode);
        const Point3 scl =
            track.scale.empty() ? restScale : SampleVec(track.scale, time, track.scaleMode);
        local = ComposeTransform(pos, rot, scl);
    }
    return scene->frameInverse * local * scene->frame;
}

Matrix3 HostNode::GetNodeTM(TimeValue t, Interval* valid) {
    if (valid) *valid = MovesInScene() ? Interval(t, t) : FOREVER;
    if (parent == nullptr) return Matrix3(1);
    if (worldCached && worldCachedAt == t) return worldCache;
    worldCache = LocalTM(t) * parent->GetNodeTM(t);
    worldCached = true;
    worldCachedAt = t;
    return worldCache;
}

Matrix3 HostNode::GetParentTM(TimeValue t) {
    return parent ? parent->GetNodeTM(t) : Matrix3(1);
}

Matrix3 HostNode::GetObjTMAfterWSM(TimeValue t, Interval* valid) {
    if (meshObject != nullptr && meshObject->deform.skinned) {
        if (valid) *valid = FOREVER;
        return Matrix3(1);
    }
    return GetNodeTM(t, valid);
}

const ObjectState& HostNode::EvalWorldState(TimeValue t, BOOL) {
    state.obj = object.get();
    if (meshObject) meshObject->Evaluate(t);
    return state;
}

// ------------------------------------------------------------ HostMeshObject
Interval HostMeshObject::ObjectValidity(TimeValue t) {
    return deforming ? Interval(t, t) : FOREVER;
}

Object* HostMeshObject::ConvertToType(TimeValue t, Class_ID obtype) {
    if (!CanConvertToType(obtype)) return nullptr;
    Evaluate(t);
    return this;
}

namespace {
// p * m (the SDK's point transform, in double), here where the skinning loop
// can inline it.
inline Point3 TransformedPoint(const Point3& p, const Matrix3& m) {
    const Point3 r0 = m.GetRow(0), r1 = m.GetRow(1), r2 = m.GetRow(2), r3 = m.GetRow(3);
    return Point3(double(p.x) * r0.x + double(p.y) * r1.x + double(p.z) * r2.x + r3.x,
                  double(p.x) * r0.y + double(p.y) * r1.y + double(p.z) * r2.y + r3.y,
                  double(p.x) * r0.z + double(p.y) * r1.z + double(p.z) * r2.z + r3.z);
}
}  // namespace

void HostMeshObject::Evaluate(TimeValue t) {
    if (evaluated && (!deforming || evaluatedAt == t)) return;
    if (!evaluated) mesh = rest;
    evaluated = true;
    evaluatedAt = t;

    // Computed in place in the evaluated mesh, which has the rest mesh's size.
    const int n = rest.numVerts;
    Point3* pos = mesh.verts;
    std::copy(rest.verts, rest.verts + n, pos);
    // Morph targets, in object space.
    const int targets = static_cast<int>(deform.morphDeltas.size());
    if (targets > 0) {
        const std::vector<float> weights =
            deform.morphKeys ? SampleMorph(*deform.morphKeys, t, targets, deform.morphMode)
                             : deform.defaultWeights;
        for (int k = 0; k < targets; ++k) {
            const float w = weights[static_cast<size_t>(k)];
            if (w == 0.0f) continue;
            const std::vector<Point3>& d = deform.morphDeltas[static_cast<size_t>(k)];
            for (int i = 0; i < n; ++i)
                pos[static_cast<size_t>(i)] += d[static_cast<size_t>(i)] * w;
        }
    }
    // Skin: linear blend of the bones' transforms, into world space; vertices
    // without weights follow their node.
    if (deform.skinned) {
        std::vector<Matrix3> boneTM;
        boneTM.reserve(deform.bindings.size());
        for (const SkinBinding& b : deform.bindings)
            boneTM.push_back(b.offset * b.bone->GetNodeTM(t));
        const Matrix3 nodeTM = node->GetNodeTM(t);
        if (influenceStart.empty()) {
            influenceStart.reserve(deform.influences.size() + 1);
            influenceStart.push_back(0);
            for (const auto& infl : deform.influences) {
                influenceList.insert(influenceList.end(), infl.begin(), infl.end());
                influenceStart.push_back(influenceList.size());
            }
        }
        for (int i = 0; i < n && static_cast<size_t>(i) + 1 < influenceStart.size(); ++i) {
            const std::pair<int, float>* first =
                influenceList.data() + influenceStart[static_cast<size_t>(i)];
            const std::pair<int, float>* last =
                influenceList.data() + influenceStart[static_cast<size_t>(i) + 1];
            const Point3 p = pos[static_cast<size_t>(i)];
            if (first == last) {
                pos[static_cast<size_t>(i)] = p * nodeTM;
                continue;
            }
            double acc[3] = {0, 0, 0};
            for (const auto* it = first; it != last; ++it) {
                const auto& [binding, weight] = *it;
                const Point3 q = TransformedPoint(p, boneTM[static_cast<size_t>(binding)]);
                acc[0] += double(q.x) * weight;
                acc[1] += double(q.y) * weight;
                acc[2] += double(q.z) * weight;
            }
            pos[static_cast<size_t>(i)] = Point3(acc[0], acc[1], acc[2]);
        }
    }
}

// ---------------------------------------------------------------- building
class SceneBuilder {
public:
    SceneBuilder(HostScene& scene, const aiScene& ai, std::string path, const SceneSize& size)
        : s(scene), ai(ai), path(std::move(path)), size(size) {}
    bool Build(const std::string& animation, std::string& error);

private:
    // An animation as a clip: the nodes it drives and the ticks it spans.
    struct Candidate {
        std::string name;
        const aiAnimation* ai = nullptr;      // importer's animation, or
        const GltfAnimation* gltf = nullptr;  // the file's own
        std::set<HostNode*> driven;
        double low = std::numeric_limits<double>::infinity(), high = -low;
    };

    void ReadFrameRate();
    void DecideFrame();
    double ReadDeclaredUnit();
    HostNode* AddNode(const aiNode* an, HostNode* parent);
    void ReadGltf();
    void ResolveBones();
    HostNode* ChannelNode(const std::string& name, const std::string& animation);
    bool ChooseAnimations(const std::string& animation, std::string& error);
    void ReadAnimations();
    void ReadImportedAnimation(const aiAnimation* anim);
    void TakeGltfAnimation(const GltfAnimation& anim);
    void ClassifyNodes();
    void ReadImages();
    void BuildMaterials();
    Mtl* NodeMaterial(const std::vector<unsigned>& meshIndices, const std::string& nodeName);
    void BuildMesh(HostNode* node, const aiNode* an);
    HostNode* NodeByName(const std::string& name) {
        auto it = byName.find(name);
        return it == byName.end() ? nullptr : it->second.front();
    }
    const std::vector<HostNode*>& NodesByName(const std::string& name) {
        static const std::vector<HostNode*> none;
        auto it = byName.find(name);
        return it == byName.end() ? none : it->second;
    }
    double ToTicks(double keyTime, double tps) const {
        const double seconds = tps > 0 ? keyTime / tps : keyTime / s.frameRate;
        return seconds * TIME_TICKSPERSEC;
    }
    void Extend(double ticks) {
        if (!std::isfinite(ticks)) return;
        rangeMin = std::min(rangeMin, ticks);
        rangeMax = std::max(rangeMax, ticks);
        haveKeys = true;
    }

    HostScene& s;
    const aiScene& ai;
    std::vector<Candidate> candidates;
    std::vector<const Candidate*> taken;
    std::string path;
    SceneSize size;
    std::set<std::string> animatedNames;
    bool foldRoot = false;
    GltfFileAnimation gltf;
    bool gltfMatched = false;  // the file's nodes are the scene's, in depth-first order
    std::unordered_map<std::string, std::vector<HostNode*>>
        byName;                                         // nodes of each name, depth-first
    std::unordered_map<const HostNode*, int> position;  // depth-first position
    std::map<std::pair<const HostNode*, const aiBone*>, HostNode*> boneNodes;  // per mesh node
    std::vector<std::pair<HostNode*, const aiNode*>> order;                    // depth-first
    std::vector<Mtl*> aiMaterials;                                             // per aiMaterial
    std::map<std::vector<unsigned>, Mtl*> multis;
    double rangeMin = std::numeric_limits<double>::infinity();
    double rangeMax = -std::numeric_limits<double>::infinity();
    bool haveKeys = false;
};

void SceneBuilder::ReadFrameRate() {
    s.frameRate = 30.0;
    const aiMetadata* md = ai.mMetaData;
    if (md == nullptr) return;
    int32_t mode = 0;
    float custom = -1.0f;
    if (md->Get("FrameRate", mode)) {
        md->Get("CustomFrameRate", custom);
        s.frameRate = FbxFrameRate(mode, custom);
    }
}

// Several animations in one file: a file that holds one animation per object
// gives disjoint channels, which play together on one timeline; animations
// that drive nodes already driven by an earlier one are alternative takes,
// and only the first of them is played unless another is chosen by name.
bool SceneBuilder::ChooseAnimations(const std::string& animation, std::string& error) {
    auto extend = [](Candidate& c, double ticks) {
        if (!std::isfinite(ticks)) return;
        c.low = std::min(c.low, ticks);
        c.high = std::max(c.high, ticks);
    };
    std::vector<HostNode*> dfs;
    for (auto& [node, an] : order) dfs.push_back(node);
    if (gltfMatched) {
        for (const GltfAnimation& anim : gltf.animations) {
            // glTF animations play from time 0, as the importer and players take them.
            Candidate c;
            c.name = anim.name;
            c.gltf = &anim;
            extend(c, 0.0);
            for (const GltfChannel& ch : anim.channels) {
                c.driven.insert(dfs[static_cast<size_t>(ch.node)]);
                for (float t : ch.times) extend(c, double(t) * TIME_TICKSPERSEC);
            }
            candidates.push_back(std::move(c));
        }
    } else {
        for (unsigned a = 0; a < ai.mNumAnimations; ++a) {
            const aiAnimation* anim = ai.mAnimations[a];
            if (anim == nullptr) continue;
            Candidate c;
            c.name = Str(anim->mName);
            c.ai = anim;
            const double tps = anim->mTicksPerSecond;
            for (unsigned k = 0; k < anim->mNumChannels; ++k) {
                const aiNodeAnim* ch = anim->mChannels[k];
                if (ch == nullptr) continue;
                if (HostNode* n = NodeByName(Str(ch->mNodeName))) c.driven.insert(n);
                for (unsigned i = 0; i < ch->mNumPositionKeys; ++i)
                    extend(c, ToTicks(ch->mPositionKeys[i].mTime, tps));
                for (unsigned i = 0; i < ch->mNumRotationKeys; ++i)
                    extend(c, ToTicks(ch->mRotationKeys[i].mTime, tps));
                for (unsigned i = 0; i < ch->mNumScalingKeys; ++i)
                    extend(c, ToTicks(ch->mScalingKeys[i].mTime, tps));
            }
            for (unsigned k = 0; k < anim->mNumMorphMeshChannels; ++k) {
                const aiMeshMorphAnim* ch = anim->mMorphMeshChannels[k];
                if (ch == nullptr) continue;
                if (HostNode* n = NodeByName(Str(ch->mName))) c.driven.insert(n);
                for (unsigned i = 0; i < ch->mNumKeys; ++i)
                    extend(c, ToTicks(ch->mKeys[i].mTime, tps));
            }
            candidates.push_back(std::move(c));
        }
    }
    for (size_t i = 0; i < candidates.size(); ++i)
        if (candidates[i].name.empty()) candidates[i].name = "animation " + std::to_string(i + 1);

    if (!animation.empty()) {
        const Candidate* chosen = nullptr;
        for (const Candidate& c : candidates)
            if (c.name == animation && chosen == nullptr) chosen = &c;
        if (chosen == nullptr) {
            char* end = nullptr;
            const long number = std::strtol(animation.c_str(), &end, 10);
            if (end && *end == '\0' && number >= 1 &&
                static_cast<size_t>(number) <= candidates.size())
                chosen = &candidates[static_cast<size_t>(number - 1)];
        }
        if (chosen == nullptr) {
            std::string names;
            for (const Candidate& c : candidates)
                names += (names.empty() ? "'" : ", '") + c.name + "'";
            error = "no animation named '" + animation + "' in '" + path +
                    "'; its animations are " + (names.empty() ? std::string("none") : names);
            return false;
        }
        taken.push_back(chosen);
        return true;
    }
    std::set<HostNode*> driven;
    for (const Candidate& c : candidates) {
        bool clash = false;
        for (HostNode* n : c.driven)
            if (driven.count(n)) clash = true;
        if (clash) {
            s.warnings.push_back(
                "animation '" + c.name +
                "' drives nodes of an earlier animation; only the first is played");
            continue;
        }
        taken.push_back(&c);
        driven.insert(c.driven.begin(), c.driven.end());
    }
    return true;
}

void SceneBuilder::DecideFrame() {
    for (unsigned a = 0; a < ai.mNumAnimations; ++a) {
        const aiAnimation* anim = ai.mAnimations[a];
        if (anim == nullptr) continue;
        for (unsigned c = 0; c < anim->mNumChannels; ++c)
            if (anim->mChannels[c]) animatedNames.insert(Str(anim->mChannels[c]->mNodeName));
    }
    // Files are y up unless an FBX file says otherwise: its up axis (with
    // its sign) becomes z, its coordinate axis x.
    int32_t up = 1, upSign = 1, coord = 0, coordSign = 1;
    if (s.format.find("FBX") != std::string::npos && ai.mMetaData) {
        ai.mMetaData->Get("UpAxis", up);
        ai.mMetaData->Get("UpAxisSign", upSign);
        ai.mMetaData->Get("CoordAxis", coord);
        ai.mMetaData->Get("CoordAxisSign", coordSign);
        if (up < 0 || up > 2) up = 1;
        if (coord < 0 || coord > 2) coord = 0;
        if (coord == up) coord = (up + 1) % 3;
    }
    const Matrix3 c = AxesToZUp(up, upSign < 0 ? -1.0f : 1.0f, coord, coordSign < 0 ? -1.0f : 1.0f);
    s.turnedUpright = !(up == 2 && upSign >= 0 && coord == 0 && coordSign >= 0);
    s.upAxis = std::string(upSign < 0 ? "-" : "") + "xyz"[up];

    // The file's root node is the scene's root when it only changes the frame
    // (rotation and uniform scale, no geometry, no keys); its frame change is
    // then folded into the conversion. Otherwise it is a node of its own.
    const aiNode* r = ai.mRootNode;
    const Matrix3 rootTM = FromAi(r->mTransformation);
    // A glTF file with a single top node has that node as its root: it is a
    // node of the scene, unlike the importer's own "ROOT".
    const std::string rootName = Str(r->mName);
    bool userNode =
        IsBipedName(rootName) || (s.format.find("glTF") != std::string::npos && rootName != "ROOT");
    for (unsigned m = 0; m < ai.mNumMeshes && !userNode; ++m)
        for (unsigned b = 0; b < ai.mMeshes[m]->mNumBones; ++b)
            if (ai.mMeshes[m]->mBones[b] && Str(ai.mMeshes[m]->mBones[b]->mName) == rootName)
                userNode = true;
    foldRoot = r->mNumMeshes == 0 && !userNode && animatedNames.count(rootName) == 0 &&
               IsFrameChange(rootTM);

    // Resizing is part of the change of frame: positions, translations and
    // offsets are all carried through it, rotations are not touched.
    double metresPerNumber = ReadDeclaredUnit();
    // The importer sizes a COLLADA scene to metres in its root node; a root
    // that stays a node of its own keeps that size.
    if (!foldRoot && s.format.find("Collada") != std::string::npos && s.declaredMetres > 0)
        metresPerNumber = 1.0;
    double factor = size.factor;
    if (size.unitMetres > 0) {
        if (metresPerNumber > 0)
            factor *= metresPerNumber / size.unitMetres;
        else
            s.warnings.push_back("'" + path +
                                 "' declares no unit; its numbers are taken as they are");
    }
    s.presentedScale = factor;
    const float f = static_cast<float>(factor);
    const Matrix3 scale(Point3(f, 0.0f, 0.0f), Point3(0.0f, f, 0.0f), Point3(0.0f, 0.0f, f),
                        Point3(0.0f, 0.0f, 0.0f));
    s.frame = (foldRoot ? WithoutScale(rootTM) * c : c) * scale;
    s.frameInverse = Inverse(s.frame);
}

// The unit the file declares, kept in the scene; returns metres per number
// of the file (0 when the file declares no unit).
double SceneBuilder::ReadDeclaredUnit() {
    s.declaredMetres = 0.0;
    s.declaredSource.clear();
    auto declare = [&](double metres, const std::string& source) {
        if (!(metres > 0) || !std::isfinite(metres)) return;
        s.declaredMetres = metres;
        s.declaredSource = source;
    };
    if (s.format.find("FBX") != std::string::npos && ai.mMetaData) {
        // Centimetres per unit.
        float f = 0.0f;
        double d = 0.0;
        if (ai.mMetaData->Get("UnitScaleFactor", f))
            d = f;
        else
            ai.mMetaData->Get("UnitScaleFactor", d);
        std::ostringstream text;
        text << "FBX UnitScaleFactor " << d;
        declare(d / 100.0, text.str());
    } else if (s.format.find("Collada") != std::string::npos) {
        // The importer puts the file's <unit> into its root node as a scale.
        const float unit = FromAi(ai.mRootNode->mTransformation).GetRow(0).Length();
        std::ostringstream text;
        text << "COLLADA <unit meter=\"" << unit << "\">";
        declare(unit, text.str());
    } else if (s.format.find("glTF") != std::string::npos) {
        declare(1.0, "glTF files are in metres");
    }
    return s.declaredMetres;
}

HostNode* SceneBuilder::AddNode(const aiNode* an, HostNode* parent) {
    s.nodes.push_back(std::make_unique<HostNode>(&s, parent, Str(an->mName)));
    HostNode* node = s.nodes.back().get();
    if (parent) parent->children.push_back(node);
    node->restLocal = FromAi(an->mTransformation);
    aiVector3D scl, pos;
    aiQuaternion rot;
    an->mTransformation.Decompose(scl, rot, pos);
    node->restTranslation = Point3(pos.x, pos.y, pos.z);
    node->restRotation = Quat(rot.x, rot.y, rot.z, rot.w);
    node->restRotation.Normalize();
    node->restScale = Point3(scl.x, scl.y, scl.z);
    byName[node->name].push_back(node);
    position[node] = static_cast<int>(order.size());
    order.emplace_back(node, an);
    for (unsigned i = 0; i < an->mNumChildren; ++i)
        if (an->mChildren[i]) AddNode(an->mChildren[i], node);
    return node;
}

// What the importer leaves out of a glTF file (channel modes and tangents,
// which node a channel or a skin joint is) is read from the file itself.
void SceneBuilder::ReadGltf() {
    if (s.format.find("glTF2") == std::string::npos) return;
    gltf = ReadGltfAnimation(path);
    gltfMatched = gltf.read && gltf.nodeCount == static_cast<int>(order.size());
    if (!gltfMatched) {
        if (ai.mNumAnimations > 0)
            s.warnings.push_back(
                "the file's animation channels could not be matched to nodes; they are "
                "interpolated "
                "linearly and found by node name");
        return;
    }
    for (const GltfAnimation& anim : gltf.animations)
        if (!anim.complete)
            s.warnings.push_back("animation '" + anim.name +
                                 "': channels whose keys could not be read were left out");
}

// The node of each skin bone. Names need not be unique (two copies of one
// character): a glTF skin lists its joints by node; otherwise the node whose
// rest pose matches the bone's bind pose is taken. A name that stays
// ambiguous is reported.
void SceneBuilder::ResolveBones() {
    auto restWorld = [&](const HostNode* n) {
        Matrix3 w(1);
        for (; n != nullptr && n != s.root; n = n->parent) w = w * n->restLocal;
        return w;
    };
    auto near = [](const Matrix3& a, const Matrix3& b) {
        float size = 1.0f;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c) size = std::max(size, std::fabs(b.GetRow(r)[c]));
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c)
                if (!(std::fabs(a.GetRow(r)[c] - b.GetRow(r)[c]) <= 1e-3f * size)) return false;
        return true;
    };
    std::set<std::string> reported;
    for (auto& [node, an] : order) {
        for (unsigned m = 0; m < an->mNumMeshes; ++m) {
            const unsigned mi = an->mMeshes[m];
            if (mi >= ai.mNumMeshes) continue;
            const aiMesh* am = ai.mMeshes[mi];
            for (unsigned b = 0; b < am->mNumBones; ++b) {
                const aiBone* bone = am->mBones[b];
                if (bone == nullptr) continue;
                const std::string name = Str(bone->mName);
                std::vector<HostNode*> found = NodesByName(name);
                if (found.size() > 1 && gltfMatched) {
                    const std::vector<int>& joints =
                        gltf.skinJoints[static_cast<size_t>(position[node])];
                    std::vector<HostNode*> inSkin;
                    for (HostNode* c : found)
                        if (std::find(joints.begin(), joints.end(), position[c]) != joints.end())
                            inSkin.push_back(c);
                    if (!inSkin.empty()) found = inSkin;
                }
                if (found.size() > 1) {
                    // Assimp's offset takes mesh space to the bone's space at the bind pose.
                    const Matrix3 meshWorld = restWorld(node);
                    std::vector<HostNode*> posed;
                    for (HostNode* c : found)
                        if (near(FromAi(bone->mOffsetMatrix) * restWorld(c), meshWorld))
                            posed.push_back(c);
                    if (posed.size() == 1) found = posed;
                }
                if (found.size() > 1 && reported.insert(node->name + "\n" + name).second)
                    s.warnings.push_back("node '" + node->name +
                                         "': " + std::to_string(found.size()) +
                                         " nodes are named like its skin bone '" + name +
                                         "' and the file does not tell which; the first is used");
                boneNodes[{node, bone}] = found.empty() ? nullptr : found.front();
            }
        }
    }
}

// The node an importer's channel drives: nodes are named, and a name that
// several nodes share is reported.
HostNode* SceneBuilder::ChannelNode(const std::string& name, const std::string& animation) {
    const std::vector<HostNode*>& found = NodesByName(name);
    if (found.size() > 1)
        s.warnings.push_back("animation '" + animation + "': " + std::to_string(found.size()) +
                             " nodes are named '" + name + "'; its channel drives the first");
    return found.empty() ? nullptr : found.front();
}

void SceneBuilder::ReadAnimations() {
    for (const Candidate* c : taken) {
        if (c->gltf)
            TakeGltfAnimation(*c->gltf);
        else
            ReadImportedAnimation(c->ai);
    }
    for (const Candidate& c : candidates) {
        const bool played = std::find(taken.begin(), taken.end(), &c) != taken.end();
        const bool keys = c.low <= c.high;
        const auto tick = [](double t) {
            return static_cast<TimeValue>(
                std::lround(std::max(-2147483647.0, std::min(2147483647.0, t))));
        };
        s.clips.push_back(
            {c.name, keys ? Interval(tick(c.low), tick(c.high)) : Interval(0, 0), played});
    }
    if (haveKeys) {
        const double lo = std::max<double>(rangeMin, -2147483647.0);
        const double hi = std::min<double>(rangeMax, 2147483647.0);
        s.animRange = Interval(static_cast<TimeValue>(std::lround(lo)),
                               static_cast<TimeValue>(std::lround(hi)));
    } else {
        s.animRange = Interval(0, 0);
    }
}

void SceneBuilder::TakeGltfAnimation(const GltfAnimation& anim) {
    std::vector<HostNode*> dfs;
    for (auto& [node, an] : order) dfs.push_back(node);
    bool cubicWeights = false;
    if (!anim.channels.empty()) Extend(0.0);
    for (const GltfChannel& ch : anim.channels) {
        HostNode* node = dfs[static_cast<size_t>(ch.node)];
        const bool cubic = ch.interpolation == "CUBICSPLINE";
        const KeyInterpolation mode =
            cubic
                ? KeyInterpolation::Cubic
                : (ch.interpolation == "STEP" ? KeyInterpolation::Step : KeyInterpolation::Linear);
        const size_t n = static_cast<size_t>(ch.components);
        // Element e of key k (cubic: 0 in-tangent, 1 value, 2 out-tangent).
        auto at = [&](size_t k, size_t e) { return &ch.values[((cubic ? 3 * k + e : k) * n)]; };
        const double perTick = 1.0 / TIME_TICKSPERSEC;
        TransformTrack& tr = node->track;
        for (size_t k = 0; k < ch.times.size(); ++k) {
            const double t = double(ch.times[k]) * TIME_TICKSPERSEC;
            if (!std::isfinite(t)) continue;
            Extend(t);
            if ((ch.path == "translation" || ch.path == "scale") && n == 3) {
                const float* v = at(k, cubic ? 1 : 0);
                VecKey key{t, Point3(v[0], v[1], v[2])};
                if (cubic) {
                    const float* a = at(k, 0);
                    const float* b = at(k, 2);
                    key.inTangent = Point3(a[0] * perTick, a[1] * perTick, a[2] * perTick);
                    key.outTangent = Point3(b[0] * perTick, b[1] * perTick, b[2] * perTick);
                }
                (ch.path == "scale" ? tr.scale : tr.position).push_back(key);
            } else if (ch.path == "rotation" && n == 4) {
                const float* v = at(k, cubic ? 1 : 0);
                RotKey key{t, Quat(v[0], v[1], v[2], v[3])};
                key.value.Normalize();
                if (cubic) {
                    const float* a = at(k, 0);
                    const float* b = at(k, 2);
                    key.inTangent =
                        Quat(a[0] * perTick, a[1] * perTick, a[2] * perTick, a[3] * perTick);
                    key.outTangent =
                        Quat(b[0] * perTick, b[1] * perTick, b[2] * perTick, b[3] * perTick);
                }
                tr.rotation.push_back(key);
            } else if (ch.path == "weights") {
                const float* v = at(k, cubic ? 1 : 0);
                MorphKey mk{t, {}};
                for (size_t w = 0; w < n; ++w) mk.weights.emplace_back(static_cast<int>(w), v[w]);
                s.morphTracks[node].push_back(std::move(mk));
                if (mode == KeyInterpolation::Step) s.steppedMorphs.insert(node);
                cubicWeights = cubicWeights || cubic;
            }
        }
        if (ch.path == "translation")
            tr.positionMode = mode;
        else if (ch.path == "rotation")
            tr.rotationMode = mode;
        else if (ch.path == "scale")
            tr.scaleMode = mode;
        auto byTime = [](const auto& a, const auto& b) { return a.time < b.time; };
        std::stable_sort(tr.position.begin(), tr.position.end(), byTime);
        std::stable_sort(tr.rotation.begin(), tr.rotation.end(), byTime);
        std::stable_sort(tr.scale.begin(), tr.scale.end(), byTime);
        std::vector<MorphKey>& mk = s.morphTracks[node];
        std::stable_sort(mk.begin(), mk.end(), byTime);
        if (mk.empty()) s.morphTracks.erase(node);
    }
    if (cubicWeights)
        s.warnings.push_back("animation '" + anim.name +
                             "': morph weights on cubic splines are interpolated linearly");
}

void SceneBuilder::ReadImportedAnimation(const aiAnimation* anim) {
    const double tps = anim->mTicksPerSecond;
    const std::string animName = Str(anim->mName);
    for (unsigned c = 0; c < anim->mNumChannels; ++c) {
        const aiNodeAnim* ch = anim->mChannels[c];
        if (ch == nullptr) continue;
        HostNode* node = ChannelNode(Str(ch->mNodeName), animName);
        if (node == nullptr || node == s.root) {
            s.warnings.push_back("animation channel for unknown node '" + Str(ch->mNodeName) +
                                 "' ignored");
            continue;
        }
        TransformTrack& tr = node->track;
        for (unsigned k = 0; k < ch->mNumPositionKeys; ++k) {
            const aiVectorKey& key = ch->mPositionKeys[k];
            const double t = ToTicks(key.mTime, tps);
            if (!std::isfinite(t)) continue;
            tr.position.push_back({t, Point3(key.mValue.x, key.mValue.y, key.mValue.z)});
            Extend(t);
        }
        for (unsigned k = 0; k < ch->mNumRotationKeys; ++k) {
            const aiQuatKey& key = ch->mRotationKeys[k];
            const double t = ToTicks(key.mTime, tps);
            if (!std::isfinite(t)) continue;
            Quat q(key.mValue.x, key.mValue.y, key.mValue.z, key.mValue.w);
            q.Normalize();
            tr.rotation.push_back({t, q});
            Extend(t);
        }
        for (unsigned k = 0; k < ch->mNumScalingKeys; ++k) {
            const aiVectorKey& key = ch->mScalingKeys[k];
            const double t = ToTicks(key.mTime, tps);
            if (!std::isfinite(t)) continue;
            tr.scale.push_back({t, Point3(key.mValue.x, key.mValue.y, key.mValue.z)});
            Extend(t);
        }
        auto byTime = [](const auto& a, const auto& b) { return a.time < b.time; };
        std::stable_sort(tr.position.begin(), tr.position.end(), byTime);
        std::stable_sort(tr.rotation.begin(), tr.rotation.end(), byTime);
        std::stable_sort(tr.scale.begin(), tr.scale.end(), byTime);
    }
    for (unsigned c = 0; c < anim->mNumMorphMeshChannels; ++c) {
        const aiMeshMorphAnim* ch = anim->mMorphMeshChannels[c];
        if (ch == nullptr) continue;
        const std::string name = Str(ch->mName);
        HostNode* node = NodeByName(name);
        if (node == nullptr) {
            // Some formats name the mesh rather than the node.
            for (auto& [n, an] : order) {
                for (unsigned m = 0; m < an->mNumMeshes && node == nullptr; ++m) {
                    const unsigned mi = an->mMeshes[m];
                    if (mi < ai.mNumMeshes && Str(ai.mMeshes[mi]->mName) == name) node = n;
                }
                if (node) break;
            }
        }
        if (node == nullptr) {
            s.warnings.push_back("morph channel for unknown node '" + name + "' ignored");
            continue;
        }
        std::vector<MorphKey>& keys = s.morphTracks[node];
        for (unsigned k = 0; k < ch->mNumKeys; ++k) {
            const aiMeshMorphKey& key = ch->mKeys[k];
            const double t = ToTicks(key.mTime, tps);
            if (!std::isfinite(t)) continue;
            MorphKey mk{t, {}};
            for (unsigned v = 0; v < key.mNumValuesAndWeights; ++v)
                mk.weights.emplace_back(static_cast<int>(key.mValues[v]),
                                        static_cast<float>(key.mWeights[v]));
            keys.push_back(std::move(mk));
            Extend(t);
        }
        std::stable_sort(keys.begin(), keys.end(),
                         [](const MorphKey& a, const MorphKey& b) { return a.time < b.time; });
    }
}

void SceneBuilder::ClassifyNodes() {
    std::set<std::string> cameras, lights;
    for (unsigned i = 0; i < ai.mNumCameras; ++i) cameras.insert(Str(ai.mCameras[i]->mName));
    for (unsigned i = 0; i < ai.mNumLights; ++i) lights.insert(Str(ai.mLights[i]->mName));

    std::set<HostNode*> joints;
    for (const auto& [use, bone] : boneNodes)
        if (bone) joints.insert(bone);
    for (auto& [node, an] : order)
        if (IsBipedName(node->name)) joints.insert(node);
    // Nodes without geometry below a joint (end sites) belong to the skeleton.
    for (auto& [node, an] : order)
        if (an->mNumMeshes == 0 && node->parent && joints.count(node->parent)) joints.insert(node);

    for (auto& [node, an] : order) {
        const bool joint = joints.count(node) > 0;
        if (an->mNumMeshes > 0)
            node->kind = NodeKind::Mesh;
        else if (joint)
            node->kind = NodeKind::Joint;
        else if (cameras.count(node->name))
            node->kind = NodeKind::Camera;
        else if (lights.count(node->name))
            node->kind = NodeKind::Light;
        else if (EndsWith(node->name, ".Target"))
            node->kind = NodeKind::Target;
        else
            node->kind = NodeKind::Helper;

        Class_ID ctrl(PRS_CONTROL_CLASS_ID, 0);
        if (joint) {
            if (node->name.find("Footsteps") != std::string::npos)
                ctrl = Class_ID(FOOTPRINT_CLASS_ID, 0);
            else if (node->parent == nullptr || joints.count(node->parent) == 0)
                ctrl = Class_ID(BIPBODY_CONTROL_CLASS_ID, 0);
            else
                ctrl = Class_ID(BIPSLAVE_CONTROL_CLASS_ID, 0);
        }
        node->controller = std::make_unique<HostController>(ctrl);

        switch (node->kind) {
            case NodeKind::Mesh:
            case NodeKind::Joint: {
                auto obj = std::make_unique<HostMeshObject>(node, node->kind == NodeKind::Mesh
                                                                      ? Class_ID(TRIOBJ_CLASS_ID, 0)
                                                                      : BONE_OBJ_CLASSID);
                node->meshObject = obj.get();
                node->object = std::move(obj);
                break;
            }
            case NodeKind::Camera:
                node->object = std::make_unique<HostSimpleObject>(CAMERA_CLASS_ID,
                                                                  Class_ID(SIMPLE_CAM_CLASS_ID, 0));
                break;
            case NodeKind::Light:
                node->object = std::make_unique<HostSimpleObject>(LIGHT_CLASS_ID,
                                                                  Class_ID(OMNI_LIGHT_CLASS_ID, 0));
                break;
            case NodeKind::Target:
                node->object = std::make_unique<HostSimpleObject>(GEOMOBJECT_CLASS_ID,
                                                                  Class_ID(TARGET_CLASS_ID, 0));
                break;
            default:
                node->object = std::make_unique<HostSimpleObject>(HELPER_CLASS_ID, DUMMY_CLASS_ID);
                break;
        }
    }
}

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

bool SceneBuilder::Build(const std::string& animation, std::string& error) {
    s.format.clear();
    if (ai.mMetaData) {
        aiString fmt;
        if (ai.mMetaData->Get("SourceAsset_Format", fmt)) s.format = Str(fmt);
    }
    ReadFrameRate();
    s.ticksPerFrame = std::max(1, static_cast<int>(std::lround(TIME_TICKSPERSEC / s.frameRate)));
    DecideFrame();

    s.nodes.push_back(std::make_unique<HostNode>(&s, nullptr, "Scene Root"));
    s.root = s.nodes.back().get();
    s.root->kind = NodeKind::Root;
    s.root->controller = std::make_unique<HostController>(Class_ID(PRS_CONTROL_CLASS_ID, 0));
    if (foldRoot) {
        for (unsigned i = 0; i < ai.mRootNode->mNumChildren; ++i)
            if (ai.mRootNode->mChildren[i]) AddNode(ai.mRootNode->mChildren[i], s.root);
    } else {
        AddNode(ai.mRootNode, s.root);
    }
    ReadGltf();
    ResolveBones();
    if (!ChooseAnimations(animation, error)) return false;
    ReadAnimations();
    ClassifyNodes();
    ReadImages();
    BuildMaterials();
    for (auto& [node, an] : order) BuildMesh(node, an);
    return true;
}

// ----------------------------------------------------------------- loading
HostScene::~HostScene() = default;

std::unique_ptr<HostScene> HostScene::Load(const std::string& path, std::string& error,
                                           const SceneSize& size, const std::string& animation) {
    std::string why;
    bool cannotOpen = false;
    if (!CheckSceneFile(path, why, cannotOpen)) {
        error = std::string(cannotOpen ? "cannot open" : "cannot read") + " scene file '" + path +
                "': " + why;
        return nullptr;
    }
    const std::unique_ptr<aiScene> ai =
        ImportSceneIsolated(path, ImportLimits::FromEnvironment(), why);
    if (!ai) {
        error = "cannot read scene file '" + path + "': " + why;
        return nullptr;
    }
    return FromImported(*ai, path, error, size, animation);
}

std::unique_ptr<HostScene> HostScene::FromImported(const aiScene& ai, const std::string& path,
                                                   std::string& error, const SceneSize& size,
                                                   const std::string& animation) {
    if (ai.mRootNode == nullptr) {
        error = "cannot read scene file '" + path + "': the file holds no scene";
        return nullptr;
    }
    std::unique_ptr<HostScene> scene(new HostScene());
    scene->path = path;
    SceneBuilder builder(*scene, ai, path, size);
    if (!builder.Build(animation, error)) return nullptr;
    return scene;
}

std::vector<HostNode*> HostScene::Nodes() {
    std::vector<HostNode*> out;
    std::function<void(HostNode*)> visit = [&](HostNode* n) {
        for (HostNode* c : n->children) {
            out.push_back(c);
            visit(c);
        }
    };
    visit(root);
    return out;
}

HostNode* HostScene::FindNode(const std::string& name) {
    for (HostNode* n : Nodes())
        if (n->name == name) return n;
    return nullptr;
}

void HostScene::SetBitmapNames(std::function<std::string(const std::string&)> names) {
    bitmapNames = std::move(names);
    for (auto& map : maps)
        if (auto* bitmap = dynamic_cast<HostBitmapTex*>(map.get()))
            bitmap->SetNames(bitmapNames ? &bitmapNames : nullptr);
}

std::vector<std::string> HostScene::Select(const std::vector<std::string>& names) {
    std::vector<std::string> missing;
    const std::vector<HostNode*> all = Nodes();
    for (const std::string& name : names) {
        bool found = false;
        for (HostNode* n : all)
            if (n->name == name) {
                n->selected = true;
                found = true;
            }
        if (!found) missing.push_back(name);
    }
    return missing;
}

// ------------------------------------------------------------ HostInterface
BOOL HostInterface::ProgressStart(const char* title, BOOL, LPTHREAD_START_ROUTINE fn, LPVOID arg) {
    ui.ProgressStart(title ? title : "");
    if (fn) fn(arg);
    return TRUE;
}

void HostInterface::ProgressUpdate(int pct, BOOL showPct, const char* title) {
    if (title) {
        const std::string t = title;
        ui.ProgressUpdate(pct, showPct != FALSE, &t);
    } else {
        ui.ProgressUpdate(pct, showPct != FALSE, nullptr);
    }
}

void HostInterface::ProgressEnd() {
    ui.ProgressEnd();
}
