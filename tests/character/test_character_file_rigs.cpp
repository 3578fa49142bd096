// What real rigged files hold: copies of one rig with the same bone names,
// image names in URI form, several animations, spline keys, props on bones
// scaled to nothing or with animations of their own, rigs of rigid parts. Expected positions are
// worked out here from the glTF data written, not by the host.
#include <filesystem>
#include <fstream>

#include "tests/character/CharacterTestKit.h"
#include "tests/character/RigScenes.h"
#include "tests/support/TgaWriter.h"

namespace fs = std::filesystem;

namespace {

// Column-vector 4x4 transforms in glTF's frame, for the expected poses.
struct Pose {
    double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    Pose operator*(const Pose& o) const {
        Pose r;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                r.m[i][j] = 0;
                for (int k = 0; k < 4; ++k) r.m[i][j] += m[i][k] * o.m[k][j];
            }
        return r;
    }
    // The glTF point (x, y, z) placed by this pose, in the files' frame (z negated).
    Point3 Place(double x, double y, double z) const {
        const double p[3] = {x, y, z};
        double q[3];
        for (int i = 0; i < 3; ++i)
            q[i] = m[i][0] * p[0] + m[i][1] * p[1] + m[i][2] * p[2] + m[i][3];
        return Point3(float(q[0]), float(q[1]), float(-q[2]));
    }
};

Pose Move(double x, double y, double z) {
    Pose p;
    p.m[0][3] = x;
    p.m[1][3] = y;
    p.m[2][3] = z;
    return p;
}

// Turn about the x (axis 0) or y (axis 1) axis.
Pose Turned(int axis, double degrees) {
    const double a = degrees * M_PI / 180, c = std::cos(a), s = std::sin(a);
    Pose p;
    if (axis == 0) {
        p.m[1][1] = c;
        p.m[1][2] = -s;
        p.m[2][1] = s;
        p.m[2][2] = c;
    } else {
        p.m[0][0] = c;
        p.m[0][2] = s;
        p.m[2][0] = -s;
        p.m[2][2] = c;
    }
    return p;
}

Pose Scaled(double f) {
    Pose p;
    for (int i = 0; i < 3; ++i) p.m[i][i] = f;
    return p;
}

// Joint poses of AddLegRig hanging from `above` with the hip turned `hip`
// degrees about y and the knee `knee` about x, each times its inverse bind
// matrix: hip, knee, foot.
std::vector<Pose> LegSkin(const Pose& above, double hip, double knee) {
    const Pose h = above * Move(1, 2, 3) * Turned(1, hip);
    const Pose k = h * Move(0, -1, 0) * Turned(0, knee);
    const Pose f = k * Move(0, -1, 0);
    return {h * Move(-1, -2, -3), k * Move(-1, -1, -3), f * Move(-1, 0, -3)};
}

// The vertices of AddLegRig's leg mesh placed by its strongest joint, as the viewer skins them.
std::vector<Point3> ExpectedLeg(const std::vector<Pose>& skin) {
    const struct {
        float half, y;
        int joint;
    } boxes[] = {{0.25f, 2, 0}, {0.25f, 1, 1}, {0.2f, 1.5f, 1}, {0.25f, 0, 2}};
    std::vector<Point3> out;
    for (const auto& box : boxes) {
        const GltfBuilder::Primitive p = GltfBuilder::Box(box.half, false, -1, 1, box.y, 3);
        for (size_t i = 0; i + 2 < p.positions.size(); i += 3)
            out.push_back(skin[size_t(box.joint)].Place(p.positions[i], p.positions[i + 1],
                                                        p.positions[i + 2]));
    }
    return out;
}

// Largest distance from a point of either set to the nearest point of the other.
double SetDistance(const std::vector<Point3>& a, const std::vector<Point3>& b) {
    auto oneWay = [](const std::vector<Point3>& from, const std::vector<Point3>& to) {
        double worst = from.empty() || to.empty() ? 1e30 : 0;
        for (const Point3& p : from) {
            double best = 1e30;
            for (const Point3& q : to) best = std::min<double>(best, (p - q).Length());
            worst = std::max(worst, best);
        }
        return worst;
    };
    return std::max(oneWay(a, b), oneWay(b, a));
}

