// The host program on every malformed, refused or importer-crashing scene of
// the third-party scene collection: it ends with a message naming the file and a failure
// status, never by a signal, and leaves an earlier output file as it was.
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "exporter/host/SceneTransfer.h"
#include "tests/exporter/SceneFiles.h"
#include "tests/exporter/TestdataIndex.h"
#include "tests/support/FileContents.h"
#include "tests/support/ProgramRun.h"
#include "viewer/model/TesselModel.h"

namespace fs = std::filesystem;

namespace {

// Runs tessel-export with the importer held to a small memory limit, so a
// runaway import ends quickly in every build; `environment` adds variables.
ProgramRun RunHost(const std::string& args, const std::string& environment = "") {
    return RunCommand("TESSEL_IMPORT_MEMORY_LIMIT=400 " + environment + " exec " +
                      std::string(BIN_DIR) + "/tessel-export " + args);
}

const char kEarlier[] = "an earlier export that must survive";

// Scenes the index reports as refused that the host reads: its importer
// settings keep a mesh whose non-finite coordinates it then sets to 0.
const char* const kReadByTheHost[] = {"draco/testdata/inf_nan.obj"};

bool ReadByTheHost(const std::string& path) {
    for (const char* p : kReadByTheHost)
        if (path == p) return true;
    return false;
}

TEST(HostProgramMalformedScenes, EveryRefusedOrCrashingSceneEndsWithAMessage) {
    REQUIRE_SCENE_CORPUS();
    size_t checked = 0, crashing = 0;
    for (const TestdataScene& s : TestdataScenes()) {
        if (s.Reads() || ReadByTheHost(s.path)) continue;
        SCOPED_TRACE(s.path + " (" + s.outcome + ")");
        ++checked;
        if (s.outcome.rfind("SIG", 0) == 0) ++crashing;
        const std::string scene = CorpusScene(s.path);
        TempDir dir;
        const std::string out = dir.File("out.tsl");
        std::ofstream(out) << kEarlier;

        for (const std::string& mode : {std::string("--all"), std::string("--list")}) {
            const ProgramRun r = RunHost(Q(scene) + " " + Q(out) + " " + mode);
            EXPECT_EQ(r.signal, 0) << r.out;
            EXPECT_EQ(r.status, 1) << r.out;
            EXPECT_NE(r.out.find("tessel-export: cannot read scene file '" + scene + "': "),
                      std::string::npos)
                << r.out;
            EXPECT_EQ(ReadText(out), kEarlier);
            EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"out.tsl"});
        }
        const ProgramRun fresh = RunHost(Q(scene) + " " + Q(dir.File("new.tsl")) + " --all");
        EXPECT_EQ(fresh.status, 1) << fresh.out;
        EXPECT_FALSE(fs::exists(dir.File("new.tsl")));
        // The interactive front end reads the scene the same way.
        if (s.outcome.rfind("SIG", 0) == 0) {
            const ProgramRun window = RunHost(Q(scene) + " " + Q(out) + " --interactive",
                                              "QT_QPA_PLATFORM=xcb DISPLAY=:4242");
            EXPECT_EQ(window.signal, 0) << window.out;
            EXPECT_EQ(window.status, 1) << window.out;
            EXPECT_NE(window.out.find("cannot read scene file '" + scene + "': "),
                      std::string::npos)
                << window.out;
            EXPECT_EQ(ReadText(out), kEarlier);
        }
    }
    // The index lists the scenes Assimp crashes on and those it refuses.
    EXPECT_EQ(crashing, 4u);
    EXPECT_GE(checked, 25u);
}

TEST(HostProgramMalformedScenes, MalformedScenesTheImporterReadsExportOrFailCleanly) {
    REQUIRE_SCENE_CORPUS();
    size_t checked = 0;
    for (const TestdataScene& s : TestdataScenes()) {
        if (!(s.malformed && s.Reads()) && !ReadByTheHost(s.path)) continue;
        SCOPED_TRACE(s.path);
        ++checked;
        TempDir dir;
        const std::string out = dir.File("out.tsl");
        std::ofstream(out) << kEarlier;
        const ProgramRun r = RunHost(Q(CorpusScene(s.path)) + " " + Q(out) + " --all");
        EXPECT_EQ(r.signal, 0) << r.out;
        ASSERT_TRUE(r.status == 0 || r.status == 1) << r.out;
        if (r.status == 0) {
            // What was written is a Tessel file the viewer reads.
            const std::string bytes = ReadText(out);
            TesselFileData data;
            std::string error;
            EXPECT_TRUE(ParseTesselFile(reinterpret_cast<const uint8_t*>(bytes.data()),
                                        bytes.size(), data, error) ||
                        error == kNoObjectsMessage)
                << error;
        } else {
            EXPECT_EQ(ReadText(out), kEarlier) << r.out;
        }
        EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"out.tsl"});
    }
    EXPECT_GE(checked, 8u);
}

