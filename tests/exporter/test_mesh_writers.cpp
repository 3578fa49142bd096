// Mesh parts: the file's y-up frame, corner order and mirroring, normals,
// texture v, direct and split layouts, vertex blocks per sampled frame,
// centring on the biped, and the empty parts of objects that cannot be
// written. Records are read back with the viewer's reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "tests/exporter/ExportFixtures.h"

namespace {

// One triangle: host corners (0,0,0), (10,0,0), (0,10,0), as glTF (y up)
// gives them.
GltfBuilder::Primitive Triangle() {
    GltfBuilder::Primitive p;
    p.positions = {0, 0, 0, 10, 0, 0, 0, 0, -10};
    p.indices = {0, 1, 2};
    return p;
}

const StaticObject& Static(const WrittenObject& o) {
    return o.data.statics.at(0);
}
const AnimatedObject& Animated(const WrittenObject& o) {
    return o.data.animateds.at(0);
}
std::vector<int32_t> Indices(const std::vector<uint16_t>& i) {
    return std::vector<int32_t>(i.begin(), i.end());
}

TEST(MeshWriters, WorkedExampleByteForByte) {
    TempDir dir;
    GltfBuilder b;
    b.AddNode("Tri", -1, b.AddMesh({Triangle()}));
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);
    TesselExp exp;
    const std::string out = dir.File("tri.tsl");
    const ExportRun run = RunExport(*scene, exp, out, SaveAll());
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(run.messages.empty());

    std::vector<uint8_t> e;
    auto put = [&](const void* p) {
        e.insert(e.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + 4);
    };
    auto i32 = [&](int32_t v) { put(&v); };
    auto f32 = [&](float v) { put(&v); };
    for (int32_t v : {1, 1, 0, 0, 3}) i32(v);  // frames, static, animated, name length, vertices
    // Host (x, y, z) stored as (x, z, y); the up normal as (0, 1, 0); no texture.
    const float vertices[3][8] = {
        {0, 0, 0, 0, 1, 0, 0, 0}, {10, 0, 0, 0, 1, 0, 0, 0}, {0, 0, 10, 0, 1, 0, 0, 0}};
    for (const auto& v : vertices)
        for (float f : v) f32(f);
    for (int32_t v : {1, 0, 2, 1}) i32(v);  // one face, corners first, third, second
    ASSERT_EQ(e.size(), 132u);
    EXPECT_EQ(ReadBytes(out), e);
}

// Normal of a written face by the file's rule: seen from the side its normal
// points to, the corners run clockwise (left-handed frame).
Point3 FileFaceNormal(const ModelVertex& a, const ModelVertex& b, const ModelVertex& c) {
    return CrossProd(Point3(b.x - a.x, b.y - a.y, b.z - a.z),
                     Point3(c.x - a.x, c.y - a.y, c.z - a.z));
}

TEST(MeshWriters, CornerOrderFollowsMirroring) {
    TempDir dir;
    GltfBuilder b;
    const int mesh = b.AddMesh({Triangle()});
    b.AddNode("Plain", -1, mesh);
    b.NodeAt(b.AddNode("Mirrored", -1, mesh)).scale = {-1, 1, 1};
    b.NodeAt(b.AddNode("Flattened", -1, mesh)).scale = {1, -2, 1};  // mirrored on the host's z axis
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);
    for (const char* name : {"Plain", "Mirrored", "Flattened"}) {
        SCOPED_TRACE(name);
        INode* node = scene->FindNode(name);
        const bool mirrored = std::string(name) != "Plain";
        EXPECT_EQ(IsMirrored(node->GetObjTMAfterWSM(0)), mirrored);
        const WrittenObject o =
            WriteObject(dir, false, 1, [&](TesselWriter& w) { w.WriteStaticMesh(node, 0); });
        const StaticObject& s = Static(o);
        const std::vector<int32_t> order =
            mirrored ? std::vector<int32_t>{2, 0, 1} : std::vector<int32_t>{0, 2, 1};
        EXPECT_EQ(Indices(s.indices), order);
        // The stored normals point out of the visible side.
        const Point3 face = FileFaceNormal(s.vertices[s.indices[0]], s.vertices[s.indices[1]],
                                           s.vertices[s.indices[2]]);
        for (const ModelVertex& v : s.vertices) {
            EXPECT_GT(DotProd(face, Point3(v.nx, v.ny, v.nz)), 0.0f);
            EXPECT_NEAR(Point3(v.nx, v.ny, v.nz).Length(), 1.0f, 1e-6f);
        }
    }
}

