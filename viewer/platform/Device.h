// The rendering device the viewer draws with: the operations of a Direct3D 7
// immediate-mode device and its DirectDraw texture surfaces, with Direct3D 7
// semantics (row-vector matrices, left-handed space, clip z in [0, 1],
// clockwise front faces, fixed-function lighting of one directional light).
// The OpenGL device implements it for the screen and for headless rendering;
// tests use a recording fake.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "viewer/platform/D3DTypes.h"
#include "viewer/platform/Result.h"

// Pixel-format flags and record (DDPIXELFORMAT).
constexpr uint32_t DDPF_ALPHAPIXELS = 0x00000001;
constexpr uint32_t DDPF_FOURCC = 0x00000004;
constexpr uint32_t DDPF_PALETTEINDEXED8 = 0x00000020;
constexpr uint32_t DDPF_RGB = 0x00000040;
constexpr uint32_t DDPF_ZBUFFER = 0x00000400;
constexpr uint32_t DDPF_LUMINANCE = 0x00020000;
constexpr uint32_t DDPF_BUMPLUMINANCE = 0x00040000;
constexpr uint32_t DDPF_BUMPDUDV = 0x00080000;

struct DDPIXELFORMAT {
    uint32_t dwSize = 32;
    uint32_t dwFlags = 0;
    uint32_t dwFourCC = 0;
    uint32_t dwRGBBitCount = 0;
    uint32_t dwRBitMask = 0;
    uint32_t dwGBitMask = 0;
    uint32_t dwBBitMask = 0;
    uint32_t dwRGBAlphaBitMask = 0;
};

// Texture capability bits (D3DPRIMCAPS::dwTextureCaps).
constexpr uint32_t D3DPTEXTURECAPS_POW2 = 0x00000002;
constexpr uint32_t D3DPTEXTURECAPS_SQUAREONLY = 0x00000020;

// What the texture code reads of the device description (D3DDEVICEDESC7).
struct DeviceCaps {
    bool hardware = true;             // a HAL / T&L HAL device (texture management on)
    uint32_t dwTextureCaps = 0;       // D3DPTEXTURECAPS_*
    uint32_t dwMaxTextureWidth = 0;   // 0 counts as 256
    uint32_t dwMaxTextureHeight = 0;  // 0 counts as 256
};

// Surface capability bits used when creating textures.
constexpr uint32_t DDSCAPS_TEXTURE = 0x00001000;
constexpr uint32_t DDSCAPS_SYSTEMMEMORY = 0x00000800;
constexpr uint32_t DDSCAPS2_TEXTUREMANAGE = 0x00000010;
constexpr uint32_t DDSD_CAPS = 0x00000001;
constexpr uint32_t DDSD_HEIGHT = 0x00000002;
constexpr uint32_t DDSD_WIDTH = 0x00000004;
constexpr uint32_t DDSD_PIXELFORMAT = 0x00001000;
constexpr uint32_t DDSD_TEXTURESTAGE = 0x00100000;

// Texture surface description (the fields of DDSURFACEDESC2 the viewer sets).
struct SurfaceDesc {
    uint32_t dwFlags = 0;
    uint32_t dwWidth = 0;
    uint32_t dwHeight = 0;
    uint32_t dwCaps = 0;
    uint32_t dwCaps2 = 0;
    uint32_t dwTextureStage = 0;
    DDPIXELFORMAT ddpfPixelFormat;
};

// An image in a texture's pixel format at the image's own size, as staged in
// system memory before it is copied onto a texture. Pixels are 16 or 32 bits,
// rows from the top, each row `pitch` bytes after the previous one.
struct StagingImage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t pitch = 0;
    DDPIXELFORMAT format;
    std::vector<uint8_t> bytes;
};

// A texture surface on a device. Blt copies a staged image over the whole
// texture, scaling it to the texture's size.
class TextureSurface {
public:
    virtual ~TextureSurface() = default;
    virtual const SurfaceDesc& Desc() const = 0;
    virtual HRESULT Blt(const StagingImage& image) = 0;
};

// Enumeration callback results.
constexpr HRESULT D3DENUMRET_CANCEL = 0;
constexpr HRESULT D3DENUMRET_OK = 1;
using TextureFormatCallback = HRESULT (*)(const DDPIXELFORMAT& format, void* context);

class RenderDevice {
public:
    virtual ~RenderDevice() = default;

    virtual HRESULT GetCaps(DeviceCaps& caps) = 0;
    virtual HRESULT EnumTextureFormats(TextureFormatCallback callback, void* context) = 0;
    virtual HRESULT CreateTextureSurface(const SurfaceDesc& desc,
                                         std::unique_ptr<TextureSurface>& surface) = 0;

    virtual HRESULT Clear(uint32_t flags, uint32_t colour, float z) = 0;
    virtual HRESULT BeginScene() = 0;
    virtual HRESULT EndScene() = 0;

    // Stage 0 only; null unbinds.
    virtual HRESULT SetTexture(uint32_t stage, TextureSurface* surface) = 0;
    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) = 0;
    virtual HRESULT SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                                         uint32_t value) = 0;
    virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX& matrix) = 0;
    virtual HRESULT SetMaterial(const D3DMATERIAL7& material) = 0;
    virtual HRESULT SetLight(uint32_t index, const D3DLIGHT7& light) = 0;
    virtual HRESULT LightEnable(uint32_t index, bool enable) = 0;
    virtual HRESULT SetViewport(const D3DVIEWPORT7& viewport) = 0;
    virtual HRESULT GetViewport(D3DVIEWPORT7& viewport) = 0;

    virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf, const ModelVertex* vertices,
                                  uint32_t vertexCount, uint32_t flags) = 0;
    virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf,
                                         const ModelVertex* vertices, uint32_t vertexCount,
                                         const uint16_t* indices, uint32_t indexCount,
                                         uint32_t flags) = 0;
};
