// The character-export program as a user runs it, and its output shown by
// the viewer's headless snapshot.
#include <QImage>
#include <array>
#include <cstdio>
#include <filesystem>

#include "tests/character/CharacterTestKit.h"
#include "tests/character/RigScenes.h"
#include "tests/support/ProgramRun.h"

namespace fs = std::filesystem;

namespace {

ProgramRun CharacterExport(const std::string& args) {
    return RunProgram("character-export", args);
}

TEST(CharacterProgram, HelpAndUsageErrors) {
    ProgramRun r = CharacterExport("--help");
    EXPECT_EQ(r.status, 0);
    for (const char* option :
         {"usage: character-export SCENE OUTDIR", "--list", "--start N, --end N", "--step N",
          "--skeleton NAME", "--part MESH=NAME", "--height H"})
        EXPECT_TRUE(Has(r, option)) << option;

    const std::pair<const char*, const char*> bad[] = {
        {"", "no scene file given"},
        {"scene.gltf", "no output folder given"},
        {"scene.gltf out --step 0", "--step must be at least 1"},
        {"scene.gltf out --start ten", "--start needs a whole number, not 'ten'"},
        {"scene.gltf out --part body", "--part needs MESH=NAME, not 'body'"},
        {"scene.gltf out --scale 2 --height 18", "--scale and --height exclude each other"},
        {"scene.gltf out --height -1", "--height needs a positive number"},
        {"scene.gltf out --frobnicate", "unknown option --frobnicate"},
        {"scene.gltf out --skeleton", "--skeleton needs a value"},
    };
    for (const auto& [args, message] : bad) {
        r = CharacterExport(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(Has(r, std::string("character-export: ") + message)) << args << "\n" << r.out;
    }
    // The import limits are checked as tessel-export checks them.
    for (const char* limit :
         {"TESSEL_IMPORT_TIME_LIMIT='abc'", "TESSEL_IMPORT_MEMORY_LIMIT='-3'"}) {
        r = RunCommand(std::string(limit) + " " + BIN_DIR + "/character-export scene.gltf out");
        EXPECT_EQ(r.status, 2) << limit;
        EXPECT_TRUE(Has(r, std::string("character-export: ") + limit + " is not a positive number"))
            << r.out;
    }
}

TEST(CharacterProgram, ListsSkeletonsAndMeshes) {
    TempDir dir;
    GltfBuilder b;
    AddLegRig(b, "A", b.AddMaterial("skin", "skin.png"));
    const LegRig second = AddLegRig(b, "B");
    b.AddNode("Sword", second.foot, b.AddMesh({GltfBuilder::Box(0.1f)}));
    // A machine of rigid parts beside them: listed after the skinned skeletons.
    const int machine = b.AddNode("Machine");
    const int arm = b.AddNode("Arm", machine, b.AddMesh({GltfBuilder::Box(0.1f)}));
    b.Animate(arm, "translation", {0, 1}, {0, 0, 0, 0, 1, 0});
    const std::string scene = dir.File("pair.gltf");
    ASSERT_TRUE(b.Write(scene));
    const ProgramRun r = CharacterExport(Q(scene) + " --list");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r, "animation: frames 0 to 60 at 30 fps\n")) << r.out;
    EXPECT_TRUE(Has(r, "skeleton 'AHip': 3 bones (the default)\n  AHip\n    AKnee\n      AFoot\n"))
        << r.out;
    EXPECT_TRUE(Has(r, "skeleton 'BHip': 3 bones\n")) << r.out;
    EXPECT_TRUE(
        Has(r, "mesh 'ALeg': skinned to 'AHip', 32 vertices, 48 triangles, textures: skin.png\n"))
        << r.out;
    EXPECT_TRUE(Has(r, "mesh 'Sword': attached to bone 'BFoot' of 'BHip'")) << r.out;
    EXPECT_TRUE(
        Has(r, "skeleton 'Machine': 2 bones, rigid parts without skin\n  Machine\n    Arm\n"))
        << r.out;
    EXPECT_TRUE(Has(r, "mesh 'Arm': part on bone 'Arm' of 'Machine', 12 triangles\n")) << r.out;
}

