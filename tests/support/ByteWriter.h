// Builds model files byte by byte in tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

class ByteWriter {
public:
    ByteWriter& Int32(int32_t v) {
        uint32_t u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
        return *this;
    }
    ByteWriter& Int16(int16_t v) {
        uint16_t u = static_cast<uint16_t>(v);
        bytes.push_back(static_cast<uint8_t>(u));
        bytes.push_back(static_cast<uint8_t>(u >> 8));
        return *this;
    }
    ByteWriter& Uint8(uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    ByteWriter& Float(float f) {
        int32_t v;
        std::memcpy(&v, &f, 4);
        return Int32(v);
    }
    ByteWriter& Floats(std::initializer_list<float> fs) {
        for (float f : fs) Float(f);
        return *this;
    }
    ByteWriter& Text(const std::string& s) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    // Writes the bytes to `path`; returns the path.
    std::string SaveAs(const std::string& path) const {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return path;
    }

    std::vector<uint8_t> bytes;
};
