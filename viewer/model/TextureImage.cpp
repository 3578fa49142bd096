#include "TextureImage.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "ByteReader.h"

namespace fs = std::filesystem;

namespace {

std::string JoinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    if (directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(fs::path(path), ec);
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

uint32_t NextPowerOfTwo(uint32_t v) {
    uint64_t p = 1;
    while (p < v) p <<= 1;
    return p > 0x80000000u ? 0x80000000u : static_cast<uint32_t>(p);
}

uint32_t BitCount(uint32_t v) {
    uint32_t n = 0;
    for (; v != 0; v &= v - 1) ++n;
    return n;
}

}  // namespace

std::string MediaDirectory() {
    const char* value = std::getenv(kMediaDirVariable);
    if (value == nullptr || value[0] == '\0') return std::string();
    std::string directory = value;
    if (directory.back() != '/') directory += '/';
    return directory;
}

namespace {

// The entry of `directory` named `name`, or one whose name differs only in
// case (the first in name order, so that the choice does not depend on the
// directory's order): a regular file or, with `folder`, a directory.
std::string FindEntryNoCase(const std::string& directory, const std::string& name, bool folder) {
    auto fits = [folder](const std::string& path) {
        std::error_code ec;
        return folder ? fs::is_directory(fs::path(path), ec) : IsRegularFile(path);
    };
    if (fits(JoinPath(directory, name))) return name;
    std::error_code ec;
    fs::directory_iterator it(directory.empty() ? fs::path(".") : fs::path(directory), ec);
    if (ec) return std::string();
    std::string best;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const std::string candidate = it->path().filename().string();
        if (!EqualNoCase(candidate, name)) continue;
        if (!fits(JoinPath(directory, candidate))) continue;
        if (best.empty() || candidate < best) best = candidate;
    }
    return best;
}

}  // namespace

std::string FindFileNoCase(const std::string& directory, const std::string& name) {
    // Names from model files come from a system that ignores case and
    // separates folders with backslashes.
    std::vector<std::string> parts;
    std::string part;
    for (const char c : name) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    if (parts.empty()) return std::string();
    std::string path = directory;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string found = FindEntryNoCase(path, parts[i], i + 1 < parts.size());
        if (found.empty()) return std::string();
        path = JoinPath(path, found);
    }
    return path;
}

std::string LowerExtension(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return std::string();
    std::string ext = name.substr(dot);
    for (char& c : ext) c = LowerAscii(c);
    return ext;
}

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

void TextureSizeFor(const DeviceCaps& caps, uint32_t imageWidth, uint32_t imageHeight,
                    uint32_t& width, uint32_t& height) {
    width = imageWidth;
    height = imageHeight;
    if (caps.dwTextureCaps & D3DPTEXTURECAPS_POW2) {
        width = NextPowerOfTwo(width);
        height = NextPowerOfTwo(height);
    }
    const uint32_t maxWidth = caps.dwMaxTextureWidth != 0 ? caps.dwMaxTextureWidth : 256;
    const uint32_t maxHeight = caps.dwMaxTextureHeight != 0 ? caps.dwMaxTextureHeight : 256;
    width = std::min(width, maxWidth);
    height = std::min(height, maxHeight);
    if (caps.dwTextureCaps & D3DPTEXTURECAPS_SQUAREONLY) {
        width = height = std::max(width, height);
    }
}

