// Round trip: every third-party scene with geometry exported with all its
// objects and read back with the viewer's reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/exporter/ExportFixtures.h"

namespace {

namespace fs = std::filesystem;

// Files that crash the importer itself (or exhaust memory in it).
bool CrashesTheImporter(const std::string& path) {
    for (const char* name :
         {"malformed_skinweights_oob.x", "crash-30d6d0f7c529b3b66b4131700b7a4580cd7082df.ply",
          "CubeInvalidAccessorByteLength.glb", "CubeInvalidBufferViewLength.glb",
          "OutOfMemory.off"})
        if (fs::path(path).filename() == name) return true;
    return false;
}

bool MayBeAScene(const fs::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* skip : {".png", ".jpg", ".jpeg", ".tga", ".md", ".txt", ".bin", ".mtl", ""})
        if (ext == skip && !(ext.empty() && p.filename().string().rfind("clusterfuzz", 0) == 0))
            return false;
    return p.filename() != "LICENSE";
}

std::vector<std::string> Scenes() {
    std::vector<std::string> paths;
    for (const auto& e : fs::recursive_directory_iterator(CorpusScene("")))
        if (e.is_regular_file() && MayBeAScene(e.path()) && !CrashesTheImporter(e.path().string()))
            paths.push_back(e.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

int MeshFaces(INode* node) {
    bool deleteIt = false;
    TriObject* tri = MeshFromNode(node, 0, deleteIt);
    const int faces = tri ? tri->GetMesh().numFaces : 0;
    if (deleteIt) tri->DeleteMe();
    return faces;
}

TEST(RoundTrip, EverySceneWithGeometryReadsBackInTheViewer) {
    REQUIRE_SCENE_CORPUS();
    const std::vector<std::string> scenes = Scenes();
    ASSERT_GT(scenes.size(), 60u);
    int exported = 0, objects = 0;
    TempDir dir;
    for (const std::string& path : scenes) {
        SCOPED_TRACE(path);
        std::string error;
        std::unique_ptr<HostScene> scene = HostScene::Load(path, error);
        if (!scene) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        SetTicksPerFrame(scene->TicksPerFrame());
        TesselExp exp;
        const std::string out = dir.File("round.tsl");
        fs::remove(out);
        const ExportRun run = RunExport(*scene, exp, out, SaveAll());
        if (exp.staticCount + exp.animCount == 0) {
            // No geometry: save-all found nothing and no file was written.
            EXPECT_FALSE(fs::exists(out));
            continue;
        }
        ASSERT_EQ(run.result, 1);
        const std::vector<uint8_t> bytes = ReadBytes(out);
        TesselFileData data;
        ASSERT_TRUE(ParseTesselFile(bytes.data(), bytes.size(), data, error)) << error;
        ASSERT_EQ(static_cast<int>(data.statics.size()), exp.staticCount);
        ASSERT_EQ(static_cast<int>(data.animateds.size()), exp.animCount);
        EXPECT_EQ(data.frameCount, FrameCountFor(exp.animCount, exp.startTime, exp.endTime,
                                                 GetTicksPerFrame(), exp.frameStep));

        // Each record holds its node's faces, or none with a message naming it.
        int64_t faces = 0;
        auto check = [&](INode* node, int32_t vertexCount, int32_t faceCount,
                         const std::vector<uint16_t>& indices) {
            const int want = MeshFaces(node);
            bool reported = false;
            for (const auto& m : run.messages)
                reported = reported || m.text.find(std::string("'") + node->GetName() + "'") !=
                                           std::string::npos;
            if (faceCount != want) {
                EXPECT_EQ(faceCount, 0) << node->GetName();
                EXPECT_TRUE(reported) << node->GetName();
            }
            EXPECT_LE(vertexCount, 65536);
            for (uint16_t i : indices) ASSERT_LT(i, vertexCount);
            faces += faceCount;
            ++objects;
        };
        for (int i = 0; i < exp.staticCount; ++i)
            check(exp.staticNodes[i], data.statics[static_cast<size_t>(i)].vertexCount,
                  data.statics[static_cast<size_t>(i)].faceCount,
                  data.statics[static_cast<size_t>(i)].indices);
        for (int i = 0; i < exp.animCount; ++i)
            check(exp.animNodes[i], data.animateds[static_cast<size_t>(i)].vertexCount,
                  data.animateds[static_cast<size_t>(i)].faceCount,
                  data.animateds[static_cast<size_t>(i)].indices);
        EXPECT_EQ(faces, data.faceTotal);
        for (const auto& o : data.statics) EXPECT_LE(o.textureName.size(), 79u);
        auto unitNormals = [](const std::vector<ModelVertex>& vertices) {
            for (const ModelVertex& x : vertices)
                ASSERT_NEAR(x.nx * x.nx + x.ny * x.ny + x.nz * x.nz, 1.0f, 1e-3f);
        };
        for (const auto& o : data.statics) unitNormals(o.vertices);
        for (const auto& o : data.animateds) unitNormals(o.frames);
        ++exported;
    }
    // Most of the collection has geometry.
    EXPECT_GT(exported, 45);
    std::printf("exported %d scenes, %d objects\n", exported, objects);
}

}  // namespace
