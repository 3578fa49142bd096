// The export dialog as the plug-in runs it: opening, the two lists, the
// save buttons with the object limit and the "nothing to save" messages,
// the frame options with their clamping and the refused frame step.
#include <gtest/gtest.h>

#include <filesystem>

#include "exporter/plugin/resource.h"
#include "tests/exporter/ExportFixtures.h"

namespace {

using namespace ExportDialogIds;

std::vector<std::string> Items(DialogWindow& d, int id) {
    std::vector<std::string> names;
    for (const auto& item : d.Find(id)->list) names.push_back(item.text);
    return names;
}

std::vector<std::string> Names(INode* const* nodes, int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(nodes[i]->GetName());
    return names;
}

// A village: static houses (one below a moving cart), animated cart and
// mill, a camera target, and a biped.
GltfBuilder Village(bool biped = true) {
    GltfBuilder b;
    const int box = b.AddMesh({GltfBuilder::Box()});
    b.AddNode("House", -1, box);
    const int cart = b.AddNode("Cart", -1, box);
    b.Animate(cart, "translation", {0.0f, 100.0f / 30.0f}, {0, 0, 0, 9, 0, 0});
    b.AddNode("Crate", cart, box);  // moves only with its parent: static
    const int mill = b.AddNode("Mill", -1, box);
    b.Animate(mill, "rotation", {0.0f, 1.0f}, {0, 0, 0, 1, 0, 0.7071068f, 0, 0.7071068f});
    b.AddNode("Camera.Target");
    if (biped) b.AddNode("Bip01 Spine", b.AddNode("Bip01"));
    b.AddNode("Well", -1, box);
    return b;
}

class ExportDialogTest : public ::testing::Test {
protected:
    void Load(const GltfBuilder& b) {
        scene = LoadBuilt(b, dir);
        ASSERT_TRUE(scene);
    }
    ExportRun Run(const std::function<void(DialogWindow&)>& answer, DWORD options = 0) {
        return RunExport(*scene, exp, out, answer, options);
    }
    TempDir dir;
    std::unique_ptr<HostScene> scene;
    TesselExp exp;
    std::string out = dir.File("village.tsl");
};

TEST_F(ExportDialogTest, OpensWithTheListsTheRangeAndTheCentring) {
    Load(Village());
    bool seen = false;
    const ExportRun run = Run([&](DialogWindow& d) {
        seen = true;
        EXPECT_EQ(d.Template().caption, "Building Export");
        EXPECT_EQ(Items(d, kStaticList), (std::vector<std::string>{"House", "Crate", "Well"}));
        EXPECT_EQ(Items(d, kAnimList), (std::vector<std::string>{"Cart", "Mill"}));
        // Item data is the node itself.
        EXPECT_EQ(reinterpret_cast<INode*>(d.Find(kAnimList)->list[1].data),
                  scene->FindNode("Mill"));
        EXPECT_EQ(d.Find(kStartFrame)->text, "0");
        EXPECT_EQ(d.Find(kEndFrame)->text, "100");
        EXPECT_EQ(d.Find(kFrameStep)->text, "1");
        EXPECT_EQ(d.Find(kCentre)->check, BST_CHECKED);
        EXPECT_TRUE(d.Find(kCentre)->enabled);
        EXPECT_EQ(theExporter, &exp);
        d.Click(kCancel);
    });
    EXPECT_TRUE(seen);
    EXPECT_EQ(run.result, 1);  // cancelled: no file
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(exp.staticCount + exp.animCount, 0);
}

TEST_F(ExportDialogTest, RangeInsideAFrameIsShownTruncatedTowardZero) {
    GltfBuilder b;
    const int box = b.AddNode("Box", -1, b.AddMesh({GltfBuilder::Box()}));
    // Keys from tick -250 to tick 570 at 160 ticks per frame: frames -1.56 and 3.56.
    b.Animate(box, "translation", {-250.0f / 4800.0f, 570.0f / 4800.0f}, {0, 0, 0, 1, 0, 0});
    Load(b);
    ASSERT_EQ(scene->AnimRange(), Interval(-250, 570));
    Run([&](DialogWindow& d) {
        EXPECT_EQ(d.Find(kStartFrame)->text, "-1");
        EXPECT_EQ(d.Find(kEndFrame)->text, "3");
        d.Click(kCancel);
    });
}

TEST_F(ExportDialogTest, WithoutABipedTheCheckBoxIsDisabledButStaysChecked) {
    Load(Village(false));
    const ExportRun run = Run(SaveAll("", "", "", /*centre=*/false));
    ASSERT_EQ(run.result, 1);
    EXPECT_EQ(exp.bipedRoot, nullptr);
    EXPECT_EQ(exp.centreOnBiped, TRUE);  // the user could not clear it
}

TEST_F(ExportDialogTest, SaveSelectedTakesTheHighlightedItemsStaticFirst) {
    Load(Village());
    ExportDialogAnswers a;
    a.take = ExportDialogAnswers::Take::Selected;
    a.names = {"Mill", "Well"};
    a.centre = false;
    ASSERT_EQ(Run(Answer(a)).result, 1);
    EXPECT_EQ(Names(exp.staticNodes, exp.staticCount), std::vector<std::string>{"Well"});
    EXPECT_EQ(Names(exp.animNodes, exp.animCount), std::vector<std::string>{"Mill"});
    EXPECT_EQ(exp.centreOnBiped, FALSE);
    // The file holds the chosen objects, static first.
    const TesselFileData data = ReadTessel(out);
    EXPECT_EQ(data.frameCount, 101);
    EXPECT_EQ(data.statics.size(), 1u);
    EXPECT_EQ(data.animateds.size(), 1u);
}

TEST_F(ExportDialogTest, SelectionOnlyExportListsSelectedNodes) {
    Load(Village());
    ASSERT_TRUE(scene->Select({"Crate", "Mill", "Bip01"}).empty());
    ASSERT_EQ(Run(
                  [&](DialogWindow& d) {
                      EXPECT_EQ(Items(d, kStaticList), std::vector<std::string>{"Crate"});
                      EXPECT_EQ(Items(d, kAnimList), std::vector<std::string>{"Mill"});
                      d.Click(kCancel);
                  },
                  SCENE_EXPORT_SELECTED)
                  .result,
              1);
    EXPECT_STREQ(exp.bipedRoot->GetName(), "Bip01");  // the biped search sees the whole scene
}

TEST_F(ExportDialogTest, FrameOptionsAreClampedToTheScenesRange) {
    Load(Village());
    struct Case {
        const char *start, *end;
        int wantStart, wantEnd;
    };
    for (const Case& c :
         {Case{"-5", "9999", 0, 100}, Case{"50", "10", 50, 50}, Case{"x", "20abc", 0, 20},
          Case{"99999999999", "-99999999999", INT32_MAX / 160, INT32_MAX / 160}}) {
        SCOPED_TRACE(std::string(c.start) + " " + c.end);
        TesselExp e;
        ASSERT_EQ(RunExport(*scene, e, out, SaveAll(c.start, c.end, "7")).result, 1);
        if (c.wantStart == INT32_MAX / 160) {
            // Beyond every tick: held to the largest time, never wrapped.
            EXPECT_EQ(e.startTime, INT32_MAX);
            EXPECT_EQ(e.endTime, INT32_MAX);
        } else {
            EXPECT_EQ(e.startTime, c.wantStart * 160);
            EXPECT_EQ(e.endTime, c.wantEnd * 160);
        }
        EXPECT_EQ(e.frameStep, 7);
    }
}

TEST_F(ExportDialogTest, FrameStepBelowOneIsRefusedAndTheDialogStays) {
    Load(Village());
    std::vector<std::string> texts;
    const ExportRun run = Run([&](DialogWindow& d) {
        for (const char* step : {"0", "-3", "step"}) {
            d.SetText(kFrameStep, step);
            d.Click(kSaveAll);
            EXPECT_FALSE(d.Ended()) << step;
            EXPECT_EQ(exp.staticCount + exp.animCount, 0) << step;
        }
        d.SetText(kFrameStep, "25");
        d.Click(kSaveAll);
        EXPECT_TRUE(d.Ended());
    });
    EXPECT_EQ(run.result, 1);
    ASSERT_EQ(run.messages.size(), 3u);
    for (const auto& m : run.messages) {
        EXPECT_EQ(m.caption, "Export Message");
        EXPECT_EQ(m.text, "Frame Step은 1 이상이어야 합니다.");
    }
    EXPECT_EQ(exp.frameStep, 25);
    EXPECT_EQ(exp.staticCount, 3);  // taken once
    EXPECT_EQ(exp.animCount, 2);
    EXPECT_EQ(ReadBytes(out)[0], 5);  // frames 0, 25, 50, 75, 100
}

TEST_F(ExportDialogTest, NothingToSave) {
    GltfBuilder b;
    b.AddNode("Bip01 Spine", b.AddNode("Bip01"));
    b.AddNode("Lamp");
    Load(b);
    // Save-selected with nothing highlighted: the message, and the dialog stays.
    ExportRun run = Run([&](DialogWindow& d) {
        EXPECT_TRUE(d.Find(kStaticList)->list.empty());
        EXPECT_TRUE(d.Find(kAnimList)->list.empty());
        d.Click(kSaveSelected);
        EXPECT_FALSE(d.Ended());
        d.Click(kSaveAll);
        EXPECT_TRUE(d.Ended());
        EXPECT_EQ(d.Result(), 0);
    });
    EXPECT_EQ(run.result, 1);
    ASSERT_EQ(run.messages.size(), 2u);
    EXPECT_EQ(run.messages[0].text, "저장할 Object가 선택되어 있지 않습니다.");
    EXPECT_EQ(run.messages[1].text, "저장할 Object가 없습니다.");
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(ExportDialogTest, ObjectLimitPerList) {
    for (int count : {1000, 1001}) {
        SCOPED_TRACE(count);
        GltfBuilder b;
        const int box = b.AddMesh({GltfBuilder::Box(1.0f, false)});
        for (int i = 0; i < count; ++i) b.AddNode("Box" + std::to_string(i), -1, box);
        const int flag = b.AddNode("Flag", -1, box);
        b.Animate(flag, "translation", {0.0f, 1.0f}, {0, 0, 0, 1, 0, 0});
        Load(b);
        TesselExp e;
        const ExportRun run = RunExport(*scene, e, out, SaveAll());
        ASSERT_EQ(run.result, 1);
        EXPECT_EQ(e.staticCount, 1000);
        EXPECT_EQ(e.animCount, 1);  // the other list is still taken
        EXPECT_STREQ(e.staticNodes[999]->GetName(), "Box999");
        if (count == 1000) {
            EXPECT_TRUE(run.messages.empty());
        } else {
            ASSERT_EQ(run.messages.size(), 1u);
            EXPECT_EQ(
                run.messages[0].text,
                "오브젝트의 최대 갯수를 초과했습니다.\r\n일부 오브젝트는 Export에서 제외됩니다.");
        }
        EXPECT_EQ(ReadTessel(out).statics.size(), 1000u);
    }
}

TEST_F(ExportDialogTest, ProcedureAnswersAndIgnoresOtherCommands) {
    Load(Village());
    Run([&](DialogWindow& d) {
        EXPECT_EQ(d.Send(WM_COMMAND, MAKEWPARAM(IDC_START_FRAME, 0), 0), TRUE);
        EXPECT_EQ(d.Send(0x0200 /* mouse move */, 0, 0), FALSE);
        EXPECT_FALSE(d.Ended());
        d.Close();
        EXPECT_TRUE(d.Ended());
        EXPECT_EQ(d.Result(), 0);
    });
    EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
