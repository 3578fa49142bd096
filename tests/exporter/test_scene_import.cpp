// Scenes read in a child process: what crosses from the importer is the
// whole scene, and the importer's own crashes, assertions and runaway
// allocations end as messages.
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <assimp/Importer.hpp>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>

#include "exporter/host/SceneImport.h"
#include "exporter/host/SceneTransfer.h"
#include "tests/exporter/SceneFiles.h"
#include "tests/exporter/TestdataIndex.h"

// The importer loses objects of some files it reads in this process (the
// morph animation of AnimatedMorphCube.FBX): those leaks are its own. The
// leak checker of a sanitizer build asks for this list.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libassimp.so\n";
}

namespace {

// Everything the exporter can ask of a scene, at the start, middle and end
// of its animation, written out exactly (floats in hexadecimal).
void DigestMaterial(std::ostream& o, Mtl* m, int depth) {
    if (m == nullptr || depth > 4) {
        o << " -";
        return;
    }
    o << " [" << m->GetName().data() << " " << m->ClassID().PartA() << " subs " << m->NumSubMtls();
    for (int i = 0; i < m->NumSubTexmaps(); ++i) {
        Texmap* t = m->GetSubTexmap(i);
        if (t && t->ClassID() == Class_ID(BMTEX_CLASS_ID, 0))
            o << " map" << i << "=" << static_cast<BitmapTex*>(t)->GetMapName();
    }
    for (int i = 0; i < m->NumSubMtls(); ++i) DigestMaterial(o, m->GetSubMtl(i), depth + 1);
    o << "]";
}

void DigestPoint(std::ostream& o, const Point3& p) {
    o << " " << p.x << "," << p.y << "," << p.z;
}

std::string Digest(HostScene& scene) {
    std::ostringstream o;
    o << std::hexfloat;
    SetTicksPerFrame(scene.TicksPerFrame());
    const Interval range = scene.AnimRange();
    o << scene.Format() << " upright " << scene.TurnedUpright() << " range " << range.Start()
      << ".." << range.End() << " tpf " << scene.TicksPerFrame() << " fps " << scene.FrameRate()
      << " materials " << scene.MaterialCount() << "\n";
    for (const std::string& w : scene.Warnings()) o << "warning " << w << "\n";
    const TimeValue ticks[] = {range.Start(),
                               static_cast<TimeValue>((int64_t{range.Start()} + range.End()) / 2),
                               range.End()};
    for (HostNode* n : scene.Nodes()) {
        o << "node " << n->name << " parent " << (n->parent ? n->parent->name : "-") << " kind "
          << NodeKindName(n->kind) << " control " << n->GetTMController()->ClassID().PartA();
        DigestMaterial(o, n->GetMtl(), 0);
        o << "\n";
        for (TimeValue t : ticks) {
            const Matrix3 tm = n->GetNodeTM(t);
            o << " t" << t;
            for (int r = 0; r < 4; ++r) DigestPoint(o, tm.GetRow(r));
            Object* obj = n->EvalWorldState(t).obj;
            if (obj == nullptr) {
                o << "\n";
                continue;
            }
            const Interval valid = obj->ObjectValidity(t);
            o << " object " << obj->ClassID().PartA() << " valid " << valid.Start() << ".."
              << valid.End();
            if (obj->CanConvertToType(Class_ID(TRIOBJ_CLASS_ID, 0))) {
                Object* converted = obj->ConvertToType(t, Class_ID(TRIOBJ_CLASS_ID, 0));
                Mesh& mesh = static_cast<TriObject*>(converted)->GetMesh();
                o << " verts " << mesh.numVerts;
                for (int i = 0; i < mesh.numVerts; ++i) DigestPoint(o, mesh.verts[i]);
                o << " faces " << mesh.numFaces;
                for (int i = 0; i < mesh.numFaces; ++i)
                    o << " " << mesh.faces[i].v[0] << "," << mesh.faces[i].v[1] << ","
                      << mesh.faces[i].v[2] << "/" << mesh.faces[i].getMatID();
                o << " tverts " << mesh.numTVerts;
                for (int i = 0; i < mesh.numTVerts; ++i) DigestPoint(o, mesh.tVerts[i]);
                for (int i = 0; mesh.tvFace && i < mesh.numFaces; ++i)
                    o << " " << mesh.tvFace[i].t[0] << "," << mesh.tvFace[i].t[1] << ","
                      << mesh.tvFace[i].t[2];
                if (converted != obj) converted->DeleteMe();
            }
            o << "\n";
        }
    }
    return o.str();
}

// The scene built from an import in this process.
std::unique_ptr<HostScene> LoadInProcess(const std::string& path,
                                         std::vector<uint8_t>* bytes = nullptr) {
    Assimp::Importer importer;
    std::string why, error;
    const aiScene* ai = ReadSceneInProcess(importer, path, why);
    EXPECT_TRUE(ai) << path << ": " << why;
    if (!ai) return nullptr;
    if (bytes) WriteSceneBytes(*ai, *bytes);
    std::unique_ptr<HostScene> scene = HostScene::FromImported(*ai, path, error);
    EXPECT_TRUE(scene) << error;
    return scene;
}

// True when this process has no child left, running or finished.
bool NoChildLeft() {
    return ::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD;
}

// A scene with what the transfer has to carry beyond geometry: a skin, a
// morph target with keys, stepped keys, a texture and two materials.
void WriteRichScene(const std::string& path) {
    GltfBuilder b;
    GltfBuilder::Primitive box = GltfBuilder::Box();
    box.material = b.AddMaterial("Brick", "brick.bmp");
    GltfBuilder::Primitive plain = GltfBuilder::Box(0.5f, false);
    plain.material = b.AddMaterial("Paint");
    const int mesh = b.AddMesh({box, plain});
    const int crate = b.AddNode("Crate", -1, mesh);
    b.Animate(crate, "rotation", {0, 1, 2}, {0, 0, 0, 1, 0, 0.7071f, 0, 0.7071f, 0, 1, 0, 0},
              "STEP");
    const int cart = b.AddNode("Cart", -1, mesh);
    b.Animate(cart, "translation", {0, 2}, {0, 0, 0, 4, 0, 0});

    GltfBuilder::Primitive skin;
    skin.positions = {1, 0, 0, 0, 0, 1, 1, 0, 1};
    skin.indices = {0, 1, 2};
    skin.joints = {0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0};
    skin.weights = {1, 0, 0, 0, 1, 0, 0, 0, 0.5f, 0.5f, 0, 0};
    const int skinNode = b.AddNode("Skin", -1, b.AddMesh({skin}));
    const int hip = b.AddNode("Hip");
    const int shin = b.AddNode("Shin", hip);
    const std::vector<float> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::vector<float> ibm = identity;
    ibm.insert(ibm.end(), identity.begin(), identity.end());
    b.NodeAt(skinNode).skin = b.AddSkin({hip, shin}, ibm);
    b.Animate(shin, "rotation", {0, 1}, {0, 0, 0, 1, 0, 0.7071f, 0, 0.7071f});

    GltfBuilder::Primitive blob;
    blob.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    blob.indices = {0, 1, 2};
    blob.targets = {{0, 0, 0, 0, 0, 0, 0, 2, 0}};
    const int morph = b.AddNode("Blob", -1, b.AddMesh({blob}, {0.0f}));
    b.Animate(morph, "weights", {0, 1}, {0, 1});
    ASSERT_TRUE(b.Write(path));
}

TEST(SceneTransfer, EveryReadableSceneCrossesWhole) {
    REQUIRE_SCENE_CORPUS();
    TempDir dir;
    struct Entry {
        std::string path;
        // A malformed scene may hold what the importer left uninitialised:
        // its content is compared byte for byte only.
        bool wellFormed;
    };
    std::vector<Entry> scenes = {{dir.File("rich.gltf"), true}};
    WriteRichScene(scenes[0].path);
    for (const TestdataScene& s : TestdataScenes())
        if (s.Reads()) scenes.push_back({CorpusScene(s.path), !s.malformed});
    ASSERT_GT(scenes.size(), 40u);
    for (const Entry& e : scenes) {
        SCOPED_TRACE(e.path);
        std::vector<uint8_t> bytes;
        std::unique_ptr<HostScene> direct = LoadInProcess(e.path, &bytes);
        ASSERT_TRUE(direct);
        // The rebuilt scene writes the same bytes again ...
        std::string why;
        std::unique_ptr<aiScene> rebuilt = ReadSceneBytes(bytes.data(), bytes.size(), why);
        ASSERT_TRUE(rebuilt) << why;
        std::vector<uint8_t> again;
        WriteSceneBytes(*rebuilt, again);
        EXPECT_TRUE(again == bytes);
        // ... and the host sees the same scene through the child as in-process.
        std::string error;
        std::unique_ptr<HostScene> isolated = HostScene::Load(e.path, error);
        ASSERT_TRUE(isolated) << error;
        if (e.wellFormed) {
            EXPECT_EQ(Digest(*isolated), Digest(*direct));
        }
    }
    EXPECT_TRUE(NoChildLeft());
}

TEST(SceneTransfer, CutShortOrAlteredBytesAreRefusedWithoutHarm) {
    TempDir dir;
    const std::string path = dir.File("rich.gltf");
    WriteRichScene(path);
    Assimp::Importer importer;
    std::string why;
    const aiScene* ai = ReadSceneInProcess(importer, path, why);
    ASSERT_TRUE(ai) << why;
    std::vector<uint8_t> bytes;
    WriteSceneBytes(*ai, bytes);

    for (size_t n = 0; n < bytes.size(); ++n) {
        why.clear();
        EXPECT_FALSE(ReadSceneBytes(bytes.data(), n, why)) << n;
        EXPECT_NE(why.find("importer's scene"), std::string::npos) << n;
    }
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(ReadSceneBytes(longer.data(), longer.size(), why));
    EXPECT_NE(why.find("1 unexpected bytes"), std::string::npos) << why;

    // An embedded texture of 2147418113 x 2147549185 texels: its size in
    // bytes wraps past 2^64 to 4, the bytes it carries.
    {
        aiScene wrapping;
        wrapping.mNumTextures = 1;
        wrapping.mTextures = new aiTexture* [1] { new aiTexture() };
        wrapping.mTextures[0]->mWidth = 2147418113u;
        wrapping.mTextures[0]->mHeight = 2147549185u;
        wrapping.mTextures[0]->pcData = new aiTexel[1]();
        std::vector<uint8_t> texture;
        WriteSceneBytes(wrapping, texture);
        EXPECT_FALSE(ReadSceneBytes(texture.data(), texture.size(), why));
        EXPECT_NE(why.find("embedded texture"), std::string::npos) << why;
    }

    // Altered bytes are read or refused, never followed out of bounds; a
    // rebuilt scene is consistent enough for the host to build on.
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        std::vector<uint8_t> altered = bytes;
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int k = 0; k < changes; ++k)
            altered[random() % altered.size()] = static_cast<uint8_t>(random());
        std::unique_ptr<aiScene> scene = ReadSceneBytes(altered.data(), altered.size(), why);
        if (scene && scene->mRootNode) {
            std::string error;
            HostScene::FromImported(*scene, path, error);
        }
    }
}

