// model-convert as a user runs it: the demo content and exported scenes
// converted to glTF, read back through our own importers (tessel-export,
// character import) and compared with what the viewer shows, and checked by
// the Khronos glTF validator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "tests/character/CharacterTestKit.h"
#include "tests/exporter/TestdataIndex.h"
#include "tests/support/ModelFileWriter.h"
#include "tests/support/ProgramRun.h"
#include "tools/character_export_files.h"
#include "tools/model_convert.h"
#include "viewer/model/TesselModel.h"

namespace fs = std::filesystem;

namespace {

// The demo content, written once for all tests of this suite.
const TempDir& DemoDir() {
    static TempDir dir;
    static const ProgramRun made = RunProgram("make-demo-content", Q(dir.Path().string()));
    EXPECT_EQ(made.status, 0) << made.out;
    return dir;
}

std::string Demo(const std::string& name) {
    return DemoDir().File(name);
}

std::string CharacterArgs() {
    std::string args = "--biped " + Q(Demo("demo.bpd"));
    const char* parts[] = {"body", "helmet", "armour", "weapon", "shoes"};
    for (int slot = 0; slot < 5; ++slot)
        args +=
            " --part " + std::to_string(slot) + "=" + Q(Demo(std::string(parts[slot]) + ".mrv"));
    return args;
}

std::vector<uint8_t> Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TesselFileData ReadTessel(const std::string& path) {
    const std::vector<uint8_t> bytes = Bytes(path);
    TesselFileData data;
    std::string error;
    EXPECT_TRUE(ParseTesselFile(bytes.data(), bytes.size(), data, error)) << path << ": " << error;
    return data;
}

double Gap(const ModelVertex& a, const ModelVertex& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                     (a.z - b.z) * (a.z - b.z));
}

// Largest distance between the corners of the same faces, each face's
// corners allowed to start at another corner but keeping their turn.
double FaceError(const ModelVertex* a, const std::vector<uint16_t>& ia, const ModelVertex* b,
                 const std::vector<uint16_t>& ib) {
    double worst = 0;
    for (size_t f = 0; f + 2 < ia.size(); f += 3) {
        double best = 1e30;
        for (size_t turn = 0; turn < 3; ++turn) {
            double e = 0;
            for (size_t c = 0; c < 3; ++c)
                e = std::max(e, Gap(a[ia[f + c]], b[ib[f + (c + turn) % 3]]));
            best = std::min(best, e);
        }
        worst = std::max(worst, best);
    }
    return worst;
}

double Diagonal(const std::vector<ModelVertex>& vertices) {
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    for (const ModelVertex& v : vertices) {
        const float p[3] = {v.x, v.y, v.z};
        for (int i = 0; i < 3; ++i) lo[i] = std::min(lo[i], p[i]), hi[i] = std::max(hi[i], p[i]);
    }
    return std::sqrt((hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1]) +
                     (hi[2] - lo[2]) * (hi[2] - lo[2]));
}

