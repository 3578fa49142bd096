#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "tests/model/DamagedFiles.h"
#include "tests/support/BipedWriter.h"
#include "tests/support/RecordingControlPanel.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TempDir.h"
#include "tools/formats/LittleEndianWriter.h"
#include "viewer/model/Biped.h"
#include "viewer/model/SceneState.h"

namespace {

// One stored frame: the 3x3 part row by row and the translation (12 floats).
void WriteFrame(ByteWriter& w, float scale, float tx, float ty, float tz) {
    w.Floats({scale, 0, 0, 0, scale, 0, 0, 0, scale, tx, ty, tz});
}

bool Load(Biped& biped, const ByteWriter& w, std::string& error) {
    return biped.LoadFromMemory(w.bytes.data(), w.bytes.size(), error);
}

TEST(BipedFile, OneBoneOneTriangleTwoFrames) {
    Biped biped;
    std::string error;
    ASSERT_TRUE(Load(biped, OneBoneBiped(2), error)) << error;
    EXPECT_EQ(biped.boneCount, 1);
    EXPECT_EQ(biped.frameCount, 2);
    const BipedBone& bone = biped.bones.at(0);
    EXPECT_EQ(bone.triangleCount, 1);
    ASSERT_EQ(bone.bindVertices.size(), 3u);
    EXPECT_EQ(bone.bindVertices[1].x, 1.0f);
    EXPECT_EQ(bone.bindVertices[2].y, 1.0f);
    for (const ModelVertex& v : bone.bindVertices) {
        EXPECT_EQ(v.nx, 0.0f);
        EXPECT_EQ(v.ny, 0.0f);
        EXPECT_EQ(v.nz, 0.0f);
        EXPECT_EQ(v.tu, 0.0f);
        EXPECT_EQ(v.tv, 0.0f);
    }
    ASSERT_EQ(bone.matrices.size(), 2u);
    // The fourth column is restored: _14 = _24 = _34 = 0, _44 = 1.
    const D3DMATRIX& m1 = bone.matrices[1];
    EXPECT_EQ(m1[3], 0.0f);
    EXPECT_EQ(m1[7], 0.0f);
    EXPECT_EQ(m1[11], 0.0f);
    EXPECT_EQ(m1[15], 1.0f);
    EXPECT_EQ(m1[12], 10.0f);
    EXPECT_EQ(m1[0], 1.0f);
    EXPECT_EQ(bone.posedVertices.size(), bone.bindVertices.size());
}

TEST(BipedFile, StoredMatrixElementsLandInTheirPlaces) {
    ByteWriter w;
    w.Int32(1).Int32(1).Int32(1).Floats({0, 0, 0}).Int32(0);
    for (int i = 1; i <= 12; ++i) w.Float(static_cast<float>(i));
    Biped biped;
    std::string error;
    ASSERT_TRUE(Load(biped, w, error)) << error;
    const D3DMATRIX& m = biped.bones[0].matrices[0];
    const float expected[16] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 1};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], expected[i]) << "element " << i;
}

TEST(BipedFile, SharedCornersBecomeSeparateEqualVertices) {
    ByteWriter w;
    w.Int32(1).Int32(1);
    w.Int32(4).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1});
    w.Int32(2).Int32(0).Int32(1).Int32(2).Int32(0).Int32(2).Int32(3);
    WriteFrame(w, 1, 0, 0, 0);
    Biped biped;
    std::string error;
    ASSERT_TRUE(Load(biped, w, error)) << error;
    const auto& v = biped.bones[0].bindVertices;
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0].x, v[3].x);
    EXPECT_EQ(v[2].y, v[4].y);
    EXPECT_EQ(v[5].z, 1.0f);
}

TEST(BipedFile, ReadsFromAStream) {
    TempDir dir;
    const std::string path = OneBoneBiped(3).SaveAs(dir.File("walk.bpd"));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    Biped biped;
    std::string error;
    EXPECT_TRUE(biped.Load(f, error)) << error;
    std::fclose(f);
    EXPECT_EQ(biped.frameCount, 3);
}

