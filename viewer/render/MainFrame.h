// The main window's device and scene: the OpenGL device that draws into an
// off-screen target and presents it into the window's client area, the
// camera, projection, light, background colour and wire-frame switch, the
// frame loop with its animation pacing and frame-rate display, and the
// camera input. No window class is involved: the window (or the headless
// mode) forwards its messages to the On... handlers and supplies the GL
// context through RenderContext.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "viewer/model/SceneState.h"
#include "viewer/model/TextureManager.h"
#include "viewer/platform/Clock.h"
#include "viewer/platform/D3DTypes.h"
#include "viewer/platform/Result.h"
#include "viewer/platform/UiServices.h"
#include "viewer/render/GlDevice.h"
#include "viewer/render/RenderContext.h"
#include "viewer/render/RunState.h"
#include "viewer/render/WindowTypes.h"

class ImageLoader;

// The messages of a frame: what drawing reports is kept until the frame has
// been presented and then shown in the order raised, so that no message box
// (with its own event loop) runs between the draws of a frame. A text is
// shown once until the next model load, however many objects raise it.
class FrameMessages : public UiServices {
public:
    explicit FrameMessages(UiServices& ui) : m_ui(ui) {}
    void MessageBox(const std::string& text) override;
    bool OpenFileDialog(const std::string& defaultExtension, const std::string& filter,
                        std::string& path) override {
        return m_ui.OpenFileDialog(defaultExtension, filter, path);
    }
    // Shows what was kept (a box opened meanwhile may draw further frames).
    void ShowPending();
    // A model was loaded: every text may be shown again.
    void Forget() { m_shown.clear(); }

private:
    UiServices& m_ui;
    std::vector<std::string> m_pending;
    std::set<std::string> m_shown;
};

// The two device types: the hardware-accelerated one, and the software
// rasteriser taken when there is no hardware acceleration.
enum DeviceGuid {
    IID_IDirect3DHALDevice,
    IID_IDirect3DRGBDevice,
};

// The notice shown when the device falls back to the software rasteriser.
extern const char* const kSoftwareRenderingNotice;

// How opening a model file into its slot ended.
enum class OpenResult {
    Opened,      // the slot holds the new model
    Cancelled,   // the file dialog was cancelled: nothing changed
    Unreadable,  // the file cannot be opened or read (reported): nothing changed
    Damaged,     // the reader refused the file (reported)
    Empty,       // a sound part file without faces: the slot was emptied silently
};

class CMainFrame : public SceneState {
public:
    // `run` holds the application's run flags; `textureDirectory` is where
    // both texture managers look for images first; `bitmapLoader` (may be
    // null) decodes BMP textures. `clock`, `run` and `bitmapLoader` must
    // outlive the frame.
    CMainFrame(UiServices& ui, Clock& clock, const RunState& run,
               const std::string& textureDirectory, ImageLoader* bitmapLoader);
    ~CMainFrame() override;

    // The window's GL context and client area. It must stay alive until
    // OnDestroy has run (or the frame is destroyed).
    void SetWindow(RenderContext* window) { m_pWindow = window; }
    RenderContext* Window() const { return m_pWindow; }

    // ---- Device ----------------------------------------------------------
    // Creates the render target of the client area's size, its z-buffer and
    // the device, sets the viewport and the scene's states. The hardware type
    // fails on a software rasteriser. Objects made before a failing step stay
    // for the caller to release.
    HRESULT CreateDevice(RenderContext* window, DeviceGuid deviceGuid);
    // The hardware device, else (after the software-rendering notice) the
    // software device.
    HRESULT OpenDevice();
    HRESULT ReleaseDevice();
    // Copies the off-screen target into the window; E_FAIL when nothing may be
    // presented, DDERR_SURFACELOST when the window's context is gone.
    HRESULT PresentFrame();
    HRESULT RestoreSurfaces();

    // Window messages of the device's life.
    int OnCreate();
    void OnSize(uint32_t sizeType, int32_t cx, int32_t cy);
    void OnMove(int32_t x, int32_t y);
    void OnDestroy();
    // Opens (or shows) the control panel; the application's window does it.
    virtual void OnViewControlBox() {}
    // Destroys the main window after a failed device re-creation. Without a
    // window system behind the frame this releases what OnDestroy releases.
    virtual void DestroyWindow() { OnDestroy(); }

