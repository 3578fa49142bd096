// Mesh parts of the object records: world positions in the file's y-up frame
// (host x, z, y), corners in drawing order, smooth normals averaged from the
// face normals, texture v flipped, vertices split where one position carries
// several texture pairs, and one vertex block per sampled frame for animated
// objects.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <new>
#include <string>

#include "exporter/host/HostUi.h"
#include "exporter/writer/RecordSplit.h"
#include "exporter/writer/TesselWriter.h"

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif
#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {
// Room for the frames kept between the two passes of an animated object,
// left uninitialised: every frame is written whole before it is read. A
// large block is asked for in huge pages, which takes far fewer page faults
// than the same bytes in small pages.
class FrameBlock {
public:
    explicit FrameBlock(size_t count) : bytes(count * sizeof(Point3)) {
        if (bytes == 0) return;
#ifdef __linux__
        if (bytes >= kHugeFrom) {
            void* p =
                ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p != MAP_FAILED) {
                ::madvise(p, bytes, MADV_HUGEPAGE);  // a hint: refused, small pages serve
                memory = p;
                mapped = true;
                return;
            }
        }
#endif
        memory = ::operator new(bytes);
    }
    ~FrameBlock() {
#ifdef __linux__
        if (mapped) {
            ::munmap(memory, bytes);
            return;
        }
#endif
        ::operator delete(memory);
    }
    FrameBlock(const FrameBlock&) = delete;
    FrameBlock& operator=(const FrameBlock&) = delete;
    Point3* Frames() {
        return static_cast<Point3*>(memory);
    }

private:
    static constexpr size_t kHugeFrom = size_t(4) << 20;
    size_t bytes;
    void* memory = nullptr;
    bool mapped = false;
};

// Corner order of the written faces: (0, 2, 1) turns the host's
// counter-clockwise faces clockwise in the file's left-handed frame; a
// mirrored transform has already turned them, so (2, 0, 1) keeps them.
const int kCornerOrder[2][3] = {{0, 2, 1}, {2, 0, 1}};

// The normal of a vertex no face gives a direction: the host's up axis.
const Point3 kUp(0.0f, 0.0f, 1.0f);

// The host's Normalize (Point3::Normalize), here where it can be inlined:
// a vector without a direction becomes (0, 0, 0).
inline Point3 Unit(const Point3& p) {
    const float l = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    if (!(l > 0.0f) || !std::isfinite(l)) return Point3(0.0f, 0.0f, 0.0f);
    return Point3(p.x / l, p.y / l, p.z / l);
}

// True when every coordinate is a finite number: a transform that
// overflows gives infinities (or NaN), which a file must not carry.
bool AllFinite(const Point3* P, size_t count) {
    return std::all_of(P, P + count, [](const Point3& p) {
        return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
    });
}
const char* const kNotFinite = "변환된 좌표가 유한한 값이 아닙니다";

inline Point3 Cross(const Point3& u, const Point3& w) {
    return Point3(u.y * w.z - u.z * w.y, u.z * w.x - u.x * w.z, u.x * w.y - u.y * w.x);
}

// The unit normal of face f: Unit(Cross(Unit(c - a), Unit(b - a))).
inline Point3 FaceNormal(const Point3* P, const int32_t* corners, size_t f) {
    const auto a = static_cast<size_t>(corners[3 * f]), b = static_cast<size_t>(corners[3 * f + 1]),
               c = static_cast<size_t>(corners[3 * f + 2]);
    const Point3 e1 = Unit(P[b] - P[a]);
    const Point3 e2 = Unit(P[c] - P[a]);
    return Unit(Cross(e2, e1));
}