// The points of `box` placed by `pose`.
std::vector<Point3> Placed(const Pose& pose, const GltfBuilder::Primitive& box) {
    std::vector<Point3> out;
    for (size_t i = 0; i + 2 < box.positions.size(); i += 3)
        out.push_back(pose.Place(box.positions[i], box.positions[i + 1], box.positions[i + 2]));
    return out;
}

// The viewer's skinned vertices of part `p` at `frame`.
std::vector<Point3> ViewerVertices(ViewerCharacter& v, size_t p, int frame) {
    v.parts[p]->Skin(v.biped, frame);
    std::vector<Point3> out;
    for (const PartObject& o : v.parts[p]->objects)
        for (const ModelVertex& x : o.skinnedVertices) out.push_back(Point3(x.x, x.y, x.z));
    return out;
}

std::unique_ptr<HostScene> Write(const GltfBuilder& b, const std::string& path,
                                 const std::string& animation = "") {
    EXPECT_TRUE(b.Write(path));
    std::string error;
    std::unique_ptr<HostScene> scene = HostScene::Load(path, error, {}, animation);
    EXPECT_TRUE(scene) << error;
    return scene;
}

CharacterExportOptions Into(const std::string& dir) {
    CharacterExportOptions o;
    o.outDir = dir;
    return o;
}

TEST(FileRigs, CopiesOfOneRigAreSkeletonsOfTheirOwn) {
    TempDir dir;
    GltfBuilder b;
    AddLegRig(b);
    // The copy: the same names, four units along x, its keys in an animation of its own.
    b.NewAnimation("copy");
    const int copy = b.AddNode("Copy");
    b.NodeAt(copy).translation = {4, 0, 0};
    AddLegRig(b, "", -1, -1, copy);
    auto scene = Write(b, dir.File("pair.gltf"));
    ASSERT_TRUE(scene);
    EXPECT_TRUE(scene->Warnings().empty()) << scene->Warnings().front();
    const SceneCharacters chars = FindCharacters(*scene);
    ASSERT_EQ(chars.skeletons.size(), 2u);
    EXPECT_EQ(chars.skeletons[0].label, "Hip");
    EXPECT_EQ(chars.skeletons[1].label, "Copy/Hip");
    EXPECT_EQ(chars.FindSkeleton("Knee"), -2);  // a bone name both share says nothing

    for (int s = 0; s < 2; ++s) {
        CharacterExportOptions o = Into(dir.File("out"));
        o.skeleton = chars.skeletons[size_t(s)].label;
        CharacterExportResult r;
        ASSERT_TRUE(Export(*scene, o, r));
        ASSERT_EQ(r.parts.size(), 1u);
        ViewerCharacter v;
        ASSERT_TRUE(v.Load(r, dir.File("out")));
        const Pose above = s == 0 ? Pose() : Move(4, 0, 0);
        EXPECT_LT(SetDistance(ViewerVertices(v, 0, 0), ExpectedLeg(LegSkin(above, 0, 0))), 1e-5)
            << s;
        EXPECT_LT(SetDistance(ViewerVertices(v, 0, 30), ExpectedLeg(LegSkin(above, 90, 60))), 1e-5)
            << s;
    }
    // Both skeletons go into one folder under names of their own.
    CharacterExportResult first, second;
    CharacterExportOptions o = Into(dir.File("out"));
    o.skeleton = "Hip";
    ASSERT_TRUE(Export(*scene, o, first));
    o.skeleton = "Copy/Hip";
    ASSERT_TRUE(Export(*scene, o, second));
    EXPECT_NE(first.bipedFile, second.bipedFile);
}

