// A rendering device for tests: reports configurable caps and texture
// formats, creates recording texture surfaces, answers with configurable
// results, and records every call in order with its arguments (draw calls
// with copies of their vertices and indices).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "viewer/platform/Device.h"

// The usual formats of a Direct3D 7 device, with their masks.
namespace TestFormats {
inline DDPIXELFORMAT Rgb(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0) {
    DDPIXELFORMAT f;
    f.dwFlags = DDPF_RGB | (a != 0 ? DDPF_ALPHAPIXELS : 0u);
    f.dwRGBBitCount = bits;
    f.dwRBitMask = r;
    f.dwGBitMask = g;
    f.dwBBitMask = b;
    f.dwRGBAlphaBitMask = a;
    return f;
}
inline DDPIXELFORMAT R5G6B5() {
    return Rgb(16, 0xF800, 0x07E0, 0x001F);
}
inline DDPIXELFORMAT X1R5G5B5() {
    return Rgb(16, 0x7C00, 0x03E0, 0x001F);
}
inline DDPIXELFORMAT A1R5G5B5() {
    return Rgb(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
}
inline DDPIXELFORMAT A4R4G4B4() {
    return Rgb(16, 0x0F00, 0x00F0, 0x000F, 0xF000);
}
inline DDPIXELFORMAT X8R8G8B8() {
    return Rgb(32, 0x00FF0000, 0x0000FF00, 0x000000FF);
}
inline DDPIXELFORMAT A8R8G8B8() {
    return Rgb(32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
}
inline DDPIXELFORMAT Palette8() {
    DDPIXELFORMAT f;
    f.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
    f.dwRGBBitCount = 8;
    return f;
}
inline DDPIXELFORMAT Luminance16() {
    DDPIXELFORMAT f = Rgb(16, 0x00FF, 0, 0, 0xFF00);
    f.dwFlags = DDPF_LUMINANCE | DDPF_ALPHAPIXELS;
    return f;
}
inline DDPIXELFORMAT BumpDuDv16() {
    DDPIXELFORMAT f = Rgb(16, 0x00FF, 0xFF00, 0);
    f.dwFlags = DDPF_BUMPDUDV;
    return f;
}
inline DDPIXELFORMAT FourCC(uint32_t code) {
    DDPIXELFORMAT f;
    f.dwFlags = DDPF_FOURCC;
    f.dwFourCC = code;
    f.dwRGBBitCount = 16;
    return f;
}
// What the OpenGL device offers: 16-bit 565 / 1555 / 4444 and 32-bit X8R8G8B8 / A8R8G8B8.
inline std::vector<DDPIXELFORMAT> Standard() {
    return {R5G6B5(), A1R5G5B5(), A4R4G4B4(), X8R8G8B8(), A8R8G8B8()};
}
}  // namespace TestFormats

class RecordingSurface : public TextureSurface {
public:
    RecordingSurface(const SurfaceDesc& desc, int id, HRESULT bltResult)
        : m_desc(desc), id(id), bltResult(bltResult) {}
    const SurfaceDesc& Desc() const override { return m_desc; }
    HRESULT Blt(const StagingImage& image) override {
        blts.push_back(image);
        return bltResult;
    }

    SurfaceDesc m_desc;
    int id;
    HRESULT bltResult;
    std::vector<StagingImage> blts;  // every image copied onto the surface
};

class RecordingDevice : public RenderDevice {
public:
    enum class Op {
        GetCaps,
        EnumTextureFormats,
        CreateTextureSurface,
        Clear,
        BeginScene,
        EndScene,
        SetTexture,
        SetRenderState,
        SetTextureStageState,
        SetTransform,
        SetMaterial,
        SetLight,
        LightEnable,
        SetViewport,
        GetViewport,
        DrawPrimitive,
        DrawIndexedPrimitive,
    };

    struct Call {
        explicit Call(Op o, uint32_t a0 = 0, uint32_t b0 = 0, uint32_t c0 = 0)
            : op(o), a(a0), b(b0), c(c0) {}
        Op op;
        uint32_t a = 0, b = 0, c = 0;  // stage / state / type / index and values, in call order
        float z = 0.0f;                // Clear's z
        TextureSurface* surface = nullptr;  // SetTexture
        int surfaceId = -1;                 // SetTexture's surface id (-1: none)
        SurfaceDesc desc;                   // CreateTextureSurface
        D3DMATRIX matrix{};                 // SetTransform
        D3DMATERIAL7 material{};            // SetMaterial
        D3DLIGHT7 light{};                  // SetLight
        D3DVIEWPORT7 viewport{};            // SetViewport
        // Draw calls: primitive type, format, flags in a, b, c; the arrays as passed and copied.
        const ModelVertex* vertexPointer = nullptr;
        const uint16_t* indexPointer = nullptr;
        std::vector<ModelVertex> vertices;
        std::vector<uint16_t> indices;
    };

    // --- configuration
    DeviceCaps caps;
    std::vector<DDPIXELFORMAT> formats = TestFormats::Standard();
    HRESULT getCapsResult = S_OK;
    HRESULT createSurfaceResult = S_OK;
    HRESULT setTextureResult = S_OK;
    HRESULT bltResult = S_OK;
    HRESULT drawResult = S_OK;
    D3DVIEWPORT7 viewport{0, 0, 640, 480, 0.0f, 1.0f};

    // --- record
    std::vector<Call> calls;
    std::vector<RecordingSurface*> surfaces;  // every surface created, in order (owned by callers)

    std::vector<const Call*> CallsOf(Op op) const {
        std::vector<const Call*> out;
        for (const Call& c : calls) {
            if (c.op == op) out.push_back(&c);
        }
        return out;
    }
    void ClearCalls() { calls.clear(); }

    // --- RenderDevice
    HRESULT GetCaps(DeviceCaps& out) override {
        calls.emplace_back(Op::GetCaps);
        if (getCapsResult == S_OK) out = caps;
        return getCapsResult;
    }
    HRESULT EnumTextureFormats(TextureFormatCallback callback, void* context) override {
        Call call(Op::EnumTextureFormats);
        for (const DDPIXELFORMAT& f : formats) {
            ++call.a;  // formats offered before the callback stopped
            if (callback(f, context) == D3DENUMRET_CANCEL) break;
        }
        calls.push_back(call);
        return S_OK;
    }
    HRESULT CreateTextureSurface(const SurfaceDesc& desc,
                                 std::unique_ptr<TextureSurface>& surface) override {
        Call call(Op::CreateTextureSurface);
        call.desc = desc;
        calls.push_back(call);
        if (createSurfaceResult != S_OK) return createSurfaceResult;
        auto created =
            std::make_unique<RecordingSurface>(desc, static_cast<int>(surfaces.size()), bltResult);
        surfaces.push_back(created.get());
        surface = std::move(created);
        return S_OK;
    }
    HRESULT Clear(uint32_t flags, uint32_t colour, float z) override {
        Call call(Op::Clear, flags, colour);
        call.z = z;
        calls.push_back(call);
        return S_OK;
    }
    HRESULT BeginScene() override {
        calls.emplace_back(Op::BeginScene);
        return S_OK;
    }
    HRESULT EndScene() override {
        calls.emplace_back(Op::EndScene);
        return S_OK;
    }
    HRESULT SetTexture(uint32_t stage, TextureSurface* surface) override {
        Call call(Op::SetTexture, stage);
        call.surface = surface;
        if (auto* s = dynamic_cast<RecordingSurface*>(surface)) call.surfaceId = s->id;
        calls.push_back(call);
        return setTextureResult;
    }
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) override {
        calls.emplace_back(Op::SetRenderState, state, value);
        return S_OK;
    }
    HRESULT SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                                 uint32_t value) override {
        calls.emplace_back(Op::SetTextureStageState, stage, type, value);
        return S_OK;
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX& matrix) override {
        Call call(Op::SetTransform, type);
        call.matrix = matrix;
        calls.push_back(call);
        return S_OK;
    }
    HRESULT SetMaterial(const D3DMATERIAL7& material) override {
        Call call(Op::SetMaterial);
        call.material = material;
        calls.push_back(call);
        return S_OK;
    }
    HRESULT SetLight(uint32_t index, const D3DLIGHT7& light) override {
        Call call(Op::SetLight, index);
        call.light = light;
        calls.push_back(call);
        return S_OK;
    }
    HRESULT LightEnable(uint32_t index, bool enable) override {
        calls.emplace_back(Op::LightEnable, index, enable ? 1u : 0u);
        return S_OK;
    }
    HRESULT SetViewport(const D3DVIEWPORT7& vp) override {
        Call call(Op::SetViewport);
        call.viewport = vp;
        calls.push_back(call);
        viewport = vp;
        return S_OK;
    }
    HRESULT GetViewport(D3DVIEWPORT7& vp) override {
        calls.emplace_back(Op::GetViewport);
        vp = viewport;
        return S_OK;
    }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf, const ModelVertex* vertices,
                          uint32_t vertexCount, uint32_t flags) override {
        Call call(Op::DrawPrimitive, type, fvf, flags);
        call.vertexPointer = vertices;
        if (vertices != nullptr) call.vertices.assign(vertices, vertices + vertexCount);
        calls.push_back(std::move(call));
        return drawResult;
    }
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf, const ModelVertex* vertices,
                                 uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount,
                                 uint32_t flags) override {
        Call call(Op::DrawIndexedPrimitive, type, fvf, flags);
        call.vertexPointer = vertices;
        call.indexPointer = indices;
        if (vertices != nullptr) call.vertices.assign(vertices, vertices + vertexCount);
        if (indices != nullptr) call.indices.assign(indices, indices + indexCount);
        calls.push_back(std::move(call));
        return drawResult;
    }
};
