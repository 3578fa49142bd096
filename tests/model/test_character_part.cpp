// Character parts: reading Morvane files, registering their textures,
// skinning to a biped and drawing on a recording device.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "tests/support/ModelFileWriter.h"
#include "tests/support/RecordingControlPanel.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TempDir.h"
#include "tests/support/TgaWriter.h"
#include "viewer/model/Biped.h"
#include "viewer/model/CharacterPart.h"
#include "viewer/model/SceneState.h"
#include "viewer/model/TextureManager.h"
#include "viewer/model/VertexMath.h"

namespace {

using Op = RecordingDevice::Op;

// Bone b at frame f: a rotation about z by 0.1 f + 0.3 b, then a move by (10 f, b, 0).
D3DMATRIX BoneMatrix(int b, int f) {
    const float a = 0.1f * static_cast<float>(f) + 0.3f * static_cast<float>(b);
    D3DMATRIX m = IdentityMatrix();
    m[0] = std::cos(a);
    m[1] = std::sin(a);
    m[4] = -std::sin(a);
    m[5] = std::cos(a);
    m[12] = 10.0f * static_cast<float>(f);
    m[13] = static_cast<float>(b);
    return m;
}

std::unique_ptr<Biped> MakeBiped(int bones, int frames) {
    ByteWriter w;
    w.Int32(bones).Int32(frames);
    for (int b = 0; b < bones; ++b) {
        w.Int32(3).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
        w.Int32(1).Int32(0).Int32(1).Int32(2);
        for (int f = 0; f < frames; ++f) {
            const D3DMATRIX m = BoneMatrix(b, f);
            for (int e : {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14}) w.Float(m[e]);
        }
    }
    auto biped = std::make_unique<Biped>();
    std::string error;
    EXPECT_TRUE(biped->LoadFromMemory(w.bytes.data(), w.bytes.size(), error)) << error;
    return biped;
}

ModelVertex Skinned(const ModelVertex& source, int bone, int frame) {
    ModelVertex out = source;
    TransformVertex(out, source, BoneMatrix(bone, frame));
    return out;
}

void ExpectVertexNear(const ModelVertex& a, const ModelVertex& b) {
    EXPECT_NEAR(a.x, b.x, 1e-5f);
    EXPECT_NEAR(a.y, b.y, 1e-5f);
    EXPECT_NEAR(a.z, b.z, 1e-5f);
    EXPECT_NEAR(a.nx, b.nx, 1e-5f);
    EXPECT_NEAR(a.ny, b.ny, 1e-5f);
    EXPECT_NEAR(a.nz, b.nz, 1e-5f);
    EXPECT_EQ(a.tu, b.tu);
    EXPECT_EQ(a.tv, b.tv);
}

PartObjectSpec ThreeVertexObject(const std::string& texture = "") {
    return {texture,
            {Vertex(1, 0, 0, 1, 0, 0, 0.25f, 0.5f), Vertex(0, 2, 0, 0, 1, 0, 0.5f, 0.75f),
             Vertex(0, 0, 3, 0, 0, 1, 1.0f, 0.0f)},
            {0, 0, 1},
            {0, 1, 2}};
}

class PartTest : public ::testing::Test {
protected:
    PartTest() : textures(1000) { textures.SetSearchPath(dir.Path().string()); }

    int32_t Load(CharacterPart& part, const ByteWriter& file) {
        error.clear();
        return part.LoadFromMemory(file.bytes.data(), file.bytes.size(), &device, ui, error);
    }
    void WriteTexture(const std::string& name) {
        ByteWriter w;
        w.bytes = EncodeTga(2, 2, std::vector<uint32_t>(4, 0xFFFFFFFFu), TgaLayout{});
        w.SaveAs(dir.File(name));
    }

