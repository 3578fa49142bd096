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

// The builder's nodes, bones, frame rate, unit and animations.

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