TEST(FileRigs, TexturesAreFoundByTheirUriAndNamedAfterTheirCharacter) {
    TempDir dir;
    const std::vector<uint8_t> red = EncodeTga(1, 1, {0xFF0000FFu}, TgaLayout{});
    const std::vector<uint8_t> blue = EncodeTga(1, 1, {0x0000FFFFu}, TgaLayout{});
    std::ofstream(dir.File("Haut rot.tga"), std::ios::binary)
        .write(reinterpret_cast<const char*>(red.data()), red.size());
    std::ofstream(dir.File("R\xC3\xB6t.tga"), std::ios::binary)
        .write(reinterpret_cast<const char*>(blue.data()), blue.size());
    fs::create_directories(dir.File("ogre"));
    std::ofstream(dir.File("ogre/Haut rot.tga"), std::ios::binary)
        .write(reinterpret_cast<const char*>(blue.data()), blue.size());

    // Two characters whose images share a file name, written into one folder.
    for (const std::string name : {"hero.gltf", "ogre/ogre.gltf"}) {
        GltfBuilder b;
        AddLegRig(b, "", b.AddMaterial("skin", "Haut%20rot.tga"),
                  b.AddMaterial("eyes", "R%C3%B6t.tga"));
        auto scene = Write(b, dir.File(name));
        ASSERT_TRUE(scene);
        CharacterExportResult r;
        ASSERT_TRUE(Export(*scene, Into(dir.File("out")), r));
        const std::string stem = fs::path(name).stem().string();
        ASSERT_EQ(r.textures.size(), name == "hero.gltf" ? 2u : 1u);
        EXPECT_EQ(r.textures[0].name, stem + "_Haut rot.tga");
        if (name == "hero.gltf") {
            EXPECT_EQ(r.textures[1].name, stem + "_R\xC3\xB6t.tga");
        }
    }
    ViewerCharacter v;
    v.textures.SetSearchPath(dir.File("out/textr/"));
    const TextureEntry* hero = v.textures.Entry(v.textures.Add("hero_Haut rot.tga"));
    const TextureEntry* ogre = v.textures.Entry(v.textures.Add("ogre_Haut rot.tga"));
    ASSERT_TRUE(hero && ogre);
    EXPECT_EQ(hero->pixels[0], 0xFF0000FFu);
    EXPECT_EQ(ogre->pixels[0], 0x0000FFFFu);
}

TEST(FileRigs, AnimationsAreChosenByNameAndSampledAsTheViewerPlays) {
    TempDir dir;
    GltfBuilder b;
    const LegRig rig = AddLegRig(b);  // "Walk": two seconds
    b.NewAnimation("Run");            // one second: the hip turns 180 degrees, the knee not at all
    std::vector<float> turn = Turn(0, 1, 0, 0);
    for (float f : Turn(0, 1, 0, 90)) turn.push_back(f);
    for (float f : Turn(0, 1, 0, 180)) turn.push_back(f);
    b.Animate(rig.hip, "rotation", {0, 0.5f, 1}, turn);
    const std::string path = dir.File("moves.gltf");
    auto walk = Write(b, path);
    ASSERT_TRUE(walk);
    ASSERT_EQ(walk->Clips().size(), 2u);
    EXPECT_EQ(walk->Clips()[1].name, "Run");
    EXPECT_EQ(walk->Clips()[1].range, Interval(0, TIME_TICKSPERSEC));
    EXPECT_TRUE(walk->Clips()[0].played);
    EXPECT_FALSE(walk->Clips()[1].played);

    auto run = Write(b, path, "Run");
    ASSERT_TRUE(run);
    CharacterExportResult r;
    ASSERT_TRUE(Export(*run, Into(dir.File("run")), r));
    EXPECT_EQ(r.frameCount, 31);
    ViewerCharacter v;
    ASSERT_TRUE(v.Load(r, dir.File("run")));
    EXPECT_LT(SetDistance(ViewerVertices(v, 0, 30), ExpectedLeg(LegSkin(Pose(), 180, 0))), 1e-5);

    // At 24 frames a second, frame 24 is the first second of the walk.
    CharacterExportOptions o = Into(dir.File("walk"));
    o.framesPerSecond = 24;
    ASSERT_TRUE(Export(*walk, o, r));
    EXPECT_EQ(r.frameCount, 49);
    ViewerCharacter w;
    ASSERT_TRUE(w.Load(r, dir.File("walk")));
    EXPECT_LT(SetDistance(ViewerVertices(w, 0, 24), ExpectedLeg(LegSkin(Pose(), 90, 60))), 1e-5);

    std::string error;
    EXPECT_FALSE(HostScene::Load(path, error, {}, "Swim"));
    EXPECT_EQ(error, "no animation named 'Swim' in '" + path +
                         "'; its animations are 'animation 1', 'Run'");
}

