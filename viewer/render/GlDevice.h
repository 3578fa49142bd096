// The rendering device over OpenGL 3.3 core: an off-screen render target with
// its z-buffer, texture surfaces, and the device that draws into the target
// with Direct3D 7 semantics (row-vector matrices, clip z in [0, 1], clockwise
// front faces, per-vertex lighting of one directional light plus the global
// ambient, texture stage 0 modulating the lit colour, alpha test, z-buffer,
// solid and wire-frame fill). Every device state is kept on the CPU side and
// applied to GL at draw time, so the context may be shared with a window
// system that changes GL state between frames.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "viewer/platform/Device.h"
#include "viewer/render/GeometryCache.h"
#include "viewer/render/RenderContext.h"

// The off-screen render target (colour) with the z-buffer attached to it.
class GlRenderTarget {
public:
    // E_INVALIDARG for an empty size, E_FAIL when GL refuses the buffers.
    static HRESULT Create(RenderContext& context, uint32_t width, uint32_t height,
                          std::unique_ptr<GlRenderTarget>& target);
    ~GlRenderTarget();
    GlRenderTarget(const GlRenderTarget&) = delete;
    GlRenderTarget& operator=(const GlRenderTarget&) = delete;

    uint32_t Framebuffer() const { return m_framebuffer; }
    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }
    // Reads the whole target back (rows from the top).
    bool Read(RgbaImage& image);

private:
    GlRenderTarget(RenderContext& context, uint32_t width, uint32_t height)
        : m_context(context), m_width(width), m_height(height) {}

    RenderContext& m_context;
    uint32_t m_width, m_height;
    uint32_t m_framebuffer = 0;
    uint32_t m_colour = 0;
    uint32_t m_depth = 0;
};

// Reads a framebuffer of the current context (rows from the top).
bool ReadFramebuffer(uint32_t framebuffer, uint32_t width, uint32_t height, RgbaImage& image);

// A GL texture object. Held by its surface and, while it is set on stage 0,
// by the device as well, so a surface replaced while still set stays valid
// until the device lets go of it.
class GlTextureObject {
public:
    GlTextureObject(RenderContext::Handle context, uint32_t name)
        : m_context(std::move(context)), m_name(name) {}
    ~GlTextureObject();
    GlTextureObject(const GlTextureObject&) = delete;
    GlTextureObject& operator=(const GlTextureObject&) = delete;
    uint32_t Name() const { return m_name; }

private:
    RenderContext::Handle m_context;
    uint32_t m_name;
};

class GlTextureSurface : public TextureSurface {
public:
    GlTextureSurface(RenderContext::Handle context, const SurfaceDesc& desc,
                     std::shared_ptr<GlTextureObject> texture)
        : m_context(std::move(context)), m_desc(desc), m_texture(std::move(texture)) {}

    const SurfaceDesc& Desc() const override { return m_desc; }
    // Copies the staged image over the whole texture, scaling it to the texture's
    // size (nearest texel). The image must be in the texture's pixel format.
    HRESULT Blt(const StagingImage& image) override;

    const std::shared_ptr<GlTextureObject>& Texture() const { return m_texture; }

private:
    RenderContext::Handle m_context;
    SurfaceDesc m_desc;
    std::shared_ptr<GlTextureObject> m_texture;
};

class GlRenderDevice : public RenderDevice {
public:
    // The device draws into `target`, which must outlive it. `software` says
    // whether the context is a software rasteriser (reported through GetCaps).
    static HRESULT Create(RenderContext& context, GlRenderTarget& target, bool software,
                          std::unique_ptr<GlRenderDevice>& device, std::string& error);
    ~GlRenderDevice() override;

    HRESULT GetCaps(DeviceCaps& caps) override;
    HRESULT EnumTextureFormats(TextureFormatCallback callback, void* context) override;
    HRESULT CreateTextureSurface(const SurfaceDesc& desc,
                                 std::unique_ptr<TextureSurface>& surface) override;

