#include "tools/demo/DemoTextures.h"

Image SkinImage() {
    Image img(64, 64);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            const float n = Noise(static_cast<float>(x), static_cast<float>(y), 6, 11);
            int r = 222 + static_cast<int>(n * 14), g = 178 + static_cast<int>(n * 12),
                b = 140 + static_cast<int>(n * 10);
            // Hair on the crown and the back of the head.
            const float u = static_cast<float>(x) / 64, v = static_cast<float>(y) / 64;
            if (v < 0.32f || (v < 0.62f && std::fabs(u - 0.5f) > 0.2f)) {
                r = 70 + static_cast<int>(n * 30);
                g = 45 + static_cast<int>(n * 20);
                b = 25;
            }
            img.Set(x, y, Rgba(r, g, b));
        }
    }
    // Eyes, brows and mouth facing -z (u = 0.5).
    for (int side : {-1, 1}) {
        const int ex = 32 + side * 4;
        for (int dy = 0; dy < 2; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) img.Set(ex + dx, 29 + dy, Rgba(30, 40, 90));
            for (int dx = -2; dx <= 2; ++dx) img.Set(ex + dx, 26, Rgba(60, 40, 20));
        }
    }
    for (int dx = -3; dx <= 3; ++dx) img.Set(32 + dx, 41, Rgba(150, 60, 60));
    return img;
}

Image ClothImage() {
    Image img(128, 128);
    for (uint32_t y = 0; y < 128; ++y) {
        for (uint32_t x = 0; x < 128; ++x) {
            uint32_t p;
            if (y < 64) {
                // Tunic: broad red and gold bands with a dark hem.
                const bool band = (y / 8) % 2 == 0;
                p = band ? Rgba(150, 30, 35) : Rgba(190, 150, 50);
                if (y >= 58) p = Rgba(60, 25, 20);
            } else {
                // Trousers: dark blue with a seam.
                p = (x % 32 == 0) ? Rgba(20, 25, 45) : Rgba(40, 50, 85);
            }
            img.Set(x, y, p);
        }
    }
    return img;
}

Image HelmetImage() {
    Image img(64, 64);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            if (y < 32) {
                // Polished steel with rivets.
                const int shade =
                    150 + static_cast<int>(y) * 2 + static_cast<int>(Noise(x, y, 4, 5) * 20);
                const bool rivet = y == 28 && x % 8 == 4;
                img.Set(x, y, rivet ? Rgba(90, 90, 100) : Rgba(shade, shade, shade + 12));
            } else {
                // Crest feathers: plumes separated by see-through gaps.
                const float u = static_cast<float>(x) / 64, v = static_cast<float>(y - 32) / 32;
                const float feather = std::sin(u * 40.0f + v * 6.0f);
                const bool solid = feather > -0.3f && v > 0.05f;
                const int a = solid ? 255 : (feather > -0.6f ? 60 : 0);
                img.Set(x, y, Rgba(200 + static_cast<int>(v * 40), 30, 40, a));
            }
        }
    }
    return img;
}

std::vector<uint8_t> ArmourBitmap() {
    // 8-bit palette: a ramp of bronze tones and dark rivets.
    std::vector<uint32_t> palette(256);
    for (int i = 0; i < 256; ++i)
        palette[i] = Rgba(90 + i * 140 / 255, 65 + i * 110 / 255, 30 + i * 60 / 255);
    palette[0] = Rgba(40, 30, 20);
    std::vector<uint8_t> indices(64 * 64);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            int level =
                120 + static_cast<int>(Noise(x, y, 8, 3) * 90) - static_cast<int>(y % 16) * 3;
            if (y % 16 == 15) level = 60;               // plate edges
            if (y % 16 == 8 && x % 10 == 5) level = 0;  // rivets
            indices[y * 64 + x] = static_cast<uint8_t>(std::clamp(level, 0, 255));
        }
    }
    return EncodeBmp8(64, 64, indices, palette);
}

