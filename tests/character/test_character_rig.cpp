// Rigs built by the tests (glTF written into a temporary folder, read by the
// host): the file frame, bone matrices, triangle order, texture coordinates,
// frame ranges, materials and textures, object splitting, skeleton choice
// and the errors of the character import.
#include <QImage>
#include <filesystem>
#include <fstream>

#include "tests/character/CharacterTestKit.h"
#include "tests/character/RigScenes.h"
#include "tests/support/TgaWriter.h"

namespace fs = std::filesystem;

namespace {

std::unique_ptr<HostScene> Build(const GltfBuilder& b, const TempDir& dir,
                                 const std::string& name = "rig.gltf") {
    const std::string path = dir.File(name);
    EXPECT_TRUE(b.Write(path));
    return LoadHostScene(path);
}

CharacterExportOptions Into(const TempDir& dir) {
    CharacterExportOptions o;
    o.outDir = dir.File("out");
    return o;
}

std::string ExportError(HostScene& scene, const CharacterExportOptions& options) {
    CharacterExportResult result;
    std::string error;
    EXPECT_FALSE(ExportCharacter(scene, options, result, error));
    return error;
}

std::vector<int32_t> AllFrames(const CharacterExportResult& r) {
    std::vector<int32_t> f;
    for (int32_t k = 0; k < r.frameCount; ++k) f.push_back(k);
    return f;
}

TEST(RigImport, BonesAreTheHostsJointsInTheFilesYUpFrame) {
    TempDir dir;
    GltfBuilder b;
    AddLegRig(b);
    auto scene = Build(b, dir);
    ASSERT_TRUE(scene);
    CharacterExportResult r;
    ASSERT_TRUE(Export(*scene, Into(dir), r));
    EXPECT_EQ(r.boneNames, (std::vector<std::string>{"Hip", "Knee", "Foot"}));
    EXPECT_EQ(r.frameCount, 61);  // two seconds at 30 frames a second, both ends
    ViewerCharacter v;
    ASSERT_TRUE(v.Load(r, dir.File("out")));

    // glTF (x, y, z) is (x, y, -z) in the file. At one second the hip has
    // turned 90 degrees about y: its x axis points along glTF -z.
    ExpectNearPoint(BonePoint(v.biped, 0, 0, Point3(0.0f, 0.0f, 0.0f)), Point3(1.0f, 2.0f, -3.0f),
                    1e-5f);
    ExpectNearPoint(BonePoint(v.biped, 0, 30, Point3(1.0f, 0.0f, 0.0f)), Point3(1.0f, 2.0f, -2.0f),
                    1e-5f);
    ExpectNearPoint(BonePoint(v.biped, 0, 30, Point3(0.0f, 1.0f, 0.0f)), Point3(1.0f, 3.0f, -3.0f),
                    1e-5f);
    ExpectNearPoint(BonePoint(v.biped, 0, 30, Point3(0.0f, 0.0f, 1.0f)), Point3(0.0f, 2.0f, -3.0f),
                    1e-5f);
    // The foot hangs two below the hip at rest.
    ExpectNearPoint(BonePoint(v.biped, 2, 0, Point3(0.0f, 0.0f, 0.0f)), Point3(1.0f, 0.0f, -3.0f),
                    1e-5f);

    // The bone meshes: a double pyramid from the hip to the knee, a box on the foot.
    ASSERT_EQ(v.biped.bones[0].triangleCount, 8);
    float lowest = 0;
    for (const ModelVertex& p : v.biped.bones[0].bindVertices) lowest = std::min(lowest, p.y);
    EXPECT_NEAR(lowest, -1.0f, 1e-5f);
    EXPECT_EQ(v.biped.bones[2].triangleCount, 12);

    // The viewer's skinning is the host's for the vertices of one joint; the
    // blended box follows its stronger joint (the knee) only and so differs.
    const SkinComparison s = CompareSkinning(*scene, r, v, AllFrames(r));
    EXPECT_LE(s.worstSingle, 1e-5);
    EXPECT_GT(s.meanAll, 1e-3);
    const PartObject& leg = v.parts[0]->objects[0];
    v.parts[0]->Skin(v.biped, 0);
    int blended = 0;
    for (size_t j = 0; j < leg.skinnedVertices.size(); ++j) {
        if (Distance(leg.skinnedVertices[j], Point3(1.0f, 1.5f, -3.0f)) > 0.4f) continue;
        ++blended;
        EXPECT_EQ(leg.boneIndices[j], 1);
    }
    EXPECT_GT(blended, 0);
}

TEST(RigImport, TrianglesFaceOutwardsInTheViewersClockwiseOrder) {
    TempDir dir;
    GltfBuilder b;
    AddLegRig(b);
    auto scene = Build(b, dir);
    CharacterExportResult r;
    ASSERT_TRUE(Export(*scene, Into(dir), r));
    ViewerCharacter v;
    ASSERT_TRUE(v.Load(r, dir.File("out")));
    CharacterPart& part = *v.parts[0];
    part.Skin(v.biped, 0);
    // The foot's box, centred at glTF (1, 0, 3): file (1, 0, -3).
    const Point3 centre(1.0f, 0.0f, -3.0f);
    int footTriangles = 0;
    for (const PartObject& o : part.objects) {
        for (size_t t = 0; t + 2 < o.indices.size(); t += 3) {
            const ModelVertex& a = o.skinnedVertices[o.indices[t]];
            const ModelVertex& bb = o.skinnedVertices[o.indices[t + 1]];
            const ModelVertex& c = o.skinnedVertices[o.indices[t + 2]];
            const Point3 pa(a.x, a.y, a.z), pb(bb.x, bb.y, bb.z), pc(c.x, c.y, c.z);
            const Point3 mid = (pa + pb + pc) / 3.0f;
            if ((mid - centre).Length() > 0.4f) continue;
            ++footTriangles;
            // Clockwise seen from outside in the left-handed file frame: the
            // cross product of the edges points outwards.
            EXPECT_GT(DotProd(CrossProd(pb - pa, pc - pa), mid - centre), 0.0f);
            for (const ModelVertex* x : {&a, &bb, &c})
                EXPECT_GT(DotProd(Point3(x->nx, x->ny, x->nz), Point3(x->x, x->y, x->z) - centre),
                          0.0f);
        }
    }
    EXPECT_EQ(footTriangles, 12);

    // Texture v: glTF and the viewer count it from the top of the image, the
    // host (as the 3D package) from the bottom, and the import flips it back.
    // The box side facing glTF +x has its (0, 0) corner at glTF (+h, +h, -h)
    // from the centre, file (+h, +h, +h), and its (0, 1) corner at file (+h, -h, +h).
    auto hasCorner = [&](const Point3& at, float tu, float tv) {
        for (const PartObject& o : part.objects)
            for (const ModelVertex& x : o.skinnedVertices)
                if (Distance(x, at) < 1e-5f && x.tu == tu && x.tv == tv) return true;
        return false;
    };
    EXPECT_TRUE(hasCorner(centre + Point3(0.25f, 0.25f, 0.25f), 0.0f, 0.0f));
    EXPECT_TRUE(hasCorner(centre + Point3(0.25f, -0.25f, 0.25f), 0.0f, 1.0f));
}

TEST(RigImport, FrameRangeStepAndScale) {
    TempDir dir;
    GltfBuilder b;
    AddLegRig(b);
    auto scene = Build(b, dir);
    CharacterExportOptions o = Into(dir);
    o.startFrame = 10;
    o.endFrame = 20;
    o.frameStep = 5;
    o.scale = 2.0;
    CharacterExportResult r;
    ASSERT_TRUE(Export(*scene, o, r));
    EXPECT_EQ(r.frameCount, 3);
    EXPECT_EQ(r.sampleTicks, (std::vector<TimeValue>{1600, 2400, 3200}));
    ViewerCharacter v;
    ASSERT_TRUE(v.Load(r, o.outDir));
    ASSERT_EQ(v.biped.frameCount, 3);
    HostNode* knee = scene->FindNode("Knee");
    for (int k = 0; k < 3; ++k)
        ExpectNearPoint(
            BonePoint(v.biped, 1, k, Point3(0.0f, 0.5f, 0.0f)),
            FilePoint(Point3(0.0f, 0.0f, 0.5f) * knee->GetNodeTM(r.sampleTicks[size_t(k)]), 2.0),
            1e-5f);
    EXPECT_LE(CompareSkinning(*scene, r, v, {0, 1, 2}).worstSingle, 2e-5);

    // Scaled to a height: the leg spans 2.5 units at rest (boxes of half size 0.25).
    o = Into(dir);
    o.height = 20.0;
    ASSERT_TRUE(Export(*scene, o, r));
    EXPECT_NEAR(r.scale, 8.0, 1e-4);
    EXPECT_NEAR(r.height, 20.0, 1e-3);

    o = Into(dir);
    o.startFrame = 5;
    o.endFrame = 4;
    EXPECT_NE(ExportError(*scene, o).find("frame range 5 to 4 is empty"), std::string::npos);
    o = Into(dir);
    o.frameStep = 0;
    EXPECT_NE(ExportError(*scene, o).find("at least 1"), std::string::npos);
    o = Into(dir);
    o.endFrame = 200000000;
    EXPECT_NE(ExportError(*scene, o).find("outside the scene's time"), std::string::npos);
}

TEST(RigImport, ObjectsPerMaterialWithTexturesTheViewerReads) {
    TempDir dir;
    // Textures: a PNG, a JPEG, a BMP, a 24-bit TGA and a grey TGA (a kind the
    // viewer does not read), all beside the scene; one missing.
    QImage png(4, 2, QImage::Format_ARGB32);
    png.fill(qRgba(10, 200, 30, 128));
    png.setPixel(0, 0, qRgba(255, 0, 0, 255));
    ASSERT_TRUE(png.save(QString::fromStdString(dir.File("skin.png"))));
    QImage jpg(16, 16, QImage::Format_RGB32);
    jpg.fill(qRgb(200, 200, 200));
    ASSERT_TRUE(jpg.save(QString::fromStdString(dir.File("cloth.jpg")), "JPG"));
    ASSERT_TRUE(jpg.save(QString::fromStdString(dir.File("metal.bmp")), "BMP"));
    const std::vector<uint8_t> tga = EncodeTga(2, 1, {0xFF0000FFu, 0x0000FFFFu}, TgaLayout{});
    std::ofstream(dir.File("wood.tga"), std::ios::binary)
        .write(reinterpret_cast<const char*>(tga.data()), std::streamsize(tga.size()));
    const uint8_t grey[] = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0x20, 0x40, 0xC0};
    std::ofstream(dir.File("stone.tga"), std::ios::binary)
        .write(reinterpret_cast<const char*>(grey), sizeof grey);

