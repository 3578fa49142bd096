// The pieces of texture handling below the texture manager: finding an image
// file, the TGA reader, the texture size and pixel-format rules, and the
// conversion of 32-bit pixels into a texture format's bit layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Device.h"
#include "Result.h"

// The environment variable naming the shared media directory, searched for
// texture images after the texture directory.
constexpr const char* kMediaDirVariable = "ZINTARO_MEDIA_DIR";

// The media directory (the variable's value followed by a slash), or an empty
// text when the variable is not set. Read afresh at every call.
std::string MediaDirectory();

// Path of the regular file `name` in `directory` (empty directory: the
// current directory). Backslashes and slashes in the name separate folders.
// Where no file or folder has exactly the name given, one whose name differs
// only in the case of ASCII letters is taken. Empty when none exists.
std::string FindFileNoCase(const std::string& directory, const std::string& name);

// The extension of `name` from its last dot on, lower-cased; empty without a dot.
std::string LowerExtension(const std::string& name);

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

// The texture size for an image on a device: raised to powers of two when the
// device asks for them, limited to its maximum size (0 counting as 256), and
// made square (the larger side) when it accepts square textures only.
void TextureSizeFor(const DeviceCaps& caps, uint32_t imageWidth, uint32_t imageHeight,
                    uint32_t& width, uint32_t& height);

// Chooses the texture format for an image of `bitsPerPixel` bits, with or
// without alpha, from the formats the device offers: the first acceptable one,
// else the first acceptable 16-bit format. E_FAIL when there is none.
HRESULT ChooseTextureFormat(RenderDevice& device, uint32_t bitsPerPixel, bool hasAlpha,
                            DDPIXELFORMAT& format);

// Position of the lowest set bit of a channel mask and the bits an 8-bit
// channel value loses to fit it (a zero mask: shift 0, loss 8).
struct ChannelShift {
    uint32_t mask = 0;
    uint32_t shift = 0;
    uint32_t loss = 8;
};
ChannelShift ShiftForMask(uint32_t mask);

// One 32-bit pixel (red << 24 | green << 16 | blue << 8 | alpha) in the bit
// layout of `format`.
uint32_t PackPixel(uint32_t rgba, const ChannelShift& red, const ChannelShift& green,
                   const ChannelShift& blue, const ChannelShift& alpha);

// Fills `image` with `width` x `height` pixels (rows from the top) converted
// to `format`, which must have 16 or 32 bits per pixel (E_NOTIMPL otherwise).
HRESULT FillStagingImage(const uint32_t* pixels, uint32_t width, uint32_t height,
                         const DDPIXELFORMAT& format, StagingImage& image);
