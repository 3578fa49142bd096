// The export driver: its results, the order of the file's records, the
// progress bar, cancelling, and a file that takes the target's place only
// when it is complete.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <set>

#include "exporter/host/ConsoleUi.h"
#include "exporter/host/HostMaterials.h"
#include "tests/exporter/ExportFixtures.h"

namespace {

namespace fs = std::filesystem;
using namespace ExportDialogIds;

// Three static boxes and one moving one, two of them textured; a lamp with
// a material of its own that is not exported.
GltfBuilder Yard() {
    GltfBuilder b;
    const int brick = b.AddMaterial("Brick", "brick.bmp");
    const int wood = b.AddMaterial("Wood", "wood.bmp");
    const int lampMat = b.AddMaterial("Glass", "glass.bmp");
    b.AddNode("Wall", -1, b.AddMesh({GltfBuilder::Box(1.0f, true, brick)}));
    b.AddNode("Fence", -1, b.AddMesh({GltfBuilder::Box(1.0f, false)}));
    b.AddNode("Shed", -1, b.AddMesh({GltfBuilder::Box(2.0f, true, wood)}));
    const int cart = b.AddNode("Cart", -1, b.AddMesh({GltfBuilder::Box(0.5f, true, wood)}));
    b.Animate(cart, "translation", {0.0f, 1.0f}, {0, 0, 0, 5, 0, 0});
    b.AddNode("Lamp", -1, b.AddMesh({GltfBuilder::Box(0.1f, true, lampMat)}));
    return b;
}

class ExportDriver : public ::testing::Test {
protected:
    void SetUp() override {
        scene = LoadBuilt(Yard(), dir);
        ASSERT_TRUE(scene);
    }
    ExportDialogAnswers Without(const std::string& skip) {
        ExportDialogAnswers a;
        a.take = ExportDialogAnswers::Take::Selected;
        for (const char* n : {"Wall", "Fence", "Shed", "Cart", "Lamp"})
            if (skip != n) a.names.push_back(n);
        return a;
    }
    // Files in the directory besides the scene.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.Path()))
            if (e.path().filename() != "scene.gltf") names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    TempDir dir;
    std::unique_ptr<HostScene> scene;
    std::string out = dir.File("yard.tsl");
};

TEST_F(ExportDriver, WritesHeaderAndRecordsInListOrder) {
    TesselExp exp;
    const ExportRun run = RunExport(*scene, exp, out, Answer(Without("Lamp")));
    ASSERT_EQ(run.result, 1);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ(run.progress, (std::vector<int>{25, 50, 75, 100}));
    // Every material of the scene is in the table, the lamp's too.
    EXPECT_GE(exp.materials.IndexOf(scene->FindNode("Lamp")->GetMtl()), 0);

    const TesselFileData data = ReadTessel(out);
    EXPECT_EQ(data.frameCount, 31);
    ASSERT_EQ(data.statics.size(), 3u);
    ASSERT_EQ(data.animateds.size(), 1u);
    EXPECT_EQ(data.statics[0].textureName, "brick.bmp");
    EXPECT_EQ(data.statics[1].textureName, "");
    EXPECT_EQ(data.statics[2].textureName, "wood.bmp");
    EXPECT_EQ(data.animateds[0].textureName, "wood.bmp");
    EXPECT_EQ(data.faceTotal, 4 * 12);
    // Without texture coordinates a box keeps its 8 corners; with them, one
    // vertex per distinct corner position and texture pair.
    EXPECT_EQ(data.statics[1].vertexCount, 8);
    const GltfBuilder::Primitive box = GltfBuilder::Box();
    std::set<std::vector<float>> distinct;
    for (size_t i = 0; i < box.positions.size() / 3; ++i)
        distinct.insert({box.positions[3 * i], box.positions[3 * i + 1], box.positions[3 * i + 2],
                         box.uvs[2 * i], box.uvs[2 * i + 1]});
    EXPECT_EQ(data.statics[0].vertexCount, static_cast<int32_t>(distinct.size()));
    EXPECT_EQ(Files(), std::vector<std::string>{"yard.tsl"});
}

TEST_F(ExportDriver, WithoutPromptsNothingIsShownOrWritten) {
    TesselExp exp;
    RecordingHostUi ui;
    HostInterface ip(*scene, ui);
    EXPECT_EQ(exp.DoExport(out.c_str(), nullptr, &ip, TRUE, 0), 0);
    EXPECT_TRUE(ui.dialogs.empty());
    EXPECT_TRUE(ui.progressTitles.empty());
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(ExportDriver, CancelledDialogLeavesTheOldFile) {
    ASSERT_TRUE(WriteBytes(out, "old contents"));
    TesselExp exp;
    const ExportRun run = RunExport(*scene, exp, out, [](DialogWindow& d) { d.Click(kCancel); });
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(run.progress.empty());
    EXPECT_EQ(ReadBytes(out),
              std::vector<uint8_t>({'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't', 's'}));
}

TEST_F(ExportDriver, TargetsThatCannotBeWritten) {
    // A write-protected file, a directory, and a directory that does not exist.
    ASSERT_TRUE(WriteBytes(out, "keep"));
    ASSERT_EQ(::chmod(out.c_str(), 0444), 0);
    fs::create_directory(dir.File("folder.tsl"));
    for (const std::string& target : {out, dir.File("folder.tsl"), dir.File("missing/yard.tsl")}) {
        SCOPED_TRACE(target);
        TesselExp exp;
        const ExportRun run = RunExport(*scene, exp, target, SaveAll());
        EXPECT_EQ(run.result, 0);
        EXPECT_TRUE(run.messages.empty());
        EXPECT_TRUE(run.progress.empty());
    }
    EXPECT_EQ(ReadBytes(out), std::vector<uint8_t>({'k', 'e', 'e', 'p'}));
    EXPECT_EQ(Files(), (std::vector<std::string>{"folder.tsl", "yard.tsl"}));
}

TEST_F(ExportDriver, ReplacesAnEarlierFileKeepingItsPermissionsAndLinks) {
    ASSERT_TRUE(WriteBytes(out, "old"));
    ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
    const std::string link = dir.File("link.tsl");
    fs::create_symlink(out, link);
    TesselExp exp;
    ASSERT_EQ(RunExport(*scene, exp, link, SaveAll()).result, 1);
    EXPECT_TRUE(fs::is_symlink(link));
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_GT(ReadBytes(out).size(), 100u);
}

TEST_F(ExportDriver, CancelWhileWritingLeavesNoPartialFile) {
    ASSERT_TRUE(WriteBytes(out, "old"));
    TesselExp exp;
    const ExportRun run = RunExport(*scene, exp, out, SaveAll(), 0,
                                    [](RecordingHostUi& ui) { ui.cancelAfterUpdates = 2; });
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.progress, (std::vector<int>{20, 40}));  // five objects; stopped before the third
    EXPECT_EQ(ReadBytes(out), std::vector<uint8_t>({'o', 'l', 'd'}));
    EXPECT_EQ(Files(), std::vector<std::string>{"yard.tsl"});
}

TEST_F(ExportDriver, CtrlCInTheConsoleHostCancels) {
    ConsoleUi::CatchInterrupt();
    std::FILE* sink = std::tmpfile();
    ConsoleUi ui(sink);
    SetHostUi(&ui);
    ui.dialogAnswers = [](DialogWindow& d) {
        d.Click(kSaveAll);
        std::raise(SIGINT);  // the user presses Ctrl-C as the export starts
    };
    HostInterface ip(*scene, ui);
    TesselExp exp;
    EXPECT_EQ(exp.DoExport(out.c_str(), nullptr, &ip, FALSE, 0), 1);
    EXPECT_TRUE(ui.CancelRequested());
    ui.SetCancel(false);
    SetHostUi(nullptr);
    std::fclose(sink);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(Files().empty());
}

TEST_F(ExportDriver, FailedWriteLeavesTheOldFile) {
    ASSERT_TRUE(WriteBytes(out, "old"));
    // Writes beyond 2000 bytes fail, as on a full disk.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 2000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    TesselExp exp;
    const ExportRun run = RunExport(*scene, exp, out, SaveAll());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(ReadBytes(out), std::vector<uint8_t>({'o', 'l', 'd'}));
    EXPECT_EQ(Files(), std::vector<std::string>{"yard.tsl"});
}

TEST_F(ExportDriver, ObjectThatChangedSinceTheDialogGetsAnEmptyPart) {
    TesselExp exp;
    const ExportRun run = RunExport(*scene, exp, out, [&](DialogWindow& d) {
        d.Click(kSaveAll);
        // After the lists were taken the fence starts to move.
        auto* fence = static_cast<HostNode*>(scene->FindNode("Fence"));
        fence->track.position = {{0.0, Point3(0.0f, 0.0f, 0.0f)},
                                 {4800.0, Point3(3.0f, 0.0f, 0.0f)}};
    });
    ASSERT_EQ(run.result, 1);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_NE(run.messages[0].text.find("'Fence'"), std::string::npos);
    const TesselFileData data = ReadTessel(out);
    ASSERT_EQ(data.statics.size(), 4u);
    EXPECT_EQ(data.statics[1].vertexCount, 0);
    EXPECT_EQ(data.statics[1].faceCount, 0);
    EXPECT_EQ(data.statics[2].faceCount, 12);
}

}  // namespace
