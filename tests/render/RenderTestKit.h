// What the rendering tests share: a real EGL surfaceless context on Mesa,
// pixel checks on images read back from it, and builders of model files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/BipedWriter.h"
#include "tools/formats/LittleEndianWriter.h"
#include "viewer/platform/D3DTypes.h"
#include "viewer/render/EglContext.h"

// A context of the given client size, or a failed assertion naming the reason.
inline std::unique_ptr<EglSurfacelessContext> MakeContext(uint32_t width, uint32_t height) {
    std::string error;
    auto context = EglSurfacelessContext::Create(width, height, error);
    EXPECT_TRUE(context) << error;
    return context;
}

struct Rgb {
    int r, g, b;
};

inline Rgb At(const RgbaImage& image, uint32_t x, uint32_t y) {
    const uint8_t* p = image.Pixel(x, y);
    return {p[0], p[1], p[2]};
}

inline bool Near(const Rgb& a, const Rgb& b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

inline std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

#define EXPECT_PIXEL(image, x, y, expected, tolerance) \
    EXPECT_PRED3(Near, At(image, x, y), expected, tolerance) << "pixel " << (x) << ", " << (y)

// Pixels of an image that differ from `background`.
inline int CountNot(const RgbaImage& image, const Rgb& background, int tolerance = 2) {
    int n = 0;
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = 0; x < image.width; ++x)
            if (!Near(At(image, x, y), background, tolerance)) ++n;
    return n;
}

inline ModelVertex Vertex(float x, float y, float z, float nx = 0, float ny = 0, float nz = -1,
                          float tu = 0, float tv = 0) {
    return {x, y, z, nx, ny, nz, tu, tv};
}

inline void WriteVertex(ByteWriter& w, const ModelVertex& v) {
    w.Floats({v.x, v.y, v.z, v.nx, v.ny, v.nz, v.tu, v.tv});
}

struct TesselObject {
    std::vector<ModelVertex> vertices;
    std::vector<int> indices;
    std::string texture;
};

// A Tessel file of static objects.
inline ByteWriter StaticTessel(const std::vector<TesselObject>& objects) {
    ByteWriter w;
    w.Int32(1).Int32(static_cast<int32_t>(objects.size())).Int32(0);
    for (const TesselObject& o : objects) {
        w.Int32(static_cast<int32_t>(o.texture.size())).Text(o.texture);
        w.Int32(static_cast<int32_t>(o.vertices.size()));
        for (const ModelVertex& v : o.vertices) WriteVertex(w, v);
        w.Int32(static_cast<int32_t>(o.indices.size() / 3));
        for (int i : o.indices) w.Int32(i);
    }
    return w;
}

// A square of side 2h around (cx, cy) in the plane z, clockwise as seen from
// -z, with normal (0, 0, nz) and texture coordinates over the whole texture.
inline TesselObject Square(float cx, float cy, float z, float h, float nz,
                           const std::string& texture = "") {
    return {{Vertex(cx - h, cy - h, z, 0, 0, nz, 0, 1), Vertex(cx - h, cy + h, z, 0, 0, nz, 0, 0),
             Vertex(cx + h, cy + h, z, 0, 0, nz, 1, 0), Vertex(cx + h, cy - h, z, 0, 0, nz, 1, 1)},
            {0, 1, 2, 0, 2, 3},
            texture};
}

// A biped of one bone with one triangle over `corners` and one identity frame.
inline ByteWriter OneTriangleBiped(const float corners[9]) {
    return OneBoneBiped(1, std::vector<float>(corners, corners + 9), 0);
}