    GltfBuilder b;
    const int skin = b.AddMaterial("skin", "skin.png");
    const int cloth = b.AddMaterial("cloth", "cloth.jpg");
    const LegRig r = AddLegRig(b, "", skin, cloth);
    // More boxes on the foot with the other materials.
    GltfBuilder::Primitive metal =
        SkinnedBox(0.1f, 1, 0, 2, 2, b.AddMaterial("metal", "metal.bmp"));
    GltfBuilder::Primitive wood = SkinnedBox(0.1f, 1, 0, 4, 2, b.AddMaterial("wood", "wood.tga"));
    GltfBuilder::Primitive stone =
        SkinnedBox(0.1f, 2, 0, 3, 2, b.AddMaterial("stone", "stone.tga"));
    GltfBuilder::Primitive lost =
        SkinnedBox(0.1f, 0, 0, 3, 2, b.AddMaterial("lost", "missing.png"));
    const int extra = b.AddMesh({metal, wood, stone, lost});
    const int boots = b.AddNode("Boots", -1, extra);
    b.NodeAt(boots).skin = b.NodeAt(r.mesh).skin;
    auto scene = Build(b, dir);
    ASSERT_TRUE(scene);

    CharacterExportResult res;
    ASSERT_TRUE(Export(*scene, Into(dir), res));
    ASSERT_EQ(res.parts.size(), 2u);
    std::vector<std::string> names;
    for (const ExportedPart& p : res.parts)
        for (const ExportedObject& o : p.objects) names.push_back(o.textureName);
    EXPECT_EQ(names, (std::vector<std::string>{"rig_skin.tga", "rig_cloth.tga", "rig_metal.bmp",
                                               "rig_wood.tga", "rig_stone.tga", ""}));
    bool noted = false;
    for (const std::string& n : res.notes)
        noted = noted || n.find("missing.png") != std::string::npos;
    EXPECT_TRUE(noted);