TEST(MeshWriters, HostVertexAndTexturePairInTheFileFrame) {
    // Host vertex (1, 2, 3) with texture coordinate (0.25, 0.25) on a node at
    // the origin: written as (1, 3, 2) and (0.25, 0.75).
    TempDir dir;
    GltfBuilder b;
    GltfBuilder::Primitive p;
    p.positions = {1, 3, -2, 2, 3, -2, 1, 4, -2};
    p.uvs = {0.25f, 0.75f, 0.5f, 0.5f, 0.0f, 1.0f};  // the importer turns glTF v upside down
    p.indices = {0, 1, 2};
    b.AddNode("Tri", -1, b.AddMesh({p}));
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);
    INode* node = scene->FindNode("Tri");
    const Mesh& hostMesh = static_cast<TriObject*>(node->EvalWorldState(0, TRUE).obj)->GetMesh();
    ASSERT_EQ(hostMesh.verts[0], Point3(1.0f, 2.0f, 3.0f));
    ASSERT_EQ(hostMesh.tVerts[0], Point3(0.25f, 0.25f, 0.0f));
    for (bool animated : {false, true}) {
        const WrittenObject o = WriteObject(dir, animated, 1, [&](TesselWriter& w) {
            if (animated)
                w.WriteAnimatedMesh(node, 0);
            else
                w.WriteStaticMesh(node, 0);
        });
        const ModelVertex& v = animated ? Animated(o).frames.at(0) : Static(o).vertices.at(0);
        EXPECT_EQ(Point3(v.x, v.y, v.z), Point3(1.0f, 3.0f, 2.0f));
        EXPECT_EQ(v.tu, 0.25f);
        EXPECT_EQ(v.tv, 0.75f);
    }
}

// A strip of two triangles whose shared corners are separate mesh vertices
// in the package (their morph offsets differ), at equal positions while the
// morph weight is 0.
GltfBuilder CoincidentCorners(bool animateWeight) {
    GltfBuilder b;
    GltfBuilder::Primitive p;
    p.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0, /* second triangle */ 1, 0, 0, 1, 1, 0, 0, 1, 0};
    p.indices = {0, 1, 2, 3, 4, 5};
    p.targets = {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 1}};
    const int node = b.AddNode("Strip", -1, b.AddMesh({p}, {0.0f}));
    if (animateWeight) b.Animate(node, "weights", {0.0f, 1.0f}, {0.0f, 1.0f});
    b.AddNode("Other");
    return b;
}

TEST(MeshWriters, StaticKeepsMeshVerticesAnimatedMergesEqualPositions) {
    TempDir dir;
    auto scene = LoadBuilt(CoincidentCorners(false), dir);
    ASSERT_TRUE(scene);
    INode* node = scene->FindNode("Strip");
    ASSERT_EQ(static_cast<TriObject*>(node->EvalWorldState(0, TRUE).obj)->GetMesh().numVerts, 6);
    // Static, no texture vertices: one output vertex per mesh vertex, in mesh
    // order, all with texture pair (0, 0).
    const WrittenObject s =
        WriteObject(dir, false, 1, [&](TesselWriter& w) { w.WriteStaticMesh(node, 0); });
    EXPECT_EQ(Static(s).vertexCount, 6);
    EXPECT_EQ(Indices(Static(s).indices), (std::vector<int32_t>{0, 2, 1, 3, 5, 4}));
    for (const ModelVertex& v : Static(s).vertices) EXPECT_TRUE(v.tu == 0.0f && v.tv == 0.0f);
    // Animated: equal positions share one vertex, first occurrence first.
    const WrittenObject a =
        WriteObject(dir, true, 1, [&](TesselWriter& w) { w.WriteAnimatedMesh(node, 0); });
    EXPECT_EQ(Animated(a).vertexCount, 4);
    EXPECT_EQ(Indices(Animated(a).indices), (std::vector<int32_t>{0, 1, 2, 2, 1, 3}));
}

