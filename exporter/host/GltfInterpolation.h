// The interpolation modes of a glTF file's animation channels, which the
// importer does not pass on: channels whose sampler steps (holds each key
// until the next) instead of interpolating.
#pragma once

#include <string>
#include <vector>

struct GltfStepChannel {
    int animation;     // index in the file's animations
    int node;          // index in depth-first order of the scene's node tree
    std::string path;  // "translation", "rotation", "scale" or "weights"
};

struct GltfChannelModes {
    bool read = false;                   // the file's JSON could be read
    int nodeCount = 0;                   // nodes in the scene's tree
    std::vector<GltfStepChannel> steps;  // the stepped channels
};

// Reads a .gltf (JSON) or .glb (binary container) file; anything it cannot
// read leaves `read` false.
GltfChannelModes ReadGltfChannelModes(const std::string& path);