    ViewerCharacter v;
    ASSERT_TRUE(v.Load(res, dir.File("out")));
    EXPECT_TRUE(v.ui.messages.empty());
    auto entry = [&](const std::string& name) {
        const int32_t i = v.textures.IndexOf(name);
        EXPECT_GE(i, 0) << name;
        return i >= 0 ? v.textures.Entry(i) : nullptr;
    };
    const TextureEntry* s = entry("rig_skin.tga");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->width, 4u);
    EXPECT_TRUE(s->hasAlpha);
    EXPECT_EQ(s->pixels[0], 0xFF0000FFu);
    EXPECT_EQ(s->pixels[5], 0x0AC81E80u);
    const TextureEntry* st = entry("rig_stone.tga");
    ASSERT_TRUE(st);
    EXPECT_EQ(st->pixels, (std::vector<uint32_t>{0x404040FFu, 0xC0C0C0FFu}));
    ASSERT_TRUE(entry("rig_cloth.tga"));
    ASSERT_TRUE(entry("rig_metal.bmp"));
    // Files the viewer reads as they are are copied byte for byte.
    std::ifstream copied(dir.File("out/textr/rig_wood.tga"), std::ios::binary);
    EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(copied), {}), tga);
    // Every object but the one with the missing texture draws textured.
    int textured = 0;
    for (const auto& p : v.parts)
        for (const PartObject& o : p->objects) textured += o.textureIndex >= 0;
    EXPECT_EQ(textured, 5);
}

