#include "viewer/render/GlDevice.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "viewer/model/VertexMath.h"
#include "viewer/render/GlShaders.h"
#include "viewer/render/GlTextureFormats.h"

namespace {

// Vertex and index data kept on the GL side at most (least recently used
// entries are dropped beyond it).
constexpr size_t kGeometryBudgetBytes = size_t(512) << 20;

constexpr uint32_t kCmpAlways = 8;

// Inverse transpose of the upper 3x3 of a row-vector matrix, row-major; the
// matrix itself when it cannot be inverted.
void NormalMatrix(const D3DMATRIX& m, float out[9]) {
    const float a = m[0], b = m[1], c = m[2], d = m[4], e = m[5], f = m[6], g = m[8], h = m[9],
                i = m[10];
    const float A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
    const float det = a * A + b * B + c * C;
    if (std::fabs(det) < 1e-12f) {
        const float copy[9] = {a, b, c, d, e, f, g, h, i};
        std::memcpy(out, copy, sizeof copy);
        return;
    }
    const float D = -(b * i - c * h), E = a * i - c * g, F = -(a * h - b * g);
    const float G = b * f - c * e, H = -(a * f - c * d), I = a * e - b * d;
    // inverse = adjugate / det, adjugate = cofactor matrix transposed; the
    // inverse transpose is therefore the cofactor matrix / det.
    const float cof[9] = {A, B, C, D, E, F, G, H, I};
    for (int k = 0; k < 9; ++k) out[k] = cof[k] / det;
}

void SetColour(GLint location, const D3DCOLORVALUE& c) {
    glUniform4f(location, c.r, c.g, c.b, c.a);
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE type, bool& ok) {
    ok = true;
    switch (type) {
        case D3DPT_POINTLIST:
            return GL_POINTS;
        case D3DPT_LINELIST:
            return GL_LINES;
        case D3DPT_LINESTRIP:
            return GL_LINE_STRIP;
        case D3DPT_TRIANGLELIST:
            return GL_TRIANGLES;
        case D3DPT_TRIANGLESTRIP:
            return GL_TRIANGLE_STRIP;
        case D3DPT_TRIANGLEFAN:
            return GL_TRIANGLE_FAN;
    }
    ok = false;
    return GL_TRIANGLES;
}

}  // namespace

// ---------------------------------------------------------------------------
// Device

GlRenderDevice::GlRenderDevice(RenderContext& context, GlRenderTarget& target, bool software)
    : m_context(context),
      m_target(target),
      m_software(software),
      m_geometry(kGeometryBudgetBytes, software ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW),
      m_world(IdentityMatrix()),
      m_view(IdentityMatrix()),
      m_projection(IdentityMatrix()) {
    m_viewport = {0, 0, target.Width(), target.Height(), 0.0f, 1.0f};
}

HRESULT GlRenderDevice::Create(RenderContext& context, GlRenderTarget& target, bool software,
                               std::unique_ptr<GlRenderDevice>& device, std::string& error) {
    device.reset();
    if (!context.MakeCurrent()) {
        error = "the OpenGL context cannot be made current";
        return E_FAIL;
    }
    std::unique_ptr<GlRenderDevice> d(new GlRenderDevice(context, target, software));
    if (!d->Init(error)) return E_FAIL;
    device = std::move(d);
    return S_OK;
}

