// Bounds-checked little-endian reading of a model file held in memory. Every
// read reports whether the bytes were there, so readers can check each count
// against what is left before they allocate for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "viewer/platform/CheckedSize.h"

// What a reader may hold in memory for a file of `fileBytes` bytes, on top of
// the file itself: counts are checked against it before anything is
// allocated for them, so that a file made of many tiny records cannot make a
// reader ask for far more than the file's size.
constexpr uint64_t kReaderMemoryMultiple = 16;
constexpr uint64_t kReaderMemoryAllowance = 4096;
inline uint64_t ReaderMemoryBudget(size_t fileBytes) {
    uint64_t budget = 0;
    if (!CheckedMul(fileBytes, kReaderMemoryMultiple, budget) ||
        !CheckedAdd(budget, kReaderMemoryAllowance, budget))
        return UINT64_MAX;
    return budget;
}

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    size_t Offset() const { return m_offset; }
    size_t Remaining() const { return m_size - m_offset; }
    bool AtEnd() const { return m_offset == m_size; }
    // " (at byte N)", where N is the offset: the end of a reader's messages.
    std::string AtByte() const { return " (at byte " + std::to_string(m_offset) + ")"; }
    // True when `count` records of `recordBytes` each fit in what is left.
    bool Holds(uint64_t count, uint64_t recordBytes) const {
        uint64_t total = 0;
        return CheckedMul(count, recordBytes, total) && total <= Remaining();
    }

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

// Reads the rest of an open stream into `bytes`. False (with `error`) on a
// read error or when the stream holds more than kMaxModelFileBytes.
bool ReadStream(std::FILE* file, std::vector<uint8_t>& bytes, std::string& error);

// Reads the whole model or image file at `path`. Only a regular file of at
// most kMaxModelFileBytes is read; a folder, device, FIFO or socket is
// refused before anything is read from it, so that nothing blocks or reads
// without end. False with the problem in `error` (without the path).
bool ReadRegularFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);

// The file name without its directory (either kind of slash).
std::string FileNameOnly(const std::string& path);
