// The tessel-export host program, run as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "SceneFiles.h"

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

TEST(HostProgram, ListsTheClassification) {
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
    EXPECT_NE(r.out.find("biped root: Bip01\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("static    Crate [mesh]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("animated  Cart [mesh]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("-         Bip01 [joint, biped controller]"), std::string::npos) << r.out;

    r = Export(Quote(scene) + " --list --selected-only Cart");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("-         Crate [mesh]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("animated  Cart [mesh, selected]"), std::string::npos) << r.out;

    r = Export(Quote(scene) + " --list --selected-only Wagon");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no node named 'Wagon'"), std::string::npos);
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

TEST(HostProgram, ExportRunsThePluginAndReportsAMissingFile) {
    TempDir dir;
    GltfBuilder b;
    b.AddNode("Crate", -1, b.AddMesh({GltfBuilder::Box()}));
    const std::string scene = dir.File("crate.gltf");
    ASSERT_TRUE(b.Write(scene));
    // The plug-in loads and runs; an export that writes no file is not reported as done.
    ProgramRun r = Export(Quote(scene) + " " + Quote(dir.File("o.tsl")) + " --all");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("without writing"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("cannot load"), std::string::npos) << r.out;
}

}  // namespace
