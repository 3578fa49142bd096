// Texture references: one name record per object from its material, bare
// and sanitised file names, and the material warnings in their order.
#include <gtest/gtest.h>

#include "exporter/host/HostMaterials.h"
#include "tests/exporter/ExportFixtures.h"

namespace {

std::string Record(const std::string& name) {
    std::string r(4, '\0');
    const uint32_t n = static_cast<uint32_t>(name.size());
    for (int k = 0; k < 4; ++k)
        r[static_cast<size_t>(k)] = static_cast<char>((n >> (8 * k)) & 0xFF);
    return r + name;
}

std::string AsString(const std::vector<uint8_t>& b) {
    return std::string(b.begin(), b.end());
}

class TextureNames : public ::testing::Test {
protected:
    void SetUp() override {
        GltfBuilder b;
        b.AddNode("Wall", -1, b.AddMesh({GltfBuilder::Box()}));
        scene = LoadBuilt(b, dir);
        ASSERT_TRUE(scene);
        node = static_cast<HostNode*>(scene->FindNode("Wall"));
    }
    // The texture reference of the node with material m (in the scene's table).
    std::string Reference(Mtl* m) {
        node->material = m;
        MaterialTable table;
        table.AppendUnique(m);
        ui.messages.clear();
        return AsString(WriteWith(dir, [&](TesselWriter& w) {
            w.materials = &table;
            w.WriteNodeTexture(node);
        }));
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& m : ui.messages) {
            EXPECT_EQ(m.caption, "에라!!");
            t.push_back(m.text);
        }
        return t;
    }
    // A standard material with a bitmap in the diffuse slot.
    HostStdMat& Diffuse(const std::string& path) {
        maps.push_back(std::make_unique<HostBitmapTex>(path));
        mats.push_back(std::make_unique<HostStdMat>("M"));
        mats.back()->maps[ID_DI] = maps.back().get();
        return *mats.back();
    }

    TempDir dir;
    RecordingHostUi ui;
    std::unique_ptr<HostScene> scene;
    HostNode* node = nullptr;
    std::vector<std::unique_ptr<Texmap>> maps;
    std::vector<std::unique_ptr<HostStdMat>> mats;
};

TEST_F(TextureNames, NoMaterialOrOneOutsideTheTable) {
    EXPECT_EQ(Reference(nullptr), std::string(4, '\0'));
    HostStdMat& m = Diffuse("C:\\Maps\\Wall01.bmp");
    node->material = &m;
    MaterialTable empty;
    const auto bytes = WriteWith(dir, [&](TesselWriter& w) {
        w.materials = &empty;
        w.WriteNodeTexture(node);
    });
    EXPECT_EQ(AsString(bytes), std::string(4, '\0'));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TextureNames, EnabledAndDisabledBitmap) {
    HostStdMat& m = Diffuse("C:\\Maps\\Wall01.bmp");
    EXPECT_EQ(Reference(&m), Record("Wall01.bmp"));
    EXPECT_TRUE(ui.messages.empty());
    m.enabled[ID_DI] = FALSE;
    EXPECT_EQ(Reference(&m), Record(""));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Texture가 Enable 되어 있지 않습니다."});
}