    TempDir dir;
    TextureManager textures;
    RecordingDevice device;
    RecordingUiServices ui;
    std::string error;
};

TEST_F(PartTest, OneUntexturedObjectLoadsAndSkinsToItsBones) {
    CharacterPart part(textures);
    ASSERT_EQ(Load(part, PartFile({ThreeVertexObject()})), 1) << error;
    ASSERT_EQ(part.objectCount, 1);
    const PartObject& o = part.objects[0];
    EXPECT_EQ(o.textureIndex, -1);
    EXPECT_EQ(o.vertexCount, 3);
    EXPECT_EQ(o.faceCount, 1);
    EXPECT_EQ(o.boneIndices, (std::vector<int16_t>{0, 0, 1}));
    EXPECT_EQ(o.indices, (std::vector<uint16_t>{0, 1, 2}));
    for (int j = 0; j < 3; ++j) ExpectVertexNear(o.skinnedVertices[j], o.sourceVertices[j]);
    EXPECT_TRUE(ui.messages.empty());

    auto biped = MakeBiped(2, 5);
    for (int tick : {0, 3, 7, 12}) {
        SCOPED_TRACE(tick);
        part.Skin(*biped, tick);
        for (int j = 0; j < 3; ++j) {
            ExpectVertexNear(o.skinnedVertices[j],
                             Skinned(o.sourceVertices[j], o.boneIndices[j], tick % 5));
        }
    }
}

TEST_F(PartTest, TickSevenOfAFiveFrameBipedUsesFrameTwo) {
    CharacterPart part(textures);
    ASSERT_EQ(Load(part, PartFile({ThreeVertexObject()})), 1) << error;
    auto biped = MakeBiped(2, 5);
    part.Skin(*biped, 7);
    // Frame 2 moves by x = 20; the first vertex (1, 0, 0) on bone 0 turned by 0.2.
    EXPECT_NEAR(part.objects[0].skinnedVertices[0].x, 20.0f + std::cos(0.2f), 1e-5f);
    EXPECT_NEAR(part.objects[0].skinnedVertices[0].y, std::sin(0.2f), 1e-5f);
}

TEST_F(PartTest, FaceTotalOverObjectsAndIndicesUseAll16Bits) {
    PartObjectSpec big;
    big.vertices.assign(65536, Vertex(0, 0, 0));
    big.indices = {65535, 0, 32768, 1, 2, 3};
    CharacterPart part(textures);
    ASSERT_EQ(Load(part, PartFile({ThreeVertexObject(), big})), 3) << error;
    EXPECT_EQ(part.objects[1].indices, (std::vector<uint16_t>{65535, 0, 32768, 1, 2, 3}));

    // 65537 would be stored as 1; an index the object cannot hold is refused.
    big.vertices.resize(65537, Vertex(0, 0, 0));
    big.indices = {65536, 0, 1};
    CharacterPart other(textures);
    EXPECT_EQ(Load(other, PartFile({big})), 0);
    EXPECT_NE(error.find("16-bit face indices reach only 65536"), std::string::npos) << error;
}

TEST_F(PartTest, PartsNamingTheSameTextureShareItsIndexAndEveryLoadMakesSurfaces) {
    WriteTexture("Skin.tga");
    WriteTexture("metal.tga");
    CharacterPart body(textures), helmet(textures);
    ASSERT_EQ(Load(body, PartFile({ThreeVertexObject("skin.tga"), ThreeVertexObject("metal.tga")})),
              2);
    ASSERT_EQ(Load(helmet, PartFile({ThreeVertexObject("SKIN.TGA")})), 1);
    EXPECT_EQ(body.objects[0].textureIndex, 0);
    EXPECT_EQ(body.objects[1].textureIndex, 1);
    EXPECT_EQ(helmet.objects[0].textureIndex, 0);
    EXPECT_EQ(textures.Count(), 2);
    // Each load re-creates the surfaces of every registered texture: 2, then 2 more.
    EXPECT_EQ(device.surfaces.size(), 4u);
    EXPECT_EQ(textures.Surface(0), device.surfaces[2]);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PartTest, UnregisteredTextureIsReportedOnceAndTheObjectDrawsUntextured) {
    CharacterPart part(textures);
    ASSERT_EQ(Load(part, PartFile({ThreeVertexObject("gone.tga"), ThreeVertexObject("gone.tga"),
                                   ThreeVertexObject("lost.bmp")})),
              3);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].rfind("Create Texture Error!!: 'gone.tga'\n", 0), 0u)
        << ui.messages[0];
    EXPECT_NE(ui.messages[0].find("found neither"), std::string::npos);
    EXPECT_EQ(ui.messages[1].rfind("Create Texture Error!!: 'lost.bmp'", 0), 0u);
    for (const PartObject& o : part.objects) EXPECT_EQ(o.textureIndex, -1);

    part.Draw(device, ui);
    EXPECT_TRUE(device.CallsOf(Op::SetTexture).empty());
    EXPECT_EQ(device.CallsOf(Op::DrawIndexedPrimitive).size(), 3u);
}

