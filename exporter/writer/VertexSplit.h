// Vertex splitting of the mesh writers: every face corner gets an output
// vertex, and corners whose position and texture pair are equal share one.
// Output vertices are numbered in order of first occurrence, corner by
// corner, exactly as a scan through the output vertices made so far would
// number them; equality is exact float equality (0.0 equals -0.0, NaN equals
// nothing). Positions are numbered into classes through a hash on the exact
// values; corners then look for their texture pair among the few output
// vertices of their class (a hash again for classes with many), which keeps
// it linear in the corner count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "exporter/host/MaxTypes.h"

// One texture pair of the file: (u, 1 - v) of the host.
struct TexturePair {
    float u = 0.0f, v = 0.0f;
};

// A hash table from keys of four 32-bit words to numbers (open addressing,
// linear probing).
class KeyIndex {
public:
    explicit KeyIndex(size_t expected = 16);
    // The number stored for the key; when the key is new, `number` is stored
    // and returned.
    int32_t FindOrAdd(uint32_t a, uint32_t b, uint32_t c, uint32_t d, int32_t number);
    size_t Size() const { return used; }

private:
    void Grow();
    struct Entry {
        uint32_t key[4];
        int32_t number;  // -1: empty slot
    };
    std::vector<Entry> entries;
    size_t used = 0;
};

// The bits of a float as a hash key under exact equality: -0.0 and 0.0 give
// the same key. False for NaN, which equals nothing.
bool FloatKey(float f, uint32_t& key);

// Numbers mesh vertices by position: vertices with equal positions (x, y and
// z exactly equal) get the same class number; a position with a NaN
// coordinate equals nothing and gets class -1. Returns the number of classes.
int32_t PositionClasses(const Point3* positions, size_t count, std::vector<int32_t>& classes);
// Refines classes by a further set of positions: two vertices stay in one
// class only if they were in one class and these positions are equal too
// (class -1 stays -1). Returns the number of classes.
int32_t RefineClasses(const Point3* positions, size_t count, std::vector<int32_t>& classes);

// The split layout of one mesh.
struct SplitLayout {
    std::vector<int32_t> positionIndex;  // mesh vertex behind each output vertex
    std::vector<TexturePair> texture;    // texture pair of each output vertex
    std::vector<int32_t> cornerIndex;    // output vertex of each corner
    size_t Count() const { return positionIndex.size(); }
};

// Splits corners into output vertices. Corner k uses mesh vertex
// cornerVertex[k] and texture entry table[cornerTexture[k]]; two corners
// share an output vertex when their vertices have the same class (not -1)
// and their texture pairs are equal (no NaN). Every index must be in range.
void SplitVertices(const int32_t* cornerVertex, const int32_t* cornerTexture, size_t corners,
                   const std::vector<int32_t>& classes, const std::vector<TexturePair>& table,
                   SplitLayout& layout);
