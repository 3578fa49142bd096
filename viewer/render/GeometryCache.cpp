#include "viewer/render/GeometryCache.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;

inline uint64_t Rotl(uint64_t v, int r) {
    return (v << r) | (v >> (64 - r));
}
inline uint64_t Round(uint64_t acc, uint64_t word) {
    acc += word * kPrime2;
    return Rotl(acc, 31) * kPrime1;
}
inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
}  // namespace

uint64_t HashBytes(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint64_t a = kPrime1 + kPrime2, b = kPrime2, c = 0, d = 0 - kPrime1;
    size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        a = Round(a, Load64(p + i));
        b = Round(b, Load64(p + i + 8));
        c = Round(c, Load64(p + i + 16));
        d = Round(d, Load64(p + i + 24));
    }
    uint64_t h = Rotl(a, 1) + Rotl(b, 7) + Rotl(c, 12) + Rotl(d, 18) + size;
    for (; i + 8 <= size; i += 8) h = Rotl(h ^ Round(0, Load64(p + i)), 27) * kPrime1 + kPrime2;
    for (; i < size; ++i) h = Rotl(h ^ (p[i] * kPrime1), 11) * kPrime2;
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    return h;
}

size_t GeometryCache::KeyHash::operator()(const Key& k) const {
    uint64_t h = reinterpret_cast<uintptr_t>(k.vertices) * kPrime1;
    h ^= Rotl(reinterpret_cast<uintptr_t>(k.indices) * kPrime2, 17);
    h ^= (static_cast<uint64_t>(k.vertexCount) << 32 | k.indexCount) * kPrime1;
    return static_cast<size_t>(h ^ (h >> 31));
}

GeometryCache::GeometryCache(size_t budgetBytes, uint32_t staticUsage)
    : m_budgetBytes(budgetBytes), m_staticUsage(staticUsage) {}

GeometryCache::~GeometryCache() {
    for (auto& item : m_entries) Release(item.second);
}

void GeometryCache::Release(Entry& entry) {
    if (entry.vao) glDeleteVertexArrays(1, &entry.vao);
    if (entry.vertexBuffer) glDeleteBuffers(1, &entry.vertexBuffer);
    if (entry.indexBuffer) glDeleteBuffers(1, &entry.indexBuffer);
    entry = Entry{};
}

void GeometryCache::Evict(uint64_t use) {
    if (m_cachedBytes <= m_budgetBytes) return;
    std::vector<std::pair<uint64_t, Key>> old;
    for (const auto& item : m_entries)
        if (item.second.lastUse < use) old.emplace_back(item.second.lastUse, item.first);
    std::sort(old.begin(), old.end(),
              [](const auto& x, const auto& y) { return x.first < y.first; });
    for (const auto& item : old) {
        if (m_cachedBytes <= m_budgetBytes) break;
        auto it = m_entries.find(item.second);
        m_cachedBytes -= it->second.bytes;
        Release(it->second);
        m_entries.erase(it);
    }
}

void GeometryCache::DropUnused(uint64_t use) {
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->second.lastUse >= use) {
            ++it;
            continue;
        }
        m_cachedBytes -= it->second.bytes;
        Release(it->second);
        it = m_entries.erase(it);
    }
}

const GeometryCache::Entry* GeometryCache::Prepare(const ModelVertex* vertices,
                                                   uint32_t vertexCount, const uint16_t* indices,
                                                   uint32_t indexCount, uint64_t use) {
    const size_t vertexBytes = static_cast<size_t>(vertexCount) * sizeof(ModelVertex);
    const size_t indexBytes = static_cast<size_t>(indexCount) * sizeof(uint16_t);
    const uint64_t vertexHash = HashBytes(vertices, vertexBytes);
    const uint64_t indexHash = indexCount ? HashBytes(indices, indexBytes) : 0;

    const Key key{vertices, vertexCount, indexCount ? indices : nullptr, indexCount};
    auto found = m_entries.find(key);
    const bool fresh = found == m_entries.end();
    Entry& entry = fresh ? m_entries[key] : found->second;

    if (fresh) {
        glGenVertexArrays(1, &entry.vao);
        glGenBuffers(1, &entry.vertexBuffer);
        if (indexCount) glGenBuffers(1, &entry.indexBuffer);
        if (!entry.vao || !entry.vertexBuffer || (indexCount && !entry.indexBuffer)) {
            Release(entry);
            m_entries.erase(key);
            return nullptr;
        }
        glBindVertexArray(entry.vao);
        glBindBuffer(GL_ARRAY_BUFFER, entry.vertexBuffer);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexBytes), vertices,
                     m_staticUsage);
        const GLsizei stride = sizeof(ModelVertex);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride,
                              reinterpret_cast<const void*>(offsetof(ModelVertex, x)));
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride,
                              reinterpret_cast<const void*>(offsetof(ModelVertex, nx)));
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride,
                              reinterpret_cast<const void*>(offsetof(ModelVertex, tu)));
        if (indexCount) {
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, entry.indexBuffer);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexBytes), indices,
                         m_staticUsage);
        }
        glBindVertexArray(0);
        entry.bytes = vertexBytes + indexBytes;
        m_cachedBytes += entry.bytes;
        m_uploadedBytes += entry.bytes;
    } else {
        if (entry.vertexHash != vertexHash) {
            // Contents that change keep changing (skinning): re-specify the store
            // so the driver need not wait for draws still reading the old one.
            glBindBuffer(GL_ARRAY_BUFFER, entry.vertexBuffer);
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexBytes), vertices,
                         GL_DYNAMIC_DRAW);
            m_uploadedBytes += vertexBytes;
        }
        if (indexCount && entry.indexHash != indexHash) {
            glBindVertexArray(entry.vao);
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, entry.indexBuffer);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexBytes), indices,
                         GL_DYNAMIC_DRAW);
            glBindVertexArray(0);
            m_uploadedBytes += indexBytes;
        }
    }
    if (fresh || entry.indexHash != indexHash) {
        uint32_t maxIndex = 0;
        for (uint32_t i = 0; i < indexCount; ++i)
            maxIndex = std::max<uint32_t>(maxIndex, indices[i]);
        entry.maxIndex = maxIndex;
    }
    entry.vertexHash = vertexHash;
    entry.indexHash = indexHash;
    entry.lastUse = use;

    const Entry* result = &entry;
    if (m_cachedBytes > m_budgetBytes) {
        Evict(use);  // never drops `entry`: it is in use now
        result = &m_entries.find(key)->second;
    }
    return result;
}
