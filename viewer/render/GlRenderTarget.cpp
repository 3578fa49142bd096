// The device's render target (a framebuffer of colour and depth) and its
// texture surfaces.
#include <cstring>
#include <vector>

#include "viewer/render/GlDevice.h"
#include "viewer/render/GlTextureFormats.h"

HRESULT GlRenderTarget::Create(RenderContext& context, uint32_t width, uint32_t height,
                               std::unique_ptr<GlRenderTarget>& target) {
    target.reset();
    if (width == 0 || height == 0) return E_INVALIDARG;
    if (!context.MakeCurrent()) return E_FAIL;
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
    if (width > static_cast<uint32_t>(maxSize) || height > static_cast<uint32_t>(maxSize))
        return E_INVALIDARG;

    std::unique_ptr<GlRenderTarget> t(new GlRenderTarget(context, width, height));
    glGenFramebuffers(1, &t->m_framebuffer);
    glGenRenderbuffers(1, &t->m_colour);
    glGenRenderbuffers(1, &t->m_depth);
    glBindRenderbuffer(GL_RENDERBUFFER, t->m_colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, static_cast<GLsizei>(width),
                          static_cast<GLsizei>(height));
    // A z-buffer without stencil bits.
    glBindRenderbuffer(GL_RENDERBUFFER, t->m_depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, static_cast<GLsizei>(width),
                          static_cast<GLsizei>(height));
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, t->m_framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, t->m_colour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, t->m_depth);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (status != GL_FRAMEBUFFER_COMPLETE || glGetError() != GL_NO_ERROR) return E_FAIL;
    target = std::move(t);
    return S_OK;
}

GlRenderTarget::~GlRenderTarget() {
    if (!m_context.MakeCurrent()) return;
    if (m_framebuffer) glDeleteFramebuffers(1, &m_framebuffer);
    if (m_colour) glDeleteRenderbuffers(1, &m_colour);
    if (m_depth) glDeleteRenderbuffers(1, &m_depth);
}

bool GlRenderTarget::Read(RgbaImage& image) {
    if (!m_context.MakeCurrent()) return false;
    return ReadFramebuffer(m_framebuffer, m_width, m_height, image);
}

bool ReadFramebuffer(uint32_t framebuffer, uint32_t width, uint32_t height, RgbaImage& image) {
    image.width = width;
    image.height = height;
    image.rgba.assign(static_cast<size_t>(width) * height * 4, 0);
    if (width == 0 || height == 0) return true;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    std::vector<uint8_t> bottomUp(image.rgba.size());
    glReadPixels(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_RGBA,
                 GL_UNSIGNED_BYTE, bottomUp.data());
    const bool ok = glGetError() == GL_NO_ERROR;
    const size_t row = static_cast<size_t>(width) * 4;
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(&image.rgba[y * row], &bottomUp[(height - 1 - y) * row], row);
    return ok;
}

// ---------------------------------------------------------------------------
// Textures

GlTextureObject::~GlTextureObject() {
    // A texture outliving its context went with it.
    if (m_name && *m_context && (*m_context)->MakeCurrent()) glDeleteTextures(1, &m_name);
}

HRESULT GlTextureSurface::Blt(const StagingImage& image) {
    const TextureFormat* format = FindFormat(m_desc.ddpfPixelFormat);
    const TextureFormat* source = FindFormat(image.format);
    if (!format || source != format) return E_INVALIDARG;
    const uint32_t bytesPerPixel = format->pf.dwRGBBitCount / 8;
    if (image.width == 0 || image.height == 0 ||
        image.pitch < static_cast<uint64_t>(image.width) * bytesPerPixel ||
        image.bytes.size() < static_cast<uint64_t>(image.pitch) * image.height)
        return E_INVALIDARG;
    if (!*m_context || !(*m_context)->MakeCurrent()) return DDERR_SURFACELOST;

    // Scale to the texture's size by taking the nearest staged pixel.
    const uint32_t w = m_desc.dwWidth, h = m_desc.dwHeight;
    std::vector<uint8_t> packed(static_cast<size_t>(w) * h * bytesPerPixel);
    for (uint32_t y = 0; y < h; ++y) {
        const uint32_t sy = static_cast<uint32_t>(static_cast<uint64_t>(y) * image.height / h);
        const uint8_t* srcRow = &image.bytes[static_cast<size_t>(sy) * image.pitch];
        uint8_t* dstRow = &packed[static_cast<size_t>(y) * w * bytesPerPixel];
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t sx = static_cast<uint32_t>(static_cast<uint64_t>(x) * image.width / w);
            std::memcpy(dstRow + x * bytesPerPixel, srcRow + sx * bytesPerPixel, bytesPerPixel);
        }
    }
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glBindTexture(GL_TEXTURE_2D, m_texture->Name());
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h),
                    format->format, format->type, packed.data());
    return glGetError() == GL_NO_ERROR ? S_OK : E_FAIL;
}
