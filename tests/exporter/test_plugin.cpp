// The plug-in library as the host loads it, and the exporter object.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "exporter/host/HostMaterials.h"
#include "exporter/host/PluginLoader.h"
#include "exporter/plugin/TesselExp.h"
#include "tests/exporter/SceneFiles.h"
#include "tests/support/RecordingHostUi.h"

namespace {

const std::string kPlugin = std::string(BIN_DIR) + "/libTesselExp.so";

class PluginLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        handle = dlopen(kPlugin.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
    }
    void TearDown() override {
        if (handle) dlclose(handle);
    }
    template <class F>
    F Sym(const char* name) {
        return reinterpret_cast<F>(dlsym(handle, name));
    }
    void* handle = nullptr;
};

TEST_F(PluginLibraryTest, ExportsAndDescriptor) {
    auto numberClasses = Sym<LibNumberClassesFn>("LibNumberClasses");
    auto classDesc = Sym<LibClassDescFn>("LibClassDesc");
    auto version = Sym<LibVersionFn>("LibVersion");
    auto description = Sym<LibDescriptionFn>("LibDescription");
    auto autoDefer = Sym<CanAutoDeferFn>("CanAutoDefer");
    ASSERT_TRUE(numberClasses && classDesc && version && description && autoDefer);
    EXPECT_EQ(numberClasses(), 1);
    EXPECT_EQ(version(), 0x0C1C0700ul);
    EXPECT_EQ(version(), 203163392ul);
    EXPECT_EQ(autoDefer(), 1ul);
    EXPECT_EQ(description(), nullptr);  // the string table has no entry 1

    ClassDesc* cd = classDesc(0);
    ASSERT_NE(cd, nullptr);
    EXPECT_EQ(classDesc(0), cd);
    EXPECT_EQ(classDesc(1), nullptr);
    EXPECT_EQ(classDesc(-1), nullptr);
    EXPECT_EQ(cd->IsPublic(), 1);
    EXPECT_STREQ(cd->ClassName(), "TesselExp");
    EXPECT_EQ(cd->SuperClassID(), 0xA20ul);
    EXPECT_EQ(cd->ClassID(), Class_ID(0x7ACA39C2, 0x6B1457DA));
    EXPECT_EQ(cd->Category(), nullptr);

    std::unique_ptr<SceneExport> exp(static_cast<SceneExport*>(cd->Create(FALSE)));
    ASSERT_TRUE(exp);
    EXPECT_EQ(exp->ExtCount(), 1);
    EXPECT_STREQ(exp->Ext(0), "TSL");
    ASSERT_NE(exp->Ext(1), nullptr);
    EXPECT_STREQ(exp->Ext(1), "");
    EXPECT_EQ(exp->Ext(1), exp->OtherMessage1());  // one shared empty text
    EXPECT_STREQ(exp->LongDesc(), "Vantor Tessel Exporter");
    EXPECT_STREQ(exp->ShortDesc(), "Tessel Exporter");
    EXPECT_STREQ(exp->AuthorName(), "Orlen");
    EXPECT_GT(std::strlen(exp->CopyrightMessage()), 0u);
    EXPECT_EQ(std::strchr(exp->CopyrightMessage(), '\n'), nullptr);
    EXPECT_STREQ(exp->OtherMessage2(), "");
    EXPECT_EQ(exp->Version(), 100u);
    exp->ShowAbout(nullptr);
}

TEST_F(PluginLibraryTest, SupportsOptionsComparesTheWholeValue) {
    RecordingHostUi ui;
    ClassDesc* cd = Sym<LibClassDescFn>("LibClassDesc")(0);
    std::unique_ptr<SceneExport> exp(static_cast<SceneExport*>(cd->Create(FALSE)));
    EXPECT_FALSE(exp->SupportsOptions(0, 0));
    EXPECT_TRUE(exp->SupportsOptions(0, SCENE_EXPORT_SELECTED));
    EXPECT_FALSE(exp->SupportsOptions(0, 3));
    EXPECT_TRUE(exp->SupportsOptions(0, SCENE_EXPORT_SELECTED | SCENE_EXPORT_SPLIT_LARGE));
    EXPECT_TRUE(ui.assertions.empty());
    // Another extension raises the SDK's assertion; the answer still follows options.
    EXPECT_TRUE(exp->SupportsOptions(1, SCENE_EXPORT_SELECTED));
    ASSERT_EQ(ui.assertions.size(), 1u);
    EXPECT_EQ(ui.assertions[0].rfind("TesselExp.cpp:", 0), 0u) << ui.assertions[0];
}

TEST_F(PluginLibraryTest, EntryPointInitialisesControlsOnce) {
    using DllMainFn = int (*)(HINSTANCE, DWORD, void*);
    auto dllMain = Sym<DllMainFn>("DllMain");
    ASSERT_NE(dllMain, nullptr);
    const int before = CustomControlsInitCount();
    EXPECT_GE(before, 1);  // the load ran the entry point
    EXPECT_EQ(dllMain(reinterpret_cast<HINSTANCE>(0x1234), 2, nullptr), 1);  // thread attach
    EXPECT_EQ(dllMain(reinterpret_cast<HINSTANCE>(0x1234), 0, nullptr), 1);
    EXPECT_EQ(CustomControlsInitCount(), before);
}

