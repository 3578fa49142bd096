#include "viewer/model/VertexMath.h"

#include <cmath>

namespace {
// Shared body of point and normal transforms; normals skip the translation row.
template <bool kTranslate>
inline HRESULT Transform3(float dst[3], const float src[3], const D3DMATRIX& m) {
    const float x = src[0], y = src[1], z = src[2];
    const float w = x * m[3] + y * m[7] + z * m[11] + m[15];
    if (std::fabs(w) < kMinimumW) return E_INVALIDARG;
    float rx = x * m[0] + y * m[4] + z * m[8];
    float ry = x * m[1] + y * m[5] + z * m[9];
    float rz = x * m[2] + y * m[6] + z * m[10];
    if (kTranslate) {
        rx += m[12];
        ry += m[13];
        rz += m[14];
    }
    rx /= w;
    ry /= w;
    rz /= w;
    dst[0] = rx;
    dst[1] = ry;
    dst[2] = rz;
    return S_OK;
}
}  // namespace

HRESULT TransformPoint(float dst[3], const float src[3], const D3DMATRIX& m) {
    return Transform3<true>(dst, src, m);
}

HRESULT TransformNormal(float dst[3], const float src[3], const D3DMATRIX& m) {
    return Transform3<false>(dst, src, m);
}

HRESULT TransformVertex(ModelVertex& dst, const ModelVertex& src, const D3DMATRIX& m) {
    // Read the source normal before the position write: dst may be src.
    const float normal[3] = {src.nx, src.ny, src.nz};
    const float position[3] = {src.x, src.y, src.z};
    float out[3];
    HRESULT hr = TransformPoint(out, position, m);
    if (FAILED(hr)) return hr;
    dst.x = out[0];
    dst.y = out[1];
    dst.z = out[2];

    float n[3] = {dst.nx, dst.ny, dst.nz};
    hr = TransformNormal(n, normal, m);
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length > 0.0f && std::isfinite(length)) {
        dst.nx = n[0] / length;
        dst.ny = n[1] / length;
        dst.nz = n[2] / length;
    } else {
        // Bone meshes carry zero normals; keep them zero rather than NaN so
        // lighting falls back to the ambient term.
        dst.nx = dst.ny = dst.nz = 0.0f;
    }
    return hr;
}

void MultiplyMatrix(D3DMATRIX& dst, const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX q;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            long double sum = 0.0L;
            for (int k = 0; k < 4; ++k) {
                sum +=
                    static_cast<long double>(a[4 * i + k]) * static_cast<long double>(b[4 * k + j]);
            }
            q[4 * i + j] = static_cast<float>(sum);
        }
    }
    dst = q;
}
