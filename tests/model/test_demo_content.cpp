// The demo-content generator and the model inspector, run as programs:
// the demo files load cleanly with every texture, the figure moves with its
// bones and stands on the ground, faces are wound as the viewer culls, the
// output is the same on every run, and model-info reports damaged files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "tests/model/DamagedFiles.h"
#include "tests/support/FileContents.h"
#include "tests/support/ModelFileWriter.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TempDir.h"
#include "viewer/model/Biped.h"
#include "viewer/model/CharacterPart.h"
#include "viewer/model/TesselModel.h"
#include "viewer/model/TextureManager.h"
#include "viewer/platform/QtImageLoader.h"

namespace {

namespace fs = std::filesystem;

std::string Tool(const char* name) {
    return std::string(BIN_DIR) + "/" + name;
}

const char* const kParts[5] = {"body.mrv", "helmet.mrv", "armour.mrv", "weapon.mrv", "shoes.mrv"};

class DemoContent : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        const ProgramRun run = RunCommand(Tool("make-demo-content") + " " + dir->Path().string());
        ASSERT_EQ(run.status, 0) << run.out;
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }

    void LoadAll() {
        textures = std::make_unique<TextureManager>(1000, &loader);
        textures->SetSearchPath((dir->Path() / "textr").string());
        std::string error;
        std::FILE* f = std::fopen(dir->File("demo.bpd").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        ASSERT_TRUE(biped.Load(f, error)) << error;
        std::fclose(f);
        for (const char* name : kParts) {
            auto part = std::make_unique<CharacterPart>(*textures);
            f = std::fopen(dir->File(name).c_str(), "rb");
            ASSERT_NE(f, nullptr);
            EXPECT_GT(part->Load(f, &device, ui, error), 0) << name << ": " << error;
            std::fclose(f);
            parts.push_back(std::move(part));
        }
        tessel = std::make_unique<TesselModel>(*textures);
        f = std::fopen(dir->File("village.tsl").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        EXPECT_GT(tessel->Load(f, &device, ui, error), 0) << error;
        std::fclose(f);
    }

    static TempDir* dir;
    QtImageLoader loader;
    std::unique_ptr<TextureManager> textures;
    RecordingDevice device;
    RecordingUiServices ui;
    Biped biped;
    std::vector<std::unique_ptr<CharacterPart>> parts;
    std::unique_ptr<TesselModel> tessel;
};
TempDir* DemoContent::dir = nullptr;

TEST_F(DemoContent, LoadsWithoutAMessageAndFindsEveryTexture) {
    LoadAll();
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
    EXPECT_GE(biped.boneCount, 15);
    EXPECT_EQ(biped.frameCount, 30);
    for (const auto& part : parts) {
        for (const PartObject& o : part->objects) {
            EXPECT_GE(o.textureIndex, 0) << o.textureName;
            EXPECT_NE(textures->Surface(o.textureIndex), nullptr) << o.textureName;
            for (int16_t b : o.boneIndices) ASSERT_LT(b, biped.boneCount);
        }
    }
    ASSERT_GE(tessel->animatedCount, 1);
    EXPECT_GE(tessel->staticCount, 3);
    for (const StaticObject& o : tessel->statics)
        EXPECT_NE(textures->Surface(o.textureIndex), nullptr);
    for (const AnimatedObject& o : tessel->animateds) {
        EXPECT_NE(textures->Surface(o.textureIndex), nullptr);
    }
    // Both image kinds and both alpha cases are in use.
    const TextureEntry* helmet = textures->Entry(textures->IndexOf("helmet.tga"));
    ASSERT_NE(helmet, nullptr);
    EXPECT_TRUE(helmet->hasAlpha);
    const TextureEntry* skin = textures->Entry(textures->IndexOf("skin.bmp"));
    ASSERT_NE(skin, nullptr);
    EXPECT_TRUE(skin->bitmap);
    EXPECT_FALSE(skin->hasAlpha);
}

// Every part vertex stays near its bone's joint in every frame, the feet
// reach the ground and the head stays above the shoulders.
TEST_F(DemoContent, TheFigureMovesWithItsBonesAndStandsOnTheGround) {
    LoadAll();
    for (int frame = 0; frame < biped.frameCount; ++frame) {
        SCOPED_TRACE(frame);
        float lowestShoe = 1e9f, highestHelmet = -1e9f;
        for (size_t p = 0; p < parts.size(); ++p) {
            parts[p]->Skin(biped, frame);
            for (const PartObject& o : parts[p]->objects) {
                for (size_t j = 0; j < o.skinnedVertices.size(); ++j) {
                    const ModelVertex& v = o.skinnedVertices[j];
                    ASSERT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
                    const D3DMATRIX& m = biped.bones[o.boneIndices[j]].matrices[frame];
                    const float d = std::hypot(v.x - m[12], v.y - m[13], v.z - m[14]);
                    ASSERT_LT(d, p == 3 ? 8.0f : 5.0f) << kParts[p] << " vertex " << j;
                    if (p == 4) lowestShoe = std::min(lowestShoe, v.y);
                    if (p == 1) highestHelmet = std::max(highestHelmet, v.y);
                }
            }
        }
        EXPECT_GT(lowestShoe, -0.8f);
        EXPECT_LT(lowestShoe, 0.6f);
        EXPECT_GT(highestHelmet, 16.0f);
        EXPECT_LT(highestHelmet, 22.0f);
    }
}

// The viewer culls counter-clockwise faces: every triangle must run
// clockwise seen from the side its normals point to.
template <typename Indices>
int CountInwardTriangles(const ModelVertex* v, const Indices& indices) {
    int inward = 0;
    for (size_t k = 0; k + 2 < indices.size(); k += 3) {
        const ModelVertex &a = v[indices[k]], &b = v[indices[k + 1]], &c = v[indices[k + 2]];
        const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        const float wx = c.x - a.x, wy = c.y - a.y, wz = c.z - a.z;
        const float cx = uy * wz - uz * wy, cy = uz * wx - ux * wz, cz = ux * wy - uy * wx;
        const float nx = a.nx + b.nx + c.nx, ny = a.ny + b.ny + c.ny, nz = a.nz + b.nz + c.nz;
        if (cx * nx + cy * ny + cz * nz < 0) ++inward;
    }
    return inward;
}

TEST_F(DemoContent, FacesAreWoundClockwiseSeenFromOutside) {
    LoadAll();
    for (size_t p = 0; p < parts.size(); ++p) {
        for (const PartObject& o : parts[p]->objects) {
            EXPECT_EQ(CountInwardTriangles(o.sourceVertices.data(), o.indices), 0) << kParts[p];
        }
    }
    for (const StaticObject& o : tessel->statics) {
        EXPECT_EQ(CountInwardTriangles(o.vertices.data(), o.indices), 0) << o.textureName;
    }
    for (const AnimatedObject& o : tessel->animateds) {
        for (int k = 0; k < o.frameCount; ++k) {
            EXPECT_EQ(CountInwardTriangles(o.Frame(k), o.indices), 0) << o.textureName << " " << k;
        }
    }
}

TEST_F(DemoContent, EveryRunWritesTheSameFiles) {
    TempDir again;
    const ProgramRun run = RunCommand(Tool("make-demo-content") + " " + again.Path().string());
    ASSERT_EQ(run.status, 0) << run.out;
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir->Path())) {
        if (!entry.is_regular_file()) continue;
        const fs::path relative = fs::relative(entry.path(), dir->Path());
        EXPECT_EQ(ReadAll(entry.path()), ReadAll(again.Path() / relative)) << relative;
        ++files;
    }
    EXPECT_EQ(files, 7u + 11u);
}