// The village (static houses, a turning windmill and a waving flag) as a
// .gltf + .bin, exported again by tessel-export: the same objects, faces and
// per-frame positions.
TEST(ModelConvert, VillageRoundTripsThroughTheExporter) {
    TempDir out;
    const ProgramRun convert =
        RunProgram("model-convert", Q(Demo("village.tsl")) + " " + Q(out.File("village.gltf")));
    ASSERT_EQ(convert.status, 0) << convert.out;
    ASSERT_TRUE(fs::exists(out.File("village.bin")));
    const ProgramRun exported =
        RunProgram("tessel-export", Q(out.File("village.gltf")) + " " + Q(out.File("back.tsl")) +
                                        " --all --no-centre");
    ASSERT_EQ(exported.status, 0) << exported.out;

    const TesselFileData original = ReadTessel(Demo("village.tsl"));
    const TesselFileData back = ReadTessel(out.File("back.tsl"));
    ASSERT_EQ(back.statics.size(), original.statics.size());
    ASSERT_EQ(back.animateds.size(), original.animateds.size());
    ASSERT_EQ(back.frameCount, original.frameCount);
    ASSERT_GT(original.animateds.size(), 0u);
    std::vector<ModelVertex> all;
    for (const StaticObject& o : original.statics)
        all.insert(all.end(), o.vertices.begin(), o.vertices.end());
    const double tolerance = 1e-4 * Diagonal(all);
    double worst = 0;
    for (size_t i = 0; i < original.statics.size(); ++i) {
        const StaticObject &a = original.statics[i], &b = back.statics[i];
        ASSERT_EQ(b.faceCount, a.faceCount) << "static " << i;
        worst =
            std::max(worst, FaceError(a.vertices.data(), a.indices, b.vertices.data(), b.indices));
        EXPECT_EQ(a.textureName.empty(), b.textureName.empty()) << "static " << i;
    }
    for (size_t i = 0; i < original.animateds.size(); ++i) {
        const AnimatedObject &a = original.animateds[i], &b = back.animateds[i];
        ASSERT_EQ(b.faceCount, a.faceCount) << "animated " << i;
        for (int32_t k = 0; k < original.frameCount; ++k)
            worst = std::max(worst, FaceError(a.Frame(k), a.indices, b.Frame(k), b.indices));
    }
    EXPECT_LE(worst, tolerance);
    std::printf(
        "village: %zu static, %zu animated objects, %d frames; largest corner error %.3g (model "
        "size %.3g)\n",
        original.statics.size(), original.animateds.size(), original.frameCount, worst,
        tolerance * 1e4);
}

// Converts a character to .glb, imports it again as a character and skins
// both with the viewer's code at every frame. Each imported vertex is
// matched at frame 0 with the original vertex of the same bone, position
// and texture coordinates; the result is the largest distance between them
// over all frames, vertices on `ignoredBone` left out. `size` is the
// diagonal of the original at frame 0.
struct CharacterRoundTrip {
    double worst = 0, size = 0;
    size_t compared = 0;
    int32_t frames = 0;
};

CharacterRoundTrip RoundTripCharacter(const std::string& bpd,
                                      const std::vector<ExportedPart>& parts,
                                      const std::string& textureDir, int ignoredBone = -1) {
    CharacterRoundTrip trip;
    TempDir out;
    const std::string glb = out.File("character.glb");
    std::string args = "--biped " + Q(bpd);
    for (size_t slot = 0; slot < parts.size(); ++slot)
        args += " --part " + std::to_string(slot) + "=" + Q(parts[slot].file);
    const ProgramRun convert = RunProgram("model-convert", args + " " + Q(glb));
    EXPECT_EQ(convert.status, 0) << convert.out;
    std::unique_ptr<HostScene> scene = LoadHostScene(glb);
    if (!scene) return trip;
    CharacterExportOptions options;
    options.outDir = out.File("back");
    CharacterExportResult result;
    ViewerCharacter back, original;
    CharacterExportResult given;
    given.bipedFile = bpd;
    given.parts = parts;
    if (!Export(*scene, options, result) || !back.Load(result, options.outDir) ||
        !original.Load(given, textureDir))
        return trip;
    trip.frames = original.biped.frameCount;
    EXPECT_EQ(back.biped.frameCount, trip.frames);
    EXPECT_EQ(back.parts.size(), original.parts.size());
    if (back.biped.frameCount != trip.frames || back.parts.size() != original.parts.size())
        return trip;

    // Bones by name ("bone N" is the original's bone N).
    std::vector<int> originalBone;
    for (const std::string& name : result.boneNames)
        originalBone.push_back(name.rfind("bone ", 0) == 0 ? std::atoi(name.c_str() + 5) : -1);
    std::vector<ModelVertex> all;
    for (auto& part : original.parts) {
        part->Skin(original.biped, 0);
        for (const PartObject& o : part->objects)
            all.insert(all.end(), o.skinnedVertices.begin(), o.skinnedVertices.end());
    }
    trip.size = Diagonal(all);
    for (size_t p = 0; p < original.parts.size(); ++p) {
        EXPECT_EQ(result.parts[p].meshName, std::string(kPartSlotNames[p]));
        CharacterPart &a = *original.parts[p], &b = *back.parts[p];
        int32_t facesA = 0, facesB = 0;
        for (const PartObject& o : a.objects) facesA += o.faceCount;
        for (const PartObject& o : b.objects) facesB += o.faceCount;
        EXPECT_EQ(facesB, facesA) << parts[p].file;
        a.Skin(original.biped, 0);
        b.Skin(back.biped, 0);
        struct Match {
            size_t bo, bv, ao, av;
        };
        std::vector<Match> matches;
        for (size_t bo = 0; bo < b.objects.size(); ++bo)
            for (size_t bv = 0; bv < b.objects[bo].skinnedVertices.size(); ++bv) {
                const ModelVertex& v = b.objects[bo].skinnedVertices[bv];
                const int bone =
                    originalBone.at(static_cast<size_t>(b.objects[bo].boneIndices[bv]));
                if (bone == ignoredBone) continue;
                Match best{bo, bv, 0, 0};
                double bestGap = 1e30;
                for (size_t ao = 0; ao < a.objects.size(); ++ao)
                    for (size_t av = 0; av < a.objects[ao].skinnedVertices.size(); ++av) {
                        if (a.objects[ao].boneIndices[av] != bone) continue;
                        const ModelVertex& u = a.objects[ao].skinnedVertices[av];
                        const double gap =
                            Gap(u, v) + std::fabs(u.tu - v.tu) + std::fabs(u.tv - v.tv);
                        if (gap < bestGap) bestGap = gap, best.ao = ao, best.av = av;
                    }
                EXPECT_LT(bestGap, 1e29)
                    << "an imported vertex follows bone " << bone << ", no original vertex does";
                if (bestGap < 1e29) matches.push_back(best);
            }
        for (int32_t f = 0; f < trip.frames; ++f) {
            a.Skin(original.biped, f);
            b.Skin(back.biped, f);
            for (const Match& m : matches)
                trip.worst = std::max(trip.worst, Gap(a.objects[m.ao].skinnedVertices[m.av],
                                                      b.objects[m.bo].skinnedVertices[m.bv]));
        }
        trip.compared += matches.size();
    }
    return trip;
}

