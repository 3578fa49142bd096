#include "viewer/model/TesselModel.h"

#include <cstring>
#include <limits>
#include <set>
#include <utility>

#include "viewer/model/ByteReader.h"
#include "viewer/model/ModelRecords.h"
#include "viewer/model/TextureManager.h"
#include "viewer/platform/Device.h"
#include "viewer/platform/UiServices.h"

const char* const kNoObjectsMessage = "Object의 갯수가 1보다 작습니다.";

namespace {

constexpr size_t kVertexBytes = 32;

// Copies `count` 32-byte vertex records of the file into `out`.
void ReadVertices(const uint8_t* p, size_t count, ModelVertex* out) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (count > 0) std::memcpy(out, p, count * kVertexBytes);
#else
    ByteReader v(p, count * kVertexBytes);
    for (size_t i = 0; i < count; ++i) {
        ReadVertexFields(v, out[i]);
    }
#endif
}

}  // namespace

bool ParseTesselFile(const uint8_t* data, size_t size, TesselFileData& tessel, std::string& error) {
    ByteReader r(data, size);
    int32_t frameCount = 0, staticCount = 0, animatedCount = 0;
    if (!r.ReadInt32(frameCount) || !r.ReadInt32(staticCount) || !r.ReadInt32(animatedCount)) {
        error = "file is too short for the header (" + std::to_string(size) + " bytes, 12 needed)";
        return false;
    }
    if (staticCount < 0 || animatedCount < 0) {
        error = "object counts " + std::to_string(staticCount) + " static and " +
                std::to_string(animatedCount) + " animated: a count is negative";
        return false;
    }
    const int64_t objectTotal = static_cast<int64_t>(staticCount) + animatedCount;
    if (objectTotal < 1) {
        error = kNoObjectsMessage;
        return false;
    }
    if (frameCount < 1) {
        error = "frame count is " + std::to_string(frameCount) + ", at least 1 is needed";
        return false;
    }
    const uint64_t objectMemory = static_cast<uint64_t>(staticCount) * sizeof(StaticObject) +
                                  static_cast<uint64_t>(animatedCount) * sizeof(AnimatedObject);
    if (!CheckObjectCount(r, objectTotal, objectMemory, size, "the header", error)) return false;

    TesselFileData loaded;
    loaded.frameCount = frameCount;
    loaded.statics.resize(static_cast<size_t>(staticCount));
    int64_t faceTotal = 0;
    for (int32_t i = 0; i < staticCount; ++i) {
        StaticObject& object = loaded.statics[static_cast<size_t>(i)];
        const std::string where = "static object " + std::to_string(i) + ": ";
        if (!ReadTextureName(r, where, object.textureName, error)) return false;
        if (!ReadVertexCount(r, where, kVertexBytes, 1, object.vertexCount, error)) return false;
        object.vertices.resize(static_cast<size_t>(object.vertexCount));
        ReadVertices(r.Take(static_cast<size_t>(object.vertexCount) * kVertexBytes),
                     object.vertices.size(), object.vertices.data());
        if (!ReadFaces(r, where, object.vertexCount, object.faceCount, object.indices, error)) {
            return false;
        }
        faceTotal += object.faceCount;
    }

    loaded.animateds.resize(static_cast<size_t>(animatedCount));
    for (int32_t i = 0; i < animatedCount; ++i) {
        AnimatedObject& object = loaded.animateds[static_cast<size_t>(i)];
        const std::string where = "animated object " + std::to_string(i) + ": ";
        object.frameCount = frameCount;
        if (!ReadTextureName(r, where, object.textureName, error)) return false;
        if (!ReadVertexCount(r, where, kVertexBytes, frameCount, object.vertexCount, error))
            return false;
        const size_t total =
            static_cast<size_t>(object.vertexCount) * static_cast<size_t>(frameCount);
        object.frames.resize(total);
        ReadVertices(r.Take(total * kVertexBytes), total, object.frames.data());
        if (!ReadFaces(r, where, object.vertexCount, object.faceCount, object.indices, error)) {
            return false;
        }
        faceTotal += object.faceCount;
    }
    if (!CheckObjectsEnd(r, faceTotal, error)) return false;
    loaded.faceTotal = static_cast<int32_t>(faceTotal);
    tessel = std::move(loaded);
    return true;
}