TEST(RigImport, TextureNamesFitTheViewerAndNeverClash) {
    TempDir dir;
    // Two sources that would both become the same TGA, with names too long for the viewer.
    const std::string longName(100, 'w');
    QImage img(1, 1, QImage::Format_RGB32);
    img.fill(qRgb(1, 2, 3));
    ASSERT_TRUE(img.save(QString::fromStdString(dir.File(longName + ".png"))));
    img.fill(qRgb(200, 100, 50));
    ASSERT_TRUE(img.save(QString::fromStdString(dir.File(longName + ".jpg")), "JPG"));
    GltfBuilder b;
    AddLegRig(b, "", b.AddMaterial("one", longName + ".png"),
              b.AddMaterial("two", longName + ".jpg"));
    auto scene = Build(b, dir);
    CharacterExportResult r;
    ASSERT_TRUE(Export(*scene, Into(dir), r));
    ASSERT_EQ(r.textures.size(), 2u);
    EXPECT_EQ(r.textures[0].name, "rig_" + std::string(71, 'w') + ".tga");
    EXPECT_EQ(r.textures[1].name, "rig_" + std::string(69, 'w') + "_2.tga");
    ViewerCharacter v;
    ASSERT_TRUE(v.Load(r, dir.File("out")));
    const TextureEntry* first = v.textures.Entry(v.textures.IndexOf(r.textures[0].name));
    const TextureEntry* second = v.textures.Entry(v.textures.IndexOf(r.textures[1].name));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->pixels[0], 0x010203FFu);
    EXPECT_NEAR(double(second->pixels[0] >> 24), 200.0, 8.0);
}

TEST(RigImport, LargeMeshSplitsIntoObjectsTheViewerCanIndex) {
    TempDir dir;
    // A 300 x 300 grid of points (90,000 vertices) skinned to one joint.
    GltfBuilder::Primitive grid;
    const int n = 300;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            grid.positions.insert(grid.positions.end(), {x * 0.01f, y * 0.01f, 0.0f});
            grid.uvs.insert(grid.uvs.end(), {x / float(n), y / float(n)});
            grid.joints.insert(grid.joints.end(), {0, 0, 0, 0});
            grid.weights.insert(grid.weights.end(), {1, 0, 0, 0});
        }
    for (int y = 0; y + 1 < n; ++y)
        for (int x = 0; x + 1 < n; ++x) {
            const uint32_t i = uint32_t(y * n + x);
            grid.indices.insert(grid.indices.end(), {i, i + 1, i + uint32_t(n), i + 1,
                                                     i + uint32_t(n) + 1, i + uint32_t(n)});
        }
    GltfBuilder b;
    const int joint = b.AddNode("Root");
    b.Animate(joint, "translation", {0, 1}, {0, 0, 0, 0, 1, 0});
    const int mesh = b.AddNode("Sheet", -1, b.AddMesh({grid}));
    b.NodeAt(mesh).skin = b.AddSkin({joint}, InverseBindAt(0, 0, 0));
    auto scene = Build(b, dir);
    ASSERT_TRUE(scene);
    CharacterExportResult r;
    ASSERT_TRUE(Export(*scene, Into(dir), r));
    ASSERT_EQ(r.parts.size(), 1u);
    const ExportedPart& p = r.parts[0];
    ASSERT_GE(p.objects.size(), 2u);
    int64_t faces = 0, vertices = 0;
    for (const ExportedObject& o : p.objects) {
        EXPECT_LE(o.vertexCount, 65536);
        faces += o.faceCount;
        vertices += o.vertexCount;
    }
    EXPECT_EQ(faces, 2 * (n - 1) * (n - 1));
    EXPECT_GE(vertices, n * n);
    ViewerCharacter v;
    ASSERT_TRUE(v.Load(r, dir.File("out")));
    EXPECT_LE(CompareSkinning(*scene, r, v, {0, r.frameCount - 1}).worstSingle, 1e-5);
}

