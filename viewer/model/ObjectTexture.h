// The texture step of drawing one model object, shared by character parts
// and Tessel models: stage 0 gets the object's texture when it has one;
// problems are shown once per object and cause until the surfaces are made
// again (the next model load), not on every frame.
#pragma once

#include <cstdint>
#include <string>

class RenderDevice;
class TextureManager;
class UiServices;

// What an object has already reported about its texture.
struct TextureReport {
    uint32_t generation = 0;
    bool missingSurface = false;
    bool setTextureFailed = false;
};

// For textureIndex >= 0: sets the manager's surface for that index as the
// texture of stage 0, or shows "GetSurface Error!!" when there is none and
// "SetTexture Error!!" when the device refuses it. For textureIndex < 0 the
// stage is left as it is.
void SetObjectTexture(RenderDevice& device, const TextureManager& textures, int32_t textureIndex,
                      TextureReport& report, UiServices& ui);

// The message shown when a texture name cannot be registered while loading:
// "Create Texture Error!!: '<name>'", followed by the reason on a second line.
void ShowCreateTextureError(UiServices& ui, const std::string& name, const std::string& reason);
