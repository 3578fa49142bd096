// Opening model files through the control panel's buttons: the file dialog's
// settings, the file into its slot, the face count, the name field, the frame
// counter, and what a refused or unreadable file leaves behind.
#include <sys/stat.h>

#include "tests/app/AppTestKit.h"
#include "tests/support/TgaWriter.h"
#include "viewer/app/Resource.h"

namespace {

const char* const kBipedFilter = "Biped Files (*.bpd)|*.bpd|All Files (*.*)|*.*||";
const char* const kPartFilter = "Morvane Files (*.mrv)|*.mrv|All Files (*.*)|*.*||";
const char* const kTesselFilter = "Tessel Files (*.tsl)|*.tsl|All Files (*.*)|*.*||";
using OpenTest = FrameTest;

TEST_F(OpenTest, EachButtonOpensItsSlotWithTheFacesMessageAndTheName) {
    Open();
    // The Tessel model's texture, in "textr" beside the model files.
    std::filesystem::create_directories(dir.Path() / "textr");
    ByteWriter wall;
    wall.bytes = EncodeTga(1, 1, {0xC08040FFu}, TgaLayout{});
    wall.SaveAs((dir.Path() / "textr" / "wall.tga").string());
    struct Case {
        int button;
        int nameField;
        const char* file;
        const char* extension;
        const char* filter;
        int faces;  // 0: no face-count message (the skeleton)
    } cases[] = {
        {IDC_OPEN_BIPED, IDC_BIPED_FILE, "walk.bpd", "bpd", kBipedFilter, 0},
        {IDC_OPEN_BODY, IDC_BODY_FILE, "body.mrv", "mrv", kPartFilter, 2},
        {IDC_OPEN_HELMET, IDC_HELMET_FILE, "helmet.mrv", "mrv", kPartFilter, 2},
        {IDC_OPEN_ARMOUR, IDC_ARMOUR_FILE, "plate.mrv", "mrv", kPartFilter, 2},
        {IDC_OPEN_WEAPON, IDC_WEAPON_FILE, "sword.mrv", "mrv", kPartFilter, 2},
        {IDC_OPEN_SHOES, IDC_SHOES_FILE, "boots.mrv", "mrv", kPartFilter, 2},
        {IDC_OPEN_TESSEL, IDC_TESSEL_FILE, "house.tsl", "tsl", kTesselFilter, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string name = c.file;
        if (name.find(".bpd") != std::string::npos)
            Answer(MovingBiped(3, 1, kBoneTriangle), name);
        else if (name.find(".mrv") != std::string::npos)
            Answer(SquarePart(-8, 10, 3), name);
        else
            Answer(TesselFile(1,
                              {{"wall.tga", {SquareVertices(8, 10, 2)}, kSquareIndices},
                               {"wall.tga", {SquareVertices(14, 10, 2)}, kSquareIndices}},
                              {}),
                   name);
        ui.messages.clear();
        Click(c.button);
        ASSERT_FALSE(ui.dialogs.empty());
        EXPECT_EQ(ui.dialogs.back().defaultExtension, c.extension);
        EXPECT_EQ(ui.dialogs.back().filter, c.filter);
        EXPECT_EQ(Text(c.nameField), c.file);
        if (c.faces == 0) {
            EXPECT_TRUE(ui.messages.empty());
        } else {
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_EQ(ui.messages[0], "Faces: " + std::to_string(c.faces));
        }
    }
    ASSERT_TRUE(frame->m_pBiped);
    EXPECT_EQ(frame->m_pBiped->frameCount, 3);
    for (int slot = 0; slot < kPartSlots; ++slot) {
        ASSERT_TRUE(frame->m_pParts[slot]) << slot;
        EXPECT_EQ(frame->m_pParts[slot]->objects.at(0).faceCount, 2);
    }
    ASSERT_TRUE(frame->m_pTessel);
    EXPECT_EQ(frame->m_pTessel->staticCount, 2);
    // The open command ends with a tick: the models are on screen.
    EXPECT_GT(CountNot(Presented(), Background()), 100);
}

TEST_F(OpenTest, RenderingIsSuspendedWhileTheModelIsReplaced) {
    Open();
    std::vector<bool> readyAtMessage;
    ui.onMessage = [&](const std::string&) { readyAtMessage.push_back(frame->m_bDeviceReady); };
    const int presentsBefore = context->PresentCount();
    Answer(SquarePart(-8, 10, 3), "body.mrv");
    Click(IDC_OPEN_BODY);
    ASSERT_EQ(readyAtMessage.size(), 1u);  // "Faces: 2"
    EXPECT_FALSE(readyAtMessage[0]);
    EXPECT_TRUE(frame->m_bDeviceReady);
    EXPECT_EQ(context->PresentCount(), presentsBefore + 1);
}

TEST_F(OpenTest, ACancelledDialogOrAMissingFileChangesNothing) {
    Open();
    Answer(SquarePart(-8, 10, 3), "plate.mrv");
    Click(IDC_OPEN_ARMOUR);
    CharacterPart* loaded = frame->m_pParts[SLOT_ARMOUR].get();
    ASSERT_TRUE(loaded);
    frame->m_nFrame = 2;

    ui.messages.clear();
    ui.answers.push_back("");  // Cancel
    Click(IDC_OPEN_ARMOUR);
    EXPECT_TRUE(ui.messages.empty());

    ui.answers.push_back(dir.File("typed-but-missing.mrv"));
    Click(IDC_OPEN_ARMOUR);
    // Said, with the file's name; the slot, its name and the frame stay.
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("typed-but-missing.mrv"), std::string::npos) << ui.messages[0];
    EXPECT_EQ(frame->m_pParts[SLOT_ARMOUR].get(), loaded);
    EXPECT_EQ(Text(IDC_ARMOUR_FILE), "plate.mrv");
    EXPECT_EQ(frame->m_nFrame, 2);
    EXPECT_TRUE(frame->m_bDeviceReady);

    // A folder is not a model file either.
    ui.answers.push_back(dir.Path().string());
    Click(IDC_OPEN_TESSEL);
    EXPECT_FALSE(frame->m_pTessel);
    EXPECT_EQ(Text(IDC_TESSEL_FILE), "");
}

TEST_F(OpenTest, AnEmptyPartFileEmptiesItsSlotSilentlyAndADamagedOneSaysWhy) {
    Open();
    Answer(SquarePart(-8, 10, 3), "plate.mrv");
    Click(IDC_OPEN_ARMOUR);
    ASSERT_TRUE(frame->m_pParts[SLOT_ARMOUR]);

    struct Case {
        const char* name;
        ByteWriter file;
        bool reported;
    } cases[] = {
        {"none.mrv", PartFile({}), false},  // object count 0
        {"faceless.mrv", PartFile({{"", Triangle(), {0, 0, 0}, {}}}), false},
        {"cut.mrv",
         [] {
             ByteWriter w = SquarePart(-8, 10, 3);
             w.bytes.resize(w.bytes.size() - 6);
             return w;
         }(),
         true},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        Answer(SquarePart(-8, 10, 3), "plate.mrv");
        Click(IDC_OPEN_ARMOUR);
        ASSERT_TRUE(frame->m_pParts[SLOT_ARMOUR]);
        frame->m_nFrame = 2;
        ui.messages.clear();
        Answer(c.file, c.name);
        Click(IDC_OPEN_ARMOUR);
        // The old part went before the file was read: the slot stays empty.
        EXPECT_FALSE(frame->m_pParts[SLOT_ARMOUR]);
        EXPECT_EQ(Text(IDC_ARMOUR_FILE), "");
        EXPECT_EQ(frame->m_nFrame, 0);
        if (c.reported) {
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_NE(ui.messages[0].find("cut.mrv"), std::string::npos) << ui.messages[0];
        } else {
            EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
        }
    }
}

TEST_F(OpenTest, ARefusedTesselHeaderReportsNoFacesAndKeepsAnEmptyModel) {
    Open();
    Answer(SquareTessel(8, 10, 3), "house.tsl");
    Click(IDC_OPEN_TESSEL);
    ui.messages.clear();
    Answer(TesselFile(1, {}, {}), "empty.tsl");
    Click(IDC_OPEN_TESSEL);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0], "Object의 갯수가 1보다 작습니다.");
    EXPECT_EQ(ui.messages[1], "Faces: 0");
    ASSERT_TRUE(frame->m_pTessel);
    EXPECT_EQ(frame->m_pTessel->staticCount + frame->m_pTessel->animatedCount, 0);
    EXPECT_EQ(Text(IDC_TESSEL_FILE), "empty.tsl");
    // Nothing of the old model is drawn any more.
    EXPECT_EQ(CountNot(Presented(), Background()), 0);
}