TEST(SceneImportIsolation, ImporterCrashesAndAssertionsBecomeReasons) {
    struct Case {
        const char* path;
        const char* detail;  // in the reason besides the crash itself
        // The importer writes out of bounds on this one: whether that ends
        // in a crash depends on the state of the heap the child starts with.
        bool mayBeRead;
    } cases[] = {
        {"assimp/test/models/invalid/crash-30d6d0f7c529b3b66b4131700b7a4580cd7082df.ply", "",
         false},
        {"gltf-sdk/GLTFSDK.Test/Resources/glb/CubeInvalidAccessorByteLength.glb",
         "ai_assert failure", false},
        {"gltf-sdk/GLTFSDK.Test/Resources/glb/CubeInvalidBufferViewLength.glb", "ai_assert failure",
         false},
        {"assimp/test/models/X/malformed_skinweights_oob.x", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string why;
        if (ImportSceneIsolated(SharedScene(c.path), ImportLimits{}, why)) {
            EXPECT_TRUE(c.mayBeRead);
            continue;
        }
        // A crash ends the child by a signal, or by a sanitizer's exit.
        const bool crashed = why.find("the importer crashed on it with") == 0 ||
                             why.find("the importer failed on it and exited with status") == 0;
        EXPECT_TRUE(crashed) << why;
        EXPECT_NE(why.find(c.detail), std::string::npos) << why;
    }
    EXPECT_TRUE(NoChildLeft());

    // The host's message names the file.
    std::string error;
    EXPECT_FALSE(HostScene::Load(SharedScene(cases[0].path), error));
    EXPECT_EQ(
        error.find("cannot read scene file '" + SharedScene(cases[0].path) + "': the importer"), 0u)
        << error;
}

TEST(SceneImportIsolation, LimitsEndARunawayImporter) {
    // The importer allocates for its face count of 353535235358 for many seconds.
    const std::string path = SharedScene("assimp/test/models/invalid/OutOfMemory.off");
    using Clock = std::chrono::steady_clock;
    std::string why;
    ImportLimits memory;
    memory.seconds = 60;
    memory.megabytes = 300;
    auto start = Clock::now();
    EXPECT_FALSE(ImportSceneIsolated(path, memory, why));
    EXPECT_EQ(why,
              "the importer needed more than 300 MB of memory (TESSEL_IMPORT_MEMORY_LIMIT sets the "
              "limit)");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));

    ImportLimits time;
    time.seconds = 0.5;
    time.megabytes = 1 << 20;
    start = Clock::now();
    EXPECT_FALSE(ImportSceneIsolated(path, time, why));
    EXPECT_EQ(why,
              "the importer did not finish within 0.5 s (TESSEL_IMPORT_TIME_LIMIT sets the limit)");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(NoChildLeft());
}

TEST(SceneImportIsolation, LimitsTakenFromTheEnvironment) {
    ::setenv(kImportTimeLimitVariable, "2.5", 1);
    ::setenv(kImportMemoryLimitVariable, "512", 1);
    ImportLimits limits = ImportLimits::FromEnvironment();
    EXPECT_EQ(limits.seconds, 2.5);
    EXPECT_EQ(limits.megabytes, 512u);
    // Values that are not positive numbers leave the defaults.
    for (const char* bad : {"", "0", "-3", "many", "5s", "nan"}) {
        ::setenv(kImportTimeLimitVariable, bad, 1);
        ::setenv(kImportMemoryLimitVariable, bad, 1);
        limits = ImportLimits::FromEnvironment();
        EXPECT_EQ(limits.seconds, ImportLimits{}.seconds) << bad;
        EXPECT_GT(limits.megabytes, 0u) << bad;
        EXPECT_LE(limits.megabytes, ImportLimits{}.megabytes) << bad;
    }
    ::unsetenv(kImportTimeLimitVariable);
    ::unsetenv(kImportMemoryLimitVariable);
}

}  // namespace