#if defined(__GNUC__) && defined(__x86_64__)
#define FACE_NORMALS_EIGHT 1
// Unit of eight vectors at once with the same operations as Unit (square
// root and division are exactly rounded in both), so the results are the
// same bit for bit.
__attribute__((target("avx2"), always_inline)) inline void UnitEight(__m256& x, __m256& y,
                                                                     __m256& z) {
    const __m256 l = _mm256_sqrt_ps(_mm256_add_ps(
        _mm256_add_ps(_mm256_mul_ps(x, x), _mm256_mul_ps(y, y)), _mm256_mul_ps(z, z)));
    const __m256 ok = _mm256_and_ps(_mm256_cmp_ps(l, _mm256_setzero_ps(), _CMP_GT_OQ),
                                    _mm256_cmp_ps(l, _mm256_set1_ps(INFINITY), _CMP_LT_OQ));
    x = _mm256_and_ps(_mm256_div_ps(x, l), ok);
    y = _mm256_and_ps(_mm256_div_ps(y, l), ok);
    z = _mm256_and_ps(_mm256_div_ps(z, l), ok);
}

// FaceNormal of eight faces at a time (AVX2, without fused operations).
__attribute__((target("avx2"))) void FaceNormalsEight(const Point3* P, const int32_t* corners,
                                                      size_t faces, Point3* out) {
    const float* base =
        reinterpret_cast<const float*>(P);  // no member access: P is null for a mesh without points
    const __m256i stride = _mm256_setr_epi32(0, 3, 6, 9, 12, 15, 18, 21);
    size_t f = 0;
    for (; f + 8 <= faces; f += 8) {
        const int* at = corners + 3 * f;
        __m256 x[3], y[3], z[3];
        for (int k = 0; k < 3; ++k) {
            const __m256i v = _mm256_i32gather_epi32(at + k, stride, 4);
            const __m256i i = _mm256_add_epi32(_mm256_add_epi32(v, v), v);  // 3 floats a point
            x[k] = _mm256_i32gather_ps(base, i, 4);
            y[k] = _mm256_i32gather_ps(base + 1, i, 4);
            z[k] = _mm256_i32gather_ps(base + 2, i, 4);
        }
        __m256 e1x = _mm256_sub_ps(x[1], x[0]), e1y = _mm256_sub_ps(y[1], y[0]),
               e1z = _mm256_sub_ps(z[1], z[0]);
        __m256 e2x = _mm256_sub_ps(x[2], x[0]), e2y = _mm256_sub_ps(y[2], y[0]),
               e2z = _mm256_sub_ps(z[2], z[0]);
        UnitEight(e1x, e1y, e1z);
        UnitEight(e2x, e2y, e2z);
        // Cross(e2, e1)
        __m256 nx = _mm256_sub_ps(_mm256_mul_ps(e2y, e1z), _mm256_mul_ps(e2z, e1y));
        __m256 ny = _mm256_sub_ps(_mm256_mul_ps(e2z, e1x), _mm256_mul_ps(e2x, e1z));
        __m256 nz = _mm256_sub_ps(_mm256_mul_ps(e2x, e1y), _mm256_mul_ps(e2y, e1x));
        UnitEight(nx, ny, nz);
        alignas(32) float fx[8], fy[8], fz[8];
        _mm256_store_ps(fx, nx);
        _mm256_store_ps(fy, ny);
        _mm256_store_ps(fz, nz);
        for (int k = 0; k < 8; ++k) out[f + static_cast<size_t>(k)] = Point3(fx[k], fy[k], fz[k]);
    }
    for (; f < faces; ++f) out[f] = FaceNormal(P, corners, f);
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

// Unit normals of faces [0, faces) into `out`.
void FaceNormals(const Point3* P, size_t numVerts, const int32_t* corners, size_t faces,
                 Point3* out) {
#if defined(FACE_NORMALS_EIGHT)
    // The gathers index floats with 32-bit numbers.
    if (HasAvx2() && numVerts < static_cast<size_t>(INT32_MAX / 3)) {
        FaceNormalsEight(P, corners, faces, out);
        return;
    }
#endif
    (void)numVerts;
    for (size_t f = 0; f < faces; ++f) out[f] = FaceNormal(P, corners, f);
}

// Unit vertex normals of positions P from the faces listed as corner triples
// (written order): each face adds its unit normal to its three vertices,
// and each vertex takes the direction of the mean. Faces without a direction
// (degenerate) add nothing; a vertex left without one points up.
void VertexNormals(const Point3* P, size_t numVerts, const std::vector<int32_t>& corners,
                   std::vector<Point3>& normals, std::vector<int32_t>& counts) {
    normals.assign(numVerts, Point3(0.0f, 0.0f, 0.0f));
    counts.assign(numVerts, 0);
    const size_t faces = corners.size() / 3;
    static thread_local std::vector<Point3> faceNormals;
    faceNormals.resize(faces);
    FaceNormals(P, numVerts, corners.data(), faces, faceNormals.data());
    for (size_t f = 0; f < faces; ++f) {
        const Point3& n = faceNormals[f];
        for (size_t c = 3 * f; c < 3 * f + 3; ++c) {
            const auto v = static_cast<size_t>(corners[c]);
            normals[v] += n;
            ++counts[v];
        }
    }
    for (size_t i = 0; i < numVerts; ++i) {
        Point3 n = counts[i] > 0 ? Unit(normals[i] / static_cast<float>(counts[i]))
                                 : Point3(0.0f, 0.0f, 0.0f);
        if (n.x == 0.0f && n.y == 0.0f && n.z == 0.0f) n = kUp;
        normals[i] = n;
    }
}

// One ModelVertex record: host x, z, y for position and normal.
TesselVertex FileVertex(const Point3& p, const Point3& n, const TexturePair& t) {
    return TesselVertex{p.x, p.z, p.y, n.x, n.z, n.y, t.u, t.v};
}
}  // namespace

