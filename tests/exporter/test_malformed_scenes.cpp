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
#include "viewer/model/TesselModel.h"

namespace fs = std::filesystem;

namespace {

struct ProgramRun {
    int status = -1;     // exit status; -1 when the program did not exit normally
    int signal = 0;      // the signal that ended it
    std::string output;  // standard output and standard error together
};

// Runs tessel-export with the importer held to a small memory limit, so a
// runaway import ends quickly in every build; `environment` adds variables.
ProgramRun RunHost(const std::string& args, const std::string& environment = "") {
    const std::string cmd = "TESSEL_IMPORT_MEMORY_LIMIT=400 " + environment + " exec " +
                            std::string(BIN_DIR) + "/tessel-export " + args + " 2>&1";
    ProgramRun r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
    const int st = ::pclose(p);
    if (WIFEXITED(st)) {
        r.status = WEXITSTATUS(st);
        // exec keeps the shell out: a status above 128 is a signal seen by a shell.
        if (r.status > 128) r.signal = r.status - 128;
    } else if (WIFSIGNALED(st)) {
        r.signal = WTERMSIG(st);
    }
    return r;
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
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
            const ProgramRun r = RunHost(Quote(scene) + " " + Quote(out) + " " + mode);
            EXPECT_EQ(r.signal, 0) << r.output;
            EXPECT_EQ(r.status, 1) << r.output;
            EXPECT_NE(r.output.find("tessel-export: cannot read scene file '" + scene + "': "),
                      std::string::npos)
                << r.output;
            EXPECT_EQ(ReadAll(out), kEarlier);
            EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"out.tsl"});
        }
        const ProgramRun fresh =
            RunHost(Quote(scene) + " " + Quote(dir.File("new.tsl")) + " --all");
        EXPECT_EQ(fresh.status, 1) << fresh.output;
        EXPECT_FALSE(fs::exists(dir.File("new.tsl")));
        // The interactive front end reads the scene the same way.
        if (s.outcome.rfind("SIG", 0) == 0) {
            const ProgramRun window = RunHost(Quote(scene) + " " + Quote(out) + " --interactive",
                                              "QT_QPA_PLATFORM=xcb DISPLAY=:4242");
            EXPECT_EQ(window.signal, 0) << window.output;
            EXPECT_EQ(window.status, 1) << window.output;
            EXPECT_NE(window.output.find("cannot read scene file '" + scene + "': "),
                      std::string::npos)
                << window.output;
            EXPECT_EQ(ReadAll(out), kEarlier);
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
        const ProgramRun r = RunHost(Quote(CorpusScene(s.path)) + " " + Quote(out) + " --all");
        EXPECT_EQ(r.signal, 0) << r.output;
        ASSERT_TRUE(r.status == 0 || r.status == 1) << r.output;
        if (r.status == 0) {
            // What was written is a Tessel file the viewer reads.
            const std::string bytes = ReadAll(out);
            TesselFileData data;
            std::string error;
            EXPECT_TRUE(ParseTesselFile(reinterpret_cast<const uint8_t*>(bytes.data()),
                                        bytes.size(), data, error) ||
                        error == kNoObjectsMessage)
                << error;
        } else {
            EXPECT_EQ(ReadAll(out), kEarlier) << r.output;
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
    std::ofstream(importer) << "#!/bin/sh\nexec cat " << Quote(result) << "\n";
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
        const ProgramRun r = RunHost(Quote(scene) + " " + Quote(out) + " --all",
                                     lie.environment + "TESSEL_IMPORTER=" + Quote(importer));
        SCOPED_TRACE(lie.reason);
        EXPECT_EQ(r.signal, 0) << r.output;
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(
            r.output.find("tessel-export: cannot read scene file '" + scene + "': " + lie.reason),
            std::string::npos)
            << r.output;
        EXPECT_EQ(ReadAll(out), kEarlier);
        EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"out.tsl"});
    }

    // An importer program that is not there.
    const ProgramRun r = RunHost(Quote(scene) + " " + Quote(out) + " --all",
                                 "TESSEL_IMPORTER=/nonexistent/importer");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("cannot start the importer '/nonexistent/importer': No such file"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(ReadAll(out), kEarlier);
}

}  // namespace
