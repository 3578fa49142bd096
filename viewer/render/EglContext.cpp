#include "viewer/render/EglContext.h"

#define GL_GLEXT_PROTOTYPES 1
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/glcorearb.h>

#include <mutex>

#include "viewer/render/GlDevice.h"

namespace {

// The surfaceless display is shared by every context of the process and
// stays initialised until the process ends: terminating it would unload the
// driver, and initialising it again for every context costs a driver load.
std::mutex g_displayMutex;
EGLDisplay g_display = EGL_NO_DISPLAY;

EGLDisplay AcquireDisplay(std::string& error) {
    std::lock_guard<std::mutex> lock(g_displayMutex);
    if (g_display == EGL_NO_DISPLAY) {
        const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
        if (!extensions ||
            std::string(extensions).find("EGL_MESA_platform_surfaceless") == std::string::npos) {
            error = "EGL offers no surfaceless platform (EGL_MESA_platform_surfaceless)";
            return EGL_NO_DISPLAY;
        }
        auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
            eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (!getPlatformDisplay) {
            error = "EGL lacks eglGetPlatformDisplayEXT";
            return EGL_NO_DISPLAY;
        }
        EGLDisplay display =
            getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        EGLint major = 0, minor = 0;
        if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
            error = "the EGL surfaceless display does not initialise";
            return EGL_NO_DISPLAY;
        }
        g_display = display;
    }
    return g_display;
}

}  // namespace

std::unique_ptr<EglSurfacelessContext> EglSurfacelessContext::Create(uint32_t width,
                                                                     uint32_t height,
                                                                     std::string& error) {
    EGLDisplay display = AcquireDisplay(error);
    if (display == EGL_NO_DISPLAY) return nullptr;
    std::unique_ptr<EglSurfacelessContext> c(new EglSurfacelessContext());
    c->m_display = display;

    const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                       EGL_PBUFFER_BIT,
                                       EGL_RENDERABLE_TYPE,
                                       EGL_OPENGL_BIT,
                                       EGL_RED_SIZE,
                                       8,
                                       EGL_GREEN_SIZE,
                                       8,
                                       EGL_BLUE_SIZE,
                                       8,
                                       EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &count) || count < 1) {
        error = "EGL offers no configuration for desktop OpenGL";
        return nullptr;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        error = "EGL cannot bind the desktop OpenGL API";
        return nullptr;
    }
    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                        3,
                                        EGL_CONTEXT_MINOR_VERSION,
                                        3,
                                        EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                        EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        error = "EGL cannot create an OpenGL 3.3 core context";
        return nullptr;
    }
    c->m_context = context;
    if (!c->MakeCurrent()) {
        error = "the EGL context cannot be made current without a surface";
        return nullptr;
    }
    c->m_width = width;
    c->m_height = height;
    return c;
}

EglSurfacelessContext::~EglSurfacelessContext() {
    if (m_context) {
        if (MakeCurrent()) ReleaseImage();
        eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(m_display, m_context);
    }
}

bool EglSurfacelessContext::MakeCurrent() {
    if (!m_context) return false;
    if (eglGetCurrentContext() == m_context) return true;
    return eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_context) == EGL_TRUE;
}

bool EglSurfacelessContext::ClientSize(uint32_t& width, uint32_t& height) {
    width = m_width;
    height = m_height;
    return m_context != nullptr;
}

void EglSurfacelessContext::SetClientSize(uint32_t width, uint32_t height) {
    m_width = width;
    m_height = height;
}

std::string EglSurfacelessContext::Renderer() {
    if (!MakeCurrent()) return std::string();
    const GLubyte* text = glGetString(GL_RENDERER);
    return text ? reinterpret_cast<const char*>(text) : std::string();
}

void EglSurfacelessContext::ReleaseImage() {
    if (m_framebuffer) glDeleteFramebuffers(1, &m_framebuffer);
    if (m_colour) glDeleteRenderbuffers(1, &m_colour);
    m_framebuffer = m_colour = 0;
    m_imageWidth = m_imageHeight = 0;
}

uint32_t EglSurfacelessContext::PresentFramebuffer() {
    if (!MakeCurrent()) return 0;
    if (m_framebuffer && m_imageWidth == m_width && m_imageHeight == m_height) return m_framebuffer;
    ReleaseImage();
    if (m_width == 0 || m_height == 0) return 0;
    glGenFramebuffers(1, &m_framebuffer);
    glGenRenderbuffers(1, &m_colour);
    glBindRenderbuffer(GL_RENDERBUFFER, m_colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, static_cast<GLsizei>(m_width),
                          static_cast<GLsizei>(m_height));
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colour);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!complete) {
        ReleaseImage();
        return 0;
    }
    m_imageWidth = m_width;
    m_imageHeight = m_height;
    return m_framebuffer;
}

bool EglSurfacelessContext::ReadPresented(RgbaImage& image) {
    if (!MakeCurrent() || !m_framebuffer) return false;
    return ReadFramebuffer(m_framebuffer, m_imageWidth, m_imageHeight, image);
}
