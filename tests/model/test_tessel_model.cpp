// Tessel models: reading the file, texture rules, the model's own frame
// counter in the animation tick, and drawing on a recording device.
#include <gtest/gtest.h>

#include "tests/support/ModelFileWriter.h"
#include "tests/support/RecordingControlPanel.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TempDir.h"
#include "tests/support/TgaWriter.h"
#include "viewer/model/CharacterPart.h"
#include "viewer/model/SceneState.h"
#include "viewer/model/TesselModel.h"
#include "viewer/model/TextureManager.h"

namespace {

using Op = RecordingDevice::Op;

// Two triangles over four vertices.
TesselObjectSpec Quad(const std::string& texture, float dx = 0) {
    return {texture,
            {{Vertex(dx, 0, 0), Vertex(dx + 1, 0, 0), Vertex(dx, 1, 0), Vertex(dx + 1, 1, 0)}},
            {0, 1, 2, 2, 1, 3}};
}

// Three triangles over five vertices; frame k moves every vertex by 100 k in y.
TesselObjectSpec Fan(const std::string& texture, int frames) {
    TesselObjectSpec o{texture, {}, {0, 1, 2, 0, 2, 3, 0, 3, 4}};
    for (int k = 0; k < frames; ++k) {
        std::vector<ModelVertex> set;
        for (int j = 0; j < 5; ++j) {
            set.push_back(Vertex(static_cast<float>(j), 100.0f * static_cast<float>(k), 0));
        }
        o.frames.push_back(set);
    }
    return o;
}

class TesselTest : public ::testing::Test {
protected:
    TesselTest() : textures(1000), model(textures) { textures.SetSearchPath(dir.Path().string()); }

    int32_t Load(TesselModel& m, const ByteWriter& file) {
        error.clear();
        return m.LoadFromMemory(file.bytes.data(), file.bytes.size(), &device, ui, error);
    }
    void WriteTexture(const std::string& name) {
        ByteWriter w;
        w.bytes = EncodeTga(2, 2, std::vector<uint32_t>(4, 0xFFFFFFFFu), TgaLayout{});
        w.SaveAs(dir.File(name));
    }

