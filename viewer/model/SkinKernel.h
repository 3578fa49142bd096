// The inner loop of skinning: many vertices that follow the same bone
// matrix, transformed as TransformVertex does.
#pragma once

#include <cstddef>
#include <vector>

#include "D3DTypes.h"

// The positions and normals of a vertex array, one array per field, made
// once when a part is loaded: the skinning loop reads four vertices' x (and
// y, z, ...) with one load instead of regrouping the 32-byte records.
struct SkinFields {
    std::vector<float> x, y, z, nx, ny, nz;

    void Assign(const std::vector<ModelVertex>& vertices);
    size_t Size() const { return x.size(); }
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
