// A Tessel model (.tsl) in the viewer: static objects drawn as they are and
// animated objects played back from one stored vertex set per frame, with a
// frame counter of the model's own.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "viewer/model/ObjectTexture.h"
#include "viewer/platform/D3DTypes.h"

class RenderDevice;
class TextureManager;
class UiServices;

// The refusal of a file that holds no objects.
extern const char* const kNoObjectsMessage;  // "Object의 갯수가 1보다 작습니다."

struct StaticObject {
    int32_t textureIndex = -1;
    int32_t faceCount = 0;
    int32_t vertexCount = 0;
    std::vector<ModelVertex> vertices;
    std::vector<uint16_t> indices;  // 3 * faceCount
    std::string textureName;        // empty: the record names no texture
    TextureReport textureReport;
};

struct AnimatedObject {
    int32_t frameCount = 0;
    int32_t textureIndex = -1;
    int32_t vertexCount = 0;
    int32_t faceCount = 0;
    // frameCount complete vertex sets, frame-major: frame k starts at k * vertexCount.
    std::vector<ModelVertex> frames;
    std::vector<uint16_t> indices;  // 3 * faceCount, shared by all frames
    std::string textureName;
    TextureReport textureReport;

    // Frame k's vertices (k in 0 .. frameCount - 1).
    const ModelVertex* Frame(int32_t k) const {
        assert(k >= 0 && k < frameCount);
        return frames.data() + static_cast<size_t>(k) * static_cast<size_t>(vertexCount);
    }
};

// The contents of a Tessel file, checked but without textures registered.
struct TesselFileData {
    int32_t frameCount = 0;
    std::vector<StaticObject> statics;
    std::vector<AnimatedObject> animateds;
    int32_t faceTotal = 0;
};

// Reads the structure of a Tessel file held in memory. Every count, name
// length and face index is checked against the bytes and the object; false
// with the problem in `error` on a damaged file (kNoObjectsMessage when the
// header counts no objects).
bool ParseTesselFile(const uint8_t* data, size_t size, TesselFileData& tessel, std::string& error);
// The same, reading an open binary stream to its end.
bool ParseTesselStream(std::FILE* file, TesselFileData& tessel, std::string& error);

class TesselModel {
public:
    explicit TesselModel(TextureManager& textures) : m_textures(textures) {}

    // Reads a Tessel file from an open binary stream, registers its texture
    // names (failures shown as "Create Texture Error!!: '<name>'"; a static
    // object without a name draws with texture 0, an animated one without
    // setting a texture) and creates the surfaces of all registered textures
    // on `device`. Returns the total of the face counts (0 with `error` left
    // empty for a sound file whose objects have no faces), or 0 with the
    // problem in `error` (kNoObjectsMessage for a header without objects)
    // when the file is rejected; the model then stays as it was.
    int32_t Load(std::FILE* file, RenderDevice* device, UiServices& ui, std::string& error);
    int32_t LoadFromMemory(const uint8_t* data, size_t size, RenderDevice* device, UiServices& ui,
                           std::string& error);

    // The model's frame step: currentFrame + 1, back to 0 at frameCount.
    void StepFrame();
    // "%d/%d" with currentFrame + 1 and frameCount.
    std::string FrameText() const;

    // Draws the static objects, then the animated ones at `frame` (frame 0
    // while no frame step has run yet, i.e. for -1).
    void Draw(RenderDevice& device, int32_t frame, UiServices& ui);

    int32_t frameCount = 0;
    int32_t currentFrame = -1;
    int32_t staticCount = 0;
    int32_t animatedCount = 0;
    std::vector<StaticObject> statics;
    std::vector<AnimatedObject> animateds;

private:
    // Registers the texture names of a checked file and takes its objects.
    int32_t Commit(TesselFileData& tessel, RenderDevice* device, UiServices& ui);

    TextureManager& m_textures;
};