// The host trusts nothing the importer program sends: an importer that lies
// about its result (TESSEL_IMPORTER names it), or sends a scene larger in
// memory than it could have held itself, ends the export with a message, and
// the earlier file stays.
TEST(HostProgramMalformedScenes, AnImporterThatLiesIsRefused) {
    TempDir work, dir;
    GltfBuilder b;
    b.AddNode("Crate", -1, b.AddMesh({GltfBuilder::Box()}));
    const std::string scene = work.File("crate.gltf");
    ASSERT_TRUE(b.Write(scene));
    const std::string importer = work.File("importer"), result = work.File("result");
    std::ofstream(importer) << "#!/bin/sh\nexec cat " << Q(result) << "\n";
    fs::permissions(importer, fs::perms::owner_all);
    const std::string out = dir.File("out.tsl");
    std::ofstream(out) << kEarlier;

    // The result's header: a status byte (0: a scene follows), then its length.
    auto header = [](char status, uint64_t length) {
        return std::string(1, status) + std::string(reinterpret_cast<const char*>(&length), 8);
    };
    const std::string larger =
        "the importer's scene is larger than it announced or than its "
        "memory limit of 400 MB (TESSEL_IMPORT_MEMORY_LIMIT sets the limit)";
    // 20,000 metadata texts of 13 bytes each: about 260 KB that take about
    // 40 MB once every name is a fixed 1 KiB string again.
    aiScene named;
    named.mRootNode = new aiNode("Root");
    named.mRootNode->mMetaData = aiMetadata::Alloc(20000);
    for (unsigned i = 0; i < 20000; ++i) named.mRootNode->mMetaData->Set(i, "k", aiString(""));
    std::vector<uint8_t> texts;
    WriteSceneBytes(named, texts);
    const std::string manyNames = header(0, texts.size()) + std::string(texts.begin(), texts.end());

    const struct {
        std::string bytes, reason, environment = "";
    } lies[] = {
        {header(0, uint64_t{1} << 40), larger},
        {header(0, 4) + std::string(64, 'x'), larger},
        {header(0, 1000) + std::string(10, 'x'),
         "the importer's result was cut short: it announced 1000 bytes and sent 10"},
        {header(0, 3).substr(0, 3),
         "the importer's result was cut short: 3 bytes, not even its header"},
        {header(0, 16) + std::string(16, 'x'), "the importer's scene does not start as one"},
        {header(7, 0), "the importer's result is damaged (it starts with 7"},
        {manyNames,
         "the importer's scene cannot be taken over: it would take more than 16 MB of memory "
         "(TESSEL_IMPORT_MEMORY_LIMIT sets the limit)",
         "TESSEL_IMPORT_MEMORY_LIMIT=16 "},
    };
    for (const auto& lie : lies) {
        std::ofstream(result, std::ios::binary) << lie.bytes;
        const ProgramRun r = RunHost(Q(scene) + " " + Q(out) + " --all",
                                     lie.environment + "TESSEL_IMPORTER=" + Q(importer));
        SCOPED_TRACE(lie.reason);
        EXPECT_EQ(r.signal, 0) << r.out;
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(
            r.out.find("tessel-export: cannot read scene file '" + scene + "': " + lie.reason),
            std::string::npos)
            << r.out;
        EXPECT_EQ(ReadText(out), kEarlier);
        EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"out.tsl"});
    }

    // An importer program that is not there.
    const ProgramRun r =
        RunHost(Q(scene) + " " + Q(out) + " --all", "TESSEL_IMPORTER=/nonexistent/importer");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("cannot start the importer '/nonexistent/importer': No such file"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(ReadText(out), kEarlier);
}

}  // namespace
