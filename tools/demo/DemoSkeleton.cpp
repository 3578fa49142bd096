#include "tools/demo/DemoSkeleton.h"

#include <cmath>

#include "tools/formats/LittleEndianWriter.h"

namespace {

// Where each bone's drawn shape ends, relative to its joint.
Vec3 BoneEnd(int b) {
    switch (b) {
        case HEAD:
            return {0, 2.3f, 0};
        case L_HAND:
        case R_HAND:
            return {0, -1.0f, 0};
        case L_FOOT:
        case R_FOOT:
            return {0, -0.8f, -1.4f};
        case PELVIS:
            return {0, 1.1f, 0};
        default:
            break;
    }
    for (int c = 0; c < BONE_COUNT; ++c) {
        if (kParent[c] == b) return kJoint[c] - kJoint[b];
    }
    return {0, 1, 0};
}

// The bone's own turn at `frame`: roll (about z), then pitch (about x), then
// yaw (about y). For a bone that hangs down, a positive pitch swings it
// forward (towards -z).
Mat4 LocalTurn(int b, int frame, Vec3* lift) {
    const float phase = 2.0f * kPi * static_cast<float>(frame) / kFrames;
    const float s = std::sin(phase), c = std::cos(phase);
    const float sr = -s, cr = -c;  // the right side, half a cycle later
    float roll = 0, pitch = 0, yaw = 0;
    *lift = Vec3{};
    switch (b) {
        case PELVIS:
            *lift = Vec3{0, 0.18f * std::cos(2 * phase) - 0.12f, 0};
            yaw = 0.12f * s;
            break;
        case SPINE:
            pitch = -0.06f;
            yaw = -0.06f * s;
            break;
        case CHEST:
            yaw = -0.09f * s;
            roll = 0.02f * s;
            break;
        case NECK:
            yaw = 0.07f * s;
            break;
        case HEAD:
            pitch = 0.04f * std::cos(2 * phase);
            break;
        case L_UPPERARM:
            pitch = -0.5f * s;
            roll = 0.1f;
            break;
        case L_FOREARM:
            pitch = 0.35f + 0.3f * std::max(0.0f, -s);
            break;
        case L_HAND:
            pitch = 0.1f;
            break;
        case R_UPPERARM:
            pitch = -0.35f * sr + 0.15f;
            roll = -0.12f;
            break;
        case R_FOREARM:
            pitch = 0.75f + 0.2f * std::max(0.0f, -sr);
            break;
        case R_HAND:
            pitch = 0.15f;
            break;
        case L_THIGH:
            pitch = 0.45f * s;
            break;
        case L_CALF:
            pitch = -(0.08f + 0.8f * std::max(0.0f, c));
            break;
        case L_FOOT:
            pitch = -0.8f * (0.45f * s - (0.08f + 0.8f * std::max(0.0f, c)));
            break;
        case R_THIGH:
            pitch = 0.45f * sr;
            break;
        case R_CALF:
            pitch = -(0.08f + 0.8f * std::max(0.0f, cr));
            break;
        case R_FOOT:
            pitch = -0.8f * (0.45f * sr - (0.08f + 0.8f * std::max(0.0f, cr)));
            break;
        default:
            break;
    }
    return RotZ(roll) * RotX(pitch) * RotY(yaw);
}

}  // namespace

std::vector<std::vector<Mat4>> WorldMatrices() {
    std::vector<std::vector<Mat4>> world(BONE_COUNT, std::vector<Mat4>(kFrames));
    for (int f = 0; f < kFrames; ++f) {
        for (int b = 0; b < BONE_COUNT; ++b) {  // parents come before children
            Vec3 lift;
            const Mat4 turn = LocalTurn(b, f, &lift);
            if (kParent[b] < 0) {
                world[b][f] = turn * Translate(kJoint[b] + lift);
            } else {
                world[b][f] =
                    turn * Translate(kJoint[b] - kJoint[kParent[b]]) * world[kParent[b]][f];
            }
        }
    }
    return world;
}

std::vector<uint8_t> BipedFile(const std::vector<std::vector<Mat4>>& world) {
    ByteWriter out;
    out.Int32(BONE_COUNT).Int32(kFrames);
    for (int b = 0; b < BONE_COUNT; ++b) {
        // An elongated octahedron from the joint to the bone's end.
        const Vec3 end = BoneEnd(b);
        const float length = std::sqrt(Dot(end, end));
        const Vec3 axis = Normalised(end);
        Vec3 side =
            std::fabs(axis.y) < 0.9f ? Cross(axis, Vec3{0, 1, 0}) : Cross(axis, Vec3{0, 0, 1});
        side = Normalised(side);
        const Vec3 front = Normalised(Cross(side, axis));
        const float r = 0.14f * length;
        const Vec3 waist = axis * (0.2f * length);
        const Vec3 points[6] = {{0, 0, 0},        end,
                                waist + side * r, waist + front * r,
                                waist - side * r, waist - front * r};
        out.Int32(6);
        for (const Vec3& p : points) out.Float(p.x).Float(p.y).Float(p.z);
        out.Int32(8);
        for (int k = 0; k < 4; ++k) {
            const int a = 2 + k, n = 2 + (k + 1) % 4;
            out.Int32(0).Int32(a).Int32(n);
            out.Int32(1).Int32(n).Int32(a);
        }
        for (int f = 0; f < kFrames; ++f) {
            const float* m = world[b][f].m;
            for (int e : {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14}) out.Float(m[e]);
        }
    }
    return out.bytes;
}
