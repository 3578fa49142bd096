// The records the Tessel and part readers share: an object's texture name,
// its vertex count and its triangle list, each checked against the bytes
// left before anything is allocated for it. Messages start with `where`
// ("object 3: ") and say where in the file the problem is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "viewer/model/ByteReader.h"
#include "viewer/model/TextureManager.h"
#include "viewer/platform/D3DTypes.h"

constexpr size_t kFaceBytes = 12;        // three 32-bit vertex indices
constexpr size_t kSmallestObject = 12;   // name length, vertex count, face count
constexpr int32_t kMaxVertices = 65536;  // what 16-bit face indices can reach

// The eight floats of a vertex record (position, normal, texture
// coordinates); the caller has checked that they are there.
void ReadVertexFields(ByteReader& r, ModelVertex& v);
// Whether `count` objects fit in what is left of the file (each takes at
// least kSmallestObject bytes there) and their `memory` bytes in memory in
// what a file of `fileSize` bytes may take; `after` names what was read
// before them ("the count", "the header").
bool CheckObjectCount(const ByteReader& r, int64_t count, uint64_t memory, size_t fileSize,
                      const std::string& after, std::string& error);
// Whether the objects end the file and their faces, `faceTotal`, can be
// counted in 32 bits.
bool CheckObjectsEnd(const ByteReader& r, int64_t faceTotal, std::string& error);
// A texture name length and that many bytes (no zero byte, at most
// kMaxTextureName).
bool ReadTextureName(ByteReader& r, const std::string& where, std::string& name,
                     std::string& error);
// A vertex count that leaves room for `frames` sets of that many records of
// `vertexBytes` each, and that 16-bit face indices can reach.
bool ReadVertexCount(ByteReader& r, const std::string& where, uint64_t vertexBytes, int32_t frames,
                     int32_t& count, std::string& error);
// The face count and the triangle list of an object of `vertexCount` vertices.
bool ReadFaces(ByteReader& r, const std::string& where, int32_t vertexCount, int32_t& faceCount,
               std::vector<uint16_t>& indices, std::string& error);
