// Key-frame evaluation of the host scene: position and scale keys are
// interpolated linearly, rotation keys spherically along the shorter arc;
// step tracks hold each key's value until the next key; cubic tracks follow
// the Hermite spline through the keys with their tangents (rotations
// normalised afterwards). Keys sharing one time make a jump at that time.
// Times are host ticks; tangents are changes per tick.
#pragma once

#include <vector>

#include "exporter/host/MaxTypes.h"

enum class KeyInterpolation { Linear, Step, Cubic };

struct VecKey {
    VecKey() = default;
    VecKey(double time, const Point3& value) : time(time), value(value) {}
    double time = 0;
    Point3 value;
    Point3 inTangent, outTangent;  // cubic tracks only
};

struct RotKey {
    RotKey() = default;
    RotKey(double time, const Quat& value) : time(time), value(value) {}
    double time = 0;
    Quat value;
    Quat inTangent{0, 0, 0, 0}, outTangent{0, 0, 0, 0};  // cubic tracks only
};

// A node's transform keys. Components without keys keep the node's rest value.
struct TransformTrack {
    std::vector<VecKey> position;
    std::vector<RotKey> rotation;
    std::vector<VecKey> scale;
    KeyInterpolation positionMode = KeyInterpolation::Linear;
    KeyInterpolation rotationMode = KeyInterpolation::Linear;
    KeyInterpolation scaleMode = KeyInterpolation::Linear;
    bool Empty() const { return position.empty() && rotation.empty() && scale.empty(); }
};

// Morph-target weights at one time: (target index, weight) pairs.
struct MorphKey {
    double time;
    std::vector<std::pair<int, float>> weights;
};

Point3 SampleVec(const std::vector<VecKey>& keys, double t, KeyInterpolation mode);
Quat SampleRot(const std::vector<RotKey>& keys, double t, KeyInterpolation mode);
// Weight of every target (targetCount entries) at t; targets without a value
// in a key weigh 0 there.
std::vector<float> SampleMorph(const std::vector<MorphKey>& keys, double t, int targetCount,
                               KeyInterpolation mode);

Quat Slerp(const Quat& a, const Quat& b, float f);
// Row-vector transform that scales, then rotates, then translates.
Matrix3 ComposeTransform(const Point3& translation, const Quat& rotation, const Point3& scale);