bool IsMirrored(const Matrix3& tm) {
    return DotProd(CrossProd(tm.GetRow(0), tm.GetRow(1)), tm.GetRow(2)) < 0.0f;
}

TriObject* MeshFromNode(INode* node, TimeValue t, bool& deleteIt) {
    deleteIt = false;
    if (node == nullptr) return nullptr;
    Object* obj = node->EvalWorldState(t, TRUE).obj;
    const Class_ID triangles(TRIOBJ_CLASS_ID, 0);
    if (obj == nullptr || !obj->CanConvertToType(triangles)) return nullptr;
    Object* converted = obj->ConvertToType(t, triangles);
    auto* tri = dynamic_cast<TriObject*>(converted);
    if (tri == nullptr) {
        if (converted != nullptr && converted != obj) converted->DeleteMe();
        return nullptr;
    }
    deleteIt = converted != obj;
    return tri;
}

// A node's mesh as the writers lay it out, from the time the layout is
// decided.
struct TesselWriter::Prepared {
    bool mirrored = false;
    size_t numVerts = 0;
    std::vector<Point3> positions;       // world positions, host axes
    std::vector<int32_t> cornerVertex;   // mesh vertex of each corner, written order
    std::vector<int32_t> cornerTexture;  // texture table entry of each corner
    std::vector<TexturePair> table;
    bool direct = false;  // static layout without splitting
};

int32_t TesselWriter::FrameCount() const {
    return FrameCountFor(1, startTime, endTime, GetTicksPerFrame(), frameStep);
}

void TesselWriter::WriteEmptyMesh(INode* node, const std::string& reason) {
    const std::string text = "오브젝트 '" +
                             std::string(node && node->GetName() ? node->GetName() : "") +
                             "': " + reason + ".\r\n빈 메시로 저장합니다.";
    MessageBoxA(nullptr, text.c_str(), kExportCaption, MB_OK);
    out.WriteInt32(0);  // vertices (of every frame block)
    out.WriteInt32(0);  // faces
}

