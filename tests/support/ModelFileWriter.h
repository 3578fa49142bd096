// Builds Morvane (.mrv) and Tessel (.tsl) files field by field in tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/formats/LittleEndianWriter.h"
#include "viewer/platform/D3DTypes.h"

inline ModelVertex Vertex(float x, float y, float z, float nx = 0, float ny = 1, float nz = 0,
                          float tu = 0, float tv = 0) {
    return ModelVertex{x, y, z, nx, ny, nz, tu, tv};
}

inline ByteWriter& WriteVertex(ByteWriter& w, const ModelVertex& v) {
    return w.Floats({v.x, v.y, v.z, v.nx, v.ny, v.nz, v.tu, v.tv});
}

inline ByteWriter& WriteName(ByteWriter& w, const std::string& name) {
    w.Int32(static_cast<int32_t>(name.size()));
    return w.Text(name);
}

inline ByteWriter& WriteFaces(ByteWriter& w, const std::vector<int32_t>& indices) {
    w.Int32(static_cast<int32_t>(indices.size() / 3));
    for (int32_t i : indices) w.Int32(i);
    return w;
}

struct PartObjectSpec {
    std::string texture;
    std::vector<ModelVertex> vertices;
    std::vector<int16_t> bones;  // one per vertex
    std::vector<int32_t> indices;
};

inline ByteWriter& WritePartObject(ByteWriter& w, const PartObjectSpec& o) {
    WriteName(w, o.texture);
    w.Int32(static_cast<int32_t>(o.vertices.size()));
    for (size_t i = 0; i < o.vertices.size(); ++i) {
        WriteVertex(w, o.vertices[i]);
        w.Int16(i < o.bones.size() ? o.bones[i] : 0);
    }
    return WriteFaces(w, o.indices);
}

inline ByteWriter PartFile(const std::vector<PartObjectSpec>& objects) {
    ByteWriter w;
    w.Int32(static_cast<int32_t>(objects.size()));
    for (const PartObjectSpec& o : objects) WritePartObject(w, o);
    return w;
}

struct TesselObjectSpec {
    std::string texture;
    // Static objects: one vertex set; animated objects: one per frame.
    std::vector<std::vector<ModelVertex>> frames;
    std::vector<int32_t> indices;
};

inline ByteWriter& WriteTesselObject(ByteWriter& w, const TesselObjectSpec& o) {
    WriteName(w, o.texture);
    w.Int32(o.frames.empty() ? 0 : static_cast<int32_t>(o.frames[0].size()));
    for (const auto& frame : o.frames) {
        for (const ModelVertex& v : frame) WriteVertex(w, v);
    }
    return WriteFaces(w, o.indices);
}

inline ByteWriter TesselFile(int32_t frameCount, const std::vector<TesselObjectSpec>& statics,
                             const std::vector<TesselObjectSpec>& animateds) {
    ByteWriter w;
    w.Int32(frameCount)
        .Int32(static_cast<int32_t>(statics.size()))
        .Int32(static_cast<int32_t>(animateds.size()));
    for (const TesselObjectSpec& o : statics) WriteTesselObject(w, o);
    for (const TesselObjectSpec& o : animateds) WriteTesselObject(w, o);
    return w;
}

// A triangle (three vertices, x shifted by `dx`) and its index list.
inline std::vector<ModelVertex> Triangle(float dx = 0) {
    return {Vertex(dx, 0, 0), Vertex(dx + 1, 0, 0), Vertex(dx, 1, 0)};
}