TEST(MeshWriters, AnimatedMergesOnlyWhatStaysTogetherInEveryFrame) {
    TempDir dir;
    auto scene = LoadBuilt(CoincidentCorners(true), dir);
    ASSERT_TRUE(scene);
    INode* node = scene->FindNode("Strip");
    auto write = [&](size_t cache) {
        return WriteObject(dir, true, 11, [&](TesselWriter& w) {
            w.endTime = 4800;
            w.frameStep = 3;  // frames 0, 3, ... 30
            w.frameCacheBytes = cache;
            w.WriteAnimatedMesh(node, 0);
        });
    };
    const WrittenObject o = write(size_t(1) << 20);
    // Corners that coincide at tick 0 part later: they keep their own vertices.
    const AnimatedObject& a = Animated(o);
    ASSERT_EQ(a.vertexCount, 6);
    // Outputs 2 and 3 are the corners at (1, 0, 0) of the first and the second
    // triangle; the morph moves only the second along host y (file z).
    EXPECT_EQ(a.Frame(0)[2].z, a.Frame(0)[3].z);
    EXPECT_EQ(a.Frame(10)[2].x, a.Frame(10)[3].x);
    EXPECT_NE(a.Frame(10)[2].z, a.Frame(10)[3].z);
    // Frames kept between the passes or evaluated again give the same bytes.
    EXPECT_EQ(write(0).bytes, o.bytes);
    EXPECT_EQ(write(200).bytes, o.bytes);
}

TEST(MeshWriters, StaticUsesTheDirectLayoutOnlyWhereTextureFacesFollowTheFaces) {
    // Three positions and three texture vertices, but position C carries the
    // texture vertex of A: texture vertex i does not belong to vertex i.
    TempDir dir;
    GltfBuilder b;
    GltfBuilder::Primitive p;
    p.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0};
    p.uvs = {0.1f, 0.1f, 0.9f, 0.1f, 0.1f, 0.1f, 0.5f, 0.9f};
    p.indices = {0, 1, 2, 3, 2, 1};
    b.AddNode("Seam", -1, b.AddMesh({p}));
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);
    INode* node = scene->FindNode("Seam");
    const Mesh& hm = static_cast<TriObject*>(node->EvalWorldState(0, TRUE).obj)->GetMesh();
    ASSERT_EQ(hm.numVerts, 3);
    ASSERT_EQ(hm.numTVerts, 3);
    const WrittenObject o =
        WriteObject(dir, false, 1, [&](TesselWriter& w) { w.WriteStaticMesh(node, 0); });
    const StaticObject& s = Static(o);
    EXPECT_EQ(s.vertexCount, 4);  // A carries two texture pairs
    // Each written corner has the position and texture pair of its glTF corner.
    const size_t corners[6] = {0, 2, 1, 3, 1, 2};
    for (size_t k = 0; k < 6; ++k) {
        const ModelVertex& v = s.vertices[s.indices[k]];
        EXPECT_EQ(v.x, p.positions[3 * corners[k]]);
        EXPECT_EQ(v.y, p.positions[3 * corners[k] + 1]);
        EXPECT_FLOAT_EQ(v.tu, p.uvs[2 * corners[k]]);
        EXPECT_FLOAT_EQ(v.tv, p.uvs[2 * corners[k] + 1]);
    }
}

