#include "exporter/writer/VertexSplit.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

namespace {
uint64_t Mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

size_t Hash(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint64_t lo = (static_cast<uint64_t>(a) << 32) | b;
    const uint64_t hi = (static_cast<uint64_t>(c) << 32) | d;
    return static_cast<size_t>(Mix(lo ^ Mix(hi + 0x9e3779b97f4a7c15ull)));
}

size_t PowerOfTwoAtLeast(size_t n) {
    size_t p = 16;
    while (p < n) p <<= 1;
    return p;
}
}  // namespace

bool FloatKey(float f, uint32_t& key) {
    if (std::isnan(f)) return false;
    if (f == 0.0f) {
        key = 0;
        return true;
    }
    std::memcpy(&key, &f, sizeof key);
    return true;
}

KeyIndex::KeyIndex(size_t expected) {
    entries.assign(PowerOfTwoAtLeast(expected * 2), Entry{{0, 0, 0, 0}, -1});
}

void KeyIndex::Grow() {
    std::vector<Entry> old;
    old.swap(entries);
    entries.assign(old.size() * 2, Entry{{0, 0, 0, 0}, -1});
    const size_t mask = entries.size() - 1;
    for (const Entry& e : old) {
        if (e.number < 0) continue;
        size_t i = Hash(e.key[0], e.key[1], e.key[2], e.key[3]) & mask;
        while (entries[i].number >= 0) i = (i + 1) & mask;
        entries[i] = e;
    }
}

int32_t KeyIndex::FindOrAdd(uint32_t a, uint32_t b, uint32_t c, uint32_t d, int32_t number) {
    if ((used + 1) * 2 > entries.size()) Grow();
    const size_t mask = entries.size() - 1;
    size_t i = Hash(a, b, c, d) & mask;
    for (;;) {
        Entry& e = entries[i];
        if (e.number < 0) {
            e = Entry{{a, b, c, d}, number};
            ++used;
            return number;
        }
        if (e.key[0] == a && e.key[1] == b && e.key[2] == c && e.key[3] == d) return e.number;
        i = (i + 1) & mask;
    }
}

namespace {
// Position key of a point; false when a coordinate is NaN.
bool PositionKey(const Point3& p, uint32_t& x, uint32_t& y, uint32_t& z) {
    return FloatKey(p.x, x) && FloatKey(p.y, y) && FloatKey(p.z, z);
}
}  // namespace

int32_t PositionClasses(const Point3* positions, size_t count, std::vector<int32_t>& classes) {
    classes.assign(count, -1);
    KeyIndex index(count);
    int32_t next = 0;
    for (size_t i = 0; i < count; ++i) {
        uint32_t x, y, z;
        if (!PositionKey(positions[i], x, y, z)) continue;
        classes[i] = index.FindOrAdd(x, y, z, 0, next);
        if (classes[i] == next) ++next;
    }
    return next;
}

int32_t RefineClasses(const Point3* positions, size_t count, std::vector<int32_t>& classes) {
    KeyIndex index(count);
    int32_t next = 0;
    for (size_t i = 0; i < count && i < classes.size(); ++i) {
        if (classes[i] < 0) continue;
        uint32_t x, y, z;
        if (!PositionKey(positions[i], x, y, z)) {
            classes[i] = -1;
            continue;
        }
        classes[i] = index.FindOrAdd(x, y, z, static_cast<uint32_t>(classes[i]), next);
        if (classes[i] == next) ++next;
    }
    return next;
}

namespace {
// Output vertices of a class are kept in a list (newest first) and compared
// by texture pair; a class with more output vertices than this is looked up
// in a hash table instead, so that a position shared by many texture pairs
// (the tip of a fan) keeps the split linear.
constexpr int32_t kListedPerClass = 8;

int32_t FindOrAddPair(KeyIndex& index, int32_t cls, const TexturePair& t, int32_t number) {
    uint32_t u = 0, v = 0;
    FloatKey(t.u, u);
    FloatKey(t.v, v);
    return index.FindOrAdd(static_cast<uint32_t>(cls), u, v, 0, number);
}
}  // namespace

void SplitVertices(const int32_t* cornerVertex, const int32_t* cornerTexture, size_t corners,
                   const std::vector<int32_t>& classes, const std::vector<TexturePair>& table,
                   SplitLayout& layout) {
    layout.positionIndex.clear();
    layout.texture.clear();
    layout.cornerIndex.resize(corners);
    // Most meshes make about as many output vertices as they have positions.
    layout.positionIndex.reserve(classes.size());
    layout.texture.reserve(classes.size());
    // Per class: its newest output vertex and how many it has; per output
    // vertex: the one made before it in the same class (-1: none).
    std::vector<int32_t> newest(classes.size(), -1), listed(classes.size(), 0);
    std::vector<int32_t> older;
    older.reserve(classes.size());
    KeyIndex crowded;  // (class, u, v) of the classes past the list length
    for (size_t k = 0; k < corners; ++k) {
        const int32_t p = cornerVertex[k];
        assert(p >= 0 && static_cast<size_t>(p) < classes.size());
        assert(cornerTexture[k] >= 0 && static_cast<size_t>(cornerTexture[k]) < table.size());
        const TexturePair& tex = table[static_cast<size_t>(cornerTexture[k])];
        const int32_t cls = classes[static_cast<size_t>(p)];
        const int32_t m = static_cast<int32_t>(layout.positionIndex.size());
        int32_t j = m;
        // A corner whose position or texture pair equals nothing always makes
        // an output vertex of its own (NaN compares unequal to everything).
        const bool joins = cls >= 0 && tex.u == tex.u && tex.v == tex.v;
        const size_t c = static_cast<size_t>(cls);
        if (joins) {
            if (listed[c] <= kListedPerClass) {
                for (int32_t q = newest[c]; q >= 0; q = older[static_cast<size_t>(q)]) {
                    const TexturePair& o = layout.texture[static_cast<size_t>(q)];
                    if (o.u == tex.u && o.v == tex.v) {  // 0.0 equals -0.0
                        j = q;
                        break;
                    }
                }
            } else {
                j = FindOrAddPair(crowded, cls, tex, m);
            }
        }
        if (j == m) {
            layout.positionIndex.push_back(p);
            layout.texture.push_back(tex);
            older.push_back(-1);
            if (joins && listed[c] <= kListedPerClass) {
                older.back() = newest[c];
                newest[c] = m;
                if (++listed[c] > kListedPerClass) {
                    // The class goes over to the hash table with all its vertices.
                    for (int32_t q = m; q >= 0; q = older[static_cast<size_t>(q)])
                        FindOrAddPair(crowded, cls, layout.texture[static_cast<size_t>(q)], q);
                }
            }
        }
        layout.cornerIndex[k] = j;
    }
}
