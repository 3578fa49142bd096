// The window system's side of the rendering device: an OpenGL 3.3 core
// context and the framebuffer that stands for the window's client area.
// The headless mode and the tests use an EGL surfaceless context; the window
// uses the context of its OpenGL widget (MakeCurrent: the widget's
// makeCurrent; ClientSize: its size in device pixels; PresentFramebuffer: its
// default framebuffer object; FramePresented: schedule the widget's update).
// The main window does not care which.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class RenderContext {
public:
    RenderContext() : m_handle(std::make_shared<RenderContext*>(this)) {}
    virtual ~RenderContext() { *m_handle = nullptr; }
    RenderContext(const RenderContext&) = delete;
    RenderContext& operator=(const RenderContext&) = delete;

    // A handle that objects living in the context keep: it reads null once
    // the context is gone (its GL objects then went with it).
    using Handle = std::shared_ptr<RenderContext*>;
    Handle GetHandle() const { return m_handle; }

    // Makes the context current on this thread (cheap when it already is).
    virtual bool MakeCurrent() = 0;
    // Size of the client area in pixels; false when there is none.
    virtual bool ClientSize(uint32_t& width, uint32_t& height) = 0;
    // The framebuffer a finished frame is copied into (the window's image).
    virtual uint32_t PresentFramebuffer() = 0;
    // Called after a frame was copied into PresentFramebuffer().
    virtual void FramePresented() = 0;
    // The GL_RENDERER text of the context.
    virtual std::string Renderer() = 0;

private:
    Handle m_handle;
};

// True when the renderer named is a software rasteriser (Mesa llvmpipe,
// softpipe, swrast): the viewer then runs on its software device.
bool IsSoftwareRenderer(const std::string& renderer);

// An image read back from a framebuffer: 8-bit red, green, blue, alpha per
// pixel, rows from the top.
struct RgbaImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;

    const uint8_t* Pixel(uint32_t x, uint32_t y) const { return &rgba[(y * width + x) * 4]; }
};
