#include "viewer/model/TextureImage.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

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
