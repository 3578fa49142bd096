#include "viewer/model/ModelRecords.h"

#include <limits>

#include "viewer/platform/CheckedSize.h"

bool CheckObjectCount(const ByteReader& r, int64_t count, uint64_t memory, size_t fileSize,
                      const std::string& after, std::string& error) {
    if (!r.Holds(static_cast<uint64_t>(count), kSmallestObject)) {
        error = std::to_string(count) + " objects need at least " +
                std::to_string(static_cast<uint64_t>(count) * kSmallestObject) +
                " bytes, the file has " + std::to_string(r.Remaining()) + " after " + after;
        return false;
    }
    // Objects take far more memory than their smallest records take bytes:
    // a file of many near-empty objects is refused before they are made.
    if (memory > ReaderMemoryBudget(fileSize)) {
        error = std::to_string(count) + " objects hold too little for a file of " +
                std::to_string(fileSize) + " bytes: they would take " + std::to_string(memory) +
                " bytes of memory, more than " + std::to_string(kReaderMemoryMultiple) +
                " times the file's size";
        return false;
    }
    return true;
}

void ReadVertexFields(ByteReader& r, ModelVertex& v) {
    r.ReadFloat(v.x);
    r.ReadFloat(v.y);
    r.ReadFloat(v.z);
    r.ReadFloat(v.nx);
    r.ReadFloat(v.ny);
    r.ReadFloat(v.nz);
    r.ReadFloat(v.tu);
    r.ReadFloat(v.tv);
}

bool CheckObjectsEnd(const ByteReader& r, int64_t faceTotal, std::string& error) {
    if (!r.AtEnd()) {
        error =
            std::to_string(r.Remaining()) + " unexpected bytes after the last object" + r.AtByte();
        return false;
    }
    if (faceTotal > std::numeric_limits<int32_t>::max()) {
        error = "the face total " + std::to_string(faceTotal) + " is too large";
        return false;
    }
    return true;
}

bool ReadTextureName(ByteReader& r, const std::string& where, std::string& name,
                     std::string& error) {
    int32_t nameLength = 0;
    if (!r.ReadInt32(nameLength)) {
        error = where + "file ends before its texture name length" + r.AtByte();
        return false;
    }
    if (nameLength < 0 || static_cast<size_t>(nameLength) > kMaxTextureName) {
        error = where + "texture name length " + std::to_string(nameLength) + " is outside 0.." +
                std::to_string(kMaxTextureName) + r.AtByte();
        return false;
    }
    const uint8_t* bytes = r.Take(static_cast<size_t>(nameLength));
    if (bytes == nullptr) {
        error = where + "file ends inside its texture name" + r.AtByte();
        return false;
    }
    name.assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(nameLength));
    if (name.find('\0') != std::string::npos) {
        error = where + "texture name contains a zero byte";
        return false;
    }
    return true;
}

bool ReadVertexCount(ByteReader& r, const std::string& where, uint64_t vertexBytes, int32_t frames,
                     int32_t& count, std::string& error) {
    if (!r.ReadInt32(count)) {
        error = where + "file ends before its vertex count" + r.AtByte();
        return false;
    }
    uint64_t records = 0;
    if (count < 0 ||
        !CheckedMul(static_cast<uint64_t>(count), static_cast<uint64_t>(frames), records) ||
        !r.Holds(records, vertexBytes)) {
        error = where + "vertex count " + std::to_string(count) +
                (frames > 1 ? " in " + std::to_string(frames) + " frames" : std::string()) +
                " does not fit the " + std::to_string(r.Remaining()) + " bytes left" + r.AtByte();
        return false;
    }
    if (count > kMaxVertices) {
        error = where + std::to_string(count) + " vertices, but 16-bit face indices reach only " +
                std::to_string(kMaxVertices);
        return false;
    }
    return true;
}

bool ReadFaces(ByteReader& r, const std::string& where, int32_t vertexCount, int32_t& faceCount,
               std::vector<uint16_t>& indices, std::string& error) {
    if (!r.ReadInt32(faceCount)) {
        error = where + "file ends before its face count" + r.AtByte();
        return false;
    }
    if (faceCount < 0 || !r.Holds(static_cast<uint64_t>(faceCount), kFaceBytes)) {
        error = where + "face count " + std::to_string(faceCount) + " does not fit the " +
                std::to_string(r.Remaining()) + " bytes left" + r.AtByte();
        return false;
    }
    const size_t count = static_cast<size_t>(faceCount) * 3;
    indices.resize(count);
    const uint8_t* p = r.Take(count * 4);
    const uint32_t limit = static_cast<uint32_t>(vertexCount);
    for (size_t k = 0; k < count; ++k, p += 4) {
        const uint32_t index = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                               (static_cast<uint32_t>(p[2]) << 16) |
                               (static_cast<uint32_t>(p[3]) << 24);
        // Unsigned: a negative index compares above every vertex count.
        if (index >= limit) {
            error = where + "face " + std::to_string(k / 3) + " names vertex " +
                    std::to_string(static_cast<int32_t>(index)) + " but the object has " +
                    std::to_string(vertexCount) + " vertices";
            return false;
        }
        indices[k] = static_cast<uint16_t>(index);
    }
    return true;
}