bool TesselWriter::Prepare(INode* node, TimeValue t, bool animated, Prepared& mesh,
                           std::string& why) {
    const Matrix3 tm = node->GetObjTMAfterWSM(t);
    mesh.mirrored = IsMirrored(tm);
    Object* obj = node->EvalWorldState(t, TRUE).obj;
    if (obj == nullptr) {
        why = "오브젝트가 없습니다";
        return false;
    }
    if (obj->SuperClassID() != GEOMOBJECT_CLASS_ID) {
        why = "기하 오브젝트가 아닙니다";
        return false;
    }
    bool deleteIt = false;
    TriObject* tri = MeshFromNode(node, t, deleteIt);
    if (tri == nullptr) {
        why = "삼각형 메시로 바꿀 수 없습니다";
        return false;
    }
    const Mesh& m = tri->GetMesh();
    bool sound = m.numVerts >= 0 && m.numFaces >= 0 && m.numTVerts >= 0 &&
                 (m.numVerts == 0 || m.verts) && (m.numFaces == 0 || m.faces) &&
                 (m.numTVerts == 0 || (m.tVerts && (m.numFaces == 0 || m.tvFace)));
    const size_t nv = sound ? static_cast<size_t>(m.numVerts) : 0;
    const size_t nf = sound ? static_cast<size_t>(m.numFaces) : 0;
    const size_t nt = sound ? static_cast<size_t>(m.numTVerts) : 0;
    for (size_t f = 0; f < nf && sound; ++f)
        for (int c = 0; c < 3; ++c) {
            if (m.faces[f].v[c] >= nv) sound = false;
            if (nt > 0 && m.tvFace[f].t[c] >= nt) sound = false;
        }
    if (!sound) {
        if (deleteIt) tri->DeleteMe();
        why = "메시의 면이 없는 Vertex를 가리킵니다";
        return false;
    }

    mesh.numVerts = nv;
    mesh.positions.resize(nv);
    for (size_t i = 0; i < nv; ++i) mesh.positions[i] = tm * m.verts[i];
    if (!AllFinite(mesh.positions.data(), mesh.positions.size())) {
        if (deleteIt) tri->DeleteMe();
        why = kNotFinite;
        return false;
    }

    const int* order = kCornerOrder[mesh.mirrored ? 1 : 0];
    mesh.cornerVertex.resize(3 * nf);
    mesh.cornerTexture.resize(3 * nf);
    bool texturesFollowVertices = nt == nv;
    for (size_t f = 0; f < nf; ++f)
        for (int c = 0; c < 3; ++c) {
            const int slot = order[c];
            const int32_t v = static_cast<int32_t>(m.faces[f].v[slot]);
            mesh.cornerVertex[3 * f + static_cast<size_t>(c)] = v;
            int32_t tex = 0;
            if (nt > 0) {
                tex = static_cast<int32_t>(m.tvFace[f].t[slot]);
                if (tex != v) texturesFollowVertices = false;
            } else if (!animated) {
                tex = v;  // the table holds one (0, 0) per vertex
            }
            mesh.cornerTexture[3 * f + static_cast<size_t>(c)] = tex;
        }
    if (nt > 0) {
        mesh.table.resize(nt);
        for (size_t i = 0; i < nt; ++i)
            mesh.table[i] = TexturePair{m.tVerts[i].x, 1.0f - m.tVerts[i].y};
    } else {
        mesh.table.assign(animated ? 1 : nv, TexturePair{});
    }
    // Texture vertex i may go with vertex i only where the texture faces say so.
    mesh.direct = !animated && (nt == 0 || texturesFollowVertices);
    if (deleteIt) tri->DeleteMe();
    return true;
}

void TesselWriter::WriteTooManyVertices(INode* node, size_t count) {
    WriteEmptyMesh(
        node, "Vertex가 " + std::to_string(count) + "개로 " + std::to_string(MAX_OBJECT_VERTICES) +
                  "개를 넘습니다 (--split-large로 여러 오브젝트로 나누어 저장할 수 있습니다)");
}

void TesselWriter::StartRecord(size_t r) {
    if (r == 0) return;
    out.WriteInt32(static_cast<int32_t>(objectTexture.size()));
    out.WriteBytes(objectTexture.data(), objectTexture.size());
    ++extraRecords;
}