TEST(PluginLoader, HostChecksTheLibrary) {
    PluginLibrary lib;
    std::string error;
    ASSERT_TRUE(lib.Load(kPlugin, "tsl", error)) << error;
    EXPECT_EQ(lib.Descriptor()->SuperClassID(), SCENE_EXPORT_CLASS_ID);

    PluginLibrary missing;
    EXPECT_FALSE(missing.Load("/nonexistent/libTesselExp.so", "TSL", error));
    EXPECT_NE(error.find("/nonexistent/libTesselExp.so"), std::string::npos);

    PluginLibrary wrongExt;
    EXPECT_FALSE(wrongExt.Load(kPlugin, "OBJ", error));
    EXPECT_NE(error.find("OBJ"), std::string::npos);

    PluginLibrary notAPlugin;  // a library without the exports
    EXPECT_FALSE(notAPlugin.Load(std::string(BIN_DIR) + "/libMaxCore.so", "TSL", error));
    EXPECT_NE(error.find("lacks the library exports"), std::string::npos);
}

TEST(TesselExpObject, FreshExporterState) {
    TesselExp exp;
    EXPECT_EQ(exp.staticTime, 0);
    EXPECT_EQ(exp.frameStep, 1);
    EXPECT_EQ(exp.centreOnBiped, 1);
    EXPECT_EQ(exp.staticCount, 0);
    EXPECT_EQ(exp.animCount, 0);
    EXPECT_EQ(exp.bipedRoot, nullptr);
    EXPECT_EQ(exp.materials.Count(), 0);
}

TEST(TesselExpObject, MaterialTableKeepsEachMaterialOnce) {
    HostStdMat a("A"), b("B");
    MaterialTable t;
    EXPECT_EQ(t.AppendUnique(nullptr), 0);
    EXPECT_EQ(t.AppendUnique(&a), 1);
    EXPECT_EQ(t.AppendUnique(&b), 1);
    EXPECT_EQ(t.AppendUnique(&a), 0);
    EXPECT_EQ(t.Count(), 2);
    EXPECT_EQ(t.IndexOf(&a), 0);
    EXPECT_EQ(t.IndexOf(&b), 1);
    EXPECT_EQ(t.IndexOf(nullptr), -1);
    EXPECT_GE(t.Capacity(), 26);  // grown by 25 spare entries
}

TEST(TesselExpObject, ModuleStringsAndMessages) {
    RecordingHostUi ui;
    HINSTANCE saved = hInstance;
    hInstance = nullptr;
    EXPECT_EQ(GetString(3), nullptr);
    hInstance = reinterpret_cast<HINSTANCE>(&ui);
    EXPECT_STREQ(GetString(3), "Velmar");
    const char* first = GetString(4);
    EXPECT_STREQ(first, "Parameters");
    EXPECT_STREQ(GetString(5), "Spin");
    EXPECT_STREQ(first, "Spin");  // one shared buffer
    EXPECT_EQ(GetString(1), nullptr);
    EXPECT_EQ(GetString(2), nullptr);
    hInstance = saved;

    ExportMessage("저장할 Object가 없습니다.");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, "Export Message");
    EXPECT_EQ(ui.messages[0].text, "저장할 Object가 없습니다.");
}

TEST(TesselExpObject, ExportWithoutPromptsSearchesTheBipedAndWritesNothing) {
    TempDir dir;
    GltfBuilder b;
    b.AddNode("Box", -1, b.AddMesh({GltfBuilder::Box()}));
    b.AddNode("Bip01 Spine", b.AddNode("Bip01"));
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);
    ASSERT_TRUE(scene->Select({"Box"}).empty());
    RecordingHostUi ui;
    HostInterface ip(*scene, ui);
    TesselExp exp;
    const std::string out = dir.File("out.tsl");
    EXPECT_EQ(exp.DoExport(out.c_str(), nullptr, &ip, TRUE, SCENE_EXPORT_SELECTED), 0);
    EXPECT_EQ(exportSelected, TRUE);
    EXPECT_EQ(showPrompts, FALSE);
    EXPECT_EQ(exp.ip, &ip);
    ASSERT_NE(exp.bipedRoot, nullptr);  // the search looks at the whole scene
    EXPECT_STREQ(exp.bipedRoot->GetName(), "Bip01");
    EXPECT_FALSE(std::filesystem::exists(out));
    exportSelected = FALSE;
    showPrompts = TRUE;
}

TEST(TesselExpObject, CancelStopsTheBipedSearch) {
    TempDir dir;
    GltfBuilder b;
    b.AddNode("Bip01");
    b.AddNode("Box", -1, b.AddMesh({GltfBuilder::Box()}));
    auto scene = LoadBuilt(b, dir);
    RecordingHostUi ui;
    ui.cancel = true;
    HostInterface ip(*scene, ui);
    TesselExp exp;
    EXPECT_EQ(exp.DoExport(dir.File("x.tsl").c_str(), nullptr, &ip, TRUE, 0), 0);
    EXPECT_EQ(exp.bipedRoot, nullptr);
}

}  // namespace
