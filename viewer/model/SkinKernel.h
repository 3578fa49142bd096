// The inner loop of skinning: many vertices that follow the same bone
// matrix, transformed as TransformVertex does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "viewer/platform/D3DTypes.h"

// The fields of a vertex array, one array per field, made once when a part
// is loaded: the skinning loop reads eight vertices' x (and y, z, ...) with
// one load instead of regrouping the 32-byte records. Each array has
// kPadding zeros after the last vertex, so a group of eight may start at any
// vertex.
struct SkinFields {
    static constexpr size_t kPadding = 8;
    std::vector<float> x, y, z, nx, ny, nz, tu, tv;
    // offUnitBefore[j]: how many of vertices 0 .. j - 1 have a normal whose
    // length is not 1 within the kernel's tolerance (n + 1 entries).
    std::vector<uint32_t> offUnitBefore;

    void Assign(const std::vector<ModelVertex>& vertices);
    size_t Size() const { return count; }
    // Whether every normal of vertices first .. end - 1 has unit length.
    bool UnitNormals(size_t first, size_t end) const {
        return offUnitBefore[end] == offUnitBefore[first];
    }

private:
    size_t count = 0;
};

// Transforms vertices first .. first + count - 1 of `source` (whose fields
// `fields` holds) into the same places of `skinned` with `m` as
// TransformVertex would; texture coordinates are copied from the source.
// For a matrix without projective part (the bones of a biped) positions
// are computed exactly so, and normals are brought to unit length with a
// relative error below two millionths instead of a division by the length.
// Stops at the first vertex whose transform fails and returns how many
// were done before it; returns `count` when every vertex was transformed.
size_t SkinVertices(const D3DMATRIX& m, const SkinFields& fields, const ModelVertex* source,
                    ModelVertex* skinned, size_t first, size_t count);

// The loops SkinVertices can run: eight vertices at a time with AVX2 where
// the processor has it (chosen at start), else four at a time (SSE2), else
// one at a time. All give the same positions; normals agree within the
// tolerance above.
enum class SkinPath { Single, Four, Eight };
SkinPath ActiveSkinPath();
// Makes SkinVertices use `path` if this processor and build can run it;
// returns whether it could.
bool UseSkinPath(SkinPath path);
