#include "viewer/model/SkinKernel.h"

#include <atomic>
#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "viewer/model/VertexMath.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define SKIN_EIGHT 1
// Functions of the eight-wide loop are compiled for AVX2 and FMA; they run
// only after the processor was seen to have both.
#define SKIN_WIDE __attribute__((target("avx2,fma")))
#endif

namespace {
// How far from 1 a squared normal length may be for the normal to count as
// unit length: the normalised result would differ by at most about half of
// this, relatively (a millionth).
constexpr float kUnitTolerance = 2.0e-6f;

bool UnitLength(float nx, float ny, float nz) {
    return std::fabs(nx * nx + ny * ny + nz * nz - 1.0f) <= kUnitTolerance;  // NaN fails
}
}  // namespace

void SkinFields::Assign(const std::vector<ModelVertex>& vertices) {
    count = vertices.size();
    for (std::vector<float>* field : {&x, &y, &z, &nx, &ny, &nz, &tu, &tv}) {
        field->assign(count + kPadding, 0.0f);
    }
    offUnitBefore.assign(count + 1, 0);
    for (size_t j = 0; j < count; ++j) {
        const ModelVertex& v = vertices[j];
        x[j] = v.x;
        y[j] = v.y;
        z[j] = v.z;
        nx[j] = v.nx;
        ny[j] = v.ny;
        nz[j] = v.nz;
        tu[j] = v.tu;
        tv[j] = v.tv;
        offUnitBefore[j + 1] = offUnitBefore[j] + (UnitLength(v.nx, v.ny, v.nz) ? 0 : 1);
    }
}

