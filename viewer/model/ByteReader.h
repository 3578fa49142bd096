// Bounds-checked little-endian reading of a model file held in memory. Every
// read reports whether the bytes were there, so readers can check each count
// against what is left before they allocate for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    size_t Offset() const { return m_offset; }
    size_t Remaining() const { return m_size - m_offset; }
    bool AtEnd() const { return m_offset == m_size; }

    bool ReadInt32(int32_t& value);
    bool ReadInt16(int16_t& value);
    bool ReadFloat(float& value);
    bool ReadBytes(void* out, size_t size);
    // Pointer to the next `size` bytes, advancing past them; null when short.
    const uint8_t* Take(size_t size);

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_offset = 0;
};

// Reads the rest of an open stream into `bytes`. False (with `error`) on a read error.
bool ReadStream(std::FILE* file, std::vector<uint8_t>& bytes, std::string& error);

// The file name without its directory (either kind of slash).
std::string FileNameOnly(const std::string& path);
