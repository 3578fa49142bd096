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