TEST(RigImport, SkeletonChoiceRigidPartsAndErrors) {
    TempDir dir;
    GltfBuilder b;
    AddLegRig(b, "A");
    const LegRig second = AddLegRig(b, "B");
    // A rigid sword held by the second rig's foot.
    const int sword = b.AddNode("Sword", second.foot, b.AddMesh({GltfBuilder::Box(0.1f)}));
    b.NodeAt(sword).translation = {0.5f, 0, 0};
    const int crate = b.AddNode("Crate", -1, b.AddMesh({GltfBuilder::Box(0.5f)}));
    b.NodeAt(crate).translation = {9, 0, 0};
    auto scene = Build(b, dir);
    ASSERT_TRUE(scene);

    const SceneCharacters found = FindCharacters(*scene);
    ASSERT_EQ(found.skeletons.size(), 2u);
    EXPECT_EQ(found.skeletons[0].root->name, "AHip");
    EXPECT_EQ(found.skeletons[1].root->name, "BHip");

    // By default the first skeleton with its skinned mesh; the other is left out with a note.
    CharacterExportResult r;
    ASSERT_TRUE(Export(*scene, Into(dir), r));
    EXPECT_EQ(r.skeletonName, "AHip");
    ASSERT_EQ(r.parts.size(), 1u);
    EXPECT_EQ(r.parts[0].meshName, "ALeg");
    EXPECT_EQ(fs::path(r.bipedFile).filename(), "rig_AHip.bpd");
    EXPECT_EQ(fs::path(r.parts[0].file).filename(), "rig_ALeg.mrv");
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_NE(r.notes[0].find("'BLeg' is skinned to skeleton 'BHip'"), std::string::npos);

    // The second skeleton, with its leg and the rigid sword as named parts.
    CharacterExportOptions o = Into(dir);
    o.skeleton = "BKnee";  // any bone names its skeleton
    o.parts = {{"BLeg", "legs"}, {"Sword", "weapon.mrv"}};
    ASSERT_TRUE(Export(*scene, o, r));
    EXPECT_EQ(r.skeletonName, "BHip");
    ASSERT_EQ(r.parts.size(), 2u);
    EXPECT_EQ(fs::path(r.parts[0].file).filename(), "legs.mrv");
    EXPECT_EQ(fs::path(r.parts[1].file).filename(), "weapon.mrv");
    for (int16_t bone : r.parts[1].objects[0].bones) EXPECT_EQ(bone, 2);  // BFoot
    ViewerCharacter v;
    ASSERT_TRUE(v.Load(r, o.outDir));
    EXPECT_LE(CompareSkinning(*scene, r, v, AllFrames(r)).worstSingle, 1e-5);

    o.skeleton = "AHip";
    EXPECT_NE(ExportError(*scene, o).find(
                  "mesh 'BLeg' is skinned to skeleton 'BHip', not to the chosen skeleton 'AHip'"),
              std::string::npos);
    o = Into(dir);
    o.skeleton = "Nobody";
    EXPECT_NE(ExportError(*scene, o).find("no skeleton named 'Nobody'"), std::string::npos);
    o = Into(dir);
    o.parts = {{"Crate", "box"}};
    EXPECT_NE(ExportError(*scene, o).find("'Crate' in '" + scene->Path() +
                                          "' is neither skinned nor below a bone"),
              std::string::npos);
    o.parts = {{"Barrel", "box"}};
    EXPECT_NE(ExportError(*scene, o).find("no mesh named 'Barrel'"), std::string::npos);
    o.parts = {{"ALeg", "../up"}};
    EXPECT_NE(ExportError(*scene, o).find("must be a bare file name"), std::string::npos);

    GltfBuilder still;
    still.AddNode("Crate", -1, still.AddMesh({GltfBuilder::Box(0.5f)}));
    auto crateScene = Build(still, dir, "crate.gltf");
    EXPECT_NE(ExportError(*crateScene, Into(dir)).find("has no skeleton"), std::string::npos);
}

TEST(RigImport, AFileThatCannotBeWrittenIsReportedAndNoTemporaryFileStays) {
    TempDir dir;
    GltfBuilder b;
    AddLegRig(b);
    auto scene = Build(b, dir);
    CharacterExportOptions o = Into(dir);
    // The biped's name is taken by a folder.
    fs::create_directories(fs::path(o.outDir) / "rig.bpd" / "x");
    CharacterExportResult r;
    std::string error;
    EXPECT_FALSE(ExportCharacter(*scene, o, r, error));
    EXPECT_NE(error.find("cannot write '" + o.outDir + "/rig.bpd'"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(fs::path(o.outDir) / "rig.bpd" / "x"));
    for (const auto& e : fs::directory_iterator(o.outDir))
        EXPECT_EQ(e.path().string().find(".part-"), std::string::npos) << e.path();
}

}  // namespace
