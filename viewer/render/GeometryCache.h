// Vertex and index buffers of the arrays the scene draws, kept on the GL side
// between frames. An entry is found by the arrays' addresses and sizes and is
// re-uploaded only when a hash of their contents changed: static objects and
// the precomputed frames of animated objects are uploaded once, skinned parts
// whenever a tick has moved them, and an array that a new model happens to
// reuse at the same address is never drawn with stale contents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

#include "viewer/platform/D3DTypes.h"

// 64-bit hash of a byte range (four independent lanes, so it runs near memory speed).
uint64_t HashBytes(const void* data, size_t size);

class GeometryCache {
public:
    struct Entry {
        uint32_t vao = 0;
        uint32_t vertexBuffer = 0;
        uint32_t indexBuffer = 0;
        uint64_t vertexHash = 0;
        uint64_t indexHash = 0;
        uint32_t maxIndex = 0;  // largest index in the index array
        size_t bytes = 0;
        uint64_t lastUse = 0;
    };

    // `staticUsage` is the GL usage hint of arrays seen for the first time:
    // GL_STATIC_DRAW suits hardware that keeps them in its own memory; Mesa's
    // software rasteriser draws from GL_DYNAMIC_DRAW buffers faster.
    GeometryCache(size_t budgetBytes, uint32_t staticUsage);
    ~GeometryCache();  // deletes the GL objects: the context must be current
    GeometryCache(const GeometryCache&) = delete;
    GeometryCache& operator=(const GeometryCache&) = delete;

    // The entry holding the current contents of these arrays (indices may be
    // null with indexCount 0), uploading whatever changed. `use` is a counter
    // that grows with every scene; entries not used in the current scene are
    // dropped, least recently used first, when the cache grows past its budget.
    // Null when the GL buffers could not be made.
    const Entry* Prepare(const ModelVertex* vertices, uint32_t vertexCount, const uint16_t* indices,
                         uint32_t indexCount, uint64_t use);

    // Deletes the entries not used since the scene counted `use`.
    void DropUnused(uint64_t use);

    // Forgets every entry without touching GL (its context is gone).
    void Abandon() {
        m_entries.clear();
        m_cachedBytes = 0;
    }

    uint64_t UploadedBytes() const { return m_uploadedBytes; }
    size_t EntryCount() const { return m_entries.size(); }

private:
    struct Key {
        const void* vertices;
        uint32_t vertexCount;
        const void* indices;
        uint32_t indexCount;
        bool operator==(const Key& o) const {
            return vertices == o.vertices && vertexCount == o.vertexCount && indices == o.indices &&
                   indexCount == o.indexCount;
        }
    };
    struct KeyHash {
        size_t operator()(const Key& k) const;
    };

    void Release(Entry& entry);
    void Evict(uint64_t use);

    std::unordered_map<Key, Entry, KeyHash> m_entries;
    size_t m_budgetBytes;
    uint32_t m_staticUsage;
    size_t m_cachedBytes = 0;
    uint64_t m_uploadedBytes = 0;
};