TEST_F(OpenTest, ADamagedBipedIsReportedByNameAndTheShownSkeletonStays) {
    Open();
    Answer(MovingBiped(3, 1, kBoneTriangle), "walk.bpd");
    Click(IDC_OPEN_BIPED);
    Biped* shown = frame->m_pBiped.get();
    ASSERT_TRUE(shown);
    frame->m_nFrame = 2;

    ByteWriter damaged = MovingBiped(3, 1, kBoneTriangle);
    damaged.bytes.resize(damaged.bytes.size() - 10);
    Answer(damaged, "run.bpd");
    Click(IDC_OPEN_BIPED);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("run.bpd"), std::string::npos) << ui.messages[0];
    EXPECT_NE(ui.messages[0].find("frame"), std::string::npos) << ui.messages[0];
    EXPECT_EQ(frame->m_pBiped.get(), shown);
    EXPECT_EQ(Text(IDC_BIPED_FILE), "walk.bpd");
    EXPECT_EQ(frame->m_nFrame, 2);
}

TEST_F(OpenTest, ABipedOrPartRestartsTheCharacterFrameATesselModelDoesNot) {
    Open();
    Answer(MovingBiped(4, 1, kBoneTriangle), "walk.bpd");
    Click(IDC_OPEN_BIPED);  // draws frame 1
    for (int i = 0; i < 2; ++i) {
        clock.Advance(0.05);
        Click(IDC_STEP);
    }
    EXPECT_EQ(Text(IDC_CHARACTER_FRAME), "3/4");

    Answer(SquareTessel(8, 10, 3), "house.tsl");
    Click(IDC_OPEN_TESSEL);
    EXPECT_EQ(frame->m_nFrame, 3);

    Answer(MovingBiped(4, 1, kBoneTriangle), "walk.bpd");
    Click(IDC_OPEN_BIPED);
    clock.Advance(0.05);
    Click(IDC_STEP);
    EXPECT_EQ(Text(IDC_CHARACTER_FRAME), "1/4");

    clock.Advance(0.05);
    Click(IDC_STEP);
    Answer(SquarePart(-8, 10, 3), "body.mrv");
    Click(IDC_OPEN_BODY);
    EXPECT_EQ(frame->m_nFrame, 0);
}

