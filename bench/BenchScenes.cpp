#include "bench/BenchScenes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/support/GltfBuilder.h"

bool WriteStaticMillionScene(const std::string& path) {
    GltfBuilder b;
    const int mat = b.AddMaterial("Ground", "ground.bmp");
    const int nx = 125, ny = 250;
    for (int g = 0; g < 16; ++g) {
        GltfBuilder::Primitive p;
        p.material = mat;
        for (int y = 0; y <= ny; ++y)
            for (int x = 0; x <= nx; ++x) {
                const float h = 0.3f * std::sin(0.2f * x + g) * std::cos(0.15f * y);
                p.positions.insert(p.positions.end(),
                                   {float(x + (g % 4) * nx), h, float(y + (g / 4) * ny)});
                p.uvs.insert(p.uvs.end(), {float(x) / nx, float(y) / ny});
            }
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) {
                const uint32_t i = static_cast<uint32_t>(y * (nx + 1) + x), w = nx + 1;
                p.indices.insert(p.indices.end(), {i, i + w, i + 1, i + 1, i + w, i + w + 1});
            }
        b.AddNode("Ground" + std::to_string(g), -1, b.AddMesh({p}));
    }
    return b.Write(path);
}

bool WriteMovingObjectScene(const std::string& path) {
    GltfBuilder b;
    const int bones = 24, rings = 242, around = 50;
    const float length = 24.0f;
    std::vector<int> joints;
    for (int j = 0; j < bones; ++j) {
        const int n = b.AddNode("Bone" + std::to_string(j), j == 0 ? -1 : joints.back());
        b.NodeAt(n).translation = {0.0f, j == 0 ? 0.0f : length / bones, 0.0f};
        joints.push_back(n);
    }
    std::vector<float> ibm;
    for (int j = 0; j < bones; ++j) {
        const float y = -j * length / bones;
        ibm.insert(ibm.end(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, y, 0, 1});
    }
    GltfBuilder::Primitive p;
    for (int r = 0; r < rings; ++r) {
        const float y = r * length / (rings - 1);
        const float at = y / length * (bones - 1);
        const int j0 = std::min(bones - 2, static_cast<int>(at));
        const float w1 = at - j0;
        for (int a = 0; a < around; ++a) {
            const float t = 2.0f * float(M_PI) * a / around;
            p.positions.insert(p.positions.end(), {std::cos(t), y, std::sin(t)});
            p.uvs.insert(p.uvs.end(), {float(a) / around, float(r) / rings});
            p.joints.insert(p.joints.end(), {uint16_t(j0), uint16_t(j0 + 1), 0, 0});
            p.weights.insert(p.weights.end(), {1.0f - w1, w1, 0.0f, 0.0f});
        }
    }
    for (int r = 0; r + 1 < rings; ++r)
        for (int a = 0; a < around; ++a) {
            const uint32_t i = static_cast<uint32_t>(r * around + a),
                           n = static_cast<uint32_t>(r * around + (a + 1) % around);
            p.indices.insert(p.indices.end(), {i, i + around, n, n, i + around, n + around});
        }
    const int body = b.AddNode("Body", -1, b.AddMesh({p}));
    b.NodeAt(body).skin = b.AddSkin(joints, ibm);
    std::vector<float> times, values;
    for (int k = 0; k <= 10; ++k) times.push_back(static_cast<float>(k));
    for (int j = 0; j < bones; ++j) {
        values.clear();
        for (int k = 0; k <= 10; ++k) {
            const double half = 0.5 * 0.15 * std::sin(k + j * 0.5);
            values.insert(values.end(), {0.0f, 0.0f, float(std::sin(half)), float(std::cos(half))});
        }
        b.Animate(joints[static_cast<size_t>(j)], "rotation", times, values);
    }
    return b.Write(path);
}