bool GlRenderDevice::Init(std::string& error) {
    GLint major = 0, minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (major < 3 || (major == 3 && minor < 3)) {
        error = "OpenGL 3.3 is needed, the context offers " + std::to_string(major) + "." +
                std::to_string(minor);
        return false;
    }
    m_program = BuildSceneProgram(error);
    if (!m_program) return false;
    auto at = [this](const char* name) { return glGetUniformLocation(m_program, name); };
    m_u.worldViewProjection = at("uWorldViewProjection");
    m_u.normalMatrix = at("uNormalMatrix");
    m_u.lighting = at("uLighting");
    m_u.lightEnabled = at("uLightEnabled");
    m_u.toLight = at("uToLight");
    m_u.lightDiffuse = at("uLightDiffuse");
    m_u.lightAmbient = at("uLightAmbient");
    m_u.globalAmbient = at("uGlobalAmbient");
    m_u.materialDiffuse = at("uMaterialDiffuse");
    m_u.materialAmbient = at("uMaterialAmbient");
    m_u.materialEmissive = at("uMaterialEmissive");
    m_u.textured = at("uTextured");
    m_u.alphaFunc = at("uAlphaFunc");
    m_u.alphaRef = at("uAlphaRef");
    m_u.sampler = at("uTexture");

    glGenSamplers(1, &m_sampler);
    glSamplerParameteri(m_sampler, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glSamplerParameteri(m_sampler, GL_TEXTURE_WRAP_T, GL_REPEAT);
    if (glGetError() != GL_NO_ERROR) {
        error = "OpenGL refused the device's objects";
        return false;
    }
    return true;
}

GlRenderDevice::~GlRenderDevice() {
    m_texture.reset();
    if (!m_context.MakeCurrent()) {
        m_geometry.Abandon();  // its objects went with the context
        return;
    }
    if (m_program) glDeleteProgram(m_program);
    if (m_sampler) glDeleteSamplers(1, &m_sampler);
    // m_geometry deletes its buffers with the context current.
}

HRESULT GlRenderDevice::GetCaps(DeviceCaps& caps) {
    if (!m_context.MakeCurrent()) return E_FAIL;
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    caps = DeviceCaps{};
    caps.hardware = !m_software;
    caps.dwTextureCaps = 0;  // any size, not only squares
    caps.dwMaxTextureWidth = static_cast<uint32_t>(maxSize);
    caps.dwMaxTextureHeight = static_cast<uint32_t>(maxSize);
    return S_OK;
}

HRESULT GlRenderDevice::EnumTextureFormats(TextureFormatCallback callback, void* context) {
    if (!callback) return E_INVALIDARG;
    size_t count = 0;
    const TextureFormat* formats = TextureFormats(count);
    for (size_t k = 0; k < count; ++k) {
        if (callback(formats[k].pf, context) == D3DENUMRET_CANCEL) break;
    }
    return S_OK;
}

HRESULT GlRenderDevice::CreateTextureSurface(const SurfaceDesc& desc,
                                             std::unique_ptr<TextureSurface>& surface) {
    surface.reset();
    constexpr uint32_t kNeeded = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    if ((desc.dwFlags & kNeeded) != kNeeded || !(desc.dwCaps & DDSCAPS_TEXTURE))
        return E_INVALIDARG;
    const TextureFormat* format = FindFormat(desc.ddpfPixelFormat);
    if (!format) return E_INVALIDARG;
    if (!m_context.MakeCurrent()) return DDERR_SURFACELOST;
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (desc.dwWidth == 0 || desc.dwHeight == 0 || desc.dwWidth > static_cast<uint32_t>(maxSize) ||
        desc.dwHeight > static_cast<uint32_t>(maxSize))
        return E_INVALIDARG;

    GLuint name = 0;
    glGenTextures(1, &name);
    if (!name) return E_OUTOFMEMORY;
    auto texture = std::make_shared<GlTextureObject>(m_context.GetHandle(), name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    if (format->opaque) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    // Full 8-bit channels inside; the 16-bit formats arrive expanded, so their
    // colours keep exactly the precision of the format.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(desc.dwWidth),
                 static_cast<GLsizei>(desc.dwHeight), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    if (glGetError() != GL_NO_ERROR) return E_OUTOFMEMORY;

    SurfaceDesc stored = desc;
    stored.ddpfPixelFormat = format->pf;
    stored.ddpfPixelFormat.dwSize = 32;
    surface = std::make_unique<GlTextureSurface>(m_context.GetHandle(), stored, std::move(texture));
    return S_OK;
}

HRESULT GlRenderDevice::Clear(uint32_t flags, uint32_t colour, float z) {
    if (!m_context.MakeCurrent()) return E_FAIL;
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) mask |= GL_COLOR_BUFFER_BIT;
    if (flags & D3DCLEAR_ZBUFFER) mask |= GL_DEPTH_BUFFER_BIT;
    if (!mask) return E_INVALIDARG;
    glBindFramebuffer(GL_FRAMEBUFFER, m_target.Framebuffer());
    // The clear covers the viewport, as Direct3D's does.
    const GLint y = static_cast<GLint>(m_target.Height() - m_viewport.dwY - m_viewport.dwHeight);
    glEnable(GL_SCISSOR_TEST);
    glScissor(static_cast<GLint>(m_viewport.dwX), y, static_cast<GLsizei>(m_viewport.dwWidth),
              static_cast<GLsizei>(m_viewport.dwHeight));
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(((colour >> 16) & 0xFF) / 255.0f, ((colour >> 8) & 0xFF) / 255.0f,
                 (colour & 0xFF) / 255.0f, ((colour >> 24) & 0xFF) / 255.0f);
    glClearDepth(std::clamp(z, 0.0f, 1.0f));
    glClear(mask);
    glDisable(GL_SCISSOR_TEST);
    return glGetError() == GL_NO_ERROR ? S_OK : E_FAIL;
}

HRESULT GlRenderDevice::BeginScene() {
    if (m_inScene) return E_FAIL;
    if (!m_context.MakeCurrent()) return E_FAIL;
    glBindFramebuffer(GL_FRAMEBUFFER, m_target.Framebuffer());
    glViewport(static_cast<GLint>(m_viewport.dwX),
               static_cast<GLint>(m_target.Height() - m_viewport.dwY - m_viewport.dwHeight),
               static_cast<GLsizei>(m_viewport.dwWidth), static_cast<GLsizei>(m_viewport.dwHeight));
    glDepthRange(m_viewport.dvMinZ, m_viewport.dvMaxZ);
    glDisable(GL_BLEND);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_STENCIL_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glUseProgram(m_program);
    glActiveTexture(GL_TEXTURE0);
    glBindSampler(0, m_sampler);
    glUniform1i(m_u.sampler, 0);
    // Whoever shares the context may have changed anything since the last scene.
    m_dirtyTransforms = m_dirtyLighting = m_dirtyRaster = true;
    m_inScene = true;
    ++m_sceneCounter;
    return S_OK;
}

HRESULT GlRenderDevice::EndScene() {
    if (!m_inScene) return E_FAIL;
    m_inScene = false;
    glBindVertexArray(0);
    glUseProgram(0);
    glBindSampler(0, 0);
    m_retiredTextures.clear();
    if (m_trimGeometry) {
        m_trimGeometry = false;
        m_geometry.DropUnused(m_sceneCounter);
    }
    return S_OK;
}

void GlRenderDevice::ReleaseUnusedGeometry() {
    m_trimGeometry = true;
}

HRESULT GlRenderDevice::SetTexture(uint32_t stage, TextureSurface* surface) {
    if (stage != 0) return E_INVALIDARG;
    std::shared_ptr<GlTextureObject> texture;
    if (surface) {
        auto* gl = dynamic_cast<GlTextureSurface*>(surface);
        if (!gl) return E_INVALIDARG;
        texture = gl->Texture();
    }
    // A texture the device alone still holds is deleted after the scene, not
    // between two of its draws.
    if (m_inScene && m_texture && m_texture.use_count() == 1)
        m_retiredTextures.push_back(std::move(m_texture));
    m_texture = std::move(texture);
    return S_OK;
}

HRESULT GlRenderDevice::SetRenderState(D3DRENDERSTATETYPE state, uint32_t value) {
    switch (state) {
        case D3DRENDERSTATE_ZENABLE:
            if (value > 1) return E_INVALIDARG;  // no w-buffer
            m_zEnable = value;
            break;
        case D3DRENDERSTATE_FILLMODE:
            if (value < 1 || value > 3) return E_INVALIDARG;
            m_fillMode = value;
            break;
        case D3DRENDERSTATE_ALPHATESTENABLE:
            m_alphaTestEnable = value ? 1 : 0;
            break;
        case D3DRENDERSTATE_ALPHAREF:
            m_alphaRef = value & 0xFF;
            break;
        case D3DRENDERSTATE_ALPHAFUNC:
            if (value < 1 || value > 8) return E_INVALIDARG;
            m_alphaFunc = value;
            break;
        case D3DRENDERSTATE_CULLMODE:
            if (value < D3DCULL_NONE || value > D3DCULL_CCW) return E_INVALIDARG;
            m_cullMode = value;
            break;
        case D3DRENDERSTATE_LIGHTING:
            m_lighting = value ? 1 : 0;
            m_dirtyLighting = true;
            return S_OK;
        case D3DRENDERSTATE_AMBIENT:
            m_ambient = value;
            m_dirtyLighting = true;
            return S_OK;
        default:
            return E_INVALIDARG;
    }
    m_dirtyRaster = true;
    return S_OK;
}

HRESULT GlRenderDevice::SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type,
                                             uint32_t value) {
    if (stage != 0) return E_INVALIDARG;
    if (value < 1 || value > 2) return E_INVALIDARG;  // point or linear
    if (type == D3DTSS_MAGFILTER)
        m_magFilter = value;
    else if (type == D3DTSS_MINFILTER)
        m_minFilter = value;
    else
        return E_INVALIDARG;
    m_dirtyRaster = true;
    return S_OK;
}