TEST_F(TextureNames, FileNamesAreBareAndSanitised) {
    EXPECT_EQ(Reference(&Diffuse("C:\\Maps\\my \"best\" wall.bmp")), Record("my 'best' wall.bmp"));
    // Only the backslash separates.
    EXPECT_EQ(Reference(&Diffuse("textures/stone/wall.bmp")), Record("textures/stone/wall.bmp"));
    EXPECT_EQ(Reference(&Diffuse("D:wall.bmp")), Record("D:wall.bmp"));
    // One Korean syllable: two underscores, as in the package's code page.
    EXPECT_EQ(Reference(&Diffuse("C:\\맵\\가.bmp")), Record("__.bmp"));
    EXPECT_EQ(Reference(&Diffuse("C:\\Maps\\\xB0\xA1.bmp")),
              Record("__.bmp"));  // the same name in code page 949
    EXPECT_EQ(Reference(&Diffuse("C:\\Maps\\a\tb\x7F.bmp")), Record("a_b\x7F.bmp"));
    EXPECT_EQ(Reference(&Diffuse("")), Record(""));
    EXPECT_EQ(Reference(&Diffuse("C:\\Maps\\")), Record(""));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TextureNames, NamesTheViewerCannotKeepAreLeftOut) {
    const std::string fits(75, 'a');
    EXPECT_EQ(Reference(&Diffuse("C:\\" + fits + ".bmp")), Record(fits + ".bmp"));  // 79 bytes
    const std::string tooLong(76, 'b');
    EXPECT_EQ(Reference(&Diffuse("C:\\" + tooLong + ".bmp")), Record(""));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("'Wall'"), std::string::npos) << ui.messages[0].text;
    EXPECT_NE(ui.messages[0].text.find(tooLong + ".bmp"), std::string::npos);
    // Longer than the name buffer, with forward slashes only.
    EXPECT_EQ(Reference(&Diffuse(std::string(400, 'c') + "/x.bmp")), Record(""));
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(TextureNames, ProceduralMapCountsWithoutAName) {
    HostProceduralTex noise;
    HostStdMat m("Noise");
    m.maps[ID_DI] = &noise;
    EXPECT_EQ(Reference(&m), Record(""));  // one zero, no second
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TextureNames, SeveralTexturesWriteTheFirstOnly) {
    HostBitmapTex diffuse("C:\\Maps\\Wall01.bmp"), bump("C:\\Maps\\Wall01_bump.bmp");
    HostStdMat m("Bumpy");
    m.maps[ID_DI] = &diffuse;
    m.maps[ID_BU] = &bump;
    EXPECT_EQ(Reference(&m), Record("Wall01.bmp"));
    EXPECT_EQ(Texts(),
              std::vector<std::string>{"Texture가 Material 하나에 여러개가 지정되어 있습니다."});
}

TEST_F(TextureNames, SubMaterialsAndNestedMaps) {
    HostStdMat a("A"), b("B");
    HostMultiMtl multi("Multi");
    multi.subs = {&a, &b};
    EXPECT_EQ(Reference(&multi), Record(""));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Sub Material이 발견되었습니다."});

    HostBitmapTex red("red.bmp"), blue("blue.bmp");
    HostProceduralTex checker;
    checker.subMaps = {&red, &blue};
    HostStdMat m("Checked");
    m.maps[ID_DI] = &checker;
    EXPECT_EQ(Reference(&m), Record(""));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Texture 가 이중 구조로 되어 있습니다."});
}

TEST_F(TextureNames, MessagesComeInSlotOrder) {
    // Slot by slot: not enabled, nested, several; the sub-material last.
    HostBitmapTex off("off.bmp"), first("first.bmp");
    HostProceduralTex nested;
    nested.subMaps = {&first};
    auto m = std::make_unique<HostStdMat>("Busy");
    m->maps[ID_AM] = &off;
    m->enabled[ID_AM] = FALSE;
    m->maps[ID_DI] = &first;
    m->maps[ID_SP] = &nested;
    EXPECT_EQ(Reference(m.get()), Record("first.bmp"));
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{"Texture가 Enable 되어 있지 않습니다.",
                                        "Texture 가 이중 구조로 되어 있습니다.",
                                        "Texture가 Material 하나에 여러개가 지정되어 있습니다."}));
}

TEST(TextureNameParts, FileNameOnlyAndSanitizeName) {
    EXPECT_EQ(FileNameOnly("C:\\a\\b.bmp").Std(), "b.bmp");
    EXPECT_EQ(FileNameOnly("b.bmp").Std(), "b.bmp");
    EXPECT_EQ(FileNameOnly("dir\\").Std(), "");
    EXPECT_EQ(FileNameOnly("a/b:c.BMP").Std(), "a/b:c.BMP");
    EXPECT_STREQ(SanitizeName("\"q\""), "'q'");
    const char* first = SanitizeName("one");
    EXPECT_EQ(SanitizeName("two"), first);  // one shared buffer
    EXPECT_STREQ(first, "two");
    EXPECT_STREQ(SanitizeName("\xC3\xA9t\xC3"), "__t_");  // a two-byte character, then a cut one
    EXPECT_EQ(std::strlen(SanitizeName(std::string(1000, 'x').c_str())), 259u);
    EXPECT_STREQ(SanitizeName(nullptr), "");
}

}  // namespace
