// Mesh parts: the file's y-up frame, corner order and mirroring, normals,
// texture v, direct and split layouts, vertex blocks per sampled frame,
// centring on the biped, and the empty parts of objects that cannot be
// written.
#include <gtest/gtest.h>

#include <cmath>

#include "ExportFixtures.h"
#include "HostMaterials.h"

namespace {

// The worked example of the format: one triangle, host corners (0,0,0),
// (10,0,0), (0,10,0), no material, no texture coordinates.
GltfBuilder WorkedExample() {
    GltfBuilder b;
    GltfBuilder::Primitive p;
    p.positions = {0, 0, 0, 10, 0, 0, 0, 0, -10};  // glTF y up: host (x, -z, y)
    p.indices = {0, 1, 2};
    b.AddNode("Tri", -1, b.AddMesh({p}));
    return b;
}

std::vector<uint8_t> Expected132() {
    std::vector<uint8_t> e;
    auto i32 = [&](int32_t v) {
        for (int k = 0; k < 4; ++k) e.push_back(static_cast<uint8_t>((static_cast<uint32_t>(v) >> (8 * k)) & 0xFF));
    };
    auto f32 = [&](float f) {
        uint32_t b;
        std::memcpy(&b, &f, 4);
        i32(static_cast<int32_t>(b));
    };
    i32(1);  // frameCount
    i32(1);  // staticCount
    i32(0);  // animatedCount
    i32(0);  // nameLength
    i32(3);  // vertexCount
    const float v[3][3] = {{0, 0, 0}, {10, 0, 0}, {0, 0, 10}};
    for (const auto& p : v) {
        for (float c : p) f32(c);
        f32(0), f32(1), f32(0), f32(0), f32(0);
    }
    i32(1);
    i32(0), i32(2), i32(1);
    return e;
}

TEST(MeshWriters, WorkedExampleByteForByte) {
    TempDir dir;
    auto scene = LoadBuilt(WorkedExample(), dir);
    ASSERT_TRUE(scene);
    TesselExp exp;
    const std::string out = dir.File("tri.tsl");
    const ExportRun run = RunExport(*scene, exp, out, SaveAll());
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(run.messages.empty());
    const std::vector<uint8_t> bytes = ReadBytes(out);
    ASSERT_EQ(bytes.size(), 132u);
    EXPECT_EQ(bytes, Expected132());
}

// Normal of a written face by the file's rule: seen from the side its normal
// points to, the corners run clockwise (left-handed frame).
Point3 FileFaceNormal(const TesselVertex& a, const TesselVertex& b, const TesselVertex& c) {
    const Point3 pa(a.x, a.y, a.z), pb(b.x, b.y, b.z), pc(c.x, c.y, c.z);
    return CrossProd(pb - pa, pc - pa);
}

TEST(MeshWriters, CornerOrderFollowsMirroring) {
    TempDir dir;
    GltfBuilder b;
    GltfBuilder::Primitive p;
    p.positions = {0, 0, 0, 10, 0, 0, 0, 0, -10};
    p.indices = {0, 1, 2};
    const int mesh = b.AddMesh({p});
    b.AddNode("Plain", -1, mesh);
    const int mirrored = b.AddNode("Mirrored", -1, mesh);
    b.NodeAt(mirrored).scale = {-1, 1, 1};
    const int flat = b.AddNode("Flattened", -1, mesh);
    b.NodeAt(flat).scale = {1, -2, 1};  // mirrored on the host's z axis
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);

    EXPECT_FALSE(IsMirrored(scene->FindNode("Plain")->GetObjTMAfterWSM(0)));
    EXPECT_TRUE(IsMirrored(scene->FindNode("Mirrored")->GetObjTMAfterWSM(0)));
    EXPECT_TRUE(IsMirrored(scene->FindNode("Flattened")->GetObjTMAfterWSM(0)));