void TesselWriter::WriteStaticMesh(INode* node, TimeValue t) {
    Prepared mesh;
    std::string why;
    if (!Prepare(node, t, false, mesh, why)) {
        WriteEmptyMesh(node, why);
        return;
    }
    const size_t faces = mesh.cornerVertex.size() / 3;
    // Direct layout: output vertex i is mesh vertex i with texture entry i.
    SplitLayout layout;
    if (!mesh.direct) {
        std::vector<int32_t> classes;
        PositionClasses(mesh.positions.data(), mesh.numVerts, classes);
        SplitVertices(mesh.cornerVertex.data(), mesh.cornerTexture.data(), mesh.cornerVertex.size(),
                      classes, mesh.table, layout);
    }
    const size_t count = mesh.direct ? mesh.numVerts : layout.Count();
    const std::vector<int32_t>& corners = mesh.direct ? mesh.cornerVertex : layout.cornerIndex;
    const bool tooMany = count > static_cast<size_t>(MAX_OBJECT_VERTICES);
    if (tooMany && !splitLarge) {
        WriteTooManyVertices(node, count);
        return;
    }
    VertexNormals(mesh.positions.data(), mesh.numVerts, mesh.cornerVertex, normals, useCounts);
    auto vertex = [&](size_t j) {
        if (mesh.direct) return FileVertex(mesh.positions[j], normals[j], mesh.table[j]);
        const size_t p = static_cast<size_t>(layout.positionIndex[j]);
        return FileVertex(mesh.positions[p], normals[p], layout.texture[j]);
    };
    if (!tooMany) {
        out.WriteInt32(static_cast<int32_t>(count));
        for (size_t j = 0; j < count; ++j) out.WriteVertex(vertex(j));
        out.WriteInt32(static_cast<int32_t>(faces));
        for (int32_t j : corners) out.WriteInt32(j);
        return;
    }
    const std::vector<MeshRecordPart> parts = SplitIntoRecords(corners, count, MAX_OBJECT_VERTICES);
    for (size_t r = 0; r < parts.size(); ++r) {
        StartRecord(r);
        out.WriteInt32(static_cast<int32_t>(parts[r].vertices.size()));
        for (int32_t j : parts[r].vertices) out.WriteVertex(vertex(static_cast<size_t>(j)));
        out.WriteInt32(static_cast<int32_t>(parts[r].corners.size() / 3));
        for (int32_t j : parts[r].corners) out.WriteInt32(j);
    }
}

bool TesselWriter::Sample(INode* node, TimeValue s, const Prepared& layout, Point3* positions) {
    bool deleteIt = false;
    TriObject* tri = MeshFromNode(node, s, deleteIt);
    if (tri == nullptr) return false;
    Matrix3 tm = node->GetObjTMAfterWSM(s);
    // Centring: the biped's top node's front-back (host y) position is taken
    // off; across and height stay.
    if (bipedRoot != nullptr && centreOnBiped) {
        const Point3 r = bipedRoot->GetNodeTM(s).GetTrans();
        const Point3 row = tm.GetRow(3);
        tm.SetRow(3, Point3(row.x, row.y - r.y, row.z));
    }
    const Mesh& m = tri->GetMesh();
    const bool same = m.numVerts >= 0 && static_cast<size_t>(m.numVerts) == layout.numVerts &&
                      (m.numVerts == 0 || m.verts != nullptr);
    if (same)
        for (size_t i = 0; i < layout.numVerts; ++i) positions[i] = tm * m.verts[i];
    if (deleteIt) tri->DeleteMe();
    return same;
}

void TesselWriter::WriteBlock(const Point3* positions, const SplitLayout& layout,
                              const std::vector<int32_t>* subset) {
    auto write = [&](size_t j) {
        const size_t p = static_cast<size_t>(layout.positionIndex[j]);
        out.WriteVertex(FileVertex(positions[p], normals[p], layout.texture[j]));
    };
    if (subset != nullptr) {
        for (int32_t j : *subset) write(static_cast<size_t>(j));
    } else {
        for (size_t j = 0; j < layout.Count(); ++j) write(j);
    }
}

