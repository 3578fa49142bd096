// What the fuzz targets of the viewer's readers share: a message box that
// says nothing, and a device that checks every call the model code makes
// instead of drawing.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "viewer/platform/Device.h"
#include "viewer/platform/UiServices.h"

namespace fuzz {

class SilentUi : public UiServices {
public:
    void MessageBox(const std::string&) override { ++messages; }
    bool OpenFileDialog(const std::string&, const std::string&, std::string&) override {
        return false;
    }
    int messages = 0;
};

class CheckingSurface : public TextureSurface {
public:
    explicit CheckingSurface(const SurfaceDesc& d) : desc(d) {}
    const SurfaceDesc& Desc() const override { return desc; }
    HRESULT Blt(const StagingImage& image) override {
        const uint32_t bytesPerPixel = image.format.dwRGBBitCount / 8;
        if (bytesPerPixel != 2 && bytesPerPixel != 4) Broken("staged image of an unknown depth");
        if (image.width == 0 || image.height == 0) Broken("staged image without pixels");
        if (image.pitch < image.width * bytesPerPixel) Broken("staged rows shorter than the image");
        if (image.bytes.size() != static_cast<size_t>(image.pitch) * image.height)
            Broken("staged bytes do not fill the image");
        return S_OK;
    }

private:
    SurfaceDesc desc;
};

// The formats of the OpenGL device: 16-bit 565 / 1555 / 4444, 32-bit X8R8G8B8 / A8R8G8B8.
inline std::vector<DDPIXELFORMAT> StandardFormats() {
    auto rgb = [](uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
        DDPIXELFORMAT f;
        f.dwFlags = DDPF_RGB | (a != 0 ? DDPF_ALPHAPIXELS : 0u);
        f.dwRGBBitCount = bits;
        f.dwRBitMask = r;
        f.dwGBitMask = g;
        f.dwBBitMask = b;
        f.dwRGBAlphaBitMask = a;
        return f;
    };
    return {rgb(16, 0xF800, 0x07E0, 0x001F, 0), rgb(16, 0x7C00, 0x03E0, 0x001F, 0x8000),
            rgb(16, 0x0F00, 0x00F0, 0x000F, 0xF000), rgb(32, 0xFF0000, 0xFF00, 0xFF, 0),
            rgb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)};
}

// A device that draws nothing and checks every draw call: vertex arrays that
// are there, indices within them, whole triangles.
class CheckingDevice : public RenderDevice {
public:
    DeviceCaps caps;
    std::vector<DDPIXELFORMAT> formats = StandardFormats();
    uint64_t trianglesDrawn = 0;

    HRESULT GetCaps(DeviceCaps& c) override {
        c = caps;
        return S_OK;
    }
    HRESULT EnumTextureFormats(TextureFormatCallback callback, void* context) override {
        for (const DDPIXELFORMAT& f : formats)
            if (callback(f, context) == D3DENUMRET_CANCEL) break;
        return S_OK;
    }
    HRESULT CreateTextureSurface(const SurfaceDesc& desc,
                                 std::unique_ptr<TextureSurface>& surface) override {
        if (desc.dwWidth == 0 || desc.dwHeight == 0 || desc.dwWidth > 4096 || desc.dwHeight > 4096)
            Broken("texture of an impossible size");
        surface = std::make_unique<CheckingSurface>(desc);
        return S_OK;
    }
    HRESULT Clear(uint32_t, uint32_t, float) override { return S_OK; }
    HRESULT BeginScene() override { return S_OK; }
    HRESULT EndScene() override { return S_OK; }
    HRESULT SetTexture(uint32_t, TextureSurface*) override { return S_OK; }
    HRESULT SetRenderState(D3DRENDERSTATETYPE, uint32_t) override { return S_OK; }
    HRESULT SetTextureStageState(uint32_t, D3DTEXTURESTAGESTATETYPE, uint32_t) override {
        return S_OK;
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX&) override { return S_OK; }
    HRESULT SetMaterial(const D3DMATERIAL7&) override { return S_OK; }
    HRESULT SetLight(uint32_t, const D3DLIGHT7&) override { return S_OK; }
    HRESULT LightEnable(uint32_t, bool) override { return S_OK; }
    HRESULT SetViewport(const D3DVIEWPORT7&) override { return S_OK; }
    HRESULT GetViewport(D3DVIEWPORT7& v) override {
        v = D3DVIEWPORT7{0, 0, 640, 480, 0.0f, 1.0f};
        return S_OK;
    }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t, const ModelVertex* vertices,
                          uint32_t count, uint32_t) override {
        if (count == 0) return S_OK;
        if (vertices == nullptr) Broken("draw call without vertices");
        if (type == D3DPT_TRIANGLELIST && count % 3 != 0)
            Broken("triangle list of a broken length");
        Touch(vertices, count);
        trianglesDrawn += count / 3;
        return S_OK;
    }
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, uint32_t, const ModelVertex* vertices,
                                 uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount,
                                 uint32_t) override {
        if (indexCount == 0) return S_OK;
        if (vertices == nullptr || indices == nullptr)
            Broken("indexed draw call without its arrays");
        if (type == D3DPT_TRIANGLELIST && indexCount % 3 != 0)
            Broken("triangle list of a broken length");
        for (uint32_t i = 0; i < indexCount; ++i)
            if (indices[i] >= vertexCount) Broken("index beyond the vertices drawn");
        Touch(vertices, vertexCount);
        trianglesDrawn += indexCount / 3;
        return S_OK;
    }

private:
    // Reads every vertex, so a vertex array shorter than its count is seen.
    static void Touch(const ModelVertex* vertices, uint32_t count) {
        volatile float sum = 0;
        for (uint32_t i = 0; i < count; ++i) sum = sum + vertices[i].x + vertices[i].tv;
    }
};

}  // namespace fuzz