TEST(CharacterProgram, UnreadableScenesAndMissingSkeletonsAreClearErrors) {
    TempDir dir;
    ProgramRun r = CharacterExport(Q(dir.File("none.gltf")) + " " + Q(dir.File("out")));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r, "cannot open scene file '" + dir.File("none.gltf") + "'")) << r.out;

    // Files on which the importer itself fails hard end with a message naming them.
    for (const char* damaged :
         {"assimp/test/models/X/malformed_skinweights_oob.x",
          "assimp/test/models/invalid/empty.obj",
          "gltf-sdk/GLTFSDK.Test/Resources/glb/CubeInvalidAccessorByteLength.glb"}) {
        r = CharacterExport(Q(SharedScene(damaged)) + " " + Q(dir.File("out")));
        EXPECT_EQ(r.status, 1) << damaged << "\n" << r.out;
        EXPECT_TRUE(
            Has(r, "character-export: cannot read scene file '" + SharedScene(damaged) + "'"))
            << r.out;
    }
    EXPECT_FALSE(fs::exists(dir.File("out")));

    GltfBuilder b;
    b.AddNode("Crate", -1, b.AddMesh({GltfBuilder::Box(0.5f)}));
    ASSERT_TRUE(b.Write(dir.File("crate.gltf")));
    r = CharacterExport(Q(dir.File("crate.gltf")) + " " + Q(dir.File("out")));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r, "character-export: '" + dir.File("crate.gltf") + "' has no skeleton"))
        << r.out;
}

// The whole way: a third-party character exported by the program and shown by
// the viewer's headless snapshot at two frames of its walk.
TEST(CharacterProgram, ExportedCharacterWalksInTheViewer) {
    TempDir dir;
    const std::string out = dir.File("cesium");
    ProgramRun r = CharacterExport(Q(std::string(ASSETS_DIR "/CesiumMan/CesiumMan.gltf")) + " " +
                                   Q(out) + " --part 'nodes[1]=body' --height 18");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r, "wrote " + out +
                           "/CesiumMan.bpd: skeleton 'nodes[2]', 19 bones, 61 frames (0 to 60, "
                           "step 1, 30 a second)"))
        << r.out;
    EXPECT_TRUE(Has(r, "wrote " + out + "/body.mrv: mesh 'nodes[1]', 1 object,")) << r.out;
    EXPECT_TRUE(Has(r, "wrote " + out + "/textr/CesiumMan.tga: converted from")) << r.out;
    EXPECT_TRUE(Has(r, "show it with: zintaro --biped " + out + "/CesiumMan.bpd --part 0=" + out +
                           "/body.mrv\n"))
        << r.out;

    QImage frames[2];
    const int ticks[2] = {1, 16};
    for (int i = 0; i < 2; ++i) {
        const std::string png = dir.File("frame" + std::to_string(i) + ".png");
        ProgramRun z = RunProgram("zintaro", "--snapshot " + Q(png) + " --size 200x150 --ticks " +
                                                 std::to_string(ticks[i]) + " --biped " +
                                                 Q(out + "/CesiumMan.bpd") +
                                                 " --part 0=" + Q(out + "/body.mrv"));
        ASSERT_EQ(z.status, 0) << z.out;
        EXPECT_FALSE(Has(z, "Create Texture Error")) << z.out;
        frames[i] = QImage(QString::fromStdString(png));
        ASSERT_FALSE(frames[i].isNull());
    }
    // The figure stands in the middle of the picture, textured (the model's
    // white with blue stripes), and its limbs move between the two frames.
    int lit = 0, blue = 0, changed = 0;
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x) {
            const QRgb p = frames[0].pixel(x, y);
            if (qRed(p) + qGreen(p) + qBlue(p) > 60) {
                ++lit;
                EXPECT_TRUE(x > 40 && x < 160) << x << "," << y;
            }
            if (qBlue(p) > qRed(p) + 60) ++blue;
            if (p != frames[1].pixel(x, y)) ++changed;
        }
    EXPECT_GT(lit, 800);
    EXPECT_GT(blue, 40);
    EXPECT_GT(changed, 200);
}

}  // namespace