// A mesh node moving along host x; a biped whose top node walks along host y.
GltfBuilder Walker() {
    GltfBuilder b;
    const int bip = b.AddNode("Bip01");
    b.AddNode("Bip01 Spine", bip);
    // Host y is glTF -z: the top node goes 0, 40, 40 along host y.
    b.Animate(bip, "translation", {0.0f, 1.0f / 30.0f, 2.0f / 30.0f},
              {0, 0, 0, 0, 0, -40, 0, 0, -40});
    const int flag = b.AddNode("Flag", -1, b.AddMesh({Triangle()}));
    b.Animate(flag, "translation", {0.0f, 1.0f}, {0, 0, 0, 30, 0, 0});
    return b;
}

TEST(MeshWriters, FrameBlocksFollowTheSampledFrames) {
    TempDir dir;
    auto scene = LoadBuilt(Walker(), dir);
    ASSERT_TRUE(scene);
    TesselExp exp;
    const std::string out = dir.File("walk.tsl");
    ASSERT_EQ(RunExport(*scene, exp, out, SaveAll("10", "20", "5", false)).result, 1);
    const TesselFileData data = ReadTessel(out);
    ASSERT_EQ(data.frameCount, 3);  // frames 10, 15, 20
    ASSERT_EQ(data.animateds.size(), 1u);
    const AnimatedObject& a = data.animateds[0];
    // The flag moves 30 units along x in 30 frames.
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(a.Frame(k)[0].x, 10.0f + 5.0f * k, 1e-4f) << k;
    EXPECT_EQ(Indices(a.indices), (std::vector<int32_t>{0, 1, 2}));  // layout from tick 0
}

TEST(MeshWriters, CentringTakesTheBipedsFrontBackPositionOff) {
    TempDir dir;
    auto scene = LoadBuilt(Walker(), dir);
    ASSERT_TRUE(scene);
    auto run = [&](bool centre) {
        TesselExp exp;
        const std::string out = dir.File(centre ? "c.tsl" : "n.tsl");
        EXPECT_EQ(RunExport(*scene, exp, out, SaveAll("0", "1", "1", centre)).result, 1);
        EXPECT_STREQ(exp.bipedRoot->GetName(), "Bip01");
        return ReadTessel(out).animateds.at(0);
    };
    const AnimatedObject on = run(true), off = run(false);
    ASSERT_EQ(on.frameCount, 2);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(on.Frame(0)[i].z, off.Frame(0)[i].z);  // root at y = 0
        EXPECT_NEAR(on.Frame(1)[i].z, off.Frame(1)[i].z - 40.0f, 1e-4f);
        EXPECT_EQ(on.Frame(1)[i].x, off.Frame(1)[i].x);
        EXPECT_EQ(on.Frame(1)[i].y, off.Frame(1)[i].y);
    }
}

TEST(MeshWriters, DegenerateFacesAndUnusedVerticesPointUp) {
    TempDir dir;
    GltfBuilder b;
    GltfBuilder::Primitive p;
    // A sloped triangle, and a triangle collapsed to a line whose far
    // corners belong to it alone.
    p.positions = {0, 0, 0, 1, 1, 0, 0, 0, -1, /* line */ 0, 0, 0, 5, 5, 5, 5, 5, 5};
    p.indices = {0, 1, 2, 3, 4, 5};
    b.AddNode("Odd", -1, b.AddMesh({p}));
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);
    auto* node = static_cast<HostNode*>(scene->FindNode("Odd"));
    // A vertex that no face uses.
    Mesh& rest = node->meshObject->rest;
    const int used = rest.numVerts;
    rest.setNumVerts(used + 1);
    rest.setVert(used, Point3(7.0f, 7.0f, 7.0f));
    const WrittenObject o =
        WriteObject(dir, false, 1, [&](TesselWriter& w) { w.WriteStaticMesh(node, 0); });
    const std::vector<ModelVertex>& v = Static(o).vertices;
    ASSERT_EQ(v.size(), static_cast<size_t>(used + 1));
    // The shared corner keeps the sloped face's normal; the line's own corner
    // and the unused vertex point up.
    EXPECT_NEAR(v[0].nx, v[1].nx, 1e-6f);
    EXPECT_NEAR(v[0].ny, v[1].ny, 1e-6f);
    EXPECT_LT(v[0].ny, 0.99f);
    for (size_t i : {static_cast<size_t>(used - 1), static_cast<size_t>(used)})
        EXPECT_EQ(Point3(v[i].nx, v[i].ny, v[i].nz), Point3(0.0f, 1.0f, 0.0f)) << i;
}

