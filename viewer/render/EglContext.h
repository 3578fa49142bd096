// An OpenGL 3.3 core context without any window or display (EGL on Mesa's
// surfaceless platform). Its "client area" is an off-screen image of a set
// size into which frames are presented, so the whole frame loop runs as it
// does in a window: the headless snapshot mode and the tests use it.
#pragma once

#include <memory>
#include <string>

#include "viewer/render/RenderContext.h"

class EglSurfacelessContext : public RenderContext {
public:
    // Null with the reason in `error` when no such context can be made.
    static std::unique_ptr<EglSurfacelessContext> Create(uint32_t width, uint32_t height,
                                                         std::string& error);
    ~EglSurfacelessContext() override;
    EglSurfacelessContext(const EglSurfacelessContext&) = delete;
    EglSurfacelessContext& operator=(const EglSurfacelessContext&) = delete;

    bool MakeCurrent() override;
    bool ClientSize(uint32_t& width, uint32_t& height) override;
    uint32_t PresentFramebuffer() override;
    void FramePresented() override { ++m_presentCount; }
    std::string Renderer() override;

    // Changes the size of the client area, as resizing a window does.
    void SetClientSize(uint32_t width, uint32_t height);
    // The presented image (rows from the top); false when nothing can be read.
    bool ReadPresented(RgbaImage& image);
    // Frames presented so far.
    int PresentCount() const { return m_presentCount; }

private:
    EglSurfacelessContext() = default;
    void ReleaseImage();

    void* m_display = nullptr;
    void* m_context = nullptr;
    uint32_t m_width = 0, m_height = 0;
    uint32_t m_imageWidth = 0, m_imageHeight = 0;
    uint32_t m_framebuffer = 0, m_colour = 0;
    int m_presentCount = 0;
};
