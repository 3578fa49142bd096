// Welding of mesh vertices by key: the key of a vertex is a run of 32-bit
// words (the bits of its position, skin weights and morph offsets), and
// vertices with equal runs are one. Vertices are numbered in order of first
// occurrence; the table is open addressing over those numbers, with every
// key kept once, one after another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class VertexWeld {
public:
    // The number of the vertex whose key is words[0..count). A key not seen
    // before gets the next number (Count() before the call) and sets `added`.
    uint32_t FindOrAdd(const uint32_t* words, size_t count, bool& added);
    size_t Count() const { return starts.size() - 1; }

private:
    void Grow();
    bool Equal(uint32_t vertex, const uint32_t* words, size_t count) const;
    std::vector<uint32_t> keys;     // the keys of all vertices, in vertex order
    std::vector<size_t> starts{0};  // where each vertex's key starts; one more than vertices
    std::vector<uint64_t> hashes;   // the hash of each vertex's key
    std::vector<uint32_t> slots;    // vertex number + 1, 0 for an empty slot
};