// The demo character in all five parts: at every frame the viewer's
// skinning of the import gives the viewer's skinning of the original.
TEST(ModelConvert, CharacterRoundTripsThroughCharacterImport) {
    std::vector<ExportedPart> parts;
    for (const char* name : kPartSlotNames) {
        ExportedPart part;
        part.file = Demo(std::string(name) + ".mrv");
        parts.push_back(part);
    }
    const CharacterRoundTrip trip =
        RoundTripCharacter(Demo("demo.bpd"), parts, DemoDir().Path().string());
    EXPECT_GT(trip.compared, 1000u);
    EXPECT_LE(trip.worst, 1e-4 * trip.size);
    std::printf("character: %zu vertices over %d frames; largest error %.3g (model size %.3g)\n",
                trip.compared, trip.frames, trip.worst, trip.size);
}

// Bones that mirror (negative determinant) and scale still skin exactly; a
// matrix with shear is reported once, and converted with its nearest
// rotation and scale.
TEST(ModelConvert, MirroredScaledAndShearedBones) {
    TempDir dir;
    const int frames = 4;
    std::vector<BipedFileBone> bones(3);
    for (BipedFileBone& b : bones) {
        b.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        b.corners = {0, 1, 2};
    }
    for (int k = 0; k < frames; ++k) {
        const float c = std::cos(0.4f * k), s = std::sin(0.4f * k);
        // Rows _11.._13, _21.._23, _31.._33, _41.._43.
        bones[0].frames.push_back(
            {-c, 0, s, 0, 1, 0, s, 0, c, float(k), 2, 0});  // turned about y, mirrored in x
        bones[1].frames.push_back({2, 0, 0, 0, 2 * c, 2 * s, 0, -2 * s, 2 * c, 0, 5,
                                   -float(k)});  // scale 2, turned about x
        bones[2].frames.push_back(
            {1, 0, 0, k == 2 ? 0.5f : 0.0f, 1, 0, 0, 0, 1, 3, 0, 1});  // shear at frame 2
    }
    std::string error;
    ASSERT_TRUE(SaveWholeFile(dir.File("rig.bpd"), EncodeBipedFile(frames, bones), error)) << error;
    PartObjectSpec object;
    for (int16_t bone = 0; bone < 3; ++bone)
        for (const ModelVertex& v :
             {Vertex(0, 0, 0, 0, 0, -1, 0, 0), Vertex(1, 0, 0, 0, 0, -1, 1, 0),
              Vertex(0, 1, 1, 0, 0, -1, 0, 1)}) {
            object.vertices.push_back(v);
            object.bones.push_back(bone);
        }
    object.indices = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    ExportedPart part;
    part.file = PartFile({object}).SaveAs(dir.File("rig.mrv"));

    const ProgramRun run =
        RunProgram("model-convert", "--biped " + Q(dir.File("rig.bpd")) +
                                        " --part 0=" + Q(part.file) + " " + Q(dir.File("rig.glb")));
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(Has(run,
                    "rig.bpd: 1 bone matrices are not translation x rotation x scale (the first: "
                    "bone 2 at frame 2)"))
        << run.out;
    const CharacterRoundTrip trip =
        RoundTripCharacter(dir.File("rig.bpd"), {part}, dir.Path().string(), 2);
    EXPECT_EQ(trip.compared, 6u);
    EXPECT_LE(trip.worst, 1e-4 * trip.size);
}

