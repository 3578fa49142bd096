#include "exporter/host/VertexWeld.h"

#include <algorithm>

namespace {
uint64_t Mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

uint64_t HashWords(const uint32_t* words, size_t count) {
    uint64_t h = 0x9e3779b97f4a7c15ull ^ count;
    size_t i = 0;
    for (; i + 1 < count; i += 2)
        h = Mix(h ^ ((static_cast<uint64_t>(words[i]) << 32) | words[i + 1]));
    if (i < count) h = Mix(h ^ words[i]);
    return h;
}
}  // namespace

bool VertexWeld::Equal(uint32_t vertex, const uint32_t* words, size_t count) const {
    const size_t begin = starts[vertex], end = starts[vertex + 1];
    return end - begin == count && std::equal(words, words + count, keys.begin() + begin);
}

void VertexWeld::Grow() {
    slots.assign(slots.empty() ? 1024 : slots.size() * 2, 0);
    const size_t mask = slots.size() - 1;
    for (uint32_t v = 0; v < Count(); ++v) {
        size_t i = hashes[v] & mask;
        while (slots[i] != 0) i = (i + 1) & mask;
        slots[i] = v + 1;
    }
}

uint32_t VertexWeld::FindOrAdd(const uint32_t* words, size_t count, bool& added) {
    if ((Count() + 1) * 2 > slots.size()) Grow();
    const uint64_t h = HashWords(words, count);
    const size_t mask = slots.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
        const uint32_t slot = slots[i];
        if (slot == 0) {
            const auto number = static_cast<uint32_t>(Count());
            slots[i] = number + 1;
            hashes.push_back(h);
            keys.insert(keys.end(), words, words + count);
            starts.push_back(keys.size());
            added = true;
            return number;
        }
        if (hashes[slot - 1] == h && Equal(slot - 1, words, count)) {
            added = false;
            return slot - 1;
        }
    }
}