    // ---- Scene -----------------------------------------------------------
    HRESULT SetupScene();
    HRESULT RenderScene();
    bool TickFrame();
    bool RedrawFrame();
    bool PlayStep();
    bool RotateLightStep();
    void UpdateView();
    HRESULT UpdateProjection();
    // Moves the camera so the shown models fill the view at the current
    // turn: pan onto their centre, distance for the field of view; models too
    // small for the near plane narrow the field of view, models deeper than
    // the far plane move it. False (camera unchanged) when nothing is shown.
    bool FitView();
    bool ApplyLight();
    void ApplyBackgroundColour();
    void OnWireFrame();
    // The check mark of the wire-frame menu item.
    bool OnUpdateWireFrame() const { return m_bWireframe; }

    // ---- Model file opening -------------------------------------------------
    // The control panel's open buttons: the file dialog, then the file into
    // its slot, the face count in a message box, the name in the panel.
    void OpenBiped();
    void OpenPart(int slot);
    void OpenTessel();
    // The same without the dialog (command line, headless mode). Rendering is
    // suspended while the slot's model is replaced. `reportFaces` shows
    // "Faces: %d" as the open buttons do. Textures are looked up in "textr"
    // beside the model file when that folder exists, then where the texture
    // managers look.
    OpenResult OpenBipedFile(const std::string& path);
    OpenResult OpenPartFile(int slot, const std::string& path, bool reportFaces);
    OpenResult OpenTesselFile(const std::string& path, bool reportFaces);
    // The files the skeleton and the part slots were opened from, for messages.
    std::string m_bipedFile;
    std::string m_partFiles[kPartSlots];

    // The colour dialogs (menu and control panel); the application's window
    // opens them.
    virtual void OnBackgroundColour() {}
    virtual void OnLightColour() {}

    // Input on the main window.
    void OnKeyDown(uint32_t key);
    void OnLButtonDown(POINT point);
    void OnRButtonDown(POINT point);
    void OnMouseMove(uint32_t keyFlags, POINT point);
    void OnPaint();

    // The current time in seconds (the control panel sets the stamps with it).
    double NowSeconds() { return m_clock.NowSeconds(); }

    // ---- Device members --------------------------------------------------
    RenderContext* m_pWindow = nullptr;               // the window's context (not owned)
    std::unique_ptr<GlRenderTarget> m_pRenderTarget;  // off-screen target with its z-buffer
    std::unique_ptr<GlRenderDevice> m_pDevice;
    RECT m_rcScreen;              // the client area; destination of every present
    bool m_bActive = false;       // the window is shown
    bool m_bDeviceReady = false;  // the device exists and may be used

    // ---- Scene members (the models are SceneState's) -----------------------
    float m_fYaw = 0.0f;
    float m_fPitch = 0.0f;
    float m_fPanX = 0.0f;
    float m_fPanY = -10.0f;
    POINT m_ptLastMouse;
    int32_t m_nFpsFrames = 0;
    double m_fFpsLastTime = 0.0;
    float m_fViewZ = 50.0f;
    float m_fFov = 0.6f;
    float m_fAspect = 0.75f;
    float m_fNearPlane = 10.0f;
    float m_fFarPlane = 300.0f;
    double m_fLastTickTime = 0.0;
    const float m_fTickInterval = 1.0f / 30.0f;
    uint32_t m_dwClearColour = 0x00000000;
    int32_t m_nBackRed = 0, m_nBackGreen = 0, m_nBackBlue = 0;
    std::unique_ptr<TextureManager> m_pTextures;       // capacity 1000
    std::unique_ptr<TextureManager> m_pBipedTextures;  // capacity 1
    float m_vLightDir[3] = {1000.0f, -1000.0f, 1000.0f};
    double m_fLastLightTime = 0.0;
    D3DMATRIX m_matLightStep;
    int32_t m_nLightRed = 255, m_nLightGreen = 255, m_nLightBlue = 255;
    bool m_bWireframe = false;

private:
    // After a slot's model was replaced: the frame's messages may be shown
    // again, and the buffers of the model that went are released.
    void ModelChanged();

    Clock& m_clock;
    const RunState& m_run;
    bool m_softwareNoticeShown = false;
    FrameMessages m_frameMessages{m_ui};
};

// Field-of-view limits of the right-drag and the fixed steps of the input.
constexpr float kFovStep = 0.03f;
constexpr float kFovMinimum = 0.03f;
constexpr float kFovMaximum = 3.141592f;
constexpr float kTurnStep = 0.20943952f;  // 12 degrees per left-drag message
constexpr float kPanStep = 2.0f;
constexpr float kLightStepAngle = 0.05f;