// Damaged input and usage errors: a message naming the file or the problem,
// and nothing written; --list writes nothing.
TEST(ModelConvert, RefusesDamagedInputAndBadUsageWithoutWriting) {
    TempDir out;
    const std::string target = out.File("kept.glb");
    { std::ofstream(target) << "earlier"; }
    ByteWriter village;
    village.bytes = Bytes(Demo("village.tsl"));
    village.bytes.resize(village.bytes.size() - 5);
    ByteWriter part;
    part.bytes = Bytes(Demo("body.mrv"));
    part.bytes.resize(part.bytes.size() / 2);
    std::vector<ModelVertex> notANumber = Triangle();
    notANumber[1].y = std::nanf("");
    const std::vector<std::vector<ModelVertex>> manyFrames(2049, Triangle());
    const std::pair<std::string, std::string> damaged[] = {
        {Q(village.SaveAs(out.File("cut.tsl"))), "cut.tsl: "},
        {"--biped " + Q(out.File("cut.tsl")), "cut.tsl: "},
        {"--biped " + Q(Demo("demo.bpd")) + " --part 0=" + Q(part.SaveAs(out.File("half.mrv"))),
         "half.mrv: "},
        {Q(out.File("missing.tsl")), "missing.tsl: cannot open"},
        {Q(TesselFile(1, {{"", {notANumber}, {0, 1, 2}}}, {}).SaveAs(out.File("nan.tsl"))),
         "nan.tsl: static object 0, vertex 1: a coordinate is not a finite number"},
        {Q(TesselFile(2049, {}, {{"", manyFrames, {0, 1, 2}}}).SaveAs(out.File("long.tsl"))),
         "long.tsl: 2049 frames"}};
    for (const auto& [args, message] : damaged) {
        const ProgramRun r = RunProgram("model-convert", args + " " + Q(target));
        EXPECT_EQ(r.status, 1) << args << "\n" << r.out;
        EXPECT_TRUE(Has(r, message)) << r.out;
    }
    EXPECT_EQ(Bytes(target), std::vector<uint8_t>({'e', 'a', 'r', 'l', 'i', 'e', 'r'}));

    for (const std::string& args :
         {std::string(), Q(Demo("village.tsl")), Q(Demo("village.tsl")) + " out.obj",
          "--part 0=" + Q(Demo("body.mrv")) + " " + Q(target),
          "--biped " + Q(Demo("demo.bpd")) + " --part 7=x.mrv " + Q(target),
          Q(Demo("village.tsl")) + " " + Q(target) + " --scale 0"}) {
        const ProgramRun r = RunProgram("model-convert", args);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
        EXPECT_TRUE(Has(r, "usage: model-convert")) << r.out;
    }
    EXPECT_EQ(RunProgram("model-convert", "--help").status, 0);

    // A texture that cannot be found is told about; its object gets a plain material.
    const ProgramRun lost =
        RunProgram("model-convert", Q(TesselFile(1, {{"nowhere.tga", {Triangle()}, {0, 1, 2}}}, {})
                                          .SaveAs(out.File("lost.tsl"))) +
                                        " --list");
    EXPECT_EQ(lost.status, 0) << lost.out;
    EXPECT_TRUE(Has(lost, "lost.tsl: texture 'nowhere.tga': nowhere.tga was found neither"))
        << lost.out;
    EXPECT_TRUE(Has(lost, "material \"plain\" (no texture)")) << lost.out;

    const ProgramRun list =
        RunProgram("model-convert", CharacterArgs() + " " + Q(Demo("village.tsl")) + " " +
                                        Q(out.File("all.glb")) + " --list");
    EXPECT_EQ(list.status, 0) << list.out;
    EXPECT_FALSE(fs::exists(out.File("all.glb")));
    for (const char* text :
         {"mesh \"body\" (skinned to \"demo\")", "mesh \"village animated 0\"", "morph targets",
          "skin \"demo\": ", "animation \"village\"", "STEP", "alpha-tested"})
        EXPECT_TRUE(Has(list, text)) << text << "\n" << list.out;
    for (const auto& e : fs::directory_iterator(out.Path()))  // no temporary file left behind
        EXPECT_EQ(e.path().filename().string().find(".part-"), std::string::npos) << e.path();
}