TEST(FileRigs, SplineKeysFollowTheirTangents) {
    TempDir dir;
    GltfBuilder b;
    const LegRig rig = AddLegRig(b);
    // The hip rises and comes back over two seconds: leaving its first key at
    // 3 units a second upwards, arriving flat. Per key: in-tangent, value, out-tangent.
    b.Animate(rig.hip, "translation", {0, 2},
              {0, 0, 0, 1, 2, 3, 0, 3, 0, 0, 0, 0, 1, 2, 3, 0, 0, 0}, "CUBICSPLINE");
    auto scene = Write(b, dir.File("spline.gltf"));
    ASSERT_TRUE(scene);
    CharacterExportResult r;
    ASSERT_TRUE(Export(*scene, Into(dir.File("out")), r));
    ViewerCharacter v;
    ASSERT_TRUE(v.Load(r, dir.File("out")));
    // Halfway the Hermite weight of the start tangent is 1/8 of the two seconds.
    const double rise[] = {0, 0.75};
    for (int k = 0; k < 2; ++k) {
        const int frame = 30 * k;
        const Pose above = Move(0, rise[k], 0);
        EXPECT_LT(SetDistance(ViewerVertices(v, 0, frame),
                              ExpectedLeg(LegSkin(above, 90.0 * k, 60.0 * k))),
                  1e-4)
            << frame;
    }
    // A frame between keys: at a quarter (s = 1/4) the start tangent weighs 9/64 of two seconds.
    EXPECT_NEAR(BonePoint(v.biped, 0, 15, Point3(0.0f, 0.0f, 0.0f)).y, 2 + 3 * 2 * 9.0 / 64, 1e-4);
}

TEST(FileRigs, PropOnABoneScaledToNothingIsBoundWhereTheBoneHasASize) {
    TempDir dir;
    GltfBuilder b;
    const LegRig rig = AddLegRig(b);
    // A hand below the foot, hidden (scale 0) at the start and full size from half a second.
    const int hand = b.AddNode("Hand", rig.foot);
    b.NodeAt(hand).translation = {0, -0.5f, 0};
    b.Animate(hand, "scale", {0, 0.5f}, {0, 0, 0, 1, 1, 1});
    const int sword = b.AddNode("Sword", hand, b.AddMesh({GltfBuilder::Box(0.1f, false)}));
    b.NodeAt(sword).translation = {0.5f, 0, 0};
    auto scene = Write(b, dir.File("sword.gltf"));
    ASSERT_TRUE(scene);
    CharacterExportOptions o = Into(dir.File("out"));
    o.parts = {{"Leg", "leg"}, {"Sword", "sword"}};
    CharacterExportResult r;
    ASSERT_TRUE(Export(*scene, o, r));
    ViewerCharacter v;
    ASSERT_TRUE(v.Load(r, dir.File("out")));
    const GltfBuilder::Primitive box = GltfBuilder::Box(0.1f, false);
    for (int frame : {0, 15, 30}) {
        const double t = frame / 30.0;
        const Pose handPose = LegSkin(Pose(), 90 * t, 60 * t)[2] * Move(1, 0, 3) *
                              Move(0, -0.5, 0) * Scaled(std::min(1.0, 2 * t)) * Move(0.5, 0, 0);
        EXPECT_LT(SetDistance(ViewerVertices(v, 1, frame), Placed(handPose, box)), 1e-5) << frame;
    }
}

