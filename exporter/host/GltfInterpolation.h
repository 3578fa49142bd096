// What a glTF file says that the importer does not pass on, read from the
// file itself: which node each animation channel and each skin joint is (the
// importer names them, and names need not be unique), and each channel's
// interpolation with its keys, including the tangents of cubic splines.
#pragma once

#include <string>
#include <vector>

struct GltfChannel {
    int node = -1;              // index in depth-first order of the scene's node tree
    std::string path;           // "translation", "rotation", "scale" or "weights"
    std::string interpolation;  // "LINEAR", "STEP" or "CUBICSPLINE"
    std::vector<float> times;   // seconds, one per key
    // Per key `components` values; cubic splines hold in-tangent, value and
    // out-tangent per key, in that order.
    std::vector<float> values;
    int components = 0;
};

struct GltfAnimation {
    std::string name;
    std::vector<GltfChannel> channels;  // only channels whose keys could be read
    bool complete = true;               // false when a channel's keys could not be read
};

struct GltfFileAnimation {
    bool read = false;  // the file's JSON could be read
    int nodeCount = 0;  // nodes in the scene's tree
    std::vector<GltfAnimation> animations;
    // Per node in depth-first order: the depth-first positions of the joints
    // of its skin (empty without one).
    std::vector<std::vector<int>> skinJoints;
};

// Reads a .gltf (JSON) or .glb (binary container) file; anything it cannot
// read leaves `read` false. Buffers come from the binary container, data URIs
// or files beside the scene.
GltfFileAnimation ReadGltfAnimation(const std::string& path);

// A URI reference with its %XX escapes decoded (glTF file references are
// URIs: "Haut%20rot.png" names the file "Haut rot.png"). Data URIs and text
// without escapes come back as they are.
std::string DecodeUri(const std::string& uri);