    for (const char* name : {"Plain", "Mirrored", "Flattened"}) {
        SCOPED_TRACE(name);
        INode* node = scene->FindNode(name);
        const auto bytes = WriteWith(dir, [&](TesselWriter& w) { w.WriteStaticMesh(node, 0); });
        FieldReader r(bytes);
        const MeshPart m = ReadMeshPart(r);
        EXPECT_TRUE(r.AtEnd());
        ASSERT_EQ(m.vertexCount, 3);
        const std::vector<int32_t> expected =
            std::string(name) == "Plain" ? std::vector<int32_t>{0, 2, 1} : std::vector<int32_t>{2, 0, 1};
        EXPECT_EQ(m.indices, expected);
        // The stored normals point out of the visible side.
        const auto& v = m.blocks[0];
        const Point3 face = FileFaceNormal(v[static_cast<size_t>(m.indices[0])], v[static_cast<size_t>(m.indices[1])],
                                           v[static_cast<size_t>(m.indices[2])]);
        for (const TesselVertex& x : v) {
            EXPECT_GT(DotProd(face, Point3(x.nx, x.ny, x.nz)), 0.0f);
            EXPECT_NEAR(Point3(x.nx, x.ny, x.nz).Length(), 1.0f, 1e-6f);
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
    ASSERT_EQ(hostMesh.numVerts, 3);
    ExpectNear(hostMesh.verts[0], Point3(1.0f, 2.0f, 3.0f), 0.0f);
    ExpectNear(hostMesh.tVerts[0], Point3(0.25f, 0.25f, 0.0f), 0.0f);

    for (bool animated : {false, true}) {
        const auto bytes = WriteWith(dir, [&](TesselWriter& w) {
            if (animated) w.WriteAnimatedMesh(node, 0);
            else w.WriteStaticMesh(node, 0);
        });
        FieldReader r(bytes);
        const MeshPart m = ReadMeshPart(r);
        ASSERT_EQ(m.vertexCount, 3);
        const TesselVertex& v = m.blocks[0][0];
        EXPECT_EQ(v.x, 1.0f);
        EXPECT_EQ(v.y, 3.0f);
        EXPECT_EQ(v.z, 2.0f);
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
    auto bytes = WriteWith(dir, [&](TesselWriter& w) { w.WriteStaticMesh(node, 0); });
    FieldReader rs(bytes);
    const MeshPart s = ReadMeshPart(rs);
    EXPECT_EQ(s.vertexCount, 6);
    EXPECT_EQ(s.indices, (std::vector<int32_t>{0, 2, 1, 3, 5, 4}));
    for (const TesselVertex& v : s.blocks[0]) EXPECT_TRUE(v.tu == 0.0f && v.tv == 0.0f);

    // Animated: equal positions share one vertex, first occurrence first.
    bytes = WriteWith(dir, [&](TesselWriter& w) { w.WriteAnimatedMesh(node, 0); });
    FieldReader ra(bytes);
    const MeshPart a = ReadMeshPart(ra);
    EXPECT_TRUE(ra.AtEnd());
    EXPECT_EQ(a.vertexCount, 4);
    EXPECT_EQ(a.indices, (std::vector<int32_t>{0, 1, 2, 2, 1, 3}));
}

TEST(MeshWriters, AnimatedMergesOnlyWhatStaysTogetherInEveryFrame) {
    TempDir dir;
    auto scene = LoadBuilt(CoincidentCorners(true), dir);
    ASSERT_TRUE(scene);
    INode* node = scene->FindNode("Strip");
    const auto bytes = WriteWith(dir, [&](TesselWriter& w) {
        w.startTime = 0;
        w.endTime = 4800;
        w.frameStep = 15;  // frames 0, 15, 30
        w.WriteAnimatedMesh(node, 0);
    });
    FieldReader r(bytes);
    const MeshPart m = ReadMeshPart(r, 3);
    EXPECT_TRUE(r.AtEnd());
    // Corners that coincide at tick 0 part later: they keep their own vertices.
    ASSERT_EQ(m.vertexCount, 6);
    // Outputs 2 and 3 are the two corners at (1, 0, 0) of the first and the
    // second triangle; the morph moves only the second along host y (file z).
    const auto& last = m.blocks[2];
    EXPECT_EQ(last[2].x, last[3].x);
    EXPECT_NE(last[2].z, last[3].z);
    EXPECT_EQ(m.blocks[0][2].z, m.blocks[0][3].z);
    // Every corner still names a vertex with its own position in every frame.
    for (int f = 0; f < 3; ++f)
        for (size_t k = 0; k < m.indices.size(); ++k) ASSERT_LT(m.indices[k], m.vertexCount);
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

    const auto bytes = WriteWith(dir, [&](TesselWriter& w) { w.WriteStaticMesh(node, 0); });
    FieldReader r(bytes);
    const MeshPart m = ReadMeshPart(r);
    EXPECT_EQ(m.vertexCount, 4);  // A carries two texture pairs
    // Each written corner has the position and texture pair of its glTF corner.
    const int written[2][3] = {{0, 2, 1}, {3, 1, 2}};
    for (int f = 0; f < 2; ++f)
        for (int c = 0; c < 3; ++c) {
            const int g = written[f][c];
            const TesselVertex& v = m.blocks[0][static_cast<size_t>(m.indices[static_cast<size_t>(3 * f + c)])];
            EXPECT_EQ(v.x, p.positions[static_cast<size_t>(3 * g)]);
            EXPECT_EQ(v.y, p.positions[static_cast<size_t>(3 * g + 1)]);
            EXPECT_FLOAT_EQ(v.tu, p.uvs[static_cast<size_t>(2 * g)]);
            EXPECT_FLOAT_EQ(v.tv, p.uvs[static_cast<size_t>(2 * g + 1)]);
        }
}

// A mesh node moving along host x; a biped whose top node walks along host y.
GltfBuilder Walker() {
    GltfBuilder b;
    const int bip = b.AddNode("Bip01");
    b.AddNode("Bip01 Spine", bip);
    // Host y is glTF -z: the top node goes 0, 40, 40 along host y.
    b.Animate(bip, "translation", {0.0f, 1.0f / 30.0f, 2.0f / 30.0f}, {0, 0, 0, 0, 0, -40, 0, 0, -40});
    GltfBuilder::Primitive p;
    p.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    p.indices = {0, 1, 2};
    const int flag = b.AddNode("Flag", -1, b.AddMesh({p}));
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
    const auto bytes = ReadBytes(out);
    FieldReader r(bytes);
    EXPECT_EQ(r.Int(), 3);  // frames 10, 15, 20
    EXPECT_EQ(r.Int(), 0);
    EXPECT_EQ(r.Int(), 1);
    EXPECT_EQ(r.Int(), 0);  // no texture
    const MeshPart m = ReadMeshPart(r, 3);
    EXPECT_TRUE(r.AtEnd());
    ASSERT_EQ(m.vertexCount, 3);
    // The flag moves 30 units along x in 30 frames.
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(m.blocks[static_cast<size_t>(k)][0].x, 10.0f + 5.0f * k, 1e-4f) << k;
    EXPECT_EQ(m.indices, (std::vector<int32_t>{0, 1, 2}));  // layout from tick 0
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
        EXPECT_EQ(exp.centreOnBiped, centre ? TRUE : FALSE);
        const auto bytes = ReadBytes(out);
        FieldReader r(bytes);
        EXPECT_EQ(r.Int(), 2);
        r.Int(), r.Int(), r.Int();
        return ReadMeshPart(r, 2);
    };
    const MeshPart on = run(true), off = run(false);
    ASSERT_EQ(on.vertexCount, 3);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(on.blocks[0][i].z, off.blocks[0][i].z);  // root at y = 0
        EXPECT_NEAR(on.blocks[1][i].z, off.blocks[1][i].z - 40.0f, 1e-4f);
        EXPECT_EQ(on.blocks[1][i].x, off.blocks[1][i].x);
        EXPECT_EQ(on.blocks[1][i].y, off.blocks[1][i].y);
    }
}

TEST(MeshWriters, FramesKeptOrEvaluatedAgainGiveTheSameBytes) {
    TempDir dir;
    auto scene = LoadBuilt(CoincidentCorners(true), dir);
    ASSERT_TRUE(scene);
    INode* node = scene->FindNode("Strip");
    auto write = [&](size_t cache) {
        return WriteWith(dir, [&](TesselWriter& w) {
            w.endTime = 4800;
            w.frameStep = 3;
            w.frameCacheBytes = cache;
            w.WriteAnimatedMesh(node, 0);
        });
    };
    const auto kept = write(size_t(1) << 20);
    EXPECT_EQ(kept, write(0));
    EXPECT_EQ(kept, write(200));  // some frames kept, the rest evaluated again
    EXPECT_EQ(kept.size(), 4 + 11 * 6 * 32 + 4 + 2 * 12u);
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
    const auto bytes = WriteWith(dir, [&](TesselWriter& w) { w.WriteStaticMesh(node, 0); });
    FieldReader r(bytes);
    const MeshPart m = ReadMeshPart(r);
    ASSERT_EQ(m.vertexCount, used + 1);
    const auto& v = m.blocks[0];
    // The shared corner keeps the sloped face's normal; the line's own corner
    // and the unused vertex point up.
    EXPECT_NEAR(v[0].nx, v[1].nx, 1e-6f);
    EXPECT_NEAR(v[0].ny, v[1].ny, 1e-6f);
    EXPECT_LT(v[0].ny, 0.99f);
    const TesselVertex& lineEnd = v[static_cast<size_t>(used - 1)];
    EXPECT_EQ(lineEnd.nx, 0.0f);
    EXPECT_EQ(lineEnd.ny, 1.0f);
    EXPECT_EQ(lineEnd.nz, 0.0f);
    EXPECT_EQ(v[static_cast<size_t>(used)].ny, 1.0f);
    for (const TesselVertex& x : v) EXPECT_TRUE(std::isfinite(x.nx) && std::isfinite(x.ny) && std::isfinite(x.nz));
}

TEST(MeshWriters, ObjectsThatCannotBeWrittenGetAnEmptyPartAndAMessage) {
    TempDir dir;
    GltfBuilder b;
    b.AddNode("Crate", -1, b.AddMesh({GltfBuilder::Box()}));
    // A grid of 257 x 257 = 66,049 vertices.
    GltfBuilder::Primitive grid;
    const int n = 257;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) grid.positions.insert(grid.positions.end(), {float(x), 0.0f, float(y)});
    for (int y = 0; y + 1 < n; ++y)
        for (int x = 0; x + 1 < n; ++x) {
            const uint32_t i = static_cast<uint32_t>(y * n + x);
            grid.indices.insert(grid.indices.end(), {i, i + n, i + 1, i + 1, i + n, i + n + 1});
        }
    b.AddNode("Terrain", -1, b.AddMesh({grid}));
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);

    // An object that is geometric but no triangle mesh.
    auto* crate = static_cast<HostNode*>(scene->FindNode("Crate"));
    crate->meshObject = nullptr;
    crate->object = std::make_unique<HostSimpleObject>(GEOMOBJECT_CLASS_ID, Class_ID(0x4E11, 0));
    INode* terrain = scene->FindNode("Terrain");

    RecordingHostUi ui;
    for (bool animated : {false, true}) {
        for (INode* node : {static_cast<INode*>(crate), terrain}) {
            ui.messages.clear();
            const auto bytes = WriteWith(dir, [&](TesselWriter& w) {
                w.endTime = 160;  // two frames
                if (animated) w.WriteAnimatedMesh(node, 0);
                else w.WriteStaticMesh(node, 0);
            });
            EXPECT_EQ(bytes, std::vector<uint8_t>(8, 0)) << node->GetName();
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_EQ(ui.messages[0].caption, "Export Message");
            EXPECT_NE(ui.messages[0].text.find(std::string("'") + node->GetName() + "'"), std::string::npos);
            if (node == terrain) {
                EXPECT_NE(ui.messages[0].text.find("66049"), std::string::npos) << ui.messages[0].text;
            }
        }
    }
}

}  // namespace
