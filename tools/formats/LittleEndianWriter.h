// Builds the bytes of the viewer's little-endian files (biped, part, Tessel,
// TGA, BMP) field by field: for the tools that write them and for the tests
// and fuzz targets that make files of their own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

class ByteWriter {
public:
    ByteWriter& Int32(int32_t v) { return Uint32(static_cast<uint32_t>(v)); }
    ByteWriter& Uint32(uint32_t u) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
        return *this;
    }
    ByteWriter& Int16(int16_t v) { return Uint16(static_cast<uint16_t>(v)); }
    ByteWriter& Uint16(uint16_t u) {
        bytes.push_back(static_cast<uint8_t>(u));
        bytes.push_back(static_cast<uint8_t>(u >> 8));
        return *this;
    }
    ByteWriter& Uint8(uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    ByteWriter& Float(float f) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        return Uint32(u);
    }
    ByteWriter& Floats(std::initializer_list<float> fs) {
        for (float f : fs) Float(f);
        return *this;
    }
    ByteWriter& Text(const std::string& s) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    // A name as the model files store it: its length, then its bytes.
    ByteWriter& Name(const std::string& s) { return Int32(static_cast<int32_t>(s.size())).Text(s); }
    // Writes the bytes to `path` without reporting failure (test files);
    // returns the path.
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