TEST_F(DemoContent, ModelInfoSummarisesEveryDemoFile) {
    for (const char* name : {"demo.bpd", "body.mrv", "helmet.mrv", "armour.mrv", "weapon.mrv",
                             "shoes.mrv", "village.tsl"}) {
        const ProgramRun run = RunCommand(Tool("model-info") + " " + dir->File(name));
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(run.out.rfind(name, 0), 0u) << run.out;
    }
    const ProgramRun tessel = RunCommand(Tool("model-info") + " " + dir->File("village.tsl"));
    EXPECT_NE(tessel.out.find("Tessel model, 36 frames"), std::string::npos) << tessel.out;
    EXPECT_NE(tessel.out.find("animated   0: texture wood.tga"), std::string::npos);
    const ProgramRun part = RunCommand(Tool("model-info") + " " + dir->File("helmet.mrv"));
    EXPECT_NE(part.out.find("object  1: texture helmet.tga, 8 vertices, 4 faces"),
              std::string::npos)
        << part.out;
}

TEST(ModelInfo, DamagedCorpusFilesFailWithTheFileAndTheProblem) {
    const fs::path root = fs::path(TEST_DATA_DIR) / "damaged";
    for (const DamagedKind& kind : AllDamagedKinds()) {
        if (kind.kind == "tga") continue;  // not a model file
        for (size_t i = 0; i < kind.files.size(); ++i) {
            const fs::path path =
                root / kind.kind / DamagedFileName(i, kind.files[i], kind.extension);
            const ProgramRun run = RunCommand(Tool("model-info") + " " + path.string());
            EXPECT_EQ(run.status, 1) << path;
            EXPECT_NE(run.out.find(path.string() + ": "), std::string::npos) << run.out;
            EXPECT_NE(run.out.find(kind.files[i].messagePart), std::string::npos) << run.out;
        }
    }
}

