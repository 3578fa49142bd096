#include "ByteReader.h"

#include <cerrno>
#include <cstring>

bool ByteReader::ReadBytes(void* out, size_t size) {
    const uint8_t* p = Take(size);
    if (p == nullptr) return false;
    if (size > 0) std::memcpy(out, p, size);
    return true;
}

const uint8_t* ByteReader::Take(size_t size) {
    if (size > Remaining()) return nullptr;
    const uint8_t* p = m_data + m_offset;
    m_offset += size;
    return p;
}

bool ByteReader::ReadInt32(int32_t& value) {
    const uint8_t* p = Take(4);
    if (p == nullptr) return false;
    const uint32_t u = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                       (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    value = static_cast<int32_t>(u);
    return true;
}

bool ByteReader::ReadInt16(int16_t& value) {
    const uint8_t* p = Take(2);
    if (p == nullptr) return false;
    const uint16_t u = static_cast<uint16_t>(p[0] | (p[1] << 8));
    value = static_cast<int16_t>(u);
    return true;
}

bool ByteReader::ReadFloat(float& value) {
    int32_t bits;
    if (!ReadInt32(bits)) return false;
    std::memcpy(&value, &bits, sizeof value);
    return true;
}

bool ReadStream(std::FILE* file, std::vector<uint8_t>& bytes, std::string& error) {
    bytes.clear();
    if (file == nullptr) {
        error = "the file is not open";
        return false;
    }
    // Size the buffer once when the stream can tell its length.
    long start = std::ftell(file);
    if (start >= 0 && std::fseek(file, 0, SEEK_END) == 0) {
        long end = std::ftell(file);
        std::fseek(file, start, SEEK_SET);
        if (end > start) bytes.reserve(static_cast<size_t>(end - start));
    }
    uint8_t chunk[65536];
    for (;;) {
        size_t got = std::fread(chunk, 1, sizeof chunk, file);
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof chunk) break;
    }
    if (std::ferror(file)) {
        error = std::string("read error: ") + std::strerror(errno);
        return false;
    }
    return true;
}

std::string FileNameOnly(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