bool ParseTesselStream(std::FILE* file, TesselFileData& tessel, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadStream(file, bytes, error)) return false;
    return ParseTesselFile(bytes.data(), bytes.size(), tessel, error);
}

int32_t TesselModel::Load(std::FILE* file, RenderDevice* device, UiServices& ui,
                          std::string& error) {
    TesselFileData tessel;
    if (!ParseTesselStream(file, tessel, error)) return 0;
    return Commit(tessel, device, ui);
}

int32_t TesselModel::LoadFromMemory(const uint8_t* data, size_t size, RenderDevice* device,
                                    UiServices& ui, std::string& error) {
    TesselFileData tessel;
    if (!ParseTesselFile(data, size, tessel, error)) return 0;
    return Commit(tessel, device, ui);
}

int32_t TesselModel::Commit(TesselFileData& tessel, RenderDevice* device, UiServices& ui) {
    // Textures are registered once the whole file has been read, so that a
    // rejected file leaves nothing behind in the texture manager. A name
    // that cannot be registered is reported once per load.
    std::set<std::string> reported;
    auto registerName = [&](const std::string& name) -> int32_t {
        const int32_t index = m_textures.Add(name);
        if (index >= 0) return index;
        if (reported.insert(name).second) ShowCreateTextureError(ui, name, m_textures.LastError());
        return -1;
    };
    for (StaticObject& object : tessel.statics) {
        // A static object without a name draws with the first registered texture.
        object.textureIndex = object.textureName.empty() ? 0 : registerName(object.textureName);
    }
    for (AnimatedObject& object : tessel.animateds) {
        object.textureIndex = object.textureName.empty() ? -1 : registerName(object.textureName);
    }
    frameCount = tessel.frameCount;
    currentFrame = -1;
    staticCount = static_cast<int32_t>(tessel.statics.size());
    animatedCount = static_cast<int32_t>(tessel.animateds.size());
    statics = std::move(tessel.statics);
    animateds = std::move(tessel.animateds);
    m_textures.CreateSurfaces(device);
    return tessel.faceTotal;
}

void TesselModel::StepFrame() {
    currentFrame += 1;
    if (currentFrame >= frameCount) currentFrame = 0;
}

std::string TesselModel::FrameText() const {
    char text[32];
    std::snprintf(text, sizeof text, "%d/%d", currentFrame + 1, frameCount);
    return text;
}

void TesselModel::Draw(RenderDevice& device, int32_t frame, UiServices& ui) {
    for (StaticObject& object : statics) {
        SetObjectTexture(device, m_textures, object.textureIndex, object.textureReport, ui);
        if (object.indices.empty() || object.vertices.empty()) continue;
        device.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, object.vertices.data(),
                                    static_cast<uint32_t>(object.vertexCount),
                                    object.indices.data(),
                                    static_cast<uint32_t>(object.indices.size()), 0);
    }
    for (AnimatedObject& object : animateds) {
        SetObjectTexture(device, m_textures, object.textureIndex, object.textureReport, ui);
        if (object.frameCount < 1 || object.indices.empty() || object.vertexCount == 0) continue;
        // Before the first frame step (frame -1) the model shows frame 0.
        const int32_t k = (frame >= 0 && frame < object.frameCount) ? frame : 0;
        device.DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, object.Frame(k),
                                    static_cast<uint32_t>(object.vertexCount),
                                    object.indices.data(),
                                    static_cast<uint32_t>(object.indices.size()), 0);
    }
}