TEST(ModelInfo, UsageAndUnknownFiles) {
    for (const char* tool : {"model-info", "make-demo-content"}) {
        const ProgramRun help = RunCommand(Tool(tool) + " --help");
        EXPECT_EQ(help.status, 0) << tool;
        EXPECT_NE(help.out.find(std::string("usage: ") + tool), std::string::npos) << help.out;
        EXPECT_EQ(RunCommand(Tool(tool)).status, 2) << tool;
    }
    EXPECT_EQ(RunCommand(Tool("model-info") + " --bogus x.tsl").status, 2);
    EXPECT_EQ(RunCommand(Tool("model-info") + " x.mrv --biped").status, 2);
    TempDir dir;
    std::ofstream(dir.File("notes.txt")) << "x";
    const ProgramRun unknown = RunCommand(Tool("model-info") + " " + dir.File("notes.txt"));
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.out.find(dir.File("notes.txt") + ": not a model file"), std::string::npos)
        << unknown.out;
    const ProgramRun missing = RunCommand(Tool("model-info") + " " + dir.File("none.tsl"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("cannot open"), std::string::npos);
    // What is not a regular file is refused before anything is read from it:
    // a FIFO without a writer does not block, an endless device is not read.
    ASSERT_EQ(::mkfifo(dir.File("pipe.tsl").c_str(), 0600), 0);
    const struct {
        std::string path, says;
    } notFiles[] = {{dir.File("pipe.tsl"), "is a FIFO"},
                    {"/dev/zero", "is a device"},
                    {dir.Path().string(), "directory"}};
    for (const auto& c : notFiles) {
        const ProgramRun run = RunCommand("timeout 20 " + Tool("model-info") + " '" + c.path + "'");
        EXPECT_EQ(run.status, 1) << c.path;
        EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
    }
}

// Several files at once, parts checked against a skeleton, textures looked up
// as the viewer does, files of another kind named as what they are, and
// values the formats cannot mean.
TEST_F(DemoContent, ModelInfoChecksPartsAgainstASkeletonAndTheirTextures) {
    const std::string biped = dir->File("demo.bpd");
    ProgramRun run = RunCommand(Tool("model-info") + " " + dir->File("helmet.mrv") + " " +
                                dir->File("village.tsl") + " --biped " + biped);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("helmet.mrv: character part"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("village.tsl: Tessel model"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  skeleton " + biped + ": fits (17 bones)"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  textures: all 5 found and readable"), std::string::npos) << run.out;

    TempDir other;
    const std::vector<uint8_t> helmet = ReadAll(dir->File("helmet.mrv"));
    std::ofstream(other.File("helmet.mrv"), std::ios::binary)
        .write(reinterpret_cast<const char*>(helmet.data()), helmet.size());
    std::ofstream(other.File("helmet.tsl"), std::ios::binary)
        .write(reinterpret_cast<const char*>(helmet.data()), helmet.size());
    std::ofstream(other.File("helmet.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(helmet.data()), helmet.size());
    // A skeleton given as the wrong kind, a part for a larger skeleton, and
    // one with an infinite coordinate.
    run = RunCommand(Tool("model-info") + " " + other.File("helmet.mrv") + " --biped " +
                     dir->File("weapon.mrv"));
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find(dir->File("weapon.mrv") +
                           ": this is a character part (.mrv), not a skeleton animation (.bpd)"),
              std::string::npos)
        << run.out;
    const std::vector<ModelVertex> corners = {Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0)};
    PartFile({{"", corners, {0, 99, 0}, {0, 1, 2}}}).SaveAs(other.File("big.mrv"));
    run = RunCommand(Tool("model-info") + " " + other.File("big.mrv") + " --biped " + biped);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find(other.File("big.mrv") + ": made for another skeleton than " + biped +
                           " (bones up to 99"),
              std::string::npos)
        << run.out;
    PartFile({{"", {corners[0], Vertex(INFINITY, 0, 0), corners[2]}, {0, 0, 0}, {0, 1, 2}}})
        .SaveAs(other.File("inf.mrv"));
    run = RunCommand(Tool("model-info") + " " + other.File("inf.mrv"));
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("inf.mrv: object 0 vertex 1 holds a value that is not a finite number"),
              std::string::npos)
        << run.out;
    run =
        RunCommand("cd " + other.Path().string() + " && ZINTARO_MEDIA_DIR= " + Tool("model-info") +
                   " helmet.mrv helmet.bin helmet.tsl");
    EXPECT_EQ(run.status, 1) << run.out;
    // Read by content, and the texture missing beside it.
    EXPECT_NE(run.out.find("helmet.bin: character part"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  texture helmet.tga: helmet.tga was found neither"), std::string::npos)
        << run.out;
    EXPECT_NE(
        run.out.find("helmet.tsl: this is a character part (.mrv), not a Tessel model (.tsl)"),
        std::string::npos)
        << run.out;
}

}  // namespace
