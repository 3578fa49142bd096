// The platform's image loader: decodes image files the texture manager does
// not read itself (BMP). The application uses the Qt implementation
// (QtImageLoader); model code only sees this interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A decoded image. Row 0 is the top row; each pixel holds red in bits 31-24,
// green in 23-16, blue in 15-8 and alpha in 7-0.
struct BitmapImage {
    uint32_t width = 0;
    uint32_t height = 0;
    // The file's own depth (1, 4, 8, 16, 24 or 32 for a BMP), not that of
    // the decoded pixels, which are always 32-bit.
    uint32_t bitsPerPixel = 0;
    std::vector<uint32_t> pixels;
};

class ImageLoader {
public:
    virtual ~ImageLoader() = default;
    // Decodes the image file at `path`. False with the problem in `error`
    // when the file cannot be read or is not an image the loader knows.
    virtual bool LoadBitmap(const std::string& path, BitmapImage& image, std::string& error) = 0;
};
