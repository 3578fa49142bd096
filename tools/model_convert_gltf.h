// The glTF side of model-convert: a tinygltf model whose one buffer grows
// with every accessor, image and matrix added to it, and the writing of that
// model as a binary .glb or as a .gltf with its .bin beside it.
#pragma once

#include <tiny_gltf.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class GltfBuffer {
public:
    // Starts the model's buffer 0 (the model must have no buffers yet).
    explicit GltfBuffer(tinygltf::Model& model);

    // A float accessor of `count` elements of `type` (TINYGLTF_TYPE_SCALAR,
    // VEC3, VEC4, MAT4, ...) from `values` (count x components floats).
    // `bounds` writes the exact per-component minimum and maximum (required
    // for positions and animation inputs). `target` is the buffer view's
    // target (0: none).
    int AddFloats(const std::vector<float>& values, int type, bool bounds, int target);
    // A triangle index accessor: unsigned short when every index is below
    // 65,535 (that value is reserved for primitive restart), else unsigned int.
    int AddIndices(const std::vector<uint32_t>& indices);
    // A VEC4 JOINTS_0 accessor: unsigned byte below 256 joints, else unsigned short.
    int AddJoints(const std::vector<uint16_t>& joints, size_t jointCount);
    // A PNG image of `width` x `height` pixels stored in the buffer.
    int AddPngImage(const std::vector<uint8_t>& png, const std::string& name, uint32_t width,
                    uint32_t height);

private:
    int AddView(const void* data, size_t bytes, int target);

    tinygltf::Model& m_model;
};

// Encodes `width` x `height` pixels (rows from the top, each red << 24 |
// green << 16 | blue << 8 | alpha) as PNG; without an alpha channel when
// `opaque`. Empty when encoding fails.
std::vector<uint8_t> EncodePng(const std::vector<uint32_t>& pixels, uint32_t width, uint32_t height,
                               bool opaque);

// True for a path ending in ".glb" or ".gltf" (any case); `binary` says which.
bool GltfOutputKind(const std::string& path, bool& binary);

// The name of the buffer file written beside a .gltf: its stem + ".bin".
std::string GltfBinaryName(const std::string& gltfPath);

// Writes the model to `path`: a .glb holds the buffer in its binary chunk; a
// .gltf refers to the buffer as the file GltfBinaryName(path) beside it.
// Every file is written whole under a temporary name and renamed when
// complete. False with the problem (naming the file) in `error`.
bool SaveGltf(const tinygltf::Model& model, const std::string& path, std::string& error);

// A readable summary of what the model holds: nodes, meshes with their
// primitives, skins, animations, images and the buffer's size.
std::string SummariseGltf(const tinygltf::Model& model);