Image SwordImage() {
    Image img(32, 100);  // not a power of two: scaled to the texture size
    for (uint32_t y = 0; y < 100; ++y) {
        for (uint32_t x = 0; x < 32; ++x) {
            uint32_t p;
            if (y < 70) {
                const int edge =
                    180 + static_cast<int>(std::fabs(static_cast<float>(x) - 15.5f)) * 4;
                p = Rgba(edge, edge, edge + 15);
            } else if (y < 81) {
                p = Rgba(210, 170, 60);
            } else {
                p = (y % 3 == 0) ? Rgba(50, 30, 15) : Rgba(95, 60, 30);
            }
            img.Set(x, y, p);
        }
    }
    return img;
}

Image LeatherImage() {
    Image img(64, 64);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            const int n = static_cast<int>(Noise(x, y, 5, 9) * 30);
            const bool stitch = (y == 31 || y == 33) && x % 4 < 2;
            img.Set(x, y, stitch ? Rgba(200, 180, 140) : Rgba(85 + n, 55 + n / 2, 30));
        }
    }
    return img;
}

Image GrassImage() {
    Image img(128, 128);
    for (uint32_t y = 0; y < 128; ++y) {
        for (uint32_t x = 0; x < 128; ++x) {
            const float n = Noise(x, y, 16, 21) * 0.6f + Noise(x, y, 4, 22) * 0.4f;
            img.Set(x, y,
                    Rgba(60 + static_cast<int>(n * 50), 110 + static_cast<int>(n * 60),
                         40 + static_cast<int>(n * 20)));
        }
    }
    return img;
}

Image WallImage() {
    Image img(128, 128);
    for (uint32_t y = 0; y < 128; ++y) {
        for (uint32_t x = 0; x < 128; ++x) {
            const uint32_t row = y / 16, shift = (row % 2) * 16;
            const bool mortar = y % 16 == 0 || (x + shift) % 32 == 0;
            const int n = static_cast<int>(Hash((x + shift) / 32, row, 7) * 40);
            img.Set(x, y, mortar ? Rgba(200, 195, 180) : Rgba(160 + n, 75 + n / 2, 55));
        }
    }
    return img;
}

Image RoofImage() {
    Image img(128, 64);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 128; ++x) {
            const uint32_t shift = ((y / 8) % 2) * 8;
            const bool gap = y % 8 == 7 || (x + shift) % 16 == 0;
            const int shade = 140 - static_cast<int>(y % 8) * 6;
            img.Set(x, y, gap ? Rgba(60, 30, 25) : Rgba(shade + 30, shade / 2, shade / 3));
        }
    }
    return img;
}

Image WoodImage() {
    Image img(64, 64);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            const float grain = std::sin(static_cast<float>(x) * 0.9f + Noise(x, y, 8, 31) * 6.0f);
            const int n = static_cast<int>(grain * 15);
            img.Set(x, y, x % 16 == 0 ? Rgba(70, 45, 25) : Rgba(150 + n, 105 + n, 60 + n / 2));
        }
    }
    return img;
}

Image FlagImage() {
    Image img(64, 32);
    for (uint32_t y = 0; y < 32; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            // Swallowtail: the fly end is cut away through alpha.
            const float dy = std::fabs(static_cast<float>(y) - 15.5f);
            const bool cut = x > 44 && dy < (static_cast<float>(x) - 44.0f) * 0.8f;
            // A golden chevron pointing to the fly on a deep red field.
            const float d = static_cast<float>(x) * 0.5f - dy;
            const bool chevron = d > 4.0f && d < 9.0f;
            const uint32_t colour = chevron ? Rgba(235, 190, 60, 255) : Rgba(130, 20, 35, 255);
            img.Set(x, y, cut ? (colour & 0xFFFFFF00u) : colour);
        }
    }
    return img;
}
