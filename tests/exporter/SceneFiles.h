// Scenes for the exporter tests: glTF files written into a temporary
// directory and read back through the host, and paths of the third-party
// scenes.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "exporter/host/HostScene.h"
#include "tests/support/GltfBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/ThirdPartyScenes.h"

inline std::unique_ptr<HostScene> LoadScene(const std::string& path) {
    std::string error;
    std::unique_ptr<HostScene> scene = HostScene::Load(path, error);
    EXPECT_TRUE(scene) << error;
    if (scene) SetTicksPerFrame(scene->TicksPerFrame());
    return scene;
}

inline std::unique_ptr<HostScene> LoadBuilt(const GltfBuilder& b, const TempDir& dir,
                                            const std::string& name = "scene.gltf") {
    const std::string path = dir.File(name);
    EXPECT_TRUE(b.Write(path));
    return LoadScene(path);
}

// glTF rotation (x, y, z, w) of `degrees` about the unit axis (ax, ay, az).
inline std::vector<float> AxisAngle(float ax, float ay, float az, float degrees) {
    const double h = degrees * M_PI / 360.0;
    const double s = std::sin(h);
    return {float(ax * s), float(ay * s), float(az * s), float(std::cos(h))};
}

inline void ExpectNear(const Point3& a, const Point3& b, float tol = 1e-4f) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}
