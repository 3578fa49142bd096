// A character part read from a Morvane file (.mrv): textured triangle meshes
// whose every vertex follows one bone of the biped. Skinning poses the
// vertices at a biped frame; drawing draws the skinned vertices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "viewer/model/ObjectTexture.h"
#include "viewer/model/SkinKernel.h"
#include "viewer/platform/D3DTypes.h"

class Biped;
class RenderDevice;
class TextureManager;
class UiServices;

struct PartObject {
    int32_t textureIndex = -1;  // -1: no texture
    int32_t vertexCount = 0;
    int32_t faceCount = 0;
    std::vector<ModelVertex> sourceVertices;   // as read, in bone space
    std::vector<ModelVertex> skinnedVertices;  // at the current frame; drawn
    std::vector<int16_t> boneIndices;          // one per vertex
    std::vector<uint16_t> indices;             // 3 * faceCount, triangle list
    std::string textureName;                   // empty: no texture
    TextureReport textureReport;
    // sourceVertices' positions and normals by field, made at load for the
    // skinning loop (sourceVertices do not change afterwards).
    SkinFields skinFields;
};

// The objects of a Morvane file, checked but without textures registered.
struct PartFileData {
    std::vector<PartObject> objects;
    int32_t faceTotal = 0;
    int32_t lowestBone = 0;  // bone index range over all vertices
    int32_t highestBone = -1;
};

// Reads the structure of a Morvane file held in memory. Every count, name
// length and face index is checked against the bytes and the object; false
// with the problem in `error` on a damaged file.
bool ParsePartFile(const uint8_t* data, size_t size, PartFileData& part, std::string& error);

class CharacterPart {
public:
    explicit CharacterPart(TextureManager& textures) : m_textures(textures) {}

    // Reads a Morvane file from an open binary stream and registers its
    // texture names (a name that cannot be registered is shown as
    // "Create Texture Error!!: '<name>'" and the object draws untextured),
    // then creates the surfaces of all registered textures on `device`.
    // Returns the total number of faces, or 0 with the problem in `error`
    // when the file is rejected; a rejected file leaves the part unchanged
    // and registers no texture.
    int32_t Load(std::FILE* file, RenderDevice* device, UiServices& ui, std::string& error);
    int32_t LoadFromMemory(const uint8_t* data, size_t size, RenderDevice* device, UiServices& ui,
                           std::string& error);

    // Poses every vertex with its bone's matrix at frame tick mod the biped's
    // frame count. A vertex whose bone does not exist in the biped, has no
    // matrix for the frame, or whose transform fails gets its source vertex
    // and ends the pass; the rest keep their previous positions.
    void Skin(const Biped& biped, int32_t tick);

    // Draws every object with its texture (see SetObjectTexture).
    void Draw(RenderDevice& device, UiServices& ui);

    int32_t objectCount = 0;
    std::vector<PartObject> objects;

private:
    TextureManager& m_textures;
};