    TempDir dir;
    TextureManager textures;
    TesselModel model;
    RecordingDevice device;
    RecordingUiServices ui;
    std::string error;
};

TEST_F(TesselTest, OneStaticAndOneAnimatedObjectGiveTheirFaceTotal) {
    ASSERT_EQ(Load(model, TesselFile(3, {Quad("")}, {Fan("", 3)})), 5) << error;
    EXPECT_EQ(model.frameCount, 3);
    EXPECT_EQ(model.currentFrame, -1);
    EXPECT_EQ(model.staticCount, 1);
    EXPECT_EQ(model.animatedCount, 1);
    const StaticObject& s = model.statics.at(0);
    EXPECT_EQ(s.vertexCount, 4);
    EXPECT_EQ(s.faceCount, 2);
    EXPECT_EQ(s.indices, (std::vector<uint16_t>{0, 1, 2, 2, 1, 3}));
    EXPECT_EQ(s.vertices[3].x, 1.0f);
    const AnimatedObject& a = model.animateds.at(0);
    EXPECT_EQ(a.frameCount, 3);
    EXPECT_EQ(a.vertexCount, 5);
    EXPECT_EQ(a.faceCount, 3);
    EXPECT_EQ(a.Frame(2)[4].x, 4.0f);
    EXPECT_EQ(a.Frame(2)[4].y, 200.0f);
    EXPECT_EQ(a.Frame(1)[0].y, 100.0f);
}

TEST_F(TesselTest, TheFormatsWorkedExampleReadsAsWritten) {
    // One static triangle, no texture: 132 bytes.
    ByteWriter w;
    w.Int32(1).Int32(1).Int32(0).Int32(0).Int32(3);
    w.Floats({0, 0, 0, 0, 1, 0, 0, 0});
    w.Floats({10, 0, 0, 0, 1, 0, 0, 0});
    w.Floats({0, 0, 10, 0, 1, 0, 0, 0});
    w.Int32(1).Int32(0).Int32(2).Int32(1);
    ASSERT_EQ(w.bytes.size(), 132u);
    ASSERT_EQ(Load(model, w), 1) << error;
    EXPECT_EQ(model.statics[0].textureIndex, 0);  // no name: texture 0
    EXPECT_EQ(model.statics[0].indices, (std::vector<uint16_t>{0, 2, 1}));
    EXPECT_EQ(model.statics[0].vertices[2].z, 10.0f);
    EXPECT_EQ(model.statics[0].vertices[1].ny, 1.0f);
}

TEST_F(TesselTest, HeaderWithoutObjectsIsRefusedAndTheModelStaysNew) {
    EXPECT_EQ(Load(model, ByteWriter().Int32(5).Int32(0).Int32(0)), 0);
    EXPECT_EQ(error, "Object의 갯수가 1보다 작습니다.");
    EXPECT_EQ(model.frameCount, 0);
    EXPECT_EQ(model.currentFrame, -1);
    EXPECT_EQ(model.staticCount, 0);
    EXPECT_TRUE(model.statics.empty());
    model.Draw(device, model.currentFrame, ui);
    EXPECT_TRUE(device.CallsOf(Op::DrawIndexedPrimitive).empty());
}

TEST_F(TesselTest, TextureIndexRules) {
    WriteTexture("wall.tga");
    WriteTexture("roof.tga");
    ASSERT_EQ(Load(model, TesselFile(2,
                                     {Quad("wall.tga"), Quad(""), Quad("Roof.TGA"),
                                      Quad("WALL.TGA"), Quad("gone.tga")},
                                     {Fan("", 2), Fan("roof.tga", 2)})),
              16)
        << error;
    EXPECT_EQ(model.statics[0].textureIndex, 0);
    EXPECT_EQ(model.statics[1].textureIndex, 0);  // no name: texture 0
    EXPECT_EQ(model.statics[2].textureIndex, 1);
    EXPECT_EQ(model.statics[3].textureIndex, 0);  // same file, other case
    EXPECT_EQ(model.statics[4].textureIndex, -1);
    EXPECT_EQ(model.animateds[0].textureIndex, -1);  // no name: no texture
    EXPECT_EQ(model.animateds[1].textureIndex, 1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("Create Texture Error!!: 'gone.tga'", 0), 0u);
    EXPECT_EQ(textures.Count(), 2);
}

TEST_F(TesselTest, ModelsAndPartsShareTextureIndices) {
    WriteTexture("stone.tga");
    WriteTexture("wood.tga");
    CharacterPart part(textures);
    PartObjectSpec o{
        "wood.tga", {Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0)}, {0, 0, 0}, {0, 1, 2}};
    const ByteWriter file = PartFile({o});
    ASSERT_EQ(part.LoadFromMemory(file.bytes.data(), file.bytes.size(), &device, ui, error), 1);
    ASSERT_EQ(Load(model, TesselFile(1, {Quad("stone.tga"), Quad("Wood.tga")}, {})), 4);
    EXPECT_EQ(model.statics[0].textureIndex, 1);
    EXPECT_EQ(model.statics[1].textureIndex, part.objects[0].textureIndex);
}