namespace {

struct FormatSearch {
    uint32_t desiredBits;
    bool wantAlpha;
    bool wantPalette;
    bool found;
    DDPIXELFORMAT format;
};

HRESULT AcceptTextureFormat(const DDPIXELFORMAT& offered, void* context) {
    FormatSearch& search = *static_cast<FormatSearch*>(context);
    if (offered.dwFlags & (DDPF_LUMINANCE | DDPF_BUMPLUMINANCE | DDPF_BUMPDUDV)) {
        return D3DENUMRET_OK;
    }
    if (search.wantPalette) {
        if (!(offered.dwFlags & DDPF_PALETTEINDEXED8)) return D3DENUMRET_OK;
    } else {
        if (offered.dwRGBBitCount < 16) return D3DENUMRET_OK;
        if (offered.dwFourCC != 0) return D3DENUMRET_OK;
        if (offered.dwRGBAlphaBitMask == 0xF000) return D3DENUMRET_OK;  // four-bit alpha
        const bool hasAlpha = (offered.dwFlags & DDPF_ALPHAPIXELS) != 0;
        if (search.wantAlpha != hasAlpha) return D3DENUMRET_OK;
        if (offered.dwRGBBitCount != search.desiredBits) return D3DENUMRET_OK;
    }
    search.format = offered;
    search.found = true;
    return D3DENUMRET_CANCEL;
}

}  // namespace

HRESULT ChooseTextureFormat(RenderDevice& device, uint32_t bitsPerPixel, bool hasAlpha,
                            DDPIXELFORMAT& format) {
    FormatSearch search{bitsPerPixel, hasAlpha, bitsPerPixel <= 8, false, DDPIXELFORMAT{}};
    device.EnumTextureFormats(AcceptTextureFormat, &search);
    if (!search.found) {
        search.wantPalette = false;
        search.desiredBits = 16;
        device.EnumTextureFormats(AcceptTextureFormat, &search);
        if (!search.found) return E_FAIL;
    }
    format = search.format;
    return S_OK;
}

ChannelShift ShiftForMask(uint32_t mask) {
    ChannelShift c;
    c.mask = mask;
    if (mask == 0) return c;
    uint32_t shift = 0;
    while (((mask >> shift) & 1u) == 0) ++shift;
    const uint32_t bits = BitCount(mask);
    c.shift = shift;
    c.loss = bits >= 8 ? 0 : 8 - bits;
    return c;
}

uint32_t PackPixel(uint32_t rgba, const ChannelShift& red, const ChannelShift& green,
                   const ChannelShift& blue, const ChannelShift& alpha) {
    const uint32_t r = (rgba >> 24) & 0xFFu, g = (rgba >> 16) & 0xFFu, b = (rgba >> 8) & 0xFFu,
                   a = rgba & 0xFFu;
    return (((r >> red.loss) << red.shift) & red.mask) +
           (((g >> green.loss) << green.shift) & green.mask) +
           (((b >> blue.loss) << blue.shift) & blue.mask) +
           (((a >> alpha.loss) << alpha.shift) & alpha.mask);
}

HRESULT FillStagingImage(const uint32_t* pixels, uint32_t width, uint32_t height,
                         const DDPIXELFORMAT& format, StagingImage& image) {
    const uint32_t bits = format.dwRGBBitCount;
    if (bits != 16 && bits != 32) return E_NOTIMPL;
    const uint32_t bytesPerPixel = bits / 8;
    image.width = width;
    image.height = height;
    image.pitch = width * bytesPerPixel;
    image.format = format;
    image.bytes.assign(static_cast<size_t>(image.pitch) * height, 0);
    const ChannelShift red = ShiftForMask(format.dwRBitMask);
    const ChannelShift green = ShiftForMask(format.dwGBitMask);
    const ChannelShift blue = ShiftForMask(format.dwBBitMask);
    const ChannelShift alpha = ShiftForMask(format.dwRGBAlphaBitMask);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = image.bytes.data() + static_cast<size_t>(y) * image.pitch;
        const uint32_t* source = pixels + static_cast<size_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t value = PackPixel(source[x], red, green, blue, alpha);
            if (bits == 32) {
                const uint32_t v = value;
                std::memcpy(row + 4 * x, &v, 4);
            } else {
                const uint16_t v = static_cast<uint16_t>(value);
                std::memcpy(row + 2 * x, &v, 2);
            }
        }
    }
    return S_OK;
}
