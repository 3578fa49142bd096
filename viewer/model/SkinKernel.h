// The inner loop of skinning: many vertices that follow the same bone
// matrix, transformed as TransformVertex does.
#pragma once

#include <cstddef>

#include "D3DTypes.h"

// Transforms `count` vertices from `source` into `skinned` with `m` as
// TransformVertex would; texture coordinates are copied from the source.
// For a matrix without projective part (the bones of a biped) positions are
// computed exactly so, and normals are brought to unit length with a
// relative error below two millionths instead of a division by the length.
// Stops at the first vertex whose transform fails and returns its position;
// returns `count` when every vertex was transformed.
size_t SkinVertices(const D3DMATRIX& m, const ModelVertex* source, ModelVertex* skinned,
                    size_t count);