    HRESULT Clear(uint32_t flags, uint32_t colour, float z) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;

    HRESULT SetTexture(uint32_t stage, TextureSurface* surface) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) override;
    HRESULT SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                                 uint32_t value) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX& matrix) override;
    HRESULT SetMaterial(const D3DMATERIAL7& material) override;
    HRESULT SetLight(uint32_t index, const D3DLIGHT7& light) override;
    HRESULT LightEnable(uint32_t index, bool enable) override;
    HRESULT SetViewport(const D3DVIEWPORT7& viewport) override;
    HRESULT GetViewport(D3DVIEWPORT7& viewport) override;

    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf, const ModelVertex* vertices,
                          uint32_t vertexCount, uint32_t flags) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf, const ModelVertex* vertices,
                                 uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount,
                                 uint32_t flags) override;

    // The states as set (Direct3D's GetTransform / GetLight).
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE type, D3DMATRIX& matrix) const;
    HRESULT GetLight(uint32_t index, D3DLIGHT7& light) const;
    uint32_t GetRenderState(D3DRENDERSTATETYPE state) const;

    GlRenderTarget& Target() { return m_target; }
    // Bytes of vertex and index data sent to GL so far, and what is held there.
    uint64_t UploadedGeometryBytes() const { return m_geometry.UploadedBytes(); }
    size_t CachedGeometryEntries() const { return m_geometry.EntryCount(); }
    // A model went: after the next scene, the buffers of every array that
    // scene did not draw are deleted.
    void ReleaseUnusedGeometry();

private:
    GlRenderDevice(RenderContext& context, GlRenderTarget& target, bool software);
    bool Init(std::string& error);
    HRESULT Draw(D3DPRIMITIVETYPE type, uint32_t fvf, const ModelVertex* vertices,
                 uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount);
    void ApplyState();

    struct Uniforms {
        int worldViewProjection = -1, normalMatrix = -1, lighting = -1, lightEnabled = -1,
            toLight = -1, lightDiffuse = -1, lightAmbient = -1, globalAmbient = -1,
            materialDiffuse = -1, materialAmbient = -1, materialEmissive = -1, textured = -1,
            alphaFunc = -1, alphaRef = -1, sampler = -1;
    };

    RenderContext& m_context;
    GlRenderTarget& m_target;
    bool m_software;
    uint32_t m_program = 0;
    uint32_t m_sampler = 0;
    Uniforms m_u;
    GeometryCache m_geometry;
    bool m_inScene = false;
    uint64_t m_sceneCounter = 0;

    // Device state, Direct3D 7 defaults.
    D3DMATRIX m_world, m_view, m_projection;
    D3DMATERIAL7 m_material{};
    D3DLIGHT7 m_light{};
    bool m_lightEnabled = false;
    uint32_t m_zEnable = D3DZB_TRUE;
    uint32_t m_fillMode = D3DFILL_SOLID;
    uint32_t m_alphaTestEnable = 0;
    uint32_t m_alphaRef = 0;
    uint32_t m_alphaFunc = 8;  // D3DCMP_ALWAYS
    uint32_t m_cullMode = D3DCULL_CCW;
    uint32_t m_lighting = 1;
    uint32_t m_ambient = 0;
    uint32_t m_magFilter = 1;  // point
    uint32_t m_minFilter = 1;
    std::shared_ptr<GlTextureObject> m_texture;
    // Textures let go of during a scene: deleted after it, so that nothing is
    // freed (and no context switched) between the draws of one frame.
    std::vector<std::shared_ptr<GlTextureObject>> m_retiredTextures;
    // Geometry of models that went is dropped after the next scene.
    bool m_trimGeometry = false;
    D3DVIEWPORT7 m_viewport{};

    // What has changed since it was last given to GL.
    bool m_dirtyTransforms = true;
    bool m_dirtyLighting = true;
    bool m_dirtyRaster = true;
};
