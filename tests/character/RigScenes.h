// Small rigged glTF scenes for the character import tests: joint chains
// with key-frame rotations and boxes skinned to them.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "tests/support/GltfBuilder.h"

// glTF rotation (x, y, z, w) of `degrees` about the unit axis (ax, ay, az).
inline std::vector<float> Turn(float ax, float ay, float az, float degrees) {
    const double h = degrees * M_PI / 360.0;
    const double s = std::sin(h);
    return {float(ax * s), float(ay * s), float(az * s), float(std::cos(h))};
}

// Column-major inverse bind matrix of a joint bound at world position (x, y, z) without rotation.
inline std::vector<float> InverseBindAt(float x, float y, float z) {
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -x, -y, -z, 1};
}

// A box skinned wholly to `joint`, or blended with `second` weighing `secondWeight`.
inline GltfBuilder::Primitive SkinnedBox(float half, float cx, float cy, float cz, int joint,
                                         int material = -1, int second = -1,
                                         float secondWeight = 0.5f) {
    GltfBuilder::Primitive p = GltfBuilder::Box(half, true, material, cx, cy, cz);
    const size_t n = p.positions.size() / 3;
    for (size_t i = 0; i < n; ++i) {
        p.joints.insert(p.joints.end(), {uint16_t(joint), uint16_t(second < 0 ? 0 : second), 0, 0});
        p.weights.insert(p.weights.end(), {second < 0 ? 1.0f : 1.0f - secondWeight,
                                           second < 0 ? 0.0f : secondWeight, 0, 0});
    }
    return p;
}

struct LegRig {
    int hip, knee, foot, mesh;
};

// Joints `prefix`Hip at (1, 2, 3), Knee 1 below it, Foot 1 below that (glTF
// y up). Over two seconds the hip turns 90 degrees about y and back, the
// knee 60 degrees about x and back. Mesh `prefix`Leg: a box on each joint
// and one between hip and knee weighing 1/4 on the hip and 3/4 on the knee,
// materials as given (-1: none). The hip hangs from `parent` (-1: a scene root).
inline LegRig AddLegRig(GltfBuilder& b, const std::string& prefix = "", int hipMaterial = -1,
                        int kneeMaterial = -1, int parent = -1) {
    LegRig r;
    r.hip = b.AddNode(prefix + "Hip", parent);
    b.NodeAt(r.hip).translation = {1, 2, 3};
    r.knee = b.AddNode(prefix + "Knee", r.hip);
    b.NodeAt(r.knee).translation = {0, -1, 0};
    r.foot = b.AddNode(prefix + "Foot", r.knee);
    b.NodeAt(r.foot).translation = {0, -1, 0};
    const int skin = b.AddSkin({r.hip, r.knee, r.foot}, [] {
        std::vector<float> m = InverseBindAt(1, 2, 3);
        for (float f : InverseBindAt(1, 1, 3)) m.push_back(f);
        for (float f : InverseBindAt(1, 0, 3)) m.push_back(f);
        return m;
    }());
    const int mesh = b.AddMesh({SkinnedBox(0.25f, 1, 2, 3, 0, hipMaterial),
                                SkinnedBox(0.25f, 1, 1, 3, 1, kneeMaterial),
                                SkinnedBox(0.2f, 1, 1.5f, 3, 0, hipMaterial, 1, 0.75f),
                                SkinnedBox(0.25f, 1, 0, 3, 2, kneeMaterial)});
    r.mesh = b.AddNode(prefix + "Leg", -1, mesh);
    b.NodeAt(r.mesh).skin = skin;
    std::vector<float> hipTurn = Turn(0, 1, 0, 0);
    for (float f : Turn(0, 1, 0, 90)) hipTurn.push_back(f);
    for (float f : Turn(0, 1, 0, 0)) hipTurn.push_back(f);
    b.Animate(r.hip, "rotation", {0, 1, 2}, hipTurn);
    std::vector<float> kneeTurn = Turn(1, 0, 0, 0);
    for (float f : Turn(1, 0, 0, 60)) kneeTurn.push_back(f);
    for (float f : Turn(1, 0, 0, 0)) kneeTurn.push_back(f);
    b.Animate(r.knee, "rotation", {0, 1, 2}, kneeTurn);
    return r;
}
