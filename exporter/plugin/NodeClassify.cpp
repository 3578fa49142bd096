// Node classification: which nodes are export candidates, whether a
// candidate is static or animated, and where the biped's top node is.
#include <cmath>
#include <cstdint>

#include "exporter/plugin/TesselExp.h"

namespace {
// The comparison tolerance: the single-precision 0.001, compared in double.
const double kTolerance = static_cast<double>(0.001f);

const Class_ID kTargetObject(TARGET_CLASS_ID, 0);

bool IsBipedController(Control* c) {
    if (c == nullptr) return false;
    const Class_ID id = c->ClassID();
    return id == Class_ID(BIPSLAVE_CONTROL_CLASS_ID, 0) ||
           id == Class_ID(BIPBODY_CONTROL_CLASS_ID, 0) || id == Class_ID(FOOTPRINT_CLASS_ID, 0);
}
}  // namespace

BOOL TesselExp::IsExportCandidate(INode* node) {
    if (node == nullptr || node->IsRootNode()) return FALSE;
    const ObjectState os = node->EvalWorldState(staticTime, TRUE);
    if (os.obj == nullptr) return FALSE;
    if (os.obj->SuperClassID() != GEOMOBJECT_CLASS_ID) return FALSE;
    if (os.obj->ClassID() == kTargetObject) return FALSE;
    if (IsBipedController(node->GetTMController())) return FALSE;
    if (exportSelected && node->Selected() != 1) return FALSE;
    return TRUE;
}

BOOL TesselExp::IsAnimatedNode(INode* node) {
    const ObjectState os = node->EvalWorldState(staticTime, TRUE);
    const Interval range = ip->GetAnimRange();
    if (os.obj != nullptr) {
        // An object whose own shape changes is animated even if it never moves.
        const Interval valid = os.obj->ObjectValidity(staticTime);
        if (!valid.InInterval(range.Start())) return TRUE;
        if (!valid.InInterval(range.End())) return TRUE;
    }
    return CheckForAnimation(node);
}

BOOL TesselExp::CheckForAnimation(INode* node) {
    const Interval range = ip->GetAnimRange();
    const int64_t start = range.Start();
    const int64_t end = range.End();
    const int64_t frame = GetTicksPerFrame() > 0 ? GetTicksPerFrame() : 1;

    BOOL bPos = FALSE, bRot = FALSE, bScale = FALSE;
    Point3 firstPos, firstScale;
    float firstAngle = 0.0f;

    for (int64_t t = start; t <= end; t += frame) {
        const TimeValue time = static_cast<TimeValue>(t);
        const Matrix3 tm = node->GetNodeTM(time) * Inverse(node->GetParentTM(time));
        AffineParts ap;
        decomp_affine(tm, &ap);
        float angle = 0.0f;
        Point3 axis;
        AngAxisFromQ(ap.q, &angle, axis);

        if (t == start) {
            firstPos = ap.t;
            firstAngle = angle;
            firstScale = ap.k;
        } else {
            // Each sample is compared with the first one; the axis is not compared.
            if (!EqualPoint3(ap.t, firstPos)) bPos = TRUE;
            if (std::fabs(static_cast<double>(angle) - static_cast<double>(firstAngle)) >
                kTolerance)
                bRot = TRUE;
            if (!EqualPoint3(ap.k, firstScale)) bScale = TRUE;
        }
        if (bPos && bRot && bScale) break;
    }
    return bPos || bRot || bScale;
}

BOOL TesselExp::EqualPoint3(Point3 a, Point3 b) {
    if (std::fabs(static_cast<double>(a.x) - static_cast<double>(b.x)) > kTolerance) return FALSE;
    if (std::fabs(static_cast<double>(a.y) - static_cast<double>(b.y)) > kTolerance) return FALSE;
    if (std::fabs(static_cast<double>(a.z) - static_cast<double>(b.z)) > kTolerance) return FALSE;
    return TRUE;
}

BOOL TesselExp::FindBipedRoot(INode* node) {
    if (node == nullptr) return TRUE;
    Control* c = node->GetTMController();
    const ObjectState os = node->EvalWorldState(0, TRUE);
    const bool match =
        os.obj != nullptr && os.obj->SuperClassID() == GEOMOBJECT_CLASS_ID && IsBipedController(c);
    if (match && bipedRoot == nullptr) {
        bipedRoot = node;
        return FALSE;
    }
    for (int k = 0; k < node->NumberOfChildren(); ++k)
        if (!FindBipedRoot(node->GetChildNode(k))) return FALSE;
    return TRUE;
}
