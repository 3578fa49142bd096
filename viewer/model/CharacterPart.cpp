#include "viewer/model/CharacterPart.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <limits>
#include <set>
#include <utility>

#include "viewer/model/Biped.h"
#include "viewer/model/ByteReader.h"
#include "viewer/model/ModelRecords.h"
#include "viewer/model/SkinKernel.h"
#include "viewer/model/TextureManager.h"
#include "viewer/platform/Device.h"
#include "viewer/platform/UiServices.h"

namespace {

constexpr size_t kPartVertexBytes = 34;  // ModelVertex + int16 bone index

// The end of the run of equal bone indices that starts at `first`.
size_t RunEnd(const int16_t* bones, size_t first, size_t n) {
    const int16_t b = bones[first];
    size_t end = first + 1;
#if defined(__SSE2__)
    // Eight indices per comparison.
    const __m128i wanted = _mm_set1_epi16(b);
    while (end + 8 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bones + end));
        const int same = _mm_movemask_epi8(_mm_cmpeq_epi16(v, wanted));
        if (same != 0xFFFF) return end + static_cast<size_t>(__builtin_ctz(~same & 0xFFFF)) / 2;
        end += 8;
    }
#endif
    while (end < n && bones[end] == b) ++end;
    return end;
}

}  // namespace

bool ParsePartFile(const uint8_t* data, size_t size, PartFileData& part, std::string& error) {
    ByteReader r(data, size);
    int32_t objectCount = 0;
    if (!r.ReadInt32(objectCount)) {
        error =
            "file is too short for the object count (" + std::to_string(size) + " bytes, 4 needed)";
        return false;
    }
    if (objectCount < 1) {
        error = "object count is " + std::to_string(objectCount) + ", at least 1 is needed";
        return false;
    }
    if (!CheckObjectCount(r, objectCount, static_cast<uint64_t>(objectCount) * sizeof(PartObject),
                          size, "the count", error))
        return false;

    PartFileData loaded;
    loaded.objects.resize(static_cast<size_t>(objectCount));
    int64_t faceTotal = 0;
    int32_t lowestBone = std::numeric_limits<int32_t>::max();
    int32_t highestBone = std::numeric_limits<int32_t>::min();
    for (int32_t i = 0; i < objectCount; ++i) {
        PartObject& object = loaded.objects[static_cast<size_t>(i)];
        const std::string where = "object " + std::to_string(i) + ": ";

        if (!ReadTextureName(r, where, object.textureName, error)) return false;
        int32_t vertexCount = 0;
        if (!ReadVertexCount(r, where, kPartVertexBytes, 1, vertexCount, error)) return false;
        object.vertexCount = vertexCount;
        object.sourceVertices.resize(static_cast<size_t>(vertexCount));
        object.boneIndices.resize(static_cast<size_t>(vertexCount));
        const uint8_t* block = r.Take(static_cast<size_t>(vertexCount) * kPartVertexBytes);
        for (int32_t j = 0; j < vertexCount; ++j) {
            const uint8_t* p = block + static_cast<size_t>(j) * kPartVertexBytes;
            ByteReader v(p, kPartVertexBytes);
            ReadVertexFields(v, object.sourceVertices[static_cast<size_t>(j)]);
            int16_t bone = 0;
            v.ReadInt16(bone);
            object.boneIndices[static_cast<size_t>(j)] = bone;
            if (bone < lowestBone) lowestBone = bone;
            if (bone > highestBone) highestBone = bone;
        }

        int32_t faceCount = 0;
        if (!ReadFaces(r, where, vertexCount, faceCount, object.indices, error)) return false;
        object.faceCount = faceCount;
        faceTotal += faceCount;
        object.skinnedVertices = object.sourceVertices;
        object.skinFields.Assign(object.sourceVertices);
    }
    if (!CheckObjectsEnd(r, faceTotal, error)) return false;
    loaded.faceTotal = static_cast<int32_t>(faceTotal);
    if (highestBone >= lowestBone) {
        loaded.lowestBone = lowestBone;
        loaded.highestBone = highestBone;
    }
    part = std::move(loaded);
    return true;
}

int32_t CharacterPart::Load(std::FILE* file, RenderDevice* device, UiServices& ui,
                            std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadStream(file, bytes, error)) return 0;
    return LoadFromMemory(bytes.data(), bytes.size(), device, ui, error);
}

int32_t CharacterPart::LoadFromMemory(const uint8_t* data, size_t size, RenderDevice* device,
                                      UiServices& ui, std::string& error) {
    PartFileData part;
    if (!ParsePartFile(data, size, part, error)) return 0;
    if (part.faceTotal == 0) {
        error = "the part's objects hold no faces";
        return 0;
    }
    // Register the texture names only once the whole file has been read, so
    // that a rejected file leaves nothing behind in the texture manager. A
    // name that cannot be registered is reported once per load.
    std::set<std::string> reported;
    for (PartObject& object : part.objects) {
        if (object.textureName.empty()) continue;
        const int32_t index = m_textures.Add(object.textureName);
        if (index >= 0) {
            object.textureIndex = index;
        } else {
            object.textureIndex = -1;
            if (reported.insert(object.textureName).second) {
                ShowCreateTextureError(ui, object.textureName, m_textures.LastError());
            }
        }
    }
    objectCount = static_cast<int32_t>(part.objects.size());
    objects = std::move(part.objects);
    m_textures.CreateSurfaces(device);
    return part.faceTotal;
}

void CharacterPart::Skin(const Biped& biped, int32_t tick) {
    if (objectCount <= 0 || biped.frameCount <= 0) return;
    int32_t frame = tick % biped.frameCount;
    if (frame < 0) frame += biped.frameCount;
    const size_t boneCount = biped.bones.size();
    for (PartObject& object : objects) {
        const size_t n = object.sourceVertices.size();
        const ModelVertex* source = object.sourceVertices.data();
        ModelVertex* skinned = object.skinnedVertices.data();
        const int16_t* bones = object.boneIndices.data();
        // Vertices come in runs that follow the same bone: each run is
        // checked once and transformed with one matrix.
        size_t j = 0;
        while (j < n) {
            const int32_t b = bones[j];
            const size_t end = RunEnd(bones, j, n);
            // A bone the biped does not have (a part made for another
            // skeleton) or one without a matrix for this frame ends the pass.
            if (b < 0 || static_cast<size_t>(b) >= boneCount ||
                static_cast<size_t>(frame) >= biped.bones[static_cast<size_t>(b)].matrices.size()) {
                skinned[j] = source[j];
                return;
            }
            const D3DMATRIX& m =
                biped.bones[static_cast<size_t>(b)].matrices[static_cast<size_t>(frame)];
            const size_t done = SkinVertices(m, object.skinFields, source, skinned, j, end - j);
            if (done < end - j) {
                // The transform failed: this vertex unskinned, the rest as before.
                skinned[j + done] = source[j + done];
                return;
            }
            j = end;
        }
    }
}

void CharacterPart::Draw(RenderDevice& device, UiServices& ui) {
    for (PartObject& object : objects) {
        SetObjectTexture(device, m_textures, object.textureIndex, object.textureReport, ui);
        if (object.indices.empty() || object.skinnedVertices.empty()) continue;
        device.DrawIndexedPrimitive(
            D3DPT_TRIANGLELIST, D3DFVF_VERTEX, object.skinnedVertices.data(),
            static_cast<uint32_t>(object.vertexCount), object.indices.data(),
            static_cast<uint32_t>(object.indices.size()), 0);
    }
}
