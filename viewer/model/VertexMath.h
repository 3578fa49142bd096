// Transforming points, normals and vertices by a row-vector D3DMATRIX, and
// multiplying matrices. Destination and source may be the same object.
#pragma once

#include "viewer/platform/D3DTypes.h"
#include "viewer/platform/Result.h"

// |w| below this (single-precision 1.0e-5, bits 0x3727C5AC) fails a transform.
constexpr float kMinimumW = 1.0e-5f;

// (x, y, z, 1) x M, divided by w. E_INVALIDARG (destination untouched) when |w| < kMinimumW.
HRESULT TransformPoint(float dst[3], const float src[3], const D3DMATRIX& m);
// As TransformPoint without the translation row; w keeps M[15].
HRESULT TransformNormal(float dst[3], const float src[3], const D3DMATRIX& m);
// Position and normal of `src` into `dst`; the normal is brought back to unit
// length. Texture coordinates of `dst` are never written. A zero-length or
// non-finite normal becomes (0, 0, 0).
HRESULT TransformVertex(ModelVertex& dst, const ModelVertex& src, const D3DMATRIX& m);
// dst = a x b (transforming by dst equals transforming by a, then by b).
void MultiplyMatrix(D3DMATRIX& dst, const D3DMATRIX& a, const D3DMATRIX& b);