TEST_F(PartTest, RejectedFileKeepsThePartAndRegistersNothing) {
    WriteTexture("skin.tga");
    WriteTexture("cloth.tga");
    CharacterPart part(textures);
    ASSERT_EQ(Load(part, PartFile({ThreeVertexObject("skin.tga")})), 1);
    device.surfaces.clear();

    // The first object is sound and names a new texture; the second names vertex 7 of 3.
    PartObjectSpec bad = ThreeVertexObject();
    bad.indices = {0, 1, 7};
    EXPECT_EQ(Load(part, PartFile({ThreeVertexObject("cloth.tga"), bad})), 0);
    EXPECT_NE(error.find("object 1: face 0 names vertex 7 but the object has 3 vertices"),
              std::string::npos)
        << error;
    EXPECT_EQ(textures.Count(), 1);
    EXPECT_EQ(textures.IndexOf("cloth.tga"), -1);
    EXPECT_TRUE(device.surfaces.empty());
    ASSERT_EQ(part.objectCount, 1);
    EXPECT_EQ(part.objects[0].textureIndex, 0);

    PartObjectSpec empty;  // objects without faces: nothing to draw
    EXPECT_EQ(Load(part, PartFile({empty})), 0);
    EXPECT_NE(error.find("no faces"), std::string::npos) << error;
    EXPECT_EQ(part.objectCount, 1);
}

// ---------------------------------------------------------------------------
// Skinning stops at the first vertex it cannot pose

class SkinStop : public PartTest {
protected:
    void SetUp() override {
        PartObjectSpec o;
        for (int j = 0; j < 4; ++j) o.vertices.push_back(Vertex(1, 0, 0, 1, 0, 0, 0.1f * j, 0));
        o.bones = {0, 1, 1, 0};
        o.indices = {0, 1, 2, 1, 2, 3};
        PartObjectSpec second = ThreeVertexObject();
        ASSERT_EQ(Load(part, PartFile({o, second})), 3) << error;
        for (PartObject& object : part.objects) {
            for (ModelVertex& v : object.skinnedVertices) v.x = -99.0f;  // "previous tick"
        }
    }
    CharacterPart part{textures};
};

// Each cause: the vertex at position 1 of object 0 gets its source vertex,
// vertex 0 is skinned, and everything after keeps the previous tick's values.
TEST_F(SkinStop, FirstVertexThatCannotBePosedEndsThePass) {
    const std::vector<ModelVertex> saved = part.objects[0].skinnedVertices;
    struct Cause {
        const char* name;
        std::function<void(CharacterPart&, Biped&)> apply;
    };
    const Cause causes[] = {
        {"bone outside the biped",
         [](CharacterPart& p, Biped&) { p.objects[0].boneIndices[1] = 2; }},
        {"negative bone", [](CharacterPart& p, Biped&) { p.objects[0].boneIndices[1] = -1; }},
        {"bone without matrices", [](CharacterPart&, Biped& b) { b.bones[1].matrices.clear(); }},
        {"transform fails", [](CharacterPart&, Biped& b) { b.bones[1].matrices[1][15] = 0.0f; }},
    };
    for (const Cause& cause : causes) {
        SCOPED_TRACE(cause.name);
        part.objects[0].boneIndices = {0, 1, 1, 0};
        part.objects[0].skinnedVertices = saved;
        auto biped = MakeBiped(2, 3);  // bones 0 and 1
        cause.apply(part, *biped);
        part.Skin(*biped, 4);  // frame 1
        const auto& v = part.objects[0].skinnedVertices;
        ExpectVertexNear(v[0], Skinned(part.objects[0].sourceVertices[0], 0, 1));
        ExpectVertexNear(v[1], part.objects[0].sourceVertices[1]);
        EXPECT_EQ(v[2].x, -99.0f);
        EXPECT_EQ(v[3].x, -99.0f);
        EXPECT_EQ(part.objects[1].skinnedVertices[0].x, -99.0f);
    }
    // With every bone in place the pass reaches the last object.
    part.objects[0].boneIndices = {0, 1, 1, 0};
    part.Skin(*MakeBiped(2, 3), 1);
    ExpectVertexNear(part.objects[1].skinnedVertices[2],
                     Skinned(part.objects[1].sourceVertices[2], 1, 1));
}

