// The pieces of texture handling below the texture manager: the texture size
// and pixel-format rules and the conversion of 32-bit pixels into a texture
// format's bit layout; with the image files (TextureFiles.h) and the TGA
// reader (TgaImage.h) they are what the manager builds on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "viewer/model/TextureFiles.h"
#include "viewer/model/TgaImage.h"
#include "viewer/platform/Device.h"
#include "viewer/platform/Result.h"

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