TEST(MeshWriters, ObjectsThatCannotBeWrittenGetAnEmptyPartAndAMessage) {
    TempDir dir;
    GltfBuilder b;
    b.AddNode("Crate", -1, b.AddMesh({GltfBuilder::Box()}));
    // A grid of 257 x 257 = 66,049 vertices.
    GltfBuilder::Primitive grid;
    const uint32_t n = 257;
    for (uint32_t y = 0; y < n; ++y)
        for (uint32_t x = 0; x < n; ++x)
            grid.positions.insert(grid.positions.end(), {float(x), 0.0f, float(y)});
    for (uint32_t i = 0; i + n + 1 < n * n; ++i)
        if ((i + 1) % n)
            grid.indices.insert(grid.indices.end(), {i, i + n, i + 1, i + 1, i + n, i + n + 1});
    b.AddNode("Terrain", -1, b.AddMesh({grid}));
    // A finite transform whose product with the corners overflows.
    b.NodeAt(b.AddNode("Huge", -1, b.AddMesh({Triangle()}))).scale = {3e38f, 3e38f, 3e38f};
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);
    // An object that is geometric but no triangle mesh.
    auto* crate = static_cast<HostNode*>(scene->FindNode("Crate"));
    crate->meshObject = nullptr;
    crate->object = std::make_unique<HostSimpleObject>(GEOMOBJECT_CLASS_ID, Class_ID(0x4E11, 0));

    RecordingHostUi ui;
    for (bool animated : {false, true})
        for (INode* node : std::initializer_list<INode*>{crate, scene->FindNode("Terrain"),
                                                         scene->FindNode("Huge")}) {
            SCOPED_TRACE(node->GetName());
            ui.messages.clear();
            const WrittenObject o = WriteObject(dir, animated, 2, [&](TesselWriter& w) {
                w.endTime = 160;  // two frames
                if (animated)
                    w.WriteAnimatedMesh(node, 0);
                else
                    w.WriteStaticMesh(node, 0);
            });
            EXPECT_EQ(o.bytes.size(), 16u + 8u);  // 0 vertices, 0 faces
            EXPECT_EQ(o.data.faceTotal, 0);
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_EQ(ui.messages[0].caption, "Export Message");
            EXPECT_NE(ui.messages[0].text.find(std::string("'") + node->GetName() + "'"),
                      std::string::npos);
            if (node == scene->FindNode("Huge")) {
                EXPECT_NE(ui.messages[0].text.find("유한한 값이 아닙니다"), std::string::npos)
                    << ui.messages[0].text;
            } else if (node != crate) {
                EXPECT_NE(ui.messages[0].text.find("66049"), std::string::npos)
                    << ui.messages[0].text;
                EXPECT_NE(ui.messages[0].text.find("--split-large"), std::string::npos)
                    << ui.messages[0].text;
            }
        }
}

