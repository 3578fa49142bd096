// Texture images for the demo content: procedural pictures and the TGA and
// BMP encoders that store them. Pixels are red << 24 | green << 16 |
// blue << 8 | alpha, row 0 at the top.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

struct Image {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;

    Image(uint32_t w, uint32_t h) : width(w), height(h), pixels(size_t{w} * h, 0xFF) {}
    void Set(uint32_t x, uint32_t y, uint32_t rgba) {
        if (x < width && y < height) pixels[size_t{y} * width + x] = rgba;
    }
    uint32_t Get(uint32_t x, uint32_t y) const { return pixels[size_t{y} * width + x]; }
};

inline uint32_t Rgba(int r, int g, int b, int a = 255) {
    auto c = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
    return (c(r) << 24) | (c(g) << 16) | (c(b) << 8) | c(a);
}

// Deterministic noise in 0..1 for a lattice point.
inline float Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return static_cast<float>(h & 0xFFFFu) / 65535.0f;
}

// Smooth value noise of period `cell` pixels.
inline float Noise(float x, float y, float cell, uint32_t seed) {
    const float fx = x / cell, fy = y / cell;
    const uint32_t ix = static_cast<uint32_t>(std::floor(fx)),
                   iy = static_cast<uint32_t>(std::floor(fy));
    const float tx = fx - std::floor(fx), ty = fy - std::floor(fy);
    const float sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const float a = Hash(ix, iy, seed), b = Hash(ix + 1, iy, seed);
    const float c = Hash(ix, iy + 1, seed), d = Hash(ix + 1, iy + 1, seed);
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

// ---- encoders

inline void PutLe16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
    PutLe16(out, v & 0xFFFF);
    PutLe16(out, v >> 16);
}

// TGA type 2 (uncompressed) or 10 (run-length encoded), 24 or 32 bits,
// rows bottom-up (the usual order) or top-down.
inline std::vector<uint8_t> EncodeTga(const Image& image, bool runLength, int depth, bool topDown) {
    std::vector<uint8_t> out(18, 0);
    out[2] = runLength ? 10 : 2;
    out[12] = static_cast<uint8_t>(image.width);
    out[13] = static_cast<uint8_t>(image.width >> 8);
    out[14] = static_cast<uint8_t>(image.height);
    out[15] = static_cast<uint8_t>(image.height >> 8);
    out[16] = static_cast<uint8_t>(depth);
    out[17] = static_cast<uint8_t>((depth == 32 ? 8 : 0) | (topDown ? 0x20 : 0));
    auto pixel = [&](uint32_t p) {
        out.push_back(static_cast<uint8_t>(p >> 8));
        out.push_back(static_cast<uint8_t>(p >> 16));
        out.push_back(static_cast<uint8_t>(p >> 24));
        if (depth == 32) out.push_back(static_cast<uint8_t>(p));
    };
    for (uint32_t r = 0; r < image.height; ++r) {
        const uint32_t y = topDown ? r : image.height - 1 - r;
        const uint32_t* row = &image.pixels[size_t{y} * image.width];
        const uint32_t mask = depth == 32 ? 0xFFFFFFFFu : 0xFFFFFF00u;
        if (!runLength) {
            for (uint32_t x = 0; x < image.width; ++x) pixel(row[x]);
            continue;
        }
        uint32_t x = 0;
        while (x < image.width) {
            uint32_t run = 1;
            while (x + run < image.width && run < 128 && (row[x + run] & mask) == (row[x] & mask))
                ++run;
            if (run > 1) {
                out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
                pixel(row[x]);
                x += run;
                continue;
            }
            uint32_t n = 1;
            while (x + n < image.width && n < 128 &&
                   !(x + n + 1 < image.width && (row[x + n] & mask) == (row[x + n + 1] & mask))) {
                ++n;
            }
            out.push_back(static_cast<uint8_t>(n - 1));
            for (uint32_t k = 0; k < n; ++k) pixel(row[x + k]);
            x += n;
        }
    }
    return out;
}

// Windows bitmap, 24 bits per pixel, rows bottom-up padded to 4 bytes.
inline std::vector<uint8_t> EncodeBmp24(const Image& image) {
    const uint32_t rowBytes = (image.width * 3 + 3) & ~3u;
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    PutLe32(out, 54 + rowBytes * image.height);
    PutLe32(out, 0);
    PutLe32(out, 54);
    PutLe32(out, 40);
    PutLe32(out, image.width);
    PutLe32(out, image.height);
    PutLe16(out, 1);
    PutLe16(out, 24);
    PutLe32(out, 0);
    PutLe32(out, rowBytes * image.height);
    PutLe32(out, 2835);
    PutLe32(out, 2835);
    PutLe32(out, 0);
    PutLe32(out, 0);
    for (uint32_t r = 0; r < image.height; ++r) {
        const uint32_t y = image.height - 1 - r;
        size_t written = 0;
        for (uint32_t x = 0; x < image.width; ++x) {
            const uint32_t p = image.Get(x, y);
            out.push_back(static_cast<uint8_t>(p >> 8));
            out.push_back(static_cast<uint8_t>(p >> 16));
            out.push_back(static_cast<uint8_t>(p >> 24));
            written += 3;
        }
        for (; written < rowBytes; ++written) out.push_back(0);
    }
    return out;
}

// Windows bitmap with a 256-colour palette: `indices` (one per pixel, row 0
// at the top) into `palette` (RGBA values).
inline std::vector<uint8_t> EncodeBmp8(uint32_t width, uint32_t height,
                                       const std::vector<uint8_t>& indices,
                                       const std::vector<uint32_t>& palette) {
    const uint32_t rowBytes = (width + 3) & ~3u;
    const uint32_t offset = 54 + 4 * 256;
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    PutLe32(out, offset + rowBytes * height);
    PutLe32(out, 0);
    PutLe32(out, offset);
    PutLe32(out, 40);
    PutLe32(out, width);
    PutLe32(out, height);
    PutLe16(out, 1);
    PutLe16(out, 8);
    PutLe32(out, 0);
    PutLe32(out, rowBytes * height);
    PutLe32(out, 2835);
    PutLe32(out, 2835);
    PutLe32(out, 256);
    PutLe32(out, 0);
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t p = i < palette.size() ? palette[i] : 0;
        out.push_back(static_cast<uint8_t>(p >> 8));
        out.push_back(static_cast<uint8_t>(p >> 16));
        out.push_back(static_cast<uint8_t>(p >> 24));
        out.push_back(0);
    }
    for (uint32_t r = 0; r < height; ++r) {
        const uint32_t y = height - 1 - r;
        for (uint32_t x = 0; x < rowBytes; ++x) {
            out.push_back(x < width ? indices[size_t{y} * width + x] : 0);
        }
    }
    return out;
}