namespace {

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

// The field arrays of a SkinFields, taken once per run so that the loop
// does not fetch them again after every store.
struct FieldPointers {
    explicit FieldPointers(const SkinFields& f)
        : x(f.x.data()),
          y(f.y.data()),
          z(f.z.data()),
          nx(f.nx.data()),
          ny(f.ny.data()),
          nz(f.nz.data()),
          tu(f.tu.data()),
          tv(f.tv.data()) {}
    const float* x;
    const float* y;
    const float* z;
    const float* nx;
    const float* ny;
    const float* nz;
    const float* tu;
    const float* tv;
};

#if defined(__SSE2__)
// The matrix elements the affine transform uses, each in all four lanes,
// loaded once per run of vertices.
struct Broadcast {
    explicit Broadcast(const D3DMATRIX& m)
        : m0(_mm_set1_ps(m[0])),
          m1(_mm_set1_ps(m[1])),
          m2(_mm_set1_ps(m[2])),
          m4(_mm_set1_ps(m[4])),
          m5(_mm_set1_ps(m[5])),
          m6(_mm_set1_ps(m[6])),
          m8(_mm_set1_ps(m[8])),
          m9(_mm_set1_ps(m[9])),
          m10(_mm_set1_ps(m[10])),
          m12(_mm_set1_ps(m[12])),
          m13(_mm_set1_ps(m[13])),
          m14(_mm_set1_ps(m[14])) {}
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

template <bool kRotation>
__attribute__((always_inline)) inline bool SkinFourAffine(const Broadcast& m,
                                                          const FieldPointers& f,
                                                          const ModelVertex* source,
                                                          ModelVertex* skinned, size_t j) {
    const __m128 x = _mm_loadu_ps(f.x + j), y = _mm_loadu_ps(f.y + j), z = _mm_loadu_ps(f.z + j);
    const __m128 nx = _mm_loadu_ps(f.nx + j), ny = _mm_loadu_ps(f.ny + j);
    const __m128 nz = _mm_loadu_ps(f.nz + j);

    __m128 rx = _mm_add_ps(
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, m.m0), _mm_mul_ps(y, m.m4)), _mm_mul_ps(z, m.m8)),
        m.m12);
    __m128 ry = _mm_add_ps(
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, m.m1), _mm_mul_ps(y, m.m5)), _mm_mul_ps(z, m.m9)),
        m.m13);
    __m128 rz = _mm_add_ps(
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, m.m2), _mm_mul_ps(y, m.m6)), _mm_mul_ps(z, m.m10)),
        m.m14);
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
        handled =
            _mm_cmple_ps(_mm_andnot_ps(_mm_set1_ps(-0.0f), deviation), _mm_set1_ps(kUnitTolerance));
        ox = n0;
        oy = n1;
        oz = n2;
    } else {
        const __m128 squared =
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(n0, n0), _mm_mul_ps(n1, n1)), _mm_mul_ps(n2, n2));
        const __m128 estimate = _mm_rsqrt_ps(squared);
        const __m128 inverse = _mm_mul_ps(
            estimate,
            _mm_sub_ps(_mm_set1_ps(1.5f), _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(0.5f), squared),
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

// A run through an affine matrix, four vertices at a time.
void SkinAffineRunFour(const D3DMATRIX& m, const SkinFields& fields, const ModelVertex* source,
                       ModelVertex* skinned, size_t first, size_t count) {
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

#if defined(SKIN_EIGHT)
// The matrix elements the affine transform uses, each in all eight lanes.
struct BroadcastEight {
    SKIN_WIDE explicit BroadcastEight(const D3DMATRIX& m)
        : m0(_mm256_set1_ps(m[0])),
          m1(_mm256_set1_ps(m[1])),
          m2(_mm256_set1_ps(m[2])),
          m4(_mm256_set1_ps(m[4])),
          m5(_mm256_set1_ps(m[5])),
          m6(_mm256_set1_ps(m[6])),
          m8(_mm256_set1_ps(m[8])),
          m9(_mm256_set1_ps(m[9])),
          m10(_mm256_set1_ps(m[10])),
          m12(_mm256_set1_ps(m[12])),
          m13(_mm256_set1_ps(m[13])),
          m14(_mm256_set1_ps(m[14])) {}
    __m256 m0, m1, m2, m4, m5, m6, m8, m9, m10, m12, m13, m14;
};

// Vertices j .. j + 7 into the eight records at `out`. Positions use the
// multiplications and additions of the scalar code in its order (this file
// is compiled without contraction into fused operations), so they come out
// bit for bit the same. Normals may use fused operations: they are
// normalised within the tolerance anyway. With kUnit (a rotation, and
// every source normal of the eight of unit length) the turned normals are
// taken as they are; otherwise 1 / length comes from the hardware estimate
// refined by one Newton step. Returns a bit per vertex whose result holds;
// the others (zero, denormal, infinite or NaN squared lengths) must be done
// again exactly.
template <bool kUnit>
SKIN_WIDE __attribute__((always_inline)) inline unsigned SkinEightAffine(const BroadcastEight& m,
                                                                         const FieldPointers& f,
                                                                         size_t j, float* out) {
    const __m256 x = _mm256_loadu_ps(f.x + j), y = _mm256_loadu_ps(f.y + j);
    const __m256 z = _mm256_loadu_ps(f.z + j), nx = _mm256_loadu_ps(f.nx + j);
    const __m256 ny = _mm256_loadu_ps(f.ny + j), nz = _mm256_loadu_ps(f.nz + j);
    const __m256 u = _mm256_loadu_ps(f.tu + j), v = _mm256_loadu_ps(f.tv + j);

    const __m256 rx =
        _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(x, m.m0), _mm256_mul_ps(y, m.m4)),
                                    _mm256_mul_ps(z, m.m8)),
                      m.m12);
    const __m256 ry =
        _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(x, m.m1), _mm256_mul_ps(y, m.m5)),
                                    _mm256_mul_ps(z, m.m9)),
                      m.m13);
    const __m256 rz =
        _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(x, m.m2), _mm256_mul_ps(y, m.m6)),
                                    _mm256_mul_ps(z, m.m10)),
                      m.m14);
    __m256 ox = _mm256_fmadd_ps(nz, m.m8, _mm256_fmadd_ps(ny, m.m4, _mm256_mul_ps(nx, m.m0)));
    __m256 oy = _mm256_fmadd_ps(nz, m.m9, _mm256_fmadd_ps(ny, m.m5, _mm256_mul_ps(nx, m.m1)));
    __m256 oz = _mm256_fmadd_ps(nz, m.m10, _mm256_fmadd_ps(ny, m.m6, _mm256_mul_ps(nx, m.m2)));

    unsigned handled = 0xFF;
    if (!kUnit) {
        const __m256 squared =
            _mm256_fmadd_ps(oz, oz, _mm256_fmadd_ps(oy, oy, _mm256_mul_ps(ox, ox)));
        const __m256 estimate = _mm256_rsqrt_ps(squared);
        const __m256 half = _mm256_mul_ps(_mm256_set1_ps(0.5f), squared);
        const __m256 inverse = _mm256_mul_ps(
            estimate,
            _mm256_fnmadd_ps(_mm256_mul_ps(half, estimate), estimate, _mm256_set1_ps(1.5f)));
        ox = _mm256_mul_ps(ox, inverse);
        oy = _mm256_mul_ps(oy, inverse);
        oz = _mm256_mul_ps(oz, inverse);
        handled = static_cast<unsigned>(_mm256_movemask_ps(
            _mm256_and_ps(_mm256_cmp_ps(squared, _mm256_set1_ps(FLT_MIN), _CMP_GE_OQ),
                          _mm256_cmp_ps(squared, _mm256_set1_ps(INFINITY), _CMP_LT_OQ))));
    }

    // Eight fields of eight vertices into eight records: pairs, then
    // halves of records (x y z nx and ny nz tu tv), then whole records.
    const __m256 t0 = _mm256_unpacklo_ps(rx, ry), t1 = _mm256_unpackhi_ps(rx, ry);
    const __m256 t2 = _mm256_unpacklo_ps(rz, ox), t3 = _mm256_unpackhi_ps(rz, ox);
    const __m256 t4 = _mm256_unpacklo_ps(oy, oz), t5 = _mm256_unpackhi_ps(oy, oz);
    const __m256 t6 = _mm256_unpacklo_ps(u, v), t7 = _mm256_unpackhi_ps(u, v);
    const __m256 s0 = _mm256_shuffle_ps(t0, t2, 0x44), s1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    const __m256 s2 = _mm256_shuffle_ps(t1, t3, 0x44), s3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    const __m256 s4 = _mm256_shuffle_ps(t4, t6, 0x44), s5 = _mm256_shuffle_ps(t4, t6, 0xEE);
    const __m256 s6 = _mm256_shuffle_ps(t5, t7, 0x44), s7 = _mm256_shuffle_ps(t5, t7, 0xEE);
    _mm256_storeu_ps(out + 0, _mm256_permute2f128_ps(s0, s4, 0x20));
    _mm256_storeu_ps(out + 8, _mm256_permute2f128_ps(s1, s5, 0x20));
    _mm256_storeu_ps(out + 16, _mm256_permute2f128_ps(s2, s6, 0x20));
    _mm256_storeu_ps(out + 24, _mm256_permute2f128_ps(s3, s7, 0x20));
    _mm256_storeu_ps(out + 32, _mm256_permute2f128_ps(s0, s4, 0x31));
    _mm256_storeu_ps(out + 40, _mm256_permute2f128_ps(s1, s5, 0x31));
    _mm256_storeu_ps(out + 48, _mm256_permute2f128_ps(s2, s6, 0x31));
    _mm256_storeu_ps(out + 56, _mm256_permute2f128_ps(s3, s7, 0x31));
    return handled;
}

