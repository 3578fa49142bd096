// The scene of the main window: device states, camera, projection, light,
// background, the frame functions and the camera input.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "viewer/model/VertexMath.h"
#include "viewer/platform/UiServices.h"
#include "viewer/render/MainFrame.h"
#include "viewer/render/SceneMath.h"

namespace {
// Light colour components 0-255 to 0-1 (single-precision 1/255, 0x3B808081).
constexpr float kColourScale = 0.003921569f;
constexpr uint32_t kAmbientGrey = 0x55555555;
constexpr uint32_t kAlphaReference = 0x40;
}  // namespace

void FrameMessages::MessageBox(const std::string& text) {
    if (m_shown.insert(text).second) m_pending.push_back(text);
}

void FrameMessages::ShowPending() {
    std::vector<std::string> pending;
    pending.swap(m_pending);
    for (const std::string& text : pending) m_ui.MessageBox(text);
}

HRESULT CMainFrame::SetupScene() {
    D3DMATERIAL7 material;
    InitMaterial(material, 1.0f, 1.0f, 1.0f, 1.0f);
    m_pDevice->SetMaterial(material);
    m_pDevice->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE);
    m_pDevice->SetTransform(D3DTRANSFORMSTATE_WORLD, IdentityMatrix());
    UpdateView();
    const HRESULT hr = UpdateProjection();
    if (FAILED(hr)) return hr;
    ApplyLight();
    m_pDevice->LightEnable(0, true);
    m_pDevice->SetRenderState(D3DRENDERSTATE_LIGHTING, 1);
    m_pDevice->SetRenderState(D3DRENDERSTATE_AMBIENT, kAmbientGrey);
    m_pDevice->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, 1);
    m_pDevice->SetRenderState(D3DRENDERSTATE_ALPHAREF, kAlphaReference);
    m_pDevice->SetRenderState(D3DRENDERSTATE_ALPHAFUNC, D3DCMP_GREATER);
    m_pDevice->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
    m_pDevice->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
    return S_OK;
}

void CMainFrame::UpdateView() {
    const D3DMATRIX a = RotationY(m_fYaw);
    const float c = std::cos(m_fPitch), s = std::sin(m_fPitch);
    D3DMATRIX b = IdentityMatrix();
    b[5] = c;
    b[6] = s;
    b[9] = -s;
    b[10] = c;
    b[12] = m_fPanX;
    b[13] = m_fPanY;
    b[14] = m_fViewZ;
    D3DMATRIX view;
    MultiplyMatrix(view, a, b);
    if (m_pDevice) m_pDevice->SetTransform(D3DTRANSFORMSTATE_VIEW, view);
    if (m_bActive && m_bDeviceReady) RedrawFrame();
}

HRESULT CMainFrame::UpdateProjection() {
    if (!m_pDevice) return E_FAIL;
    D3DVIEWPORT7 viewport;
    HRESULT hr = m_pDevice->GetViewport(viewport);
    if (FAILED(hr)) return hr;
    if (viewport.dwWidth == 0 || viewport.dwHeight == 0) return E_FAIL;
    m_fAspect = static_cast<float>(viewport.dwHeight) / static_cast<float>(viewport.dwWidth);
    D3DMATRIX matrix{};
    matrix[0] = 2.0f;
    matrix[5] = 2.0f;
    matrix[10] = 1.0f;
    matrix[11] = 1.0f;
    matrix[14] = -1.0f;
    SetProjectionMatrix(matrix, m_fFov, m_fAspect, m_fNearPlane, m_fFarPlane);
    m_pDevice->SetTransform(D3DTRANSFORMSTATE_PROJECTION, matrix);
    return S_OK;
}

