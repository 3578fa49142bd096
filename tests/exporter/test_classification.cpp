// Node classification on real scenes: export candidates, static or animated,
// and the biped's top node.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "exporter/plugin/TesselExp.h"
#include "tests/exporter/SceneFiles.h"
#include "tests/support/RecordingHostUi.h"

namespace {

// The verdict for each node of a scene: "static", "animated" or "-".
struct Classified {
    std::unique_ptr<HostScene> scene;
    std::map<std::string, std::string> verdict;
    std::string bipedRoot;
};

Classified Classify(std::unique_ptr<HostScene> scene, bool selectedOnly = false) {
    Classified c;
    c.scene = std::move(scene);
    if (!c.scene) return c;
    RecordingHostUi ui;
    HostInterface ip(*c.scene, ui);
    exportSelected = selectedOnly ? TRUE : FALSE;
    TesselExp exp;
    exp.ip = &ip;
    INode* root = ip.GetRootNode();
    for (int k = 0; k < root->NumberOfChildren(); ++k) exp.FindBipedRoot(root->GetChildNode(k));
    c.bipedRoot = exp.bipedRoot ? exp.bipedRoot->GetName() : "";
    for (HostNode* n : c.scene->Nodes()) {
        std::string v = "-";
        if (exp.IsExportCandidate(n)) v = exp.IsAnimatedNode(n) ? "animated" : "static";
        c.verdict[n->name] = v;
    }
    exportSelected = FALSE;
    return c;
}

std::vector<float> Concat(std::initializer_list<std::vector<float>> parts) {
    std::vector<float> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// One second of animation (frames 0-30) with one box per rule.
GltfBuilder RulesScene() {
    GltfBuilder b;
    const int box = b.AddMesh({GltfBuilder::Box()});
    b.AddNode("Static", -1, box);
    const int mover = b.AddNode("Mover", -1, box);
    b.Animate(mover, "translation", {0, 1}, {0, 0, 0, 5, 0, 0});
    const int turner = b.AddNode("Turner", -1, box);
    b.Animate(turner, "rotation", {0, 1}, Concat({AxisAngle(0, 1, 0, 0), AxisAngle(0, 1, 0, 90)}));
    const int scaler = b.AddNode("Scaler", -1, box);
    b.Animate(scaler, "scale", {0, 1}, {1, 1, 1, 2, 2, 2});
    // 60 degrees about an axis that swings round, one key per frame.
    const int swing = b.AddNode("AxisSwing", -1, box);
    std::vector<float> times, rot;
    for (int f = 0; f <= 30; ++f) {
        const float phi = f * 3.0f * float(M_PI) / 180.0f;
        times.push_back(f / 30.0f);
        const auto q = AxisAngle(std::cos(phi), std::sin(phi), 0, 60);
        rot.insert(rot.end(), q.begin(), q.end());
    }
    b.Animate(swing, "rotation", times, rot);
    // Changes of at most 0.001: position, scale and angle.
    const int jitter = b.AddNode("Jitter", -1, box);
    b.Animate(jitter, "translation", {0, 0.5f, 1},
              {0, 0, 0, 0.0009f, -0.0009f, 0.0005f, 0.0004f, 0, 0});
    b.Animate(jitter, "scale", {0, 1}, {1, 1, 1, 1.0009f, 0.9992f, 1});
    b.Animate(jitter, "rotation", {0, 1},
              Concat({AxisAngle(0, 0, 1, 0), AxisAngle(0, 0, 1, 0.05f)}));
    // Moves away and back between frames 0 and 1 only.
    const int between = b.AddNode("BetweenFrames", -1, box);
    b.Animate(between, "translation", {0, 1 / 60.0f, 1 / 30.0f, 1},
              {0, 0, 0, 50, 0, 0, 0, 0, 0, 0, 0, 0});
    // A static child of a moving parent, and a moving child of a static one.
    b.AddNode("Rider", mover, box);
    const int pump = b.AddNode("Pump", b.AddNode("Base", -1, box), box);
    b.Animate(pump, "translation", {0, 1}, {0, 0, 0, 0, 0.002f, 0});
    b.AddNode("Empty");
    return b;
}

TEST(NodeClassification, StaticAndAnimatedRules) {
    TempDir dir;
    Classified c = Classify(LoadBuilt(RulesScene(), dir));
    ASSERT_TRUE(c.scene);
    EXPECT_EQ(c.scene->AnimRange(), Interval(0, 4800));
    EXPECT_EQ(c.verdict["Static"], "static");
    EXPECT_EQ(c.verdict["Mover"], "animated");
    EXPECT_EQ(c.verdict["Turner"], "animated");
    EXPECT_EQ(c.verdict["Scaler"], "animated");
    EXPECT_EQ(c.verdict["AxisSwing"], "static");      // the angle stays, only the axis turns
    EXPECT_EQ(c.verdict["Jitter"], "static");         // every change within 0.001
    EXPECT_EQ(c.verdict["BetweenFrames"], "static");  // only whole frames are sampled
    EXPECT_EQ(c.verdict["Rider"], "static");          // still relative to its moving parent
    EXPECT_EQ(c.verdict["Base"], "static");
    EXPECT_EQ(c.verdict["Pump"], "animated");  // 0.002 is more than the tolerance
    EXPECT_EQ(c.verdict["Empty"], "-");        // a helper is no candidate
    EXPECT_EQ(c.bipedRoot, "");
}

TEST(NodeClassification, EqualPoint3ToleranceIsInclusive) {
    TesselExp exp;
    EXPECT_TRUE(exp.EqualPoint3(Point3(1.0f, 2.0f, 3.0f), Point3(1.0f, 2.0f, 3.0f)));
    EXPECT_TRUE(exp.EqualPoint3(Point3(0.0f, 0.0f, 0.0f),
                                Point3(0.001f, -0.001f, 0.001f)));  // equal to the tolerance
    EXPECT_FALSE(exp.EqualPoint3(Point3(0.0f, 0.0f, 0.0f), Point3(0.0f, 0.0f, 0.00101f)));
    EXPECT_FALSE(exp.EqualPoint3(Point3(5.0f, 0.0f, 0.0f), Point3(0.0f, 0.0f, 0.0f)));
}

// A node whose transform is queried is counted; used to check the early stop.
class CountingNode : public INode {
public:
    explicit CountingNode(INode* inner) : inner(inner) {}
    const char* GetName() override { return inner->GetName(); }
    int NumberOfChildren() override { return 0; }
    INode* GetChildNode(int) override { return nullptr; }
    INode* GetParentNode() override { return inner->GetParentNode(); }
    int IsRootNode() override { return 0; }
    int Selected() override { return inner->Selected(); }
    Control* GetTMController() override { return inner->GetTMController(); }
    Mtl* GetMtl() override { return inner->GetMtl(); }
    const ObjectState& EvalWorldState(TimeValue t, BOOL h) override {
        return inner->EvalWorldState(t, h);
    }
    Matrix3 GetNodeTM(TimeValue t, Interval* v) override {
        ++samples;
        return inner->GetNodeTM(t, v);
    }
    Matrix3 GetParentTM(TimeValue t) override { return inner->GetParentTM(t); }
    Matrix3 GetObjTMAfterWSM(TimeValue t, Interval* v) override {
        return inner->GetObjTMAfterWSM(t, v);
    }
    INode* inner;
    int samples = 0;
};

TEST(NodeClassification, SamplingStopsOnceEverythingChanged) {
    TempDir dir;
    GltfBuilder b;
    const int box = b.AddMesh({GltfBuilder::Box()});
    const int all = b.AddNode("All", -1, box);
    b.Animate(all, "translation", {0, 1}, {0, 0, 0, 5, 0, 0});
    b.Animate(all, "rotation", {0, 1}, Concat({AxisAngle(0, 1, 0, 0), AxisAngle(0, 1, 0, 90)}));
    b.Animate(all, "scale", {0, 1}, {1, 1, 1, 2, 2, 2});
    const int still = b.AddNode("Still", -1, box);
    b.Animate(still, "translation", {0, 1}, {1, 1, 1, 1, 1, 1});
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);
    RecordingHostUi ui;
    HostInterface ip(*scene, ui);
    TesselExp exp;
    exp.ip = &ip;
    CountingNode changing(scene->FindNode("All"));
    EXPECT_TRUE(exp.CheckForAnimation(&changing));
    EXPECT_EQ(changing.samples, 2);  // frame 0, and frame 1 where all three changed
    CountingNode constant(scene->FindNode("Still"));
    EXPECT_FALSE(exp.CheckForAnimation(&constant));
    EXPECT_EQ(constant.samples, 31);  // every frame of 0-30
}

TEST(NodeClassification, DeformingMeshIsAnimatedThroughItsValidity) {
    TempDir dir;
    GltfBuilder b;
    GltfBuilder::Primitive p = GltfBuilder::Box();
    for (size_t i = 0; i < p.positions.size() / 3; ++i) {
        p.joints.insert(p.joints.end(), {0, 0, 0, 0});
        p.weights.insert(p.weights.end(), {1, 0, 0, 0});
    }
    const int skinned = b.AddNode("Cloak", -1, b.AddMesh({p}));
    const int hip = b.AddNode("Hip");
    b.NodeAt(skinned).skin = b.AddSkin({hip}, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    b.Animate(hip, "translation", {0, 1}, {0, 0, 0, 0, 3, 0});
    Classified c = Classify(LoadBuilt(b, dir));
    ASSERT_TRUE(c.scene);
    EXPECT_EQ(c.verdict["Cloak"], "animated");  // the node itself never moves
    EXPECT_EQ(c.verdict["Hip"], "-");           // a joint is driven by a biped controller
    EXPECT_EQ(c.bipedRoot, "Hip");
}

TEST(NodeClassification, BipedSkeletonIsNeverListedButItsChildrenAre) {
    TempDir dir;
    GltfBuilder b;
    const int box = b.AddMesh({GltfBuilder::Box()});
    b.AddNode("Crate", -1, box);
    const int bip = b.AddNode("Bip01");
    const int pelvis = b.AddNode("Bip01 Pelvis", bip);
    const int hand = b.AddNode("Bip01 R Hand", pelvis, box);  // biped part with geometry
    b.AddNode("Bip01 Footsteps", bip);
    b.AddNode("Sword", hand, box);
    const int shield = b.AddNode("Shield", pelvis, box);
    b.Animate(bip, "translation", {0, 1}, {0, 0, 0, 0, 0, 10});
    b.Animate(shield, "rotation", {0, 1}, Concat({AxisAngle(1, 0, 0, 0), AxisAngle(1, 0, 0, 30)}));
    Classified c = Classify(LoadBuilt(b, dir));
    ASSERT_TRUE(c.scene);
    EXPECT_EQ(c.bipedRoot, "Bip01");
    EXPECT_EQ(c.verdict["Bip01"], "-");
    EXPECT_EQ(c.verdict["Bip01 Pelvis"], "-");
    EXPECT_EQ(c.verdict["Bip01 R Hand"], "-");
    EXPECT_EQ(c.verdict["Bip01 Footsteps"], "-");
    EXPECT_EQ(c.verdict["Crate"], "static");
    EXPECT_EQ(c.verdict["Sword"], "static");     // carried, but still relative to the hand
    EXPECT_EQ(c.verdict["Shield"], "animated");  // turns relative to the pelvis
}

TEST(NodeClassification, FirstSkeletonInDepthFirstOrderIsTheBipedRoot) {
    TempDir dir;
    GltfBuilder b;
    const int group = b.AddNode("Group");
    b.AddNode("Bip02 Spine", b.AddNode("Bip02", group));
    b.AddNode("Bip01 Spine", b.AddNode("Bip01"));
    Classified c = Classify(LoadBuilt(b, dir));
    EXPECT_EQ(c.bipedRoot, "Bip02");
}

TEST(NodeClassification, SelectionOnlyListsSelectedNodes) {
    TempDir dir;
    auto scene = LoadBuilt(RulesScene(), dir);
    ASSERT_TRUE(scene);
    EXPECT_TRUE(scene->Select({"Mover", "Static", "Nobody"}) == std::vector<std::string>{"Nobody"});
    Classified c = Classify(std::move(scene), true);
    EXPECT_EQ(c.verdict["Static"], "static");
    EXPECT_EQ(c.verdict["Mover"], "animated");
    EXPECT_EQ(c.verdict["Turner"], "-");
    EXPECT_EQ(c.verdict["Rider"], "-");  // a selected parent does not select its children
}

TEST(NodeClassification, CamerasLightsAndTargetsAreNeverListed) {
    auto scene = LoadScene(SharedScene("assimp/test/models/ASE/TargetCameraAnim.ase"));
    ASSERT_TRUE(scene);
    Classified c = Classify(std::move(scene));
    int meshes = 0;
    for (HostNode* n : c.scene->Nodes()) {
        if (n->kind == NodeKind::Mesh) {
            ++meshes;
            EXPECT_NE(c.verdict[n->name], "-") << n->name;
        } else {
            EXPECT_EQ(c.verdict[n->name], "-") << n->name << " " << NodeKindName(n->kind);
        }
    }
    EXPECT_EQ(meshes, 1);
}

TEST(NodeClassification, ThirdPartyCharacters) {
    // The 3ds Max biped of the motion-capture file: Bip01 is the root, no
    // biped part is listed.
    Classified ase =
        Classify(LoadScene(SharedScene("assimp/test/models/ASE/MotionCaptureROM.ase")));
    ASSERT_TRUE(ase.scene);
    EXPECT_EQ(ase.bipedRoot, "Bip01");
    for (auto& [name, v] : ase.verdict) {
        if (name.rfind("Bip01", 0) == 0) {
            EXPECT_EQ(v, "-") << name;
        }
    }

    // The skinned elf is animated; its skeleton's top joint is the root.
    Classified elf = Classify(LoadScene(
        SharedScene("babylonjs-exporters/3ds_Max/Samples/sourceModels/RiggedElf/RiggedElf.FBX")));
    ASSERT_TRUE(elf.scene);
    EXPECT_EQ(elf.verdict["elf"], "animated");
    EXPECT_EQ(elf.bipedRoot, "mixamorig:Hips");

    // The rotating cube of the 3DS file turns.
    Classified cube = Classify(LoadScene(SharedScene("assimp/test/models/3DS/RotatingCube.3DS")));
    EXPECT_EQ(cube.verdict["Box01"], "animated");
}

TEST(NodeClassification, SingleTimeRangeAndSingularTransforms) {
    TempDir dir;
    GltfBuilder b;
    const int box = b.AddMesh({GltfBuilder::Box()});
    const int flat = b.AddNode("Flat", -1, box);
    b.NodeAt(flat).scale = {1, 0, 1};  // no inverse
    b.AddNode("OnFlat", flat, box);
    const int once = b.AddNode("Once", -1, box);
    b.Animate(once, "translation", {0.0f}, {1, 2, 3});
    Classified c = Classify(LoadBuilt(b, dir));
    ASSERT_TRUE(c.scene);
    EXPECT_EQ(c.scene->AnimRange(), Interval(0, 0));
    EXPECT_EQ(c.verdict["Once"], "static");  // one sample
    EXPECT_EQ(c.verdict["Flat"], "static");
    EXPECT_EQ(c.verdict["OnFlat"], "static");
}

}  // namespace
