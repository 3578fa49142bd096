// The tessel-export host program, run as a user runs it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/exporter/SceneFiles.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TgaWriter.h"
#include "viewer/model/TesselModel.h"
#include "viewer/model/TextureImage.h"

namespace {

ProgramRun Export(const std::string& args, const std::string& environment = "") {
    return RunCommand(environment + std::string(BIN_DIR) + "/tessel-export " + args);
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    return static_cast<bool>(f << text);
}

TesselFileData ReadTsl(const std::string& path) {
    TesselFileData data;
    std::string error;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    EXPECT_NE(f, nullptr) << path;
    if (f == nullptr) return data;
    EXPECT_TRUE(ParseTesselStream(f, data, error)) << error;
    std::fclose(f);
    return data;
}

// Every vertex of every record (all frames), in file order.
std::vector<ModelVertex> AllVertices(const TesselFileData& d) {
    std::vector<ModelVertex> v;
    for (const StaticObject& o : d.statics) v.insert(v.end(), o.vertices.begin(), o.vertices.end());
    for (const AnimatedObject& o : d.animateds) v.insert(v.end(), o.frames.begin(), o.frames.end());
    return v;
}

// Positions of `b` are those of `a` times `factor`; normals and texture
// coordinates are the same.
void ExpectScaled(const std::vector<ModelVertex>& a, const std::vector<ModelVertex>& b,
                  float factor) {
    ASSERT_EQ(a.size(), b.size());
    ASSERT_FALSE(a.empty());
    for (size_t i = 0; i < a.size(); ++i) {
        const float tol =
            1e-4f * std::max(1.0f, std::fabs(a[i].x * factor) + std::fabs(a[i].y * factor) +
                                       std::fabs(a[i].z * factor));
        EXPECT_NEAR(b[i].x, a[i].x * factor, tol) << i;
        EXPECT_NEAR(b[i].y, a[i].y * factor, tol) << i;
        EXPECT_NEAR(b[i].z, a[i].z * factor, tol) << i;
        EXPECT_NEAR(b[i].nx, a[i].nx, 1e-5f) << i;
        EXPECT_NEAR(b[i].ny, a[i].ny, 1e-5f) << i;
        EXPECT_NEAR(b[i].nz, a[i].nz, 1e-5f) << i;
        EXPECT_EQ(b[i].tu, a[i].tu) << i;
        EXPECT_EQ(b[i].tv, a[i].tv) << i;
    }
}

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
    // Numbers beyond int are refused, not wrapped (4294967296 would read as 0).
    for (const char* option :
         {"--step 4294967296", "--start -2147483649", "--end 99999999999999999999"}) {
        r = Export(std::string("scene.gltf out.tsl ") + option);
        EXPECT_EQ(r.status, 2) << option;
        EXPECT_NE(r.out.find(std::string(option) + " is out of range"), std::string::npos) << r.out;
    }
    r = Export("scene.gltf out.tsl --frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("unknown option --frobnicate"), std::string::npos);
    r = Export("scene.gltf out.tsl --all --start 50 --end 10");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("--start 50 is after --end 10"), std::string::npos) << r.out;
    for (const char* limit :
         {"TESSEL_IMPORT_TIME_LIMIT='abc'", "TESSEL_IMPORT_MEMORY_LIMIT='-3'"}) {
        r = Export("scene.gltf out.tsl --all", std::string(limit) + " ");
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_NE(r.out.find(std::string(limit) + " is not a positive number"), std::string::npos)
            << r.out;
    }