bool CMainFrame::FitView() {
    float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX}, hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    bool any = false;
    auto add = [&](const std::vector<ModelVertex>& vertices) {
        for (const ModelVertex& v : vertices) {
            const float p[3] = {v.x, v.y, v.z};
            if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
            for (int i = 0; i < 3; ++i) {
                lo[i] = std::min(lo[i], p[i]);
                hi[i] = std::max(hi[i], p[i]);
            }
            any = true;
        }
    };
    if (m_bShow[SLOT_SKELETON] && m_pBiped)
        for (const BipedBone& bone : m_pBiped->bones) add(bone.posedVertices);
    for (int slot = 0; slot < kPartSlots; ++slot)
        if (m_bShow[slot] && m_pParts[slot])
            for (const PartObject& o : m_pParts[slot]->objects)
                add(o.skinnedVertices.empty() ? o.sourceVertices : o.skinnedVertices);
    if (m_bShow[SLOT_TESSEL] && m_pTessel) {
        for (const StaticObject& o : m_pTessel->statics) add(o.vertices);
        for (const AnimatedObject& o : m_pTessel->animateds) add(o.frames);
    }
    if (!any) return false;
    UpdateProjection();  // the aspect of the current view size

    // The box's centre and corners as the view's turn places them (UpdateView:
    // yaw, then pitch), the corners relative to the centre and a little
    // further out so the edges keep some room.
    const double cy = std::cos(m_fYaw), sy = std::sin(m_fYaw);
    const double cp = std::cos(m_fPitch), sp = std::sin(m_fPitch);
    auto turn = [&](double x, double y, double z, double out[3]) {
        const double x1 = x * cy + z * sy, z1 = -x * sy + z * cy;
        out[0] = x1;
        out[1] = y * cp - z1 * sp;
        out[2] = y * sp + z1 * cp;
    };
    double centre[3];
    turn((double(lo[0]) + hi[0]) / 2, (double(lo[1]) + hi[1]) / 2, (double(lo[2]) + hi[2]) / 2,
         centre);
    double corners[8][3];
    for (int k = 0; k < 8; ++k) {
        turn(k & 1 ? hi[0] : lo[0], k & 2 ? hi[1] : lo[1], k & 4 ? hi[2] : lo[2], corners[k]);
        for (int i = 0; i < 3; ++i) corners[k][i] = 1.05 * (corners[k][i] - centre[i]);
    }
    // The distance of the centre at which every corner is inside the view:
    // |x| <= (distance + z) tan(horizontal half angle), the same for y.
    const double aspect = std::max(double(m_fAspect), 1e-6);
    double fov = m_fFov;
    auto distanceFor = [&](double fieldOfView) {
        const double tanV = std::tan(fieldOfView / 2), tanH = tanV / aspect;
        double d = 0;
        for (const auto& c : corners)
            d = std::max({d, std::fabs(c[0]) / tanH - c[2], std::fabs(c[1]) / tanV - c[2]});
        return d;
    };
    double nearest = 0, farthest = 0;
    for (const auto& c : corners) {
        nearest = std::min(nearest, c[2]);
        farthest = std::max(farthest, c[2]);
    }
    double distance = std::max(distanceFor(fov), 1e-3 - nearest);
    // Small models: as close as the near plane allows (with some room, so
    // that a face across the view is not cut by it), with a narrower view.
    const double closest = 1.05 * m_fNearPlane;
    if (distance + nearest < closest) {
        distance = closest - nearest;
        double tanV = 1e-6;
        for (const auto& c : corners)
            tanV = std::max({tanV, std::fabs(c[1]) / (distance + c[2]),
                             aspect * std::fabs(c[0]) / (distance + c[2])});
        fov = std::clamp(2 * std::atan(tanV), 0.03, 3.141592);
    }
    if (distance + farthest > m_fFarPlane)
        m_fFarPlane = static_cast<float>(distance + farthest) * 1.01f;
    m_fPanX = static_cast<float>(-centre[0]);
    m_fPanY = static_cast<float>(-centre[1]);
    m_fViewZ = static_cast<float>(distance - centre[2]);
    m_fFov = static_cast<float>(fov);
    UpdateProjection();
    UpdateView();
    return true;
}

bool CMainFrame::ApplyLight() {
    D3DLIGHT7 light;
    InitLight(light, D3DLIGHT_DIRECTIONAL, m_vLightDir[0], m_vLightDir[1], m_vLightDir[2],
              static_cast<float>(m_nLightRed) * kColourScale,
              static_cast<float>(m_nLightGreen) * kColourScale,
              static_cast<float>(m_nLightBlue) * kColourScale);
    if (m_pDevice) m_pDevice->SetLight(0, light);
    // While playing, the next idle frame shows the change.
    if (m_bActive && m_bDeviceReady && !m_run.m_bPlaying) return RedrawFrame();
    return false;
}

void CMainFrame::ApplyBackgroundColour() {
    m_dwClearColour = static_cast<uint32_t>(m_nBackRed) * 65536u +
                      static_cast<uint32_t>(m_nBackGreen) * 256u +
                      static_cast<uint32_t>(m_nBackBlue);
    if (m_bActive && m_bDeviceReady) RedrawFrame();
}

HRESULT CMainFrame::RenderScene() {
    if (!m_pDevice) return E_FAIL;
    m_pDevice->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, m_dwClearColour, 1.0f);
    if (FAILED(m_pDevice->BeginScene())) return E_FAIL;
    bool drew = false;

    // The skeleton's bones, always as wire frames.
    if (m_bShow[SLOT_SKELETON] && m_pBiped) {
        if (TextureSurface* surface = m_pBipedTextures->Surface(0))
            m_pDevice->SetTexture(0, surface);
        m_pDevice->SetRenderState(D3DRENDERSTATE_FILLMODE, D3DFILL_WIREFRAME);
        for (const BipedBone& bone : m_pBiped->bones) {
            const size_t corners = static_cast<size_t>(bone.triangleCount) * 3;
            if (corners == 0 || bone.posedVertices.size() < corners) continue;
            m_pDevice->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, bone.posedVertices.data(),
                                     static_cast<uint32_t>(corners), 0);
        }
        if (!m_bWireframe) m_pDevice->SetRenderState(D3DRENDERSTATE_FILLMODE, D3DFILL_SOLID);
        drew = true;
    }

    for (int slot = 0; slot < kPartSlots; ++slot) {
        if (m_bShow[slot] && m_pParts[slot]) {
            m_pParts[slot]->Draw(*m_pDevice, m_frameMessages);
            drew = true;
        }
    }

    if (m_bShow[SLOT_TESSEL] && m_pTessel) {
        m_pTessel->Draw(*m_pDevice, m_pTessel->currentFrame, m_frameMessages);
        drew = true;
    }

    m_pDevice->EndScene();
    return drew ? S_OK : E_FAIL;
}