// A terrain of 317 x 317 = 100,489 vertices, static and animated, split
// into records the viewer reads: every triangle of the mesh is written
// exactly once, with its corner order, positions and texture pairs; every
// copy of a vertex carries the normal of the whole mesh.
TEST(MeshWriters, SplitLargeWritesEveryTriangleOnceInRecordsTheViewerReads) {
    TempDir dir;
    const uint32_t n = 317;
    auto height = [](uint32_t x, uint32_t z) {
        return std::sin(0.3f * float(x)) + std::cos(0.2f * float(z));
    };
    GltfBuilder b;
    GltfBuilder::Primitive grid;
    grid.material = b.AddMaterial("Ground", "ground.bmp");
    for (uint32_t z = 0; z < n; ++z)
        for (uint32_t x = 0; x < n; ++x) {
            grid.positions.insert(grid.positions.end(), {float(x), height(x, z), float(z)});
            grid.uvs.insert(grid.uvs.end(),
                            {float(x) / 512, float(z) / 512});  // exact, also upside down
        }
    for (uint32_t i = 0; i + n + 1 < n * n; ++i)
        if ((i + 1) % n)
            grid.indices.insert(grid.indices.end(), {i, i + n, i + 1, i + 1, i + n, i + n + 1});
    const int mesh = b.AddMesh({grid});
    b.AddNode("Terrain", -1, mesh);
    const int flag = b.AddNode("Flag", -1, mesh);
    b.Animate(flag, "translation", {0, 1}, {0, 0, 0, 9, 0, 0});
    auto scene = LoadBuilt(b, dir, "terrain.glb");
    ASSERT_TRUE(scene);

    // Triangles as the file should hold them, each as its three corners
    // (file x, y, z, tu, tv) in written order, turned to start at its
    // smallest corner.
    using Corner = std::array<float, 5>;
    using Triangle = std::array<Corner, 3>;
    auto canonical = [](Triangle t) {
        const size_t first = static_cast<size_t>(std::min_element(t.begin(), t.end()) - t.begin());
        std::rotate(t.begin(), t.begin() + static_cast<long>(first), t.end());
        return t;
    };
    auto corner = [&](uint32_t v, float dx) {
        const uint32_t x = v % n, z = v / n;
        return Corner{float(x) + dx, height(x, z), -float(z), float(x) / 512, float(z) / 512};
    };
    // Records of one object at one frame: every triangle once, every copy of
    // a vertex with the same normal.
    auto check = [&](const auto& records, auto frameOf, float dx) {
        std::vector<Triangle> expected, found;
        for (size_t k = 0; k < grid.indices.size(); k += 3)
            expected.push_back(
                canonical({corner(grid.indices[k], dx), corner(grid.indices[k + 2], dx),
                           corner(grid.indices[k + 1], dx)}));
        std::vector<std::array<float, 3>> normals(size_t(n) * n);
        std::vector<bool> seen(normals.size(), false);
        for (const auto& o : records) {
            EXPECT_EQ(o.textureName, "ground.bmp");
            const ModelVertex* v = frameOf(o);
            for (size_t k = 0; k < o.indices.size(); k += 3) {
                Triangle t;
                for (size_t c = 0; c < 3; ++c) {
                    const ModelVertex& m = v[o.indices[k + c]];
                    t[c] = {m.x, m.y, m.z, m.tu, m.tv};
                    const size_t at =
                        size_t(std::lround(-m.z)) * n + size_t(std::lround(m.x - dx)) % n;
                    const std::array<float, 3> normal{m.nx, m.ny, m.nz};
                    if (seen[at] && normals[at] != normal)
                        ADD_FAILURE() << "two normals at " << m.x << ", " << m.z;
                    normals[at] = normal;
                    seen[at] = true;
                }
                found.push_back(canonical(t));
            }
        }
        std::sort(expected.begin(), expected.end());
        std::sort(found.begin(), found.end());
        EXPECT_TRUE(found == expected)
            << found.size() << " triangles written, " << expected.size() << " expected";
    };

    TesselExp exp;
    const std::string out = dir.File("terrain.tsl");
    const ExportRun run =
        RunExport(*scene, exp, out, SaveAll("0", "30", "30"), SCENE_EXPORT_SPLIT_LARGE);
    ASSERT_EQ(run.result, 1);
    EXPECT_TRUE(run.messages.empty());
    const TesselFileData data = ReadTessel(out);
    ASSERT_EQ(data.frameCount, 2);
    EXPECT_EQ(data.statics.size(), 2u);  // the header counts every record
    EXPECT_EQ(data.animateds.size(), 2u);
    check(
        data.statics, [](const StaticObject& o) { return o.vertices.data(); }, 0.0f);
    for (int32_t k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        check(
            data.animateds, [k](const AnimatedObject& o) { return o.Frame(k); }, 9.0f * float(k));
    }
}

}  // namespace
