#include "SkinKernel.h"

#include <cfloat>
#include <cmath>

#include "VertexMath.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

void SkinFields::Assign(const std::vector<ModelVertex>& vertices) {
    const size_t n = vertices.size();
    for (std::vector<float>* field : {&x, &y, &z, &nx, &ny, &nz}) field->resize(n);
    for (size_t j = 0; j < n; ++j) {
        const ModelVertex& v = vertices[j];
        x[j] = v.x;
        y[j] = v.y;
        z[j] = v.z;
        nx[j] = v.nx;
        ny[j] = v.ny;
        nz[j] = v.nz;
    }
}

namespace {

// How far from 1 a squared normal length may be for the normal to count as
// unit length: the normalised result would differ by at most about half of
// this, relatively (a millionth).
constexpr float kUnitTolerance = 2.0e-6f;

// A bone matrix without projective part: w is 1 for every point and normal,
// so the transform needs no division by w and cannot fail.
bool IsAffine(const D3DMATRIX& m) {
    return m[3] == 0.0f && m[7] == 0.0f && m[11] == 0.0f && m[15] == 1.0f;
}

// The 3 x 3 part of the matrix is a rotation: its rows have unit length and
// are perpendicular to each other, within kUnitTolerance / 4, so a unit
// normal stays unit length within kUnitTolerance.
bool IsRotation(const D3DMATRIX& m) {
    const float limit = kUnitTolerance / 4.0f;
    const float* r[3] = {&m.m[0], &m.m[4], &m.m[8]};
    for (int i = 0; i < 3; ++i) {
        for (int k = i; k < 3; ++k) {
            const float dot = r[i][0] * r[k][0] + r[i][1] * r[k][1] + r[i][2] * r[k][2];
            if (!(std::fabs(dot - (i == k ? 1.0f : 0.0f)) <= limit)) return false;
        }
    }
    return true;
}

// One vertex through an affine matrix, in the operation order of
// TransformVertex (the division by w = 1 changes nothing).
__attribute__((always_inline)) inline void SkinOneAffine(const D3DMATRIX& m, const ModelVertex& s,
                                                         ModelVertex& d) {
    const float x = s.x, y = s.y, z = s.z, nx = s.nx, ny = s.ny, nz = s.nz;
    d.x = x * m[0] + y * m[4] + z * m[8] + m[12];
    d.y = x * m[1] + y * m[5] + z * m[9] + m[13];
    d.z = x * m[2] + y * m[6] + z * m[10] + m[14];
    const float n0 = nx * m[0] + ny * m[4] + nz * m[8];
    const float n1 = nx * m[1] + ny * m[5] + nz * m[9];
    const float n2 = nx * m[2] + ny * m[6] + nz * m[10];
    const float length = std::sqrt(n0 * n0 + n1 * n1 + n2 * n2);
    if (length > 0.0f && std::isfinite(length)) {
        d.nx = n0 / length;
        d.ny = n1 / length;
        d.nz = n2 / length;
    } else {
        d.nx = d.ny = d.nz = 0.0f;
    }
    d.tu = s.tu;
    d.tv = s.tv;
}

#if defined(__SSE2__)
// The matrix elements the affine transform uses, each in all four lanes,
// loaded once per run of vertices.
struct Broadcast {
    explicit Broadcast(const D3DMATRIX& m)
        : m0(_mm_set1_ps(m[0])), m1(_mm_set1_ps(m[1])), m2(_mm_set1_ps(m[2])),
          m4(_mm_set1_ps(m[4])), m5(_mm_set1_ps(m[5])), m6(_mm_set1_ps(m[6])),
          m8(_mm_set1_ps(m[8])), m9(_mm_set1_ps(m[9])), m10(_mm_set1_ps(m[10])),
          m12(_mm_set1_ps(m[12])), m13(_mm_set1_ps(m[13])), m14(_mm_set1_ps(m[14])) {}
    __m128 m0, m1, m2, m4, m5, m6, m8, m9, m10, m12, m13, m14;
};

// Vertices j .. j + 3: each field of the four in one register, transformed
// lane by lane with the operations and order of the scalar code, then
// regrouped into records. Returns false when a normal's length was outside
// what this path handles; those vertices must be done again exactly.
// With kRotation (the matrix turns without scaling), normals whose squared
// length is 1 within kUnitTolerance are taken as they come out of the
// matrix: they are unit length within that tolerance already. Otherwise
// 1 / length comes from the hardware estimate refined by one Newton step
// (a relative error of a few units in the last place) instead of the
// square root and divisions that would dominate the loop.
// The field arrays of a SkinFields, taken once per run so that the loop
// does not fetch them again after every store.
struct FieldPointers {
    explicit FieldPointers(const SkinFields& f)
        : x(f.x.data()), y(f.y.data()), z(f.z.data()), nx(f.nx.data()), ny(f.ny.data()),
          nz(f.nz.data()) {}
    const float* x;
    const float* y;
    const float* z;
    const float* nx;
    const float* ny;
    const float* nz;
};

template <bool kRotation>
__attribute__((always_inline)) inline bool SkinFourAffine(const Broadcast& m,
                                                          const FieldPointers& f,
                                                          const ModelVertex* source,
                                                          ModelVertex* skinned, size_t j) {
    const __m128 x = _mm_loadu_ps(f.x + j), y = _mm_loadu_ps(f.y + j), z = _mm_loadu_ps(f.z + j);
    const __m128 nx = _mm_loadu_ps(f.nx + j), ny = _mm_loadu_ps(f.ny + j);
    const __m128 nz = _mm_loadu_ps(f.nz + j);

    __m128 rx = _mm_add_ps(
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, m.m0), _mm_mul_ps(y, m.m4)), _mm_mul_ps(z, m.m8)), m.m12);
    __m128 ry = _mm_add_ps(
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, m.m1), _mm_mul_ps(y, m.m5)), _mm_mul_ps(z, m.m9)), m.m13);
    __m128 rz = _mm_add_ps(
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, m.m2), _mm_mul_ps(y, m.m6)), _mm_mul_ps(z, m.m10)), m.m14);
    const __m128 n0 =
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(nx, m.m0), _mm_mul_ps(ny, m.m4)), _mm_mul_ps(nz, m.m8));
    const __m128 n1 =
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(nx, m.m1), _mm_mul_ps(ny, m.m5)), _mm_mul_ps(nz, m.m9));
    const __m128 n2 =
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(nx, m.m2), _mm_mul_ps(ny, m.m6)), _mm_mul_ps(nz, m.m10));

    __m128 ox, oy, oz, handled;
    if (kRotation) {
        const __m128 sourceSquared =
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(nx, nx), _mm_mul_ps(ny, ny)), _mm_mul_ps(nz, nz));
        const __m128 deviation = _mm_sub_ps(sourceSquared, _mm_set1_ps(1.0f));
        // |deviation| <= tolerance; NaN fails.
        handled = _mm_cmple_ps(_mm_andnot_ps(_mm_set1_ps(-0.0f), deviation),
                               _mm_set1_ps(kUnitTolerance));
        ox = n0;
        oy = n1;
        oz = n2;
    } else {
        const __m128 squared =
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(n0, n0), _mm_mul_ps(n1, n1)), _mm_mul_ps(n2, n2));
        const __m128 estimate = _mm_rsqrt_ps(squared);
        const __m128 inverse = _mm_mul_ps(
            estimate, _mm_sub_ps(_mm_set1_ps(1.5f),
                                 _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(0.5f), squared),
                                            _mm_mul_ps(estimate, estimate))));
        ox = _mm_mul_ps(n0, inverse);
        oy = _mm_mul_ps(n1, inverse);
        oz = _mm_mul_ps(n2, inverse);
        // The estimate holds for squared lengths from the smallest normal
        // float up to the largest finite one; a zero, denormal, infinite or
        // NaN length goes to the exact path.
        handled = _mm_and_ps(_mm_cmpge_ps(squared, _mm_set1_ps(FLT_MIN)),
                             _mm_cmplt_ps(squared, _mm_set1_ps(INFINITY)));
    }

    // Records are two registers each: (x, y, z, nx) and (ny, nz, tu, tv);
    // the texture coordinates come from the source records.
    _MM_TRANSPOSE4_PS(rx, ry, rz, ox);
    const float* in = reinterpret_cast<const float*>(source + j);
    const __m128 b0 = _mm_loadu_ps(in + 4), b1 = _mm_loadu_ps(in + 12);
    const __m128 b2 = _mm_loadu_ps(in + 20), b3 = _mm_loadu_ps(in + 28);
    const __m128 u01 = _mm_unpacklo_ps(oy, oz), u23 = _mm_unpackhi_ps(oy, oz);
    float* out = reinterpret_cast<float*>(skinned + j);
    _mm_storeu_ps(out, rx);
    _mm_storeu_ps(out + 4, _mm_shuffle_ps(u01, b0, _MM_SHUFFLE(3, 2, 1, 0)));
    _mm_storeu_ps(out + 8, ry);
    _mm_storeu_ps(out + 12, _mm_shuffle_ps(u01, b1, _MM_SHUFFLE(3, 2, 3, 2)));
    _mm_storeu_ps(out + 16, rz);
    _mm_storeu_ps(out + 20, _mm_shuffle_ps(u23, b2, _MM_SHUFFLE(3, 2, 1, 0)));
    _mm_storeu_ps(out + 24, ox);
    _mm_storeu_ps(out + 28, _mm_shuffle_ps(u23, b3, _MM_SHUFFLE(3, 2, 3, 2)));
    return _mm_movemask_ps(handled) == 0xF;
}