bool CMainFrame::TickFrame() {
    const double now = m_clock.NowSeconds();
    // At most one step per call: a slow loop slows the animation down.
    if (now - m_fLastTickTime >= static_cast<double>(m_fTickInterval)) {
        m_fLastTickTime = now;
        AdvanceAnimation();
    }
    return RedrawFrame();
}

bool CMainFrame::RedrawFrame() {
    const HRESULT hr = RenderScene();
    if (PresentFrame() == DDERR_SURFACELOST) RestoreSurfaces();
    m_frameMessages.ShowPending();
    return SUCCEEDED(hr);
}

bool CMainFrame::PlayStep() {
    const bool drawn = (m_bActive && m_bDeviceReady) ? TickFrame() : false;
    m_nFpsFrames += 1;
    const double now = m_clock.NowSeconds();
    const double elapsed = now - m_fFpsLastTime;
    if (elapsed >= 1.0) {
        char text[64];
        std::snprintf(text, sizeof text, "%.2f", m_nFpsFrames / elapsed);
        if (m_pControlPanel) m_pControlPanel->SetFpsText(text);
        m_nFpsFrames = 0;
        m_fFpsLastTime = now;
    }
    return drawn;
}

bool CMainFrame::RotateLightStep() {
    const double now = m_clock.NowSeconds();
    if (now - m_fLastLightTime < static_cast<double>(m_fTickInterval)) return true;
    m_fLastLightTime = now;
    TransformPoint(m_vLightDir, m_vLightDir, m_matLightStep);
    return ApplyLight();
}

void CMainFrame::OnWireFrame() {
    m_bWireframe = !m_bWireframe;
    if (m_pDevice)
        m_pDevice->SetRenderState(D3DRENDERSTATE_FILLMODE,
                                  m_bWireframe ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
    if (m_bActive && m_bDeviceReady) RedrawFrame();
}

void CMainFrame::OnKeyDown(uint32_t key) {
    switch (key) {
        case VK_SPACE:
            if (m_bActive && m_bDeviceReady) TickFrame();
            break;
        case VK_LEFT:
            m_fPanX -= kPanStep;
            UpdateView();
            break;
        case VK_RIGHT:
            m_fPanX += kPanStep;
            UpdateView();
            break;
        case VK_UP:
            m_fPanY += kPanStep;
            UpdateView();
            break;
        case VK_DOWN:
            m_fPanY -= kPanStep;
            UpdateView();
            break;
        default:
            break;
    }
}

void CMainFrame::OnLButtonDown(POINT point) {
    m_ptLastMouse = point;
}

void CMainFrame::OnRButtonDown(POINT point) {
    m_ptLastMouse = point;
}

void CMainFrame::OnMouseMove(uint32_t keyFlags, POINT point) {
    if (keyFlags == MK_LBUTTON) {
        // A fixed step per message, whatever the distance moved.
        if (point.x > m_ptLastMouse.x) {
            m_fYaw -= kTurnStep;
            UpdateView();
        } else if (point.x < m_ptLastMouse.x) {
            m_fYaw += kTurnStep;
            UpdateView();
        }
        if (point.y > m_ptLastMouse.y) {
            m_fPitch -= kTurnStep;
            UpdateView();
        } else if (point.y < m_ptLastMouse.y) {
            m_fPitch += kTurnStep;
            UpdateView();
        }
        m_ptLastMouse = point;
    } else if (keyFlags == MK_RBUTTON) {
        // Measured from the press point: below it widens, level or above narrows.
        if (point.y > m_ptLastMouse.y) {
            m_fFov += kFovStep;
            if (m_fFov > kFovMaximum) m_fFov = kFovMaximum;
        } else {
            m_fFov -= kFovStep;
            if (m_fFov < kFovMinimum) m_fFov = kFovMinimum;
        }
        UpdateProjection();
        if (m_bActive && m_bDeviceReady) RedrawFrame();
    }
}

void CMainFrame::OnPaint() {
    if (m_bActive && m_bDeviceReady) RedrawFrame();
}