// Eight vertices from j into `out`; a bit per vertex whose result holds.
SKIN_WIDE __attribute__((always_inline)) inline unsigned SkinEight(const BroadcastEight& b,
                                                                   const FieldPointers& f,
                                                                   bool rotation, bool unit,
                                                                   size_t j, float* out) {
    if (rotation && unit) return SkinEightAffine<true>(b, f, j, out);
    return SkinEightAffine<false>(b, f, j, out);
}

// A run through an affine matrix, eight vertices at a time. The last
// vertices of a run (fewer than eight) are made as a group of eight in a
// scratch buffer, of which only theirs are copied out: the fields are
// padded for that.
SKIN_WIDE void SkinAffineRunEight(const D3DMATRIX& m, const SkinFields& fields,
                                  const ModelVertex* source, ModelVertex* skinned, size_t first,
                                  size_t count) {
    const BroadcastEight b(m);
    const FieldPointers f(fields);
    const bool rotation = IsRotation(m);
    const size_t end = first + count;
    size_t j = first;
    for (; j + 8 <= end; j += 8) {
        const bool unit = fields.UnitNormals(j, j + 8);
        if (SkinEight(b, f, rotation, unit, j, reinterpret_cast<float*>(skinned + j)) != 0xFF) {
            for (size_t k = j; k < j + 8; ++k) SkinOneAffine(m, source[k], skinned[k]);
        }
    }
    if (j < end) {
        const size_t rest = end - j;
        const unsigned wanted = (1u << rest) - 1u;
        alignas(32) ModelVertex scratch[8];
        const bool unit = fields.UnitNormals(j, end);
        if ((SkinEight(b, f, rotation, unit, j, reinterpret_cast<float*>(scratch)) & wanted) ==
            wanted) {
            std::memcpy(skinned + j, scratch, rest * sizeof(ModelVertex));
        } else {
            for (size_t k = j; k < end; ++k) SkinOneAffine(m, source[k], skinned[k]);
        }
    }
}

