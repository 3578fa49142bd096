// The tessel-export host program, run as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "SceneFiles.h"
#include "TesselModel.h"

namespace {

struct ProgramRun {
    int status;
    std::string out;  // standard output and standard error together
};

ProgramRun Export(const std::string& args) {
    const std::string cmd = std::string(BIN_DIR) + "/tessel-export " + args + " 2>&1";
    ProgramRun r{-1, ""};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

TEST(HostProgram, HelpAndUsageErrors) {
    ProgramRun r = Export("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: tessel-export SCENE OUT.tsl"), std::string::npos);
    EXPECT_NE(r.out.find("--selected-only"), std::string::npos);

    r = Export("");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("no scene file"), std::string::npos);
    r = Export("scene.gltf out.tsl --step 0");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("--step must be at least 1"), std::string::npos);
    r = Export("scene.gltf out.tsl --frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("unknown option --frobnicate"), std::string::npos);
}

TEST(HostProgram, ListPrintsTheExportDialogsLists) {
    TempDir dir;
    GltfBuilder b;
    const int box = b.AddMesh({GltfBuilder::Box()});
    b.AddNode("Crate", -1, box);
    const int cart = b.AddNode("Cart", -1, box);
    b.Animate(cart, "translation", {0, 2}, {0, 0, 0, 9, 0, 0});
    b.AddNode("Bip01 Head", b.AddNode("Bip01"));
    const std::string scene = dir.File("yard.gltf");
    ASSERT_TRUE(b.Write(scene));

    ProgramRun r = Export(Quote(scene) + " --list");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("animation: frames 0 to 60 at 30 fps (160 ticks per frame)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("static objects (1):\n  Crate\nanimated objects (1):\n  Cart\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("frames: start 0, end 60, step 1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("centring on the biped: on\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Bip01"), std::string::npos) << r.out;  // biped nodes are never listed

    r = Export(Quote(scene) + " --list --selected-only Cart");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("static objects (0):\nanimated objects (1):\n  Cart\n"), std::string::npos) << r.out;

    r = Export(Quote(scene) + " --list --selected-only Wagon");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no node named 'Wagon'"), std::string::npos);

    GltfBuilder still;
    still.AddNode("Crate", -1, still.AddMesh({GltfBuilder::Box()}));
    const std::string stillScene = dir.File("still.gltf");
    ASSERT_TRUE(still.Write(stillScene));
    r = Export(Quote(stillScene) + " --list");
    EXPECT_NE(r.out.find("centring on the biped: on (no biped in the scene)\n"), std::string::npos) << r.out;
}

TEST(HostProgram, BadScenesAndMissingPlugin) {
    TempDir dir;
    ProgramRun r = Export(Quote(dir.File("absent.fbx")) + " " + Quote(dir.File("o.tsl")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cannot open scene file"), std::string::npos) << r.out;

    const std::string text = dir.File("readme.abc");
    std::ofstream(text) << "hello\n";
    r = Export(Quote(text) + " " + Quote(dir.File("o.tsl")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("not a scene format"), std::string::npos) << r.out;

    r = Export(Quote(SharedScene("assimp/test/models/glTF2/MissingBin/BoxTextured.gltf")) + " " + Quote(dir.File("o.tsl")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("BoxTextured0.bin"), std::string::npos) << r.out;

    GltfBuilder b;
    b.AddNode("Crate", -1, b.AddMesh({GltfBuilder::Box()}));
    const std::string scene = dir.File("crate.gltf");
    ASSERT_TRUE(b.Write(scene));
    r = Export(Quote(scene) + " " + Quote(dir.File("o.tsl")) + " --all --plugin /nonexistent/libTesselExp.so");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cannot load plug-in '/nonexistent/libTesselExp.so'"), std::string::npos) << r.out;
}

TEST(HostProgram, ExportWritesAFileTheViewerReads) {
    TempDir dir;
    GltfBuilder b;
    const int box = b.AddMesh({GltfBuilder::Box()});
    b.AddNode("Crate", -1, box);
    const int cart = b.AddNode("Cart", -1, box);
    b.Animate(cart, "translation", {0, 2}, {0, 0, 0, 9, 0, 0});
    const std::string scene = dir.File("yard.gltf");
    ASSERT_TRUE(b.Write(scene));
    const std::string out = dir.File("yard.tsl");

    ProgramRun r = Export(Quote(scene) + " " + Quote(out) + " --all --start 30 --step 10");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("wrote " + out), std::string::npos) << r.out;
    std::FILE* f = std::fopen(out.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    TesselFileData data;
    std::string error;
    EXPECT_TRUE(ParseTesselStream(f, data, error)) << error;
    std::fclose(f);
    EXPECT_EQ(data.frameCount, 4);  // frames 30, 40, 50, 60
    EXPECT_EQ(data.statics.size(), 1u);
    EXPECT_EQ(data.animateds.size(), 1u);
    EXPECT_EQ(data.faceTotal, 24);

    // Only the chosen object; an unknown name leaves the earlier file alone.
    r = Export(Quote(scene) + " " + Quote(out) + " --select Cart");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string before = [&] {
        std::FILE* g = std::fopen(out.c_str(), "rb");
        std::string s;
        int c;
        while (g && (c = std::fgetc(g)) != EOF) s += static_cast<char>(c);
        if (g) std::fclose(g);
        return s;
    }();
    EXPECT_EQ(before.substr(0, 12), std::string("\x3D\0\0\0\0\0\0\0\x01\0\0\0", 12));  // 61 frames, 0 static, 1 animated
    r = Export(Quote(scene) + " " + Quote(out) + " --select Wagon");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("'Wagon' is not in the export dialog's lists"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ended without writing"), std::string::npos) << r.out;

    // No objects chosen: the dialog is cancelled.
    r = Export(Quote(scene) + " " + Quote(dir.File("none.tsl")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no objects chosen"), std::string::npos) << r.out;

    // A target in a directory that does not exist.
    r = Export(Quote(scene) + " " + Quote(dir.File("no/such/dir/x.tsl")) + " --all");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("could not be written"), std::string::npos) << r.out;
}

TEST(HostProgram, InteractiveNeedsADisplay) {
    TempDir dir;
    GltfBuilder b;
    b.AddNode("Crate", -1, b.AddMesh({GltfBuilder::Box()}));
    const std::string scene = dir.File("crate.gltf");
    ASSERT_TRUE(b.Write(scene));
    const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + std::string(BIN_DIR) +
                            "/tessel-export " + Quote(scene) + " " + Quote(dir.File("o.tsl")) + " --interactive 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int st = pclose(p);
    EXPECT_EQ(WIFEXITED(st) ? WEXITSTATUS(st) : -1, 2);
    EXPECT_NE(out.find("--interactive needs a display"), std::string::npos) << out;

    ProgramRun r = Export(Quote(scene) + " " + Quote(dir.File("o.tsl")) + " --interactive --all");
    EXPECT_EQ(r.status, 2);
    r = Export(Quote(scene) + " --list --interactive");
    EXPECT_EQ(r.status, 2);
}

}  // namespace