TEST_F(TesselTest, DrawingTexturesAndFrames) {
    WriteTexture("wall.tga");
    ASSERT_EQ(Load(model, TesselFile(4, {Quad("wall.tga"), Quad("")}, {Fan("", 4)})), 7);
    device.ClearCalls();
    model.Draw(device, 2, ui);
    std::vector<Op> ops;
    for (const auto& c : device.calls) ops.push_back(c.op);
    EXPECT_EQ(ops, (std::vector<Op>{Op::SetTexture, Op::DrawIndexedPrimitive, Op::SetTexture,
                                    Op::DrawIndexedPrimitive, Op::DrawIndexedPrimitive}));
    EXPECT_EQ(device.calls[0].surface, textures.Surface(0));
    EXPECT_EQ(device.calls[2].surface, textures.Surface(0));  // no name: texture 0
    const auto& animated = device.calls[4];
    EXPECT_EQ(animated.vertexPointer, model.animateds[0].Frame(2));
    EXPECT_EQ(animated.vertices.size(), 5u);
    EXPECT_EQ(animated.indices.size(), 9u);
    EXPECT_EQ(animated.a, static_cast<uint32_t>(D3DPT_TRIANGLELIST));
    EXPECT_EQ(animated.b, D3DFVF_VERTEX);

    device.ClearCalls();
    model.Draw(device, -1, ui);  // before the first frame step: frame 0
    EXPECT_EQ(device.CallsOf(Op::DrawIndexedPrimitive).back()->vertexPointer,
              model.animateds[0].Frame(0));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(TesselTest, StaticObjectWithoutNameAndNoTexturesReportsOnce) {
    ASSERT_EQ(Load(model, TesselFile(1, {Quad(""), Quad("")}, {})), 4);
    for (int frame = 0; frame < 3; ++frame) model.Draw(device, 0, ui);
    // Once per object, not once per frame.
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"GetSurface Error!!", "GetSurface Error!!"}));
    EXPECT_EQ(device.CallsOf(Op::DrawIndexedPrimitive).size(), 6u);
}

// ---------------------------------------------------------------------------
// The model's own frame counter in the animation tick

class TesselTick : public TesselTest {
protected:
    TesselTick() : scene(ui) { scene.m_pControlPanel = &panel; }

    RecordingControlPanel panel;
    SceneState scene;
};

TEST_F(TesselTick, CounterRunsOneToNAndTheDrawFollowsIt) {
    scene.m_pTessel = std::make_unique<TesselModel>(textures);
    ASSERT_EQ(Load(*scene.m_pTessel, TesselFile(4, {}, {Fan("", 4)})), 3);
    std::vector<const ModelVertex*> drawn;
    for (int tick = 0; tick < 5; ++tick) {
        scene.AdvanceAnimation();
        device.ClearCalls();
        scene.m_pTessel->Draw(device, scene.m_pTessel->currentFrame, ui);
        drawn.push_back(device.CallsOf(Op::DrawIndexedPrimitive).at(0)->vertexPointer);
    }
    EXPECT_EQ(panel.tesselFrames, (std::vector<std::string>{"1/4", "2/4", "3/4", "4/4", "1/4"}));
    const AnimatedObject& a = scene.m_pTessel->animateds[0];
    EXPECT_EQ(drawn, (std::vector<const ModelVertex*>{a.Frame(0), a.Frame(1), a.Frame(2),
                                                      a.Frame(3), a.Frame(0)}));
    EXPECT_TRUE(panel.characterFrames.empty());  // no biped: only the model counts
}

TEST_F(TesselTick, HiddenModelStandsStillAndStaticModelsShowOneOfOne) {
    scene.m_pTessel = std::make_unique<TesselModel>(textures);
    ASSERT_EQ(Load(*scene.m_pTessel, TesselFile(1, {Quad("")}, {})), 2);
    scene.m_bShow[SLOT_TESSEL] = false;
    scene.AdvanceAnimation();
    EXPECT_EQ(scene.m_pTessel->currentFrame, -1);
    EXPECT_TRUE(panel.tesselFrames.empty());
    scene.m_bShow[SLOT_TESSEL] = true;
    scene.AdvanceAnimation();
    scene.AdvanceAnimation();
    EXPECT_EQ(panel.tesselFrames, (std::vector<std::string>{"1/1", "1/1"}));
}

TEST_F(TesselTick, RefusedModelStaysAndStepsWithoutFrames) {
    scene.m_pTessel = std::make_unique<TesselModel>(textures);
    EXPECT_EQ(Load(*scene.m_pTessel, ByteWriter().Int32(5).Int32(0).Int32(0)), 0);
    scene.AdvanceAnimation();
    EXPECT_EQ(panel.tesselFrames, std::vector<std::string>{"1/0"});
}

}  // namespace