TEST(FileRigs, RigidPartsOnAnimatedNodesAreACharacter) {
    TempDir dir;
    GltfBuilder b;
    // A robot without skin: a body, a shoulder that turns 90 degrees about x
    // over a second, an arm on it that slides out along z, a hand on the arm;
    // a light swinging below the robot moves no mesh.
    const GltfBuilder::Primitive box = GltfBuilder::Box(0.25f, false);
    const int cube = b.AddMesh({box});
    const int robot = b.AddNode("Robot");
    b.NodeAt(robot).translation = {2, 0, 0};
    b.AddNode("Body", robot, cube);
    const int shoulder = b.AddNode("Shoulder", robot);
    b.NodeAt(shoulder).translation = {0, 2, 0};
    const int arm = b.AddNode("Arm", shoulder, cube);
    b.NodeAt(arm).translation = {0, -1, 0};
    const int hand = b.AddNode("Hand", arm, cube);
    b.NodeAt(hand).translation = {0, -1, 0};
    const int lamp = b.AddNode("Lamp", robot);
    std::vector<float> turn = Turn(1, 0, 0, 0);
    for (float f : Turn(1, 0, 0, 90)) turn.push_back(f);
    b.Animate(shoulder, "rotation", {0, 1}, turn);
    b.Animate(arm, "translation", {0, 1}, {0, -1, 0, 0, -1, 1});
    b.Animate(lamp, "translation", {0, 1}, {0, 0, 0, 5, 0, 0});
    auto scene = Write(b, dir.File("robot.gltf"));
    ASSERT_TRUE(scene);
    const SceneCharacters chars = FindCharacters(*scene);
    ASSERT_EQ(chars.skeletons.size(), 1u);
    EXPECT_TRUE(chars.skeletons[0].rigid);
    EXPECT_EQ(chars.skeletons[0].label, "Robot");
    std::vector<std::string> bones;
    for (const HostNode* n : chars.skeletons[0].bones) bones.push_back(n->name);
    EXPECT_EQ(bones, (std::vector<std::string>{"Robot", "Shoulder", "Arm"}));

    CharacterExportResult r;
    ASSERT_TRUE(Export(*scene, Into(dir.File("out")), r));
    ASSERT_EQ(r.parts.size(), 3u);
    ViewerCharacter v;
    ASSERT_TRUE(v.Load(r, dir.File("out")));
    for (int frame : {0, 10, 30}) {
        const double t = frame / 30.0;
        const Pose top = Move(2, 0, 0);
        const Pose armPose = top * Move(0, 2, 0) * Turned(0, 90 * t) * Move(0, -1, t);
        const Pose expected[3] = {top, armPose, armPose * Move(0, -1, 0)};
        for (size_t p = 0; p < 3; ++p)
            EXPECT_LT(SetDistance(ViewerVertices(v, p, frame), Placed(expected[p], box)), 1e-5)
                << r.parts[p].meshName << " at frame " << frame;
    }
}

TEST(FileRigs, PropWithAnAnimationOfItsOwnFollowsABoneOfItsOwn) {
    TempDir dir;
    GltfBuilder b;
    const LegRig rig = AddLegRig(b);
    // A flail on the foot that spins a full turn about y every second of the walk.
    const GltfBuilder::Primitive box = GltfBuilder::Box(0.1f, false, -1, 0.5f, 0, 0);
    const int flail = b.AddNode("Flail", rig.foot, b.AddMesh({box}));
    std::vector<float> spin;
    for (float degrees : {0, 120, 240, 0}) {
        for (float f : Turn(0, 1, 0, degrees)) spin.push_back(f);
    }
    b.Animate(flail, "rotation", {0, 1 / 3.0f, 2 / 3.0f, 1}, spin);
    auto scene = Write(b, dir.File("flail.gltf"));
    ASSERT_TRUE(scene);
    CharacterExportOptions o = Into(dir.File("out"));
    o.parts = {{"Leg", "leg"}, {"Flail", "flail"}};
    CharacterExportResult r;
    ASSERT_TRUE(Export(*scene, o, r));
    EXPECT_EQ(r.boneNames, (std::vector<std::string>{"Hip", "Knee", "Foot", "Flail"}));
    EXPECT_TRUE(std::any_of(r.notes.begin(), r.notes.end(), [](const std::string& n) {
        return n.find(
                   "mesh 'Flail' moves against bone 'Foot' (from frame 1); it is written with "
                   "a bone of its own") == 0;
    }));
    ViewerCharacter v;
    ASSERT_TRUE(v.Load(r, dir.File("out")));
    for (int frame : {0, 5, 15, 40}) {
        const double t = frame / 30.0;
        const double spun = t <= 1 ? 360 * t : 0, walk = t <= 1 ? t : 2 - t;
        const std::vector<Pose> leg = LegSkin(Pose(), 90 * walk, 60 * walk);
        const Pose foot = leg[2] * Move(1, 0, 3);
        EXPECT_LT(SetDistance(ViewerVertices(v, 1, frame), Placed(foot * Turned(1, spun), box)),
                  1e-5)
            << frame;
        EXPECT_LT(SetDistance(ViewerVertices(v, 0, frame), ExpectedLeg(leg)), 1e-5) << frame;
    }
}

}  // namespace