// The Khronos validator finds no error in the demo content's conversions
// nor in the conversions of Tessel files exported from third-party scenes.
TEST(ModelConvert, KhronosValidatorFindsNoErrors) {
    const std::string validator = std::string(GLTF_CHECKS_DIR) + "/validate.js";
    const bool ci = std::getenv("CI") != nullptr && std::string(std::getenv("CI")) == "true";
    if (RunCommand("node " + Q(validator) + " --help").status != 0 ||
        !fs::exists(std::string(GLTF_CHECKS_DIR) + "/node_modules/gltf-validator")) {
        if (ci)
            FAIL()
                << "node or the glTF validator is missing (scripts/install-deps.sh installs them)";
        GTEST_SKIP()
            << "node or the glTF validator is missing (scripts/install-deps.sh installs them)";
    }
    TempDir out;
    std::vector<std::string> files = {out.File("village.glb"), out.File("village.gltf"),
                                      out.File("character.glb"), out.File("together.gltf")};
    ASSERT_EQ(RunProgram("model-convert", Q(Demo("village.tsl")) + " " + Q(files[0])).status, 0);
    ASSERT_EQ(
        RunProgram("model-convert", Q(Demo("village.tsl")) + " " + Q(files[1]) + " --scale 0.1")
            .status,
        0);
    ASSERT_EQ(RunProgram("model-convert", CharacterArgs() + " " + Q(files[2])).status, 0);
    ASSERT_EQ(RunProgram("model-convert", CharacterArgs() + " --tessel " + Q(Demo("village.tsl")) +
                                              " " + Q(files[3]))
                  .status,
              0);
    // The readable third-party scenes too, when the full collection is present.
    if (!CorpusPresent() && RunningInCi())
        ADD_FAILURE() << "third-party scene collection missing: " << SHARED_TESTDATA_DIR;
    int scenes = 0;
    for (const TestdataScene& s : TestdataScenes()) {
        if (!s.Reads() || s.malformed) continue;
        const std::string stem = out.File("scene" + std::to_string(scenes++));
        const ProgramRun exported =
            RunProgram("tessel-export", Q(CorpusScene(s.path)) + " " + Q(stem + ".tsl") + " --all");
        if (exported.status != 0 || !fs::exists(stem + ".tsl")) continue;  // no geometry
        const ProgramRun converted =
            RunProgram("model-convert", Q(stem + ".tsl") + " " + Q(stem + ".glb"));
        EXPECT_EQ(converted.status, 0) << s.path << "\n" << converted.out;
        if (converted.status == 0) files.push_back(stem + ".glb");
    }
    EXPECT_GT(files.size(), CorpusPresent() ? 30u : 3u);
    std::string args;
    for (const std::string& f : files) args += " " + Q(f);
    const ProgramRun checked = RunCommand("node " + Q(validator) + args);
    EXPECT_EQ(checked.status, 0) << checked.out;
    std::printf("%zu files validated\n", files.size());
}

}  // namespace
