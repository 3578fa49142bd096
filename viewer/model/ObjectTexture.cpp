#include "viewer/model/ObjectTexture.h"

#include "viewer/model/TextureManager.h"
#include "viewer/platform/Device.h"
#include "viewer/platform/UiServices.h"

void SetObjectTexture(RenderDevice& device, const TextureManager& textures, int32_t textureIndex,
                      TextureReport& report, UiServices& ui) {
    if (textureIndex < 0) return;
    if (report.generation != textures.SurfaceGeneration()) {
        report = TextureReport{};
        report.generation = textures.SurfaceGeneration();
    }
    TextureSurface* surface = textures.Surface(textureIndex);
    if (surface == nullptr) {
        if (!report.missingSurface) {
            report.missingSurface = true;
            ui.MessageBox("GetSurface Error!!");
        }
        return;
    }
    if (device.SetTexture(0, surface) != S_OK && !report.setTextureFailed) {
        report.setTextureFailed = true;
        ui.MessageBox("SetTexture Error!!");
    }
}

void ShowCreateTextureError(UiServices& ui, const std::string& name, const std::string& reason) {
    std::string text = "Create Texture Error!!: '" + name + "'";
    if (!reason.empty()) text += "\n" + reason;
    ui.MessageBox(text);
}
