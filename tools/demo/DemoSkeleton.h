// The demo biped: 17 bones in the rest pose (world units, y up, the figure
// faces -z, its left side at +x) walking a 30-frame cycle.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/demo/DemoMath.h"

inline constexpr int kFrames = 30;

enum Bone : int16_t {
    PELVIS,
    SPINE,
    CHEST,
    NECK,
    HEAD,
    L_UPPERARM,
    L_FOREARM,
    L_HAND,
    R_UPPERARM,
    R_FOREARM,
    R_HAND,
    L_THIGH,
    L_CALF,
    L_FOOT,
    R_THIGH,
    R_CALF,
    R_FOOT,
    BONE_COUNT
};

inline constexpr int kParent[BONE_COUNT] = {
    -1,         PELVIS,    SPINE,  CHEST,   NECK,   CHEST,  L_UPPERARM, L_FOREARM, CHEST,
    R_UPPERARM, R_FOREARM, PELVIS, L_THIGH, L_CALF, PELVIS, R_THIGH,    R_CALF};

inline constexpr Vec3 kJoint[BONE_COUNT] = {
    {0, 9.5f, 0},     {0, 10.6f, 0},    {0, 12.5f, 0},   {0, 15.0f, 0},     {0, 15.7f, 0},
    {2.0f, 14.6f, 0}, {2.0f, 11.9f, 0}, {2.0f, 9.6f, 0}, {-2.0f, 14.6f, 0}, {-2.0f, 11.9f, 0},
    {-2.0f, 9.6f, 0}, {1.0f, 9.2f, 0},  {1.0f, 5.0f, 0}, {1.0f, 0.9f, 0},   {-1.0f, 9.2f, 0},
    {-1.0f, 5.0f, 0}, {-1.0f, 0.9f, 0},
};

// A point `dx, dy, dz` from bone `b`'s joint in the rest pose.
inline Vec3 J(int b, float dx = 0, float dy = 0, float dz = 0) {
    return kJoint[b] + Vec3{dx, dy, dz};
}

// World matrices of every bone at every frame: a point in a bone's space
// (its joint at the origin, axes as in the rest pose) times the matrix.
std::vector<std::vector<Mat4>> WorldMatrices();
// The biped file: each bone drawn as an elongated octahedron, then its frames.
std::vector<uint8_t> BipedFile(const std::vector<std::vector<Mat4>>& world);
