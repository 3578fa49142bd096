// A scene read by the importer, as a flat run of bytes and back: how the
// importing child process hands its scene to the host (SceneImport.h).
// Everything the host reads of a scene crosses: the node tree with its
// metadata, meshes with every vertex channel, faces, bones and morph
// targets, materials with every property, animations with node, mesh and
// morph channels, embedded textures, lights, cameras and the scene's own
// metadata (source format, frame rate, up axis).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct aiScene;

// Appends `scene` to `out`.
void WriteSceneBytes(const aiScene& scene, std::vector<uint8_t>& out);

// Rebuilds a scene written by WriteSceneBytes. Every count is checked against
// the bytes left before anything is allocated for it, and the rebuilt scene
// may take at most `memoryLimit` bytes of memory (records in memory can be
// up to ~175 times their bytes: every name is a fixed 1 KiB string); bytes
// cut short, inconsistent or needing more memory give null and the problem in `error`.
std::unique_ptr<aiScene> ReadSceneBytes(const uint8_t* data, size_t size, std::string& error,
                                        uint64_t memoryLimit = UINT64_MAX);
