#include "viewer/render/GlTextureFormats.h"

namespace {

DDPIXELFORMAT Rgb(uint32_t flags, uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    DDPIXELFORMAT pf;
    pf.dwFlags = flags;
    pf.dwRGBBitCount = bits;
    pf.dwRBitMask = r;
    pf.dwGBitMask = g;
    pf.dwBBitMask = b;
    pf.dwRGBAlphaBitMask = a;
    return pf;
}

const TextureFormat kFormats[] = {
    {Rgb(DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0), GL_RGB, GL_UNSIGNED_SHORT_5_6_5, true},
    {Rgb(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x7C00, 0x03E0, 0x001F, 0x8000), GL_BGRA,
     GL_UNSIGNED_SHORT_1_5_5_5_REV, false},
    {Rgb(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x0F00, 0x00F0, 0x000F, 0xF000), GL_BGRA,
     GL_UNSIGNED_SHORT_4_4_4_4_REV, false},
    {Rgb(DDPF_RGB, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
     true},
    {Rgb(DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000), GL_BGRA,
     GL_UNSIGNED_INT_8_8_8_8_REV, false},
};

}  // namespace

const TextureFormat* TextureFormats(size_t& count) {
    count = sizeof kFormats / sizeof kFormats[0];
    return kFormats;
}

const TextureFormat* FindFormat(const DDPIXELFORMAT& pf) {
    constexpr uint32_t kRelevant = DDPF_RGB | DDPF_ALPHAPIXELS | DDPF_FOURCC |
                                   DDPF_PALETTEINDEXED8 | DDPF_LUMINANCE | DDPF_BUMPLUMINANCE |
                                   DDPF_BUMPDUDV;
    for (const TextureFormat& f : kFormats) {
        if ((pf.dwFlags & kRelevant) == f.pf.dwFlags && pf.dwRGBBitCount == f.pf.dwRGBBitCount &&
            pf.dwRBitMask == f.pf.dwRBitMask && pf.dwGBitMask == f.pf.dwGBitMask &&
            pf.dwBBitMask == f.pf.dwBBitMask && pf.dwRGBAlphaBitMask == f.pf.dwRGBAlphaBitMask)
            return &f;
    }
    return nullptr;
}
