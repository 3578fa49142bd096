// The viewer's character files as the character import writes them: the
// biped file (.bpd) and the Morvane part file (.mrv), little-endian, field
// by field (saved whole with formats/SaveWholeFile.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/formats/SaveWholeFile.h"

struct BipedFileBone {
    std::vector<std::array<float, 3>> positions;  // the bone mesh's points, bone space
    std::vector<int32_t> corners;                 // 3 per triangle, into positions
    std::vector<std::array<float, 12>> frames;    // _11 _12 _13 _21 ... _43 per frame
};

// Bone count, frame count, then every bone. All bones must have frameCount frames.
std::vector<uint8_t> EncodeBipedFile(int32_t frameCount, const std::vector<BipedFileBone>& bones);

struct PartFileVertex {
    float x, y, z, nx, ny, nz, tu, tv;
    int16_t bone;
};

struct PartFileObject {
    std::string textureName;               // empty: no texture
    std::vector<PartFileVertex> vertices;  // at most 65,536
    std::vector<uint32_t> indices;         // 3 per triangle
};

std::vector<uint8_t> EncodePartFile(const std::vector<PartFileObject>& objects);