void TesselWriter::WriteAnimatedMesh(INode* node, TimeValue t) {
    Prepared mesh;
    std::string why;
    if (!Prepare(node, t, true, mesh, why)) {
        WriteEmptyMesh(node, why);
        return;
    }
    // First pass: sample every frame; corners share a vertex only where their
    // positions are equal at t and in every sampled frame.
    std::vector<int32_t> classes;
    int32_t classCount = PositionClasses(mesh.positions.data(), mesh.numVerts, classes);
    // Once every position is a class of its own, later frames can only part
    // a vertex from itself where a coordinate is NaN.
    auto alone = [&] {
        return static_cast<size_t>(classCount) ==
               static_cast<size_t>(
                   std::count_if(classes.begin(), classes.end(), [](int32_t c) { return c >= 0; }));
    };
    bool singletons = alone();
    const int32_t frames = FrameCount();
    const int64_t ticksPerSample = static_cast<int64_t>(GetTicksPerFrame()) * frameStep;
    auto sampleTime = [&](int32_t k) {
        return static_cast<TimeValue>(startTime + ticksPerSample * k);
    };
    // The frame cache: the first frames that fit in frameCacheBytes are kept
    // one after another in one block; later ones are evaluated again in the
    // second pass.
    const size_t n = mesh.numVerts;
    const size_t frameBytes = n * sizeof(Point3);
    const size_t keptFrames =
        frameBytes == 0 ? static_cast<size_t>(frames)
                        : std::min(static_cast<size_t>(frames), frameCacheBytes / frameBytes);
    FrameBlock kept(keptFrames * n);
    std::vector<Point3> scratch(keptFrames < static_cast<size_t>(frames) ? n : 0);
    auto frameAt = [&](int32_t k) {
        return static_cast<size_t>(k) < keptFrames ? kept.Frames() + static_cast<size_t>(k) * n
                                                   : scratch.data();
    };
    for (int32_t k = 0; k < frames; ++k) {
        Point3* positions = frameAt(k);
        if (!Sample(node, sampleTime(k), mesh, positions)) {
            WriteEmptyMesh(
                node, "프레임 " + std::to_string(sampleTime(k) / std::max(1, GetTicksPerFrame())) +
                          "에서 메시가 바뀝니다");
            return;
        }
        if (!AllFinite(positions, n)) {
            WriteEmptyMesh(
                node, "프레임 " + std::to_string(sampleTime(k) / std::max(1, GetTicksPerFrame())) +
                          ": " + kNotFinite);
            return;
        }
        if (singletons) {
            for (size_t i = 0; i < n; ++i)
                if (std::isnan(positions[i].x) || std::isnan(positions[i].y) ||
                    std::isnan(positions[i].z))
                    classes[i] = -1;
        } else {
            classCount = RefineClasses(positions, n, classes);
            singletons = alone();
        }
    }
    SplitLayout layout;
    SplitVertices(mesh.cornerVertex.data(), mesh.cornerTexture.data(), mesh.cornerVertex.size(),
                  classes, mesh.table, layout);
    const bool tooMany = layout.Count() > static_cast<size_t>(MAX_OBJECT_VERTICES);
    if (tooMany && !splitLarge) {
        WriteTooManyVertices(node, layout.Count());
        return;
    }
    std::vector<MeshRecordPart> parts;
    if (tooMany) parts = SplitIntoRecords(layout.cornerIndex, layout.Count(), MAX_OBJECT_VERTICES);

    // Second pass, per record: one vertex block per sample, then the shared
    // faces. Every record is written from the same samples and normals.
    const size_t records = tooMany ? parts.size() : 1;
    for (size_t r = 0; r < records; ++r) {
        StartRecord(r);
        out.WriteInt32(static_cast<int32_t>(tooMany ? parts[r].vertices.size() : layout.Count()));
        for (int32_t k = 0; k < frames; ++k) {
            Point3* P = frameAt(k);
            // A frame not kept is evaluated again: the scene has not changed
            // since the first pass, so this gives the same positions.
            if (static_cast<size_t>(k) >= keptFrames && !Sample(node, sampleTime(k), mesh, P))
                std::copy(mesh.positions.begin(), mesh.positions.end(), P);
            VertexNormals(P, n, mesh.cornerVertex, normals, useCounts);
            WriteBlock(P, layout, tooMany ? &parts[r].vertices : nullptr);
        }
        const std::vector<int32_t>& corners = tooMany ? parts[r].corners : layout.cornerIndex;
        out.WriteInt32(static_cast<int32_t>(corners.size() / 3));
        for (int32_t j : corners) out.WriteInt32(j);
    }
}
