// Every reader rejects every file of its damaged-file table with a message
// naming the problem, keeps what it held, and the committed corpus under
// tests/data/damaged matches the tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "tests/model/DamagedFiles.h"
#include "tests/support/FileContents.h"
#include "tests/support/ModelFileWriter.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TempDir.h"
#include "tests/support/TgaWriter.h"
#include "viewer/model/Biped.h"
#include "viewer/model/CharacterPart.h"
#include "viewer/model/TesselModel.h"
#include "viewer/model/TextureManager.h"

namespace {

TEST(DamagedFiles, EveryReaderRejectsItsTableWithTheExpectedMessage) {
    for (const DamagedKind& kind : AllDamagedKinds()) {
        ASSERT_FALSE(kind.files.empty()) << kind.kind;
        for (const DamagedFile& file : kind.files) {
            SCOPED_TRACE(kind.kind + ": " + file.name);
            std::string error;
            EXPECT_FALSE(ReaderAccepts(kind.kind, file.bytes, error));
            EXPECT_NE(error.find(file.messagePart), std::string::npos) << error;
        }
    }
}

TEST(DamagedFiles, RejectedPartsAndModelsKeepWhatTheyHeldAndRegisterNoTexture) {
    TempDir dir;
    ByteWriter tga;
    tga.bytes = EncodeTga(1, 1, {0xFFFFFFFFu}, TgaLayout{});
    tga.SaveAs(dir.File("skin.tga"));
    // Damaged files that name textures existing on disk, so that a reader
    // registering names before checking the whole file would be caught.
    for (const char* name : {"wall.tga", "a.tga"}) tga.SaveAs(dir.File(name));

    TextureManager textures(1000);
    textures.SetSearchPath(dir.Path().string());
    RecordingDevice device;
    RecordingUiServices ui;
    std::string error;

    CharacterPart part(textures);
    const PartObjectSpec good{"skin.tga", Triangle(), {0, 0, 0}, {0, 1, 2}};
    ByteWriter goodPart = PartFile({good});
    ASSERT_EQ(part.LoadFromMemory(goodPart.bytes.data(), goodPart.bytes.size(), &device, ui, error),
              1);
    TesselModel model(textures);
    ByteWriter goodModel = TesselFile(2, {}, {{"skin.tga", {Triangle(), Triangle(5)}, {0, 1, 2}}});
    ASSERT_EQ(
        model.LoadFromMemory(goodModel.bytes.data(), goodModel.bytes.size(), &device, ui, error),
        1);
    const size_t surfaces = device.surfaces.size();

    std::vector<DamagedFile> parts = DamagedPartFiles();
    {
        PartObjectSpec bad{"wall.tga", Triangle(), {0, 0, 0}, {0, 1, 9}};
        ByteWriter w = PartFile({{"a.tga", Triangle(), {0, 0, 0}, {0, 1, 2}}, bad});
        parts.push_back({"names textures, then a bad index", w.bytes, "names vertex 9"});
    }
    for (const DamagedFile& file : parts) {
        SCOPED_TRACE("part: " + file.name);
        EXPECT_EQ(part.LoadFromMemory(file.bytes.data(), file.bytes.size(), &device, ui, error), 0);
        EXPECT_NE(error.find(file.messagePart), std::string::npos) << error;
        ASSERT_EQ(part.objectCount, 1);
        EXPECT_EQ(part.objects[0].textureIndex, 0);
    }
    std::vector<DamagedFile> models = DamagedTesselFiles();
    {
        ByteWriter w = TesselFile(
            1, {{"a.tga", {Triangle()}, {0, 1, 2}}, {"wall.tga", {Triangle()}, {0, 1, 2}}}, {});
        w.Int32(0);
        models.push_back({"names textures, then trailing bytes", w.bytes, "unexpected bytes"});
    }
    for (const DamagedFile& file : models) {
        SCOPED_TRACE("model: " + file.name);
        EXPECT_EQ(model.LoadFromMemory(file.bytes.data(), file.bytes.size(), &device, ui, error),
                  0);
        EXPECT_NE(error.find(file.messagePart), std::string::npos) << error;
        EXPECT_EQ(model.frameCount, 2);
        EXPECT_EQ(model.animatedCount, 1);
        ASSERT_EQ(model.animateds.size(), 1u);
        EXPECT_EQ(model.animateds[0].frames.size(), 6u);
    }
    EXPECT_EQ(textures.Count(), 1);
    EXPECT_EQ(device.surfaces.size(), surfaces);  // no surfaces were made again
    EXPECT_TRUE(ui.messages.empty());
}

TEST(DamagedFiles, CommittedCorpusMatchesTheTablesAndIsRejectedFromDisk) {
    const std::filesystem::path root = std::filesystem::path(TEST_DATA_DIR) / "damaged";
    const std::string regenerate = "; regenerate it with: write-damaged-corpus " + root.string();
    for (const DamagedKind& kind : AllDamagedKinds()) {
        SCOPED_TRACE(kind.kind);
        std::map<std::string, const DamagedFile*> expected;
        for (size_t i = 0; i < kind.files.size(); ++i) {
            expected[DamagedFileName(i, kind.files[i], kind.extension)] = &kind.files[i];
        }
        std::map<std::string, std::filesystem::path> present;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(root / kind.kind, ec)) {
            present[entry.path().filename().string()] = entry.path();
        }
        ASSERT_FALSE(ec) << (root / kind.kind) << " is missing" << regenerate;
        for (const auto& [name, file] : expected) {
            ASSERT_TRUE(present.count(name)) << name << " is missing" << regenerate;
            const std::vector<uint8_t> bytes = ReadAll(present[name]);
            EXPECT_EQ(bytes, file->bytes) << name << " differs from its table entry" << regenerate;
            std::string error;
            EXPECT_FALSE(ReaderAccepts(kind.kind, bytes, error)) << name;
        }
        for (const auto& [name, path] : present) {
            EXPECT_TRUE(expected.count(name)) << name << " is not in the table" << regenerate;
        }
    }
}

}  // namespace