HRESULT GlRenderDevice::SetTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX& matrix) {
    switch (type) {
        case D3DTRANSFORMSTATE_WORLD:
            m_world = matrix;
            break;
        case D3DTRANSFORMSTATE_VIEW:
            m_view = matrix;
            break;
        case D3DTRANSFORMSTATE_PROJECTION:
            m_projection = matrix;
            break;
        default:
            return E_INVALIDARG;
    }
    m_dirtyTransforms = true;
    return S_OK;
}

HRESULT GlRenderDevice::GetTransform(D3DTRANSFORMSTATETYPE type, D3DMATRIX& matrix) const {
    switch (type) {
        case D3DTRANSFORMSTATE_WORLD:
            matrix = m_world;
            return S_OK;
        case D3DTRANSFORMSTATE_VIEW:
            matrix = m_view;
            return S_OK;
        case D3DTRANSFORMSTATE_PROJECTION:
            matrix = m_projection;
            return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT GlRenderDevice::GetLight(uint32_t index, D3DLIGHT7& light) const {
    if (index != 0) return E_INVALIDARG;
    light = m_light;
    return S_OK;
}

uint32_t GlRenderDevice::GetRenderState(D3DRENDERSTATETYPE state) const {
    switch (state) {
        case D3DRENDERSTATE_ZENABLE:
            return m_zEnable;
        case D3DRENDERSTATE_FILLMODE:
            return m_fillMode;
        case D3DRENDERSTATE_ALPHATESTENABLE:
            return m_alphaTestEnable;
        case D3DRENDERSTATE_ALPHAREF:
            return m_alphaRef;
        case D3DRENDERSTATE_ALPHAFUNC:
            return m_alphaFunc;
        case D3DRENDERSTATE_CULLMODE:
            return m_cullMode;
        case D3DRENDERSTATE_LIGHTING:
            return m_lighting;
        case D3DRENDERSTATE_AMBIENT:
            return m_ambient;
    }
    return 0;
}

HRESULT GlRenderDevice::SetMaterial(const D3DMATERIAL7& material) {
    m_material = material;
    m_dirtyLighting = true;
    return S_OK;
}

HRESULT GlRenderDevice::SetLight(uint32_t index, const D3DLIGHT7& light) {
    if (index != 0) return E_INVALIDARG;  // one light
    if (light.dltType != D3DLIGHT_DIRECTIONAL) return E_NOTIMPL;
    m_light = light;
    m_dirtyLighting = true;
    return S_OK;
}

HRESULT GlRenderDevice::LightEnable(uint32_t index, bool enable) {
    if (index != 0) return E_INVALIDARG;
    m_lightEnabled = enable;
    m_dirtyLighting = true;
    return S_OK;
}

HRESULT GlRenderDevice::SetViewport(const D3DVIEWPORT7& viewport) {
    if (viewport.dwWidth == 0 || viewport.dwHeight == 0 ||
        static_cast<uint64_t>(viewport.dwX) + viewport.dwWidth > m_target.Width() ||
        static_cast<uint64_t>(viewport.dwY) + viewport.dwHeight > m_target.Height() ||
        !(viewport.dvMinZ >= 0.0f && viewport.dvMaxZ <= 1.0f && viewport.dvMinZ <= viewport.dvMaxZ))
        return E_INVALIDARG;
    m_viewport = viewport;
    if (m_inScene) {
        glViewport(static_cast<GLint>(m_viewport.dwX),
                   static_cast<GLint>(m_target.Height() - m_viewport.dwY - m_viewport.dwHeight),
                   static_cast<GLsizei>(m_viewport.dwWidth),
                   static_cast<GLsizei>(m_viewport.dwHeight));
        glDepthRange(m_viewport.dvMinZ, m_viewport.dvMaxZ);
    }
    return S_OK;
}

HRESULT GlRenderDevice::GetViewport(D3DVIEWPORT7& viewport) {
    viewport = m_viewport;
    return S_OK;
}

void GlRenderDevice::ApplyState() {
    if (m_dirtyTransforms) {
        D3DMATRIX worldView, worldViewProjection;
        MultiplyMatrix(worldView, m_world, m_view);
        MultiplyMatrix(worldViewProjection, worldView, m_projection);
        glUniformMatrix4fv(m_u.worldViewProjection, 1, GL_FALSE, worldViewProjection.m);
        float normal[9];
        NormalMatrix(worldView, normal);
        glUniformMatrix3fv(m_u.normalMatrix, 1, GL_FALSE, normal);
        m_dirtyTransforms = false;
        m_dirtyLighting = true;  // the light direction is turned into view space
    }
    if (m_dirtyLighting) {
        glUniform1i(m_u.lighting, m_lighting ? 1 : 0);
        glUniform1i(m_u.lightEnabled, m_lightEnabled ? 1 : 0);
        // A directional light shines along its direction: surfaces are lit
        // from the opposite side. The direction is given in world space.
        const D3DVECTOR& d = m_light.dvDirection;
        const float* v = m_view.m;
        float x = d.x * v[0] + d.y * v[4] + d.z * v[8];
        float y = d.x * v[1] + d.y * v[5] + d.z * v[9];
        float z = d.x * v[2] + d.y * v[6] + d.z * v[10];
        const float length = std::sqrt(x * x + y * y + z * z);
        if (length > 0.0f && std::isfinite(length)) {
            x /= length;
            y /= length;
            z /= length;
        } else {
            x = y = z = 0.0f;
        }
        glUniform3f(m_u.toLight, -x, -y, -z);
        SetColour(m_u.lightDiffuse, m_light.dcvDiffuse);
        SetColour(m_u.lightAmbient, m_light.dcvAmbient);
        const D3DCOLORVALUE ambient = {
            ((m_ambient >> 16) & 0xFF) / 255.0f, ((m_ambient >> 8) & 0xFF) / 255.0f,
            (m_ambient & 0xFF) / 255.0f, ((m_ambient >> 24) & 0xFF) / 255.0f};
        SetColour(m_u.globalAmbient, ambient);
        SetColour(m_u.materialDiffuse, m_material.diffuse);
        SetColour(m_u.materialAmbient, m_material.ambient);
        SetColour(m_u.materialEmissive, m_material.emissive);
        m_dirtyLighting = false;
    }
    if (m_dirtyRaster) {
        if (m_zEnable) {
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(GL_LEQUAL);
            glDepthMask(GL_TRUE);
        } else {
            glDisable(GL_DEPTH_TEST);
        }
        // Clockwise triangles face the viewer; the cull mode names the
        // winding that is dropped.
        glFrontFace(GL_CW);
        if (m_cullMode == D3DCULL_NONE) {
            glDisable(GL_CULL_FACE);
        } else {
            glEnable(GL_CULL_FACE);
            glCullFace(m_cullMode == D3DCULL_CCW ? GL_BACK : GL_FRONT);
        }
        glPolygonMode(GL_FRONT_AND_BACK, m_fillMode == D3DFILL_WIREFRAME ? GL_LINE
                                         : m_fillMode == D3DFILL_SOLID   ? GL_FILL
                                                                         : GL_POINT);
        glUniform1i(m_u.alphaFunc,
                    m_alphaTestEnable ? static_cast<GLint>(m_alphaFunc) : GLint(kCmpAlways));
        glUniform1f(m_u.alphaRef, static_cast<float>(m_alphaRef));
        glSamplerParameteri(m_sampler, GL_TEXTURE_MAG_FILTER,
                            m_magFilter == 2 ? GL_LINEAR : GL_NEAREST);
        glSamplerParameteri(m_sampler, GL_TEXTURE_MIN_FILTER,
                            m_minFilter == 2 ? GL_LINEAR : GL_NEAREST);
        m_dirtyRaster = false;
    }
    // Texture uploads between draws move the binding, so it is set every time.
    glBindTexture(GL_TEXTURE_2D, m_texture ? m_texture->Name() : 0);
    glUniform1i(m_u.textured, m_texture ? 1 : 0);
}

HRESULT GlRenderDevice::Draw(D3DPRIMITIVETYPE type, uint32_t fvf, const ModelVertex* vertices,
                             uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount) {
    if (!m_inScene) return E_FAIL;
    if (fvf != D3DFVF_VERTEX) return E_INVALIDARG;
    bool known = false;
    const GLenum mode = PrimitiveMode(type, known);
    if (!known) return E_INVALIDARG;
    if (vertexCount == 0 || (indices && indexCount == 0)) return S_OK;
    if (!vertices) return E_INVALIDARG;

    const GeometryCache::Entry* entry =
        m_geometry.Prepare(vertices, vertexCount, indices, indexCount, m_sceneCounter);
    if (!entry) return E_OUTOFMEMORY;
    if (indices && entry->maxIndex >= vertexCount) return E_INVALIDARG;

    ApplyState();
    glBindVertexArray(entry->vao);
    if (indices)
        glDrawElements(mode, static_cast<GLsizei>(indexCount), GL_UNSIGNED_SHORT, nullptr);
    else
        glDrawArrays(mode, 0, static_cast<GLsizei>(vertexCount));
    return S_OK;
}

HRESULT GlRenderDevice::DrawPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf,
                                      const ModelVertex* vertices, uint32_t vertexCount,
                                      uint32_t /*flags*/) {
    return Draw(type, fvf, vertices, vertexCount, nullptr, 0);
}

HRESULT GlRenderDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, uint32_t fvf,
                                             const ModelVertex* vertices, uint32_t vertexCount,
                                             const uint16_t* indices, uint32_t indexCount,
                                             uint32_t /*flags*/) {
    if (!indices) return E_INVALIDARG;
    return Draw(type, fvf, vertices, vertexCount, indices, indexCount);
}