// A run through an affine matrix, compiled for the baseline and (VEX
// encoded, the same operations) for processors with AVX; the program loader
// picks one at start-up.
__attribute__((target_clones("avx", "default"))) void SkinAffineRun(
    const D3DMATRIX& m, const SkinFields& fields, const ModelVertex* source, ModelVertex* skinned,
    size_t first, size_t count) {
    const Broadcast b(m);
    const FieldPointers f(fields);
    const size_t end = first + count;
    size_t j = first;
    if (IsRotation(m)) {
        for (; j + 4 <= end; j += 4) {
            if (!SkinFourAffine<true>(b, f, source, skinned, j) &&
                !SkinFourAffine<false>(b, f, source, skinned, j)) {
                for (size_t k = j; k < j + 4; ++k) SkinOneAffine(m, source[k], skinned[k]);
            }
        }
    }
    for (; j + 4 <= end; j += 4) {
        if (!SkinFourAffine<false>(b, f, source, skinned, j)) {
            for (size_t k = j; k < j + 4; ++k) SkinOneAffine(m, source[k], skinned[k]);
        }
    }
    for (; j < end; ++j) SkinOneAffine(m, source[j], skinned[j]);
}
#endif

}  // namespace

size_t SkinVertices(const D3DMATRIX& m, const SkinFields& fields, const ModelVertex* source,
                    ModelVertex* skinned, size_t first, size_t count) {
    if (!IsAffine(m) || fields.Size() < first + count) {
        for (size_t k = 0; k < count; ++k) {
            const size_t j = first + k;
            if (FAILED(TransformVertex(skinned[j], source[j], m))) return k;
            skinned[j].tu = source[j].tu;
            skinned[j].tv = source[j].tv;
        }
        return count;
    }
#if defined(__SSE2__)
    SkinAffineRun(m, fields, source, skinned, first, count);
#else
    for (size_t j = first; j < first + count; ++j) SkinOneAffine(m, source[j], skinned[j]);
#endif
    return count;
}