TEST(BipedFile, DamagedFilesAreRejectedWithAMessageAndLeaveTheBipedAsItWas) {
    for (const DamagedFile& c : DamagedBipedFiles()) {
        SCOPED_TRACE(c.name);
        Biped biped;
        std::string error;
        ASSERT_TRUE(Load(biped, OneBoneBiped(4), error));
        error.clear();
        EXPECT_FALSE(biped.LoadFromMemory(c.bytes.data(), c.bytes.size(), error));
        EXPECT_NE(error.find(c.messagePart), std::string::npos) << error;
        // Nothing of the damaged file was kept.
        EXPECT_EQ(biped.frameCount, 4);
        EXPECT_EQ(biped.boneCount, 1);
        EXPECT_EQ(biped.bones.size(), 1u);
    }
}

class AnimationTick : public ::testing::Test {
protected:
    AnimationTick() : scene(ui) { scene.m_pControlPanel = &panel; }

    void LoadBiped(int frames) {
        scene.m_pBiped = std::make_unique<Biped>();
        std::string error;
        ASSERT_TRUE(Load(*scene.m_pBiped, OneBoneBiped(frames), error)) << error;
    }

    RecordingUiServices ui;
    RecordingControlPanel panel;
    SceneState scene;
};

TEST_F(AnimationTick, FrameTextCountsOneToNAndWraps) {
    LoadBiped(3);
    for (int i = 0; i < 4; ++i) scene.AdvanceAnimation();
    EXPECT_EQ(panel.characterFrames, (std::vector<std::string>{"1/3", "2/3", "3/3", "1/3"}));
    EXPECT_EQ(scene.m_nFrame, 1);
}

TEST_F(AnimationTick, SkeletonIsPosedOnlyWhileShownButTheCounterAlwaysRuns) {
    LoadBiped(3);
    ASSERT_FALSE(scene.m_bShow[SLOT_SKELETON]);  // starts hidden
    scene.AdvanceAnimation();
    scene.AdvanceAnimation();
    EXPECT_EQ(scene.m_pBiped->bones[0].posedVertices[1].x, 1.0f);  // still the bind pose
    EXPECT_EQ(panel.characterFrames.size(), 2u);

    scene.m_bShow[SLOT_SKELETON] = true;
    scene.AdvanceAnimation();  // poses frame 2: translation x = 20
    EXPECT_EQ(scene.m_pBiped->bones[0].posedVertices[1].x, 21.0f);
    EXPECT_EQ(panel.characterFrames.back(), "3/3");
}

TEST_F(AnimationTick, CounterRestartsAfterReset) {
    LoadBiped(8);
    for (int i = 0; i < 5; ++i) scene.AdvanceAnimation();
    scene.m_nFrame = 0;  // what loading a biped or a part does
    scene.AdvanceAnimation();
    EXPECT_EQ(panel.characterFrames.back(), "1/8");
}

TEST_F(AnimationTick, NothingLoadedLeavesDisplaysAlone) {
    scene.AdvanceAnimation();
    EXPECT_TRUE(panel.characterFrames.empty());
    EXPECT_EQ(scene.m_nFrame, 0);
}

TEST_F(AnimationTick, BoneWithoutMatrixKeepsBindPoseAndReportsOnce) {
    LoadBiped(2);
    scene.m_bShow[SLOT_SKELETON] = true;
    scene.m_pBiped->bones[0].matrices.clear();
    scene.m_pBiped->bones[0].posedVertices[0].x = 99.0f;
    scene.AdvanceAnimation();
    scene.AdvanceAnimation();
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"잘못되었음!"}));
    EXPECT_EQ(scene.m_pBiped->bones[0].posedVertices[0].x, 0.0f);
}

}  // namespace
