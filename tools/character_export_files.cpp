#include "tools/character_export_files.h"

#include <cstring>

namespace {

class LittleEndian {
public:
    explicit LittleEndian(std::vector<uint8_t>& out) : out(out) {}
    void I32(int32_t v) {
        const uint32_t u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(u >> (8 * i)));
    }
    void I16(int16_t v) {
        const uint16_t u = static_cast<uint16_t>(v);
        out.push_back(static_cast<uint8_t>(u));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
    void F32(float f) {
        uint32_t u;
        std::memcpy(&u, &f, sizeof u);
        I32(static_cast<int32_t>(u));
    }
    void Bytes(const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

private:
    std::vector<uint8_t>& out;
};

}  // namespace

std::vector<uint8_t> EncodeBipedFile(int32_t frameCount, const std::vector<BipedFileBone>& bones) {
    std::vector<uint8_t> bytes;
    LittleEndian w(bytes);
    w.I32(static_cast<int32_t>(bones.size()));
    w.I32(frameCount);
    for (const BipedFileBone& bone : bones) {
        w.I32(static_cast<int32_t>(bone.positions.size()));
        for (const auto& p : bone.positions)
            for (float f : p) w.F32(f);
        w.I32(static_cast<int32_t>(bone.corners.size() / 3));
        for (int32_t c : bone.corners) w.I32(c);
        for (const auto& m : bone.frames)
            for (float f : m) w.F32(f);
    }
    return bytes;
}

std::vector<uint8_t> EncodePartFile(const std::vector<PartFileObject>& objects) {
    std::vector<uint8_t> bytes;
    LittleEndian w(bytes);
    w.I32(static_cast<int32_t>(objects.size()));
    for (const PartFileObject& o : objects) {
        w.I32(static_cast<int32_t>(o.textureName.size()));
        w.Bytes(o.textureName);
        w.I32(static_cast<int32_t>(o.vertices.size()));
        for (const PartFileVertex& v : o.vertices) {
            for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz, v.tu, v.tv}) w.F32(f);
            w.I16(v.bone);
        }
        w.I32(static_cast<int32_t>(o.indices.size() / 3));
        for (uint32_t i : o.indices) w.I32(static_cast<int32_t>(i));
    }
    return bytes;
}