TEST_F(OpenTest, TexturesAreFoundInTextrBesideTheModelFile) {
    Open();
    std::filesystem::create_directories(dir.Path() / "models" / "textr");
    ByteWriter red;
    red.bytes = EncodeTga(1, 1, {0xFF0000FFu}, TgaLayout{});
    red.SaveAs((dir.Path() / "models" / "textr" / "red.tga").string());
    // A texture kept only beside the program, in a sub-folder named the
    // Windows way, is found as well.
    std::filesystem::create_directories(dir.Path() / "programtextr" / "Shared");
    ByteWriter green;
    green.bytes = EncodeTga(1, 1, {0x00FF00FFu}, TgaLayout{});
    green.SaveAs((dir.Path() / "programtextr" / "Shared" / "Green.tga").string());
    ui.answers.push_back(
        PartFile({{"red.tga", SquareVertices(0, 10, 5), {0, 0, 0, 0}, kSquareIndices},
                  {"shared\\green.tga", SquareVertices(-12, 10, 3), {0, 0, 0, 0}, kSquareIndices}})
            .SaveAs(dir.File("models/body.mrv")));
    Click(IDC_OPEN_BODY);
    ASSERT_EQ(ui.messages.size(), 1u) << ui.messages.back();  // "Faces: 4" only
    const RgbaImage image = Presented();
    const Rgb centre = At(image, kWidth / 2, kHeight / 2);
    EXPECT_GT(centre.r, 150) << centre;
    EXPECT_LT(centre.g, 30) << centre;
    const Rgb left = At(image, kWidth / 2 - 29, kHeight / 2);
    EXPECT_GT(left.g, 150) << left;
    EXPECT_LT(left.r, 30) << left;
    // The program's own texture directory is searched again afterwards.
    EXPECT_EQ(frame->m_pTextures->SearchPath(), (dir.Path() / "programtextr").string() + "/");
}

TEST_F(OpenTest, AFileOfAnotherKindIsNamedAsWhatItIs) {
    Open();
    const std::string part = Answer(SquarePart(-8, 10, 3), "body.mrv");
    Click(IDC_OPEN_TESSEL);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages[0],
              part + ": this is a character part (.mrv), not a Tessel model (.tsl)");
    ui.messages.clear();
    ByteWriter scene;
    scene.Text("{\n  \"asset\": {\"version\": \"2.0\"}\n}\n");
    const std::string gltf = Answer(scene, "walk.bpd");
    Click(IDC_OPEN_BIPED);
    EXPECT_EQ(ui.messages, std::vector<std::string>{
                               gltf + ": this is a JSON text (a glTF scene?), not a skeleton "
                                      "animation (.bpd) (tessel-export or character-export turns "
                                      "scenes into viewer files)"});
}

TEST_F(OpenTest, APartMadeForAnotherSkeletonIsSaidOnceWhicheverOpensSecond) {
    Open();
    const ByteWriter foreign =
        PartFile({{"", SquareVertices(-8, 10, 3), {0, 3, 3, 0}, kSquareIndices}});
    const std::string bipedFile = dir.File("walk.bpd");
    const std::string partFile = dir.File("body.mrv");
    const std::string said = partFile +
                             ": made for another skeleton: its vertices follow bones up to 3, " +
                             bipedFile + " has 1 bones; the part will not move with it";
    Answer(MovingBiped(2, 1, kBoneTriangle), "walk.bpd");
    Click(IDC_OPEN_BIPED);
    ui.messages.clear();
    Answer(foreign, "body.mrv");
    Click(IDC_OPEN_BODY);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Faces: 2", said}));
    // Steps keep the skinning in bounds and say nothing more.
    for (int i = 0; i < 3; ++i) {
        clock.Advance(0.05);
        Click(IDC_STEP);
    }
    EXPECT_EQ(ui.messages.size(), 2u);

    // The other way round: the biped opened after the part.
    ui.messages.clear();
    Answer(MovingBiped(2, 1, kBoneTriangle), "walk.bpd");
    Click(IDC_OPEN_BIPED);
    EXPECT_EQ(ui.messages, std::vector<std::string>{said});
    // A part that fits says nothing.
    ui.messages.clear();
    Answer(SquarePart(-8, 10, 3), "body.mrv");
    Click(IDC_OPEN_BODY);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Faces: 2"});
}

}  // namespace