// ---------------------------------------------------------------------------
// Drawing

TEST_F(PartTest, DrawSetsEachTextureThenDrawsTheSkinnedVertices) {
    WriteTexture("skin.tga");
    CharacterPart part(textures);
    ASSERT_EQ(Load(part, PartFile({ThreeVertexObject("skin.tga"), ThreeVertexObject()})), 2);
    device.ClearCalls();
    part.Draw(device, ui);
    ASSERT_EQ(device.calls.size(), 3u);
    EXPECT_EQ(device.calls[0].op, Op::SetTexture);
    EXPECT_EQ(device.calls[0].a, 0u);
    EXPECT_EQ(device.calls[0].surface, textures.Surface(0));
    for (int k : {1, 2}) {
        const auto& draw = device.calls[k];
        EXPECT_EQ(draw.op, Op::DrawIndexedPrimitive);
        EXPECT_EQ(draw.a, static_cast<uint32_t>(D3DPT_TRIANGLELIST));
        EXPECT_EQ(draw.b, D3DFVF_VERTEX);
        EXPECT_EQ(draw.c, 0u);
        EXPECT_EQ(draw.vertexPointer, part.objects[k - 1].skinnedVertices.data());
        EXPECT_EQ(draw.vertices.size(), 3u);
        EXPECT_EQ(draw.indices, (std::vector<uint16_t>{0, 1, 2}));
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PartTest, DrawErrorsAreShownOncePerCauseUntilTheNextLoad) {
    WriteTexture("skin.tga");
    CharacterPart part(textures);
    ASSERT_EQ(Load(part, PartFile({ThreeVertexObject("skin.tga")})), 1);
    textures.ReleaseSurfaces();  // the surface is gone
    for (int frame = 0; frame < 3; ++frame) part.Draw(device, ui);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"GetSurface Error!!"});
    EXPECT_EQ(device.CallsOf(Op::DrawIndexedPrimitive).size(), 3u);  // drawn all the same

    textures.CreateSurfaces(&device);  // what the next model load does
    device.setTextureResult = E_FAIL;
    for (int frame = 0; frame < 3; ++frame) part.Draw(device, ui);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"GetSurface Error!!", "SetTexture Error!!"}));

    device.createSurfaceResult = E_FAIL;
    textures.CreateSurfaces(&device);
    part.Draw(device, ui);
    part.Draw(device, ui);
    EXPECT_EQ(ui.messages.back(), "GetSurface Error!!");
    EXPECT_EQ(ui.messages.size(), 3u);
}

// ---------------------------------------------------------------------------
// The animation tick skins the shown parts

class PartTick : public PartTest {
protected:
    PartTick() : scene(ui) { scene.m_pControlPanel = &panel; }

    void LoadSlot(int slot) {
        scene.m_pParts[slot] = std::make_unique<CharacterPart>(textures);
        ASSERT_EQ(Load(*scene.m_pParts[slot], PartFile({ThreeVertexObject()})), 1) << error;
    }
    float FirstX(int slot) { return scene.m_pParts[slot]->objects[0].skinnedVertices[0].x; }

    RecordingControlPanel panel;
    SceneState scene;
};

TEST_F(PartTick, ShownPartsAreSkinnedAtTheFrameTheTickShows) {
    scene.m_pBiped = MakeBiped(2, 4);
    LoadSlot(SLOT_BODY);
    LoadSlot(SLOT_WEAPON);
    scene.m_bShow[SLOT_WEAPON] = false;
    scene.AdvanceAnimation();
    scene.AdvanceAnimation();
    scene.AdvanceAnimation();  // shows 3/4 and skins frame 2
    EXPECT_EQ(panel.characterFrames.back(), "3/4");
    EXPECT_NEAR(FirstX(SLOT_BODY), 20.0f + std::cos(0.2f), 1e-5f);
    EXPECT_EQ(FirstX(SLOT_WEAPON), 1.0f);        // hidden: never skinned
    EXPECT_FALSE(scene.m_bShow[SLOT_SKELETON]);  // parts follow the biped while it is hidden
}

}  // namespace