bool HasEight() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}
#else
bool HasEight() {
    return false;
}
#endif

bool CanRun(SkinPath path) {
    switch (path) {
        case SkinPath::Eight:
            return HasEight();
#if defined(__SSE2__)
        case SkinPath::Four:
            return true;
#else
        case SkinPath::Four:
            return false;
#endif
        case SkinPath::Single:
            return true;
    }
    return false;
}

SkinPath BestPath() {
    if (CanRun(SkinPath::Eight)) return SkinPath::Eight;
    if (CanRun(SkinPath::Four)) return SkinPath::Four;
    return SkinPath::Single;
}

std::atomic<SkinPath>& ChosenPath() {
    static std::atomic<SkinPath> chosen{BestPath()};
    return chosen;
}

}  // namespace

SkinPath ActiveSkinPath() {
    return ChosenPath().load(std::memory_order_relaxed);
}

bool UseSkinPath(SkinPath path) {
    if (!CanRun(path)) return false;
    ChosenPath().store(path, std::memory_order_relaxed);
    return true;
}

size_t SkinVertices(const D3DMATRIX& m, const SkinFields& fields, const ModelVertex* source,
                    ModelVertex* skinned, size_t first, size_t count) {
    assert(count == 0 || (source != nullptr && skinned != nullptr));
    if (!IsAffine(m) || fields.Size() < first + count) {
        for (size_t k = 0; k < count; ++k) {
            const size_t j = first + k;
            if (FAILED(TransformVertex(skinned[j], source[j], m))) return k;
            skinned[j].tu = source[j].tu;
            skinned[j].tv = source[j].tv;
        }
        return count;
    }
    switch (ActiveSkinPath()) {
#if defined(SKIN_EIGHT)
        case SkinPath::Eight:
            SkinAffineRunEight(m, fields, source, skinned, first, count);
            return count;
#endif
#if defined(__SSE2__)
        case SkinPath::Four:
            SkinAffineRunFour(m, fields, source, skinned, first, count);
            return count;
#endif
        default:
            for (size_t j = first; j < first + count; ++j) SkinOneAffine(m, source[j], skinned[j]);
            return count;
    }
}
