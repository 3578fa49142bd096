// The viewer's TGA reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "viewer/platform/Result.h"

// A decoded TGA image: rows from the top, each pixel red << 24 | green << 16 |
// blue << 8 | alpha.
struct TgaImage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0;
    std::vector<uint32_t> pixels;
};

// Decodes an uncompressed (type 2) or run-length encoded (type 10) true-colour
// TGA of 24 or 32 bits per pixel. False with the problem in `error` for any
// other kind, a truncated file, or a run-length packet that runs past the end
// of its row.
bool DecodeTga(const uint8_t* data, size_t size, TgaImage& image, std::string& error);
// Reads and decodes a TGA file: 0, or E_FAIL with the problem in `error`.
HRESULT ReadTgaFile(const std::string& path, TgaImage& image, std::string& error);

// True when any pixel's alpha (bits 7-0) is not 255.
bool AnyPixelTranslucent(const std::vector<uint32_t>& pixels);
