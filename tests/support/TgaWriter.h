// Writes TGA images in tests: uncompressed (type 2) or run-length encoded
// (type 10), 24 or 32 bits, stored bottom-up or top-down.
#pragma once

#include <cstdint>
#include <vector>

struct TgaLayout {
    uint8_t type = 2;      // 2 uncompressed, 10 run-length encoded
    uint8_t depth = 24;    // 24 or 32
    bool topDown = false;  // image descriptor bit 5
    uint8_t idLength = 0;  // bytes of image ID written after the header
};

// The 18-byte header.
inline std::vector<uint8_t> TgaHeader(uint32_t width, uint32_t height, const TgaLayout& layout) {
    std::vector<uint8_t> h(18, 0);
    h[0] = layout.idLength;
    h[2] = layout.type;
    h[12] = static_cast<uint8_t>(width);
    h[13] = static_cast<uint8_t>(width >> 8);
    h[14] = static_cast<uint8_t>(height);
    h[15] = static_cast<uint8_t>(height >> 8);
    h[16] = layout.depth;
    h[17] = static_cast<uint8_t>((layout.depth == 32 ? 8 : 0) | (layout.topDown ? 0x20 : 0));
    for (uint8_t i = 0; i < layout.idLength; ++i) h.push_back(static_cast<uint8_t>('A' + i % 26));
    return h;
}

// One pixel (red << 24 | green << 16 | blue << 8 | alpha) as stored: blue, green, red[, alpha].
inline void AppendTgaPixel(std::vector<uint8_t>& out, uint32_t rgba, uint8_t depth) {
    out.push_back(static_cast<uint8_t>(rgba >> 8));
    out.push_back(static_cast<uint8_t>(rgba >> 16));
    out.push_back(static_cast<uint8_t>(rgba >> 24));
    if (depth == 32) out.push_back(static_cast<uint8_t>(rgba));
}

// `pixels` holds the image with row 0 at the top. Run-length encoding uses
// repeat packets for runs of two or more equal pixels and literal packets
// otherwise, never across a row.
inline std::vector<uint8_t> EncodeTga(uint32_t width, uint32_t height,
                                      const std::vector<uint32_t>& pixels,
                                      const TgaLayout& layout) {
    std::vector<uint8_t> out = TgaHeader(width, height, layout);
    for (uint32_t fileRow = 0; fileRow < height; ++fileRow) {
        const uint32_t line = layout.topDown ? fileRow : height - 1 - fileRow;
        const uint32_t* row = pixels.data() + static_cast<size_t>(line) * width;
        if (layout.type != 10) {
            for (uint32_t x = 0; x < width; ++x) AppendTgaPixel(out, row[x], layout.depth);
            continue;
        }
        uint32_t x = 0;
        while (x < width) {
            uint32_t run = 1;
            while (x + run < width && run < 128 && row[x + run] == row[x]) ++run;
            if (run >= 2) {
                out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
                AppendTgaPixel(out, row[x], layout.depth);
                x += run;
                continue;
            }
            uint32_t literal = 1;
            while (x + literal < width && literal < 128 &&
                   !(x + literal + 1 < width && row[x + literal] == row[x + literal + 1])) {
                ++literal;
            }
            out.push_back(static_cast<uint8_t>(literal - 1));
            for (uint32_t k = 0; k < literal; ++k) AppendTgaPixel(out, row[x + k], layout.depth);
            x += literal;
        }
    }
    return out;
}
