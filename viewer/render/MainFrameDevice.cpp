// The device of the main window: creation (hardware, else software), the
// off-screen target, re-creation on resize, presenting and release.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include "viewer/platform/UiServices.h"
#include "viewer/render/MainFrame.h"
#include "viewer/render/SceneMath.h"

const char* const kSoftwareRenderingNotice =
    "하드웨어 가속이 되지 않아 소프트웨어 랜더링을 사용합니다!!";

namespace {
constexpr int32_t kModelTextureCapacity = 1000;
constexpr int32_t kBipedTextureCapacity = 1;
}  // namespace

CMainFrame::CMainFrame(UiServices& ui, Clock& clock, const RunState& run,
                       const std::string& textureDirectory, ImageLoader* bitmapLoader)
    : SceneState(ui),
      m_pTextures(std::make_unique<TextureManager>(kModelTextureCapacity, bitmapLoader)),
      m_pBipedTextures(std::make_unique<TextureManager>(kBipedTextureCapacity, bitmapLoader)),
      m_matLightStep(RotationY(kLightStepAngle)),
      m_clock(clock),
      m_run(run) {
    m_pTextures->SetSearchPath(textureDirectory);
    m_pBipedTextures->SetSearchPath(textureDirectory);
}

CMainFrame::~CMainFrame() {
    // Without a preceding OnDestroy the GL objects still exist: free them
    // while the context does.
    if (m_pWindow) OnDestroy();
}

HRESULT CMainFrame::CreateDevice(RenderContext* window, DeviceGuid deviceGuid) {
    if (!window || !window->MakeCurrent()) return E_FAIL;
    m_pWindow = window;
    const bool software = IsSoftwareRenderer(window->Renderer());
    // No hardware acceleration behind the context: the hardware device fails.
    if (deviceGuid == IID_IDirect3DHALDevice && software) return E_FAIL;

    uint32_t width = 0, height = 0;
    if (!window->ClientSize(width, height)) return E_FAIL;
    const int32_t left = m_rcScreen.left, top = m_rcScreen.top;
    m_rcScreen = {left, top, left + static_cast<int32_t>(width),
                  top + static_cast<int32_t>(height)};

    HRESULT hr = GlRenderTarget::Create(*window, width, height, m_pRenderTarget);
    if (FAILED(hr)) return hr;
    std::string error;
    hr = GlRenderDevice::Create(*window, *m_pRenderTarget, software, m_pDevice, error);
    if (FAILED(hr)) return hr;

    const D3DVIEWPORT7 viewport = {0, 0, width, height, 0.0f, 1.0f};
    hr = m_pDevice->SetViewport(viewport);
    if (FAILED(hr)) return hr;
    // The wire-frame switch outlives the device it was set on.
    m_pDevice->SetRenderState(D3DRENDERSTATE_FILLMODE,
                              m_bWireframe ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
    return SetupScene();
}

HRESULT CMainFrame::OpenDevice() {
    HRESULT hr = CreateDevice(m_pWindow, IID_IDirect3DHALDevice);
    if (SUCCEEDED(hr)) return hr;
    ReleaseDevice();
    // Told once: every re-creation on a resize would otherwise repeat it.
    if (!m_softwareNoticeShown) {
        m_softwareNoticeShown = true;
        m_ui.MessageBox(kSoftwareRenderingNotice);
    }
    return CreateDevice(m_pWindow, IID_IDirect3DRGBDevice);
}

HRESULT CMainFrame::ReleaseDevice() {
    if (m_pWindow) m_pWindow->MakeCurrent();
    // The device draws into the target: it goes first.
    m_pDevice.reset();
    m_pRenderTarget.reset();
    return S_OK;
}

HRESULT CMainFrame::PresentFrame() {
    if (!m_bActive || !m_bDeviceReady || !m_pRenderTarget || !m_pWindow) return E_FAIL;
    if (!m_pWindow->MakeCurrent()) return DDERR_SURFACELOST;
    const uint32_t destination = m_pWindow->PresentFramebuffer();
    if (destination == 0) return E_FAIL;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_pRenderTarget->Framebuffer());
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, destination);
    glDisable(GL_SCISSOR_TEST);
    // One copy of the whole target onto the whole client area, stretched if
    // the window has grown since the target was made.
    glBlitFramebuffer(0, 0, static_cast<GLint>(m_pRenderTarget->Width()),
                      static_cast<GLint>(m_pRenderTarget->Height()), 0, 0,
                      m_rcScreen.right - m_rcScreen.left, m_rcScreen.bottom - m_rcScreen.top,
                      GL_COLOR_BUFFER_BIT, GL_NEAREST);
    // The window's framebuffer stays bound, as the window system left it.
    glBindFramebuffer(GL_FRAMEBUFFER, destination);
    if (glGetError() != GL_NO_ERROR) return E_FAIL;
    m_pWindow->FramePresented();
    return S_OK;
}

HRESULT CMainFrame::RestoreSurfaces() {
    // OpenGL keeps the contents of its framebuffers: there is nothing to
    // restore. A context that cannot be made current is the window's concern.
    return S_OK;
}

int CMainFrame::OnCreate() {
    if (FAILED(OpenDevice())) return -1;
    m_bDeviceReady = true;
    if (m_bActive) TickFrame();
    OnViewControlBox();
    return 0;
}

void CMainFrame::OnSize(uint32_t sizeType, int32_t cx, int32_t cy) {
    const bool hidden = sizeType == SIZE_MINIMIZED || sizeType == SIZE_MAXHIDE;
    // A minimised window has no client area to make a target of: the device
    // is kept as it is. A window that comes back at another size than its
    // target gets a new device even though it was not active before.
    const bool otherSize =
        m_pRenderTarget && (static_cast<uint32_t>(cx) != m_pRenderTarget->Width() ||
                            static_cast<uint32_t>(cy) != m_pRenderTarget->Height());
    if (!hidden && cx > 0 && cy > 0 && m_bDeviceReady && (m_bActive || otherSize)) {
        m_bDeviceReady = false;
        if (FAILED(ReleaseDevice())) {
            DestroyWindow();
            return;
        }
        if (FAILED(OpenDevice())) {
            DestroyWindow();
            return;
        }
        m_bDeviceReady = true;
    }
    m_bActive = !hidden;
}

void CMainFrame::OnMove(int32_t x, int32_t y) {
    if (!m_bActive || !m_bDeviceReady) return;
    const int32_t width = m_rcScreen.right - m_rcScreen.left;
    const int32_t height = m_rcScreen.bottom - m_rcScreen.top;
    m_rcScreen = {x, y, x + width, y + height};
}

void CMainFrame::OnDestroy() {
    ReleaseDevice();
    // The window's context goes with the window: the texture surfaces are
    // freed now (the images stay and get surfaces again on a later device).
    if (m_pWindow && m_pWindow->MakeCurrent()) {
        m_pTextures->ReleaseSurfaces();
        m_pBipedTextures->ReleaseSurfaces();
    }
    m_bDeviceReady = false;
    m_pWindow = nullptr;
}
