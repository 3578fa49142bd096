#include "viewer/model/TgaImage.h"

#include "viewer/model/ByteReader.h"
#include "viewer/platform/CheckedSize.h"

bool DecodeTga(const uint8_t* data, size_t size, TgaImage& image, std::string& error) {
    ByteReader r(data, size);
    const uint8_t* header = r.Take(18);
    if (header == nullptr) {
        error =
            "file is too short for a TGA header (" + std::to_string(size) + " bytes, 18 needed)";
        return false;
    }
    const uint32_t idLength = header[0];
    const uint32_t colourMapType = header[1];
    const uint32_t imageType = header[2];
    const uint32_t width = header[12] | (header[13] << 8);
    const uint32_t height = header[14] | (header[15] << 8);
    const uint32_t depth = header[16];
    const bool topDown = (header[17] & 0x20) != 0;
    if (colourMapType != 0) {
        error = "colour-mapped TGA images are not supported (colour-map type " +
                std::to_string(colourMapType) + ")";
        return false;
    }
    if (imageType != 2 && imageType != 10) {
        error = "TGA image type " + std::to_string(imageType) +
                " is not supported (only 2 and 10, true-colour)";
        return false;
    }
    if (depth != 24 && depth != 32) {
        error = "TGA pixel depth " + std::to_string(depth) + " is not supported (only 24 and 32)";
        return false;
    }
    if (width == 0 || height == 0) {
        error = "TGA image has no pixels (" + std::to_string(width) + " x " +
                std::to_string(height) + ")";
        return false;
    }
    if (r.Take(idLength) == nullptr) {
        error = "file ends inside the TGA image ID";
        return false;
    }
    const size_t bytesPerPixel = depth / 8;
    const uint64_t pixelCount = static_cast<uint64_t>(width) * height;
    // Check the pixel count against what the data can hold before allocating:
    // every pixel of an uncompressed image is stored, and a run-length packet
    // of 1 + bytesPerPixel bytes yields at most 128 pixels.
    if (imageType == 2 && !r.Holds(pixelCount, bytesPerPixel)) {
        // Both factors are at most 2^32: the product fits.
        error = "file ends inside the pixel data (" + std::to_string(pixelCount * bytesPerPixel) +
                " bytes needed, " + std::to_string(r.Remaining()) + " left)";
        return false;
    }
    uint64_t runLengthPixels = 0;
    if (imageType == 10 &&
        (!CheckedMul(r.Remaining() / (1 + bytesPerPixel), 128, runLengthPixels) ||
         pixelCount > runLengthPixels)) {
        error = "file is too short for the " + std::to_string(width) + " x " +
                std::to_string(height) + " run-length encoded pixels it announces";
        return false;
    }

    std::vector<uint32_t> pixels(static_cast<size_t>(pixelCount));
    auto readPixel = [&](const uint8_t* p) -> uint32_t {
        const uint32_t alpha = depth == 32 ? p[3] : 255u;
        return (static_cast<uint32_t>(p[2]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
               (static_cast<uint32_t>(p[0]) << 8) | alpha;
    };
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t line = topDown ? y : height - 1 - y;
        uint32_t* row = pixels.data() + static_cast<size_t>(line) * width;
        if (imageType == 2) {
            const uint8_t* p = r.Take(width * bytesPerPixel);  // size checked above
            for (uint32_t x = 0; x < width; ++x) row[x] = readPixel(p + x * bytesPerPixel);
            continue;
        }
        uint32_t x = 0;
        while (x < width) {
            const uint8_t* h = r.Take(1);
            if (h == nullptr) {
                error = "file ends inside the run-length data of row " + std::to_string(y);
                return false;
            }
            const uint32_t n = (h[0] & 0x7Fu) + 1;
            if (x + n > width) {
                error = "run-length packet of " + std::to_string(n) + " pixels at column " +
                        std::to_string(x) + " runs past the end of row " + std::to_string(y) +
                        " (width " + std::to_string(width) + ")";
                return false;
            }
            if (h[0] & 0x80u) {
                const uint8_t* p = r.Take(bytesPerPixel);
                if (p == nullptr) {
                    error = "file ends inside a run-length packet of row " + std::to_string(y);
                    return false;
                }
                std::fill(row + x, row + x + n, readPixel(p));
            } else {
                const uint8_t* p = r.Take(n * bytesPerPixel);
                if (p == nullptr) {
                    error = "file ends inside a literal packet of row " + std::to_string(y);
                    return false;
                }
                for (uint32_t k = 0; k < n; ++k) row[x + k] = readPixel(p + k * bytesPerPixel);
            }
            x += n;
        }
    }
    // Bytes after the pixels (a TGA 2.0 extension area and footer) are allowed.
    image.width = width;
    image.height = height;
    image.bitsPerPixel = depth;
    image.pixels = std::move(pixels);
    return true;
}

HRESULT ReadTgaFile(const std::string& path, TgaImage& image, std::string& error) {
    std::vector<uint8_t> bytes;
    std::string readError;
    if (!ReadRegularFile(path, bytes, readError)) {
        error = path + ": " + readError;
        return E_FAIL;
    }
    std::string decodeError;
    if (!DecodeTga(bytes.data(), bytes.size(), image, decodeError)) {
        error = path + ": " + decodeError;
        return E_FAIL;
    }
    return S_OK;
}

bool AnyPixelTranslucent(const std::vector<uint32_t>& pixels) {
    for (uint32_t p : pixels) {
        if ((p & 0xFFu) != 0xFFu) return true;
    }
    return false;
}
