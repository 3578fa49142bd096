// A character's skeleton animation read from a biped file (.bpd): per bone a
// small triangle mesh in bone space and one matrix per animation frame.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "viewer/platform/D3DTypes.h"

class UiServices;

struct BipedBone {
    int32_t triangleCount = 0;
    std::vector<ModelVertex> bindVertices;   // 3 * triangleCount, bone space
    std::vector<ModelVertex> posedVertices;  // the same mesh at the current frame (drawn)
    std::vector<D3DMATRIX> matrices;         // one per frame
};

class Biped {
public:
    int32_t frameCount = 0;
    int32_t boneCount = 0;
    std::vector<BipedBone> bones;

    // Reads a biped file from an open binary stream positioned at its start.
    // Counts and corner indices are checked against the file; on a damaged
    // file it returns false with the problem in `error` and leaves this
    // biped exactly as it was.
    bool Load(std::FILE* file, std::string& error);
    // The same on a file held in memory.
    bool LoadFromMemory(const uint8_t* data, size_t size, std::string& error);

    // Poses every bone mesh at `frame`. A bone without a matrix for that frame
    // keeps its bind pose and reports "잘못되었음!" once per loaded biped.
    void PoseBones(int32_t frame, UiServices& ui);

private:
    bool m_reportedBadBone = false;
};