    // The importer program the host starts for each scene.
    r = RunProgram("tessel-import", "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("usage: tessel-import [--parent PID] SCENE"), std::string::npos) << r.out;
    r = RunProgram("tessel-import", "--parent x scene.gltf");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("--parent 'x' is not a process id"), std::string::npos) << r.out;
    // A parent that is gone: it ends at once, without reading.
    r = RunProgram("tessel-import", "--parent 2147483647 scene.gltf");
    EXPECT_EQ(r.status, 3) << r.out;
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
    EXPECT_NE(r.out.find("animation: frames 0 to 60 at 30 fps (160 ticks per frame)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("static objects (1):\n  Crate\nanimated objects (1):\n  Cart\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("frames: start 0, end 60, step 1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("centring on the biped: on\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Bip01"), std::string::npos) << r.out;  // biped nodes are never listed

    r = Export(Quote(scene) + " --list --selected-only Cart");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("static objects (0):\nanimated objects (1):\n  Cart\n"), std::string::npos)
        << r.out;

    r = Export(Quote(scene) + " --list --selected-only Wagon");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no node named 'Wagon'"), std::string::npos);

    GltfBuilder still;
    still.AddNode("Crate", -1, still.AddMesh({GltfBuilder::Box()}));
    const std::string stillScene = dir.File("still.gltf");
    ASSERT_TRUE(still.Write(stillScene));
    r = Export(Quote(stillScene) + " --list");
    EXPECT_NE(r.out.find("centring on the biped: on (no biped in the scene)\n"), std::string::npos)
        << r.out;
}

TEST(HostProgram, BadScenesAndMissingPlugin) {
    TempDir dir;
    ProgramRun r = Export(Quote(dir.File("absent.fbx")) + " " + Quote(dir.File("o.tsl")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cannot open scene file"), std::string::npos) << r.out;

    // A FIFO without a writer and an endless device are refused at once.
    ASSERT_EQ(::mkfifo(dir.File("pipe.fbx").c_str(), 0600), 0);
    for (const std::string& notFile : {dir.File("pipe.fbx"), std::string("/dev/zero")}) {
        r = Export(Quote(notFile) + " --list");
        EXPECT_EQ(r.status, 1) << notFile;
        EXPECT_NE(r.out.find("cannot read scene file '" + notFile + "': it is a "),
                  std::string::npos)
            << r.out;
    }

    const std::string text = dir.File("readme.abc");
    std::ofstream(text) << "hello\n";
    r = Export(Quote(text) + " " + Quote(dir.File("o.tsl")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("not a scene format"), std::string::npos) << r.out;

    r = Export(Quote(SharedScene("assimp/test/models/glTF2/MissingBin/BoxTextured.gltf")) + " " +
               Quote(dir.File("o.tsl")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("BoxTextured0.bin"), std::string::npos) << r.out;

    GltfBuilder b;
    b.AddNode("Crate", -1, b.AddMesh({GltfBuilder::Box()}));
    const std::string scene = dir.File("crate.gltf");
    ASSERT_TRUE(b.Write(scene));
    r = Export(Quote(scene) + " " + Quote(dir.File("o.tsl")) +
               " --all --plugin /nonexistent/libTesselExp.so");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cannot load plug-in '/nonexistent/libTesselExp.so'"), std::string::npos)
        << r.out;
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
    EXPECT_EQ(before.substr(0, 12),
              std::string("\x3D\0\0\0\0\0\0\0\x01\0\0\0", 12));  // 61 frames, 0 static, 1 animated
    r = Export(Quote(scene) + " " + Quote(out) + " --select Wagon");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("'Wagon' is not in the export dialog's lists"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("ended without writing"), std::string::npos) << r.out;

    // No objects chosen: the dialog is cancelled.
    r = Export(Quote(scene) + " " + Quote(dir.File("none.tsl")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no objects chosen"), std::string::npos) << r.out;

    // A target in a directory that does not exist.
    r = Export(Quote(scene) + " " + Quote(dir.File("no/such/dir/x.tsl")) + " --all");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("could not be written: folder '" + dir.File("no/such/dir") +
                         "': No such file or directory"),
              std::string::npos)
        << r.out;

    // Frames outside the scene's range are said as the dialog moves them in.
    r = Export(Quote(scene) + " " + Quote(out) + " --all --start -5 --end 500");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("--start -5 is before the scene's first frame 0; the export starts at 0"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("--end 500 is after the scene's last frame 60; the export ends at 60"),
              std::string::npos)
        << r.out;
}

// On a terminal the plug-in's Korean texts are followed by English, and the
// export ends with a summary: objects written, those written empty and why,
// textures the viewer will not show.
TEST(HostProgram, ConsoleGlossesThePluginsTextsAndSumsUp) {
    TempDir dir;
    GltfBuilder b;
    b.AddNode("Crate", -1,
              b.AddMesh({GltfBuilder::Box(1.0f, true, b.AddMaterial("M", "gone.png"))}));
    // A finite scale whose product with the corners overflows.
    b.NodeAt(b.AddNode("Huge", -1, b.AddMesh({GltfBuilder::Box(10.0f)}))).scale = {3e38f, 3e38f,
                                                                                   3e38f};
    const std::string scene = dir.File("yard.gltf");
    ASSERT_TRUE(b.Write(scene));
    const std::string out = dir.File("yard.tsl");

    ProgramRun r = Export(Quote(scene) + " " + Quote(out) + " --all");
    ASSERT_EQ(r.status, 0) << r.out;
    for (const char* said : {
             "테셀 파일 저장중... (saving the Tessel file)",
             "[Export Message] 오브젝트 'Huge': 변환된 좌표가 유한한 값이 아닙니다.\r\n빈 메시로 "
             "저장합니다. (object 'Huge': its transformed coordinates are not finite numbers; it "
             "is written as an empty object)\n",
             "summary:\n  objects written: 2 (2 static, 0 animated)\n  written empty (1):\n"
             "    'Huge': its transformed coordinates are not finite numbers\n"
             "  textures the viewer cannot read (1):\n"
             "    texture 'gone.png': not found beside the scene\n",
         })
        EXPECT_NE(r.out.find(said), std::string::npos) << said << "\n---\n" << r.out;

    r = Export(Quote(scene) + " " + Quote(out) + " --select Crate --convert-textures");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("summary:\n  objects written: 1 (1 static, 0 animated)\n"
                         "  written empty: none\n  textures the viewer cannot read (1):\n"
                         "    texture 'gone.png': no such file beside the scene"),
              std::string::npos)
        << r.out;
}

// One building saved in metres (glTF) and in centimetres (COLLADA): the
// same size with --unit m; --unit and --scale resize static and animated
// objects alike.
TEST(HostProgram, UnitAndScaleBringScenesToOneSize) {
    TempDir dir;
    GltfBuilder b;
    GltfBuilder::Primitive tri;
    tri.positions = {1, 0, 0, 0, 2, 0, 0, 0, 3};
    tri.indices = {0, 1, 2};
    b.NodeAt(b.AddNode("Wall", -1, b.AddMesh({tri}))).translation = {4, 5, 6};
    const int cart = b.AddNode("Cart", -1, b.AddMesh({GltfBuilder::Box()}));
    b.Animate(cart, "translation", {0, 1}, {0, 0, 0, 9, 0, 0});
    const std::string metres = dir.File("hall.gltf");
    ASSERT_TRUE(b.Write(metres));
    const std::string centimetres = dir.File("hall.dae");
    ASSERT_TRUE(WriteFile(centimetres, R"(<?xml version="1.0"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
  <asset><unit meter="0.01" name="centimeter"/><up_axis>Y_UP</up_axis></asset>
  <library_geometries><geometry id="g"><mesh>
    <source id="p"><float_array id="pa" count="9">100 0 0 0 200 0 0 0 300</float_array>
      <technique_common><accessor source="#pa" count="3" stride="3">
        <param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/>
      </accessor></technique_common></source>
    <vertices id="v"><input semantic="POSITION" source="#p"/></vertices>
    <triangles count="1"><input semantic="VERTEX" source="#v" offset="0"/><p>0 1 2</p></triangles>
  </mesh></geometry></library_geometries>
  <library_visual_scenes><visual_scene id="s">
    <node id="Wall" name="Wall"><translate>400 500 600</translate><instance_geometry url="#g"/></node>
  </visual_scene></library_visual_scenes>
  <scene><instance_visual_scene url="#s"/></scene>
</COLLADA>
)"));
    auto run = [&](const std::string& scene, const std::string& options) {
        const std::string out = dir.File("out.tsl");
        std::remove(out.c_str());
        const std::string take = scene == metres ? " --select Wall Cart" : " --select Wall";
        const ProgramRun r =
            Export(Quote(scene) + " " + Quote(out) + take + " --end 30 --step 10 " + options);
        EXPECT_EQ(r.status, 0) << options << "\n" << r.out;
        return ReadTsl(out);
    };
    auto wall = [](const TesselFileData& d) {
        return d.statics.empty() ? std::vector<ModelVertex>() : d.statics[0].vertices;
    };

    const TesselFileData plain = run(metres, "");
    ASSERT_EQ(plain.statics.size(), 1u);
    ASSERT_EQ(plain.animateds.size(), 1u);
    EXPECT_FLOAT_EQ(plain.statics[0].vertices[0].x, 5.0f);  // 1 + 4 m
    ExpectScaled(wall(plain), wall(run(centimetres, "--unit m")), 1.0f);
    ExpectScaled(wall(plain), wall(run(centimetres, "")), 100.0f);  // the file's own numbers
    ExpectScaled(AllVertices(plain), AllVertices(run(metres, "--unit cm")), 100.0f);
    ExpectScaled(AllVertices(plain), AllVertices(run(metres, "--scale 2")), 2.0f);
    ExpectScaled(wall(plain), wall(run(centimetres, "--unit mm --scale 0.5")), 500.0f);

    ProgramRun r = Export(Quote(centimetres) + " --list --unit in");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("unit: cm (COLLADA <unit meter=\"0.01\">)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("size: the file's numbers times 0.393701\n"), std::string::npos) << r.out;
    r = Export(Quote(metres) + " --list");
    EXPECT_NE(r.out.find("unit: m (glTF"), std::string::npos) << r.out;

    // A file without a unit is taken as it is, and the user is told once.
    const std::string obj = dir.File("shed.obj");
    ASSERT_TRUE(WriteFile(obj, "o Shed\nv 1 0 0\nv 0 2 0\nv 0 0 3\nf 1 2 3\n"));
    r = Export(Quote(obj) + " " + Quote(dir.File("shed.tsl")) + " --all --unit cm");
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string said = "'" + obj + "' declares no unit; its numbers are taken as they are";
    ASSERT_NE(r.out.find(said), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(said, r.out.find(said) + 1), std::string::npos) << r.out;
    EXPECT_FLOAT_EQ(ReadTsl(dir.File("shed.tsl")).statics.at(0).vertices.at(0).x, 1.0f);

    EXPECT_EQ(Export(Quote(obj) + " x.tsl --all --scale 0").status, 2);
    r = Export(Quote(obj) + " x.tsl --all --unit furlong");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("--unit needs one of m, cm, mm, in, ft"), std::string::npos) << r.out;
}

// Textures as scenes name them (PNG, JPEG, TGA, images stored in the file,
// missing files): counted without --convert-textures, copied or converted
// into textr/ beside the file with it, under names that do not clash and
// that the viewer finds and reads.
TEST(HostProgram, ConvertTexturesWritesImagesTheViewerReads) {
    TempDir dir;
    const std::string shared = SharedScene("assimp/test/models/");
    std::filesystem::create_directories(dir.Path() / "sub");
    std::filesystem::copy_file(shared + "glTF2/BoxTextured-glTF/CesiumLogoFlat.png",
                               dir.File("logo.png"));
    std::filesystem::copy_file(shared + "glTF2/BoxTextured-glTF/CesiumLogoFlat.png",
                               dir.File("sub/flare.png"));
    std::filesystem::copy_file(shared + "OBJ/engineflare1.jpg", dir.File("flare.jpg"));
    const std::vector<uint8_t> tga = EncodeTga(2, 1, {0xFF0000FFu, 0x0000FFFFu}, TgaLayout{});
    ASSERT_TRUE(WriteFile(dir.File("wood.tga"), std::string(tga.begin(), tga.end())));
    GltfBuilder b;
    const std::vector<std::string> images = {"logo.png", "flare.jpg", "sub/flare.png", "wood.tga",
                                             "gone.png"};
    for (size_t i = 0; i < images.size(); ++i)
        b.AddNode("Box" + std::to_string(i), -1,
                  b.AddMesh({GltfBuilder::Box(1.0f, true,
                                              b.AddMaterial("M" + std::to_string(i), images[i]))}));
    const std::string scene = dir.File("yard.gltf");
    ASSERT_TRUE(b.Write(scene));
    const std::string out = dir.File("out/yard.tsl");
    std::filesystem::create_directories(dir.Path() / "out");
    auto names = [&] {
        std::vector<std::string> n;
        for (const StaticObject& o : ReadTsl(out).statics) n.push_back(o.textureName);
        return n;
    };

    ProgramRun r = Export(Quote(scene) + " " + Quote(out) + " --all");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("3 of the 5 textures the file names are images the viewer cannot read (it "
                         "reads BMP and TGA); "
                         "--convert-textures writes them as TGA into " +
                         dir.File("out/textr")),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("texture 'gone.png' is not found beside the scene"), std::string::npos)
        << r.out;
    EXPECT_EQ(names(), (std::vector<std::string>{"logo.png", "flare.jpg", "flare.png", "wood.tga",
                                                 "gone.png"}));
    EXPECT_FALSE(std::filesystem::exists(dir.File("out/textr")));

    r = Export(Quote(scene) + " " + Quote(out) + " --all --convert-textures");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(
        r.out.find("textures: 4 written into " + dir.File("out/textr") + " (3 converted to TGA)"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("texture 'gone.png': no such file"), std::string::npos) << r.out;
    // Written names carry the scene's name, so models sharing one textr folder keep theirs apart.
    EXPECT_EQ(names(), (std::vector<std::string>{"yard_logo.tga", "yard_flare.tga",
                                                 "yard_flare_2.tga", "yard_wood.tga", ""}));
    // The viewer finds each by its name beside the model and reads it.
    const std::vector<uint8_t> png = [&] {
        std::ifstream f(dir.File("logo.png"), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
    }();
    auto big = [&](size_t at) {
        return uint32_t(png[at]) << 24 | uint32_t(png[at + 1]) << 16 | uint32_t(png[at + 2]) << 8 |
               png[at + 3];
    };
    for (const char* name :
         {"yard_logo.tga", "yard_flare.tga", "yard_flare_2.tga", "yard_wood.tga"}) {
        SCOPED_TRACE(name);
        const std::string path = FindFileNoCase(dir.File("out/textr"), name);
        ASSERT_FALSE(path.empty());
        TgaImage image;
        std::string error;
        ASSERT_EQ(ReadTgaFile(path, image, error), 0) << error;
        if (std::string(name) == "yard_logo.tga") {
            EXPECT_EQ(image.width, big(16));  // the PNG's own size
            EXPECT_EQ(image.height, big(20));
        }
    }

    // Images stored inside the scene file.
    r = Export(Quote(shared + "glTF2/BoxTextured-glTF-Embedded/BoxTextured.gltf") + " " +
               Quote(out) + " --all --convert-textures");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<std::string> stored = names();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0], "BoxTextured_embedded0.tga");
    TgaImage image;
    std::string error;
    EXPECT_EQ(ReadTgaFile(dir.File("out/textr/" + stored[0]), image, error), 0) << error;
}

TEST(HostProgram, InteractiveNeedsADisplay) {
    TempDir dir;
    GltfBuilder b;
    b.AddNode("Crate", -1, b.AddMesh({GltfBuilder::Box()}));
    const std::string scene = dir.File("crate.gltf");
    ASSERT_TRUE(b.Write(scene));
    const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                            std::string(BIN_DIR) + "/tessel-export " + Quote(scene) + " " +
                            Quote(dir.File("o.tsl")) + " --interactive 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int st = pclose(p);
    EXPECT_EQ(WIFEXITED(st) ? WEXITSTATUS(st) : -1, 2);
    EXPECT_NE(out.find("--interactive needs a display"), std::string::npos) << out;

    // Qt's offscreen platform shows the window to nobody: refused as well.
    ProgramRun r = Export(Quote(scene) + " " + Quote(dir.File("o.tsl")) + " --interactive",
                          "QT_QPA_PLATFORM=offscreen ");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("--interactive needs a display"), std::string::npos) << r.out;

    r = Export(Quote(scene) + " " + Quote(dir.File("o.tsl")) + " --interactive --all");
    EXPECT_EQ(r.status, 2);
    r = Export(Quote(scene) + " --list --interactive");
    EXPECT_EQ(r.status, 2);

    // A display whose server is gone: a clear error, not Qt's abort.
    r = Export(Quote(scene) + " " + Quote(dir.File("o.tsl")) + " --interactive",
               "env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:4242 ");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("tessel-export: --interactive cannot open a window (DISPLAY=':4242'): "),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.File("o.tsl")));
}

}  // namespace
