// The host scene: files read with Assimp and presented in the SDK's shape.
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <map>
#include <set>

#include "exporter/host/HostMaterials.h"
#include "exporter/host/VertexWeld.h"
#include "tests/exporter/SceneFiles.h"

namespace {

Mesh& MeshOf(INode* node, TimeValue t = 0) {
    const ObjectState& os = node->EvalWorldState(t, TRUE);
    return static_cast<TriObject*>(os.obj)->GetMesh();
}

// Keys of lengths 0 to 5 over few word values (many repeats, many shared
// first words): equal runs, and only those, share a number, numbered in
// order of first occurrence through every growth of the table.
TEST(HostSceneMesh, VertexWeldNumbersEqualKeysOnce) {
    VertexWeld weld;
    std::map<std::vector<uint32_t>, uint32_t> seen;
    uint32_t state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 1664525u + 1013904223u;
        std::vector<uint32_t> key(state >> 29 > 5 ? 3 : state >> 29);
        for (uint32_t& w : key) {
            state = state * 1664525u + 1013904223u;
            w = (state >> 24) % 6;
        }
        bool added = false;
        const uint32_t number = weld.FindOrAdd(key.data(), key.size(), added);
        const auto [it, fresh] = seen.emplace(key, static_cast<uint32_t>(seen.size()));
        ASSERT_EQ(added, fresh);
        ASSERT_EQ(number, it->second);
    }
    EXPECT_EQ(weld.Count(), seen.size());
    EXPECT_GT(seen.size(), 1024u);  // the table grew
}

TEST(HostSceneMesh, BoxIsWeldedAcrossTextureSeams) {
    TempDir dir;
    GltfBuilder b;
    b.AddNode("Box", -1, b.AddMesh({GltfBuilder::Box(1.0f, true)}));
    b.AddNode("Other");
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);
    INode* box = scene->FindNode("Box");
    ASSERT_NE(box, nullptr);
    const ObjectState& os = box->EvalWorldState(0, TRUE);
    ASSERT_NE(os.obj, nullptr);
    EXPECT_EQ(os.obj->SuperClassID(), GEOMOBJECT_CLASS_ID);
    ASSERT_TRUE(os.obj->CanConvertToType(Class_ID(TRIOBJ_CLASS_ID, 0)));
    EXPECT_EQ(os.obj->ConvertToType(0, Class_ID(TRIOBJ_CLASS_ID, 0)), os.obj);  // nothing to delete
    const Mesh& m = MeshOf(box);
    EXPECT_EQ(m.numVerts, 8);  // 24 file vertices, 8 positions
    EXPECT_EQ(m.numFaces, 12);
    EXPECT_EQ(m.numTVerts, 4);  // the four corners of the texture square
    ASSERT_NE(m.tvFace, nullptr);
    // Every corner keeps its position and texture coordinate; welded
    // positions are distinct.
    std::set<std::tuple<float, float, float>> distinct;
    for (int i = 0; i < m.numVerts; ++i) {
        distinct.insert({m.verts[i].x, m.verts[i].y, m.verts[i].z});
        EXPECT_EQ(std::fabs(m.verts[i].x), 1.0f);
        EXPECT_EQ(std::fabs(m.verts[i].y), 1.0f);
        EXPECT_EQ(std::fabs(m.verts[i].z), 1.0f);
    }
    EXPECT_EQ(distinct.size(), 8u);
    for (int f = 0; f < m.numFaces; ++f)
        for (int c = 0; c < 3; ++c) {
            ASSERT_LT(m.faces[f].v[c], 8u);
            ASSERT_LT(m.tvFace[f].t[c], 4u);
        }
    // First side (+x): corners (-1,-1), (1,-1), (1,1) of its square; v
    // counts up from the bottom as in the package (glTF's counts down).
    EXPECT_EQ(m.tVerts[m.tvFace[0].t[0]], Point3(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(m.tVerts[m.tvFace[0].t[2]], Point3(1.0f, 0.0f, 0.0f));
    // The layout is the same at every tick.
    EXPECT_EQ(MeshOf(box, 4800).numVerts, 8);
    // Nodes without geometry are helpers: no mesh, not geometric.
    INode* other = scene->FindNode("Other");
    EXPECT_EQ(other->EvalWorldState(0, TRUE).obj->SuperClassID(), HELPER_CLASS_ID);
    EXPECT_FALSE(
        other->EvalWorldState(0, TRUE).obj->CanConvertToType(Class_ID(TRIOBJ_CLASS_ID, 0)));
}

TEST(HostSceneFrame, YUpFilesStandUpright) {
    TempDir dir;
    GltfBuilder b;
    const int tower =
        b.AddNode("Tower", -1, b.AddMesh({GltfBuilder::Box(1.0f, false, -1, 0.0f, 10.0f, 0.0f)}));
    b.NodeAt(tower).translation = {0.0f, 5.0f, 2.0f};
    b.AddNode("Ground");
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);
    EXPECT_TRUE(scene->TurnedUpright());
    INode* node = scene->FindNode("Tower");
    // File y (up) is the package's z; file z (towards the viewer) is -y.
    ExpectNear(node->GetNodeTM(0).GetTrans(), Point3(0.0f, -2.0f, 5.0f));
    const Mesh& m = MeshOf(node);
    for (int i = 0; i < m.numVerts; ++i) {
        const Point3 w = m.verts[i] * node->GetObjTMAfterWSM(0);
        EXPECT_GE(w.z, 14.0f - 1e-4f);  // the mesh stands 9 to 11 above its node, which is 5 up
    }
    EXPECT_EQ(node->GetParentNode(), scene->Root());
    EXPECT_EQ(node->GetParentTM(0), Matrix3(1));
}

// FBX files name their up and across axes, with signs: a triangle pointing
// along the file's up axis (corner 0) and across (corner 2) stands upright.
TEST(HostSceneFrame, FbxFilesStandOnTheirOwnUpAxis) {
    struct Case {
        int up, upSign, coord;
        aiVector3D upward, across;
    };
    const Case cases[] = {{0, 1, 1, {1, 0, 0}, {0, 1, 0}},
                          {1, -1, 0, {0, -1, 0}, {1, 0, 0}},
                          {2, -1, 0, {0, 0, -1}, {1, 0, 0}},
                          {1, 1, 0, {0, 1, 0}, {1, 0, 0}}};
    for (const Case& c : cases) {
        aiScene ai;
        ai.mRootNode = new aiNode("Sign");
        ai.mRootNode->mNumMeshes = 1;
        ai.mRootNode->mMeshes = new unsigned[1]{0};
        ai.mNumMeshes = 1;
        ai.mMeshes = new aiMesh* [1] { new aiMesh() };
        aiMesh& m = *ai.mMeshes[0];
        m.mNumVertices = 3;
        m.mVertices = new aiVector3D[3]{c.upward * 2.0f, aiVector3D(0, 0, 0), c.across};
        m.mNumFaces = 1;
        m.mFaces = new aiFace[1];
        m.mFaces[0].mNumIndices = 3;
        m.mFaces[0].mIndices = new unsigned[3]{0, 1, 2};
        ai.mMetaData = aiMetadata::Alloc(4);
        ai.mMetaData->Set(0, "SourceAsset_Format", aiString("Autodesk FBX Importer"));
        ai.mMetaData->Set(1, "UpAxis", int32_t(c.up));
        ai.mMetaData->Set(2, "UpAxisSign", int32_t(c.upSign));
        ai.mMetaData->Set(3, "CoordAxis", int32_t(c.coord));
        std::string error;
        auto scene = HostScene::FromImported(ai, "sign.fbx", error);
        ASSERT_TRUE(scene) << error;
        INode* node = scene->FindNode("Sign");
        const Mesh& mesh = MeshOf(node);
        ASSERT_EQ(mesh.numVerts, 3);
        const Matrix3 tm = node->GetObjTMAfterWSM(0);
        ExpectNear(mesh.verts[0] * tm, Point3(0.0f, 0.0f, 2.0f));
        ExpectNear(mesh.verts[2] * tm, Point3(1.0f, 0.0f, 0.0f));
        EXPECT_EQ(scene->UpAxis(), std::string(c.upSign < 0 ? "-" : "") + "xyz"[c.up]);
    }
}

// Files that name skin bones only by name: of two nodes named like the bone,
// the one whose rest pose is the bone's bind pose is taken; when both are,
// the file does not tell and says so.
TEST(HostSceneSkeleton, SkinBonesOfSharedNamesByTheirBindPose) {
    for (const float second : {5.0f, 0.0f}) {
        aiScene ai;
        ai.mRootNode = new aiNode("Root");
        aiNode* hips[2] = {new aiNode("Hip"), new aiNode("Hip")};
        hips[1]->mTransformation.a4 = second;
        aiNode* body = new aiNode("Body");
        body->mNumMeshes = 1;
        body->mMeshes = new unsigned[1]{0};
        ai.mRootNode->addChildren(2, hips);
        ai.mRootNode->addChildren(1, &body);
        ai.mNumMeshes = 1;
        ai.mMeshes = new aiMesh* [1] { new aiMesh() };
        aiMesh& m = *ai.mMeshes[0];
        m.mNumVertices = 3;
        m.mVertices = new aiVector3D[3]{{5, 0, 0}, {6, 0, 0}, {5, 1, 0}};
        m.mNumFaces = 1;
        m.mFaces = new aiFace[1];
        m.mFaces[0].mNumIndices = 3;
        m.mFaces[0].mIndices = new unsigned[3]{0, 1, 2};
        m.mNumBones = 1;
        m.mBones = new aiBone* [1] { new aiBone() };
        m.mBones[0]->mName = aiString("Hip");
        m.mBones[0]->mOffsetMatrix.a4 = -5;  // bound at x = 5
        m.mBones[0]->mNumWeights = 3;
        m.mBones[0]->mWeights = new aiVertexWeight[3]{{0, 1.0f}, {1, 1.0f}, {2, 1.0f}};
        std::string error;
        auto scene = HostScene::FromImported(ai, "pair.dae", error);
        ASSERT_TRUE(scene) << error;
        const std::vector<HostNode*> nodes = scene->Nodes();
        ASSERT_EQ(nodes.size(), 3u);
        const MeshDeformation& d =
            static_cast<HostNode*>(scene->FindNode("Body"))->meshObject->deform;
        ASSERT_EQ(d.bindings.size(), 1u);
        EXPECT_EQ(d.bindings[0].bone, second == 5.0f ? nodes[1] : nodes[0]);
        EXPECT_EQ(d.bindings[0].bone->kind, NodeKind::Joint);
        const bool reported =
            !scene->Warnings().empty() && scene->Warnings()[0] ==
                                              "node 'Body': 2 nodes are named like its skin bone "
                                              "'Hip' and the file does not tell "
                                              "which; the first is used";
        EXPECT_EQ(reported, second == 0.0f)
            << (scene->Warnings().empty() ? "" : scene->Warnings()[0]);
    }
}

TEST(HostSceneMaterials, SeveralMaterialsMakeAMultiMaterial) {
    TempDir dir;
    GltfBuilder b;
    const int wall = b.AddMaterial("Wall", "maps/wall.png");
    const int roof = b.AddMaterial("Roof");
    const int single = b.AddMaterial("Single", "C:\\\\art\\\\single.bmp");
    b.AddNode("House", -1,
              b.AddMesh({GltfBuilder::Box(1.0f, true, wall),
                         GltfBuilder::Box(1.0f, true, roof, 0, 3, 0)}));
    b.AddNode("Shed", -1, b.AddMesh({GltfBuilder::Box(1.0f, true, single)}));
    b.AddNode("Bare", -1, b.AddMesh({GltfBuilder::Box(1.0f, true)}));
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);

    Mtl* multi = scene->FindNode("House")->GetMtl();
    ASSERT_NE(multi, nullptr);
    EXPECT_EQ(multi->ClassID(), Class_ID(MULTI_CLASS_ID, 0));
    ASSERT_EQ(multi->NumSubMtls(), 2);
    EXPECT_EQ(multi->NumSubTexmaps(), 0);
    Mtl* wallMtl = multi->GetSubMtl(0);
    EXPECT_EQ(wallMtl->ClassID(), Class_ID(DMTL_CLASS_ID, 0));
    EXPECT_STREQ(wallMtl->GetName().data(), "Wall");
    EXPECT_STREQ(multi->GetSubMtl(1)->GetName().data(), "Roof");
    // The faces of the second box use the second sub-material.
    const Mesh& m = MeshOf(scene->FindNode("House"));
    ASSERT_EQ(m.numFaces, 24);
    EXPECT_EQ(m.faces[0].getMatID(), 0);
    EXPECT_EQ(m.faces[23].getMatID(), 1);
    EXPECT_EQ(m.numVerts, 16);

    // The diffuse slot holds a bitmap with the package's path form.
    StdMat* std = static_cast<StdMat*>(wallMtl);
    ASSERT_EQ(std->NumSubTexmaps(), STD_NUM_MAPS);
    Texmap* map = std->GetSubTexmap(ID_DI);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->ClassID(), Class_ID(BMTEX_CLASS_ID, 0));
    EXPECT_STREQ(static_cast<BitmapTex*>(map)->GetMapName(), "maps\\wall.png");
    EXPECT_TRUE(std->MapEnabled(ID_DI));
    EXPECT_EQ(std->GetSubTexmap(ID_BU), nullptr);

    Mtl* shed = scene->FindNode("Shed")->GetMtl();
    ASSERT_NE(shed, nullptr);
    EXPECT_EQ(shed->ClassID(), Class_ID(DMTL_CLASS_ID, 0));
    EXPECT_STREQ(static_cast<BitmapTex*>(shed->GetSubTexmap(ID_DI))->GetMapName(),
                 "C:\\art\\single.bmp");
    // A glTF primitive without material gets the importer's default material.
    EXPECT_NE(scene->FindNode("Bare")->GetMtl(), nullptr);
}

TEST(HostSceneAnimation, RangeTicksAndKeyInterpolation) {
    TempDir dir;
    GltfBuilder b;
    const int mover = b.AddNode("Mover", -1, b.AddMesh({GltfBuilder::Box()}));
    b.Animate(mover, "translation", {0.5f, 2.0f}, {0, 0, 0, 30, 0, 0});
    b.AddNode("Still");
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);
    EXPECT_EQ(scene->TicksPerFrame(), 160);  // 30 frames a second without a rate in the file
    EXPECT_EQ(GetTicksPerFrame(), 160);
    // The span of the keys; the importer gives the components without keys
    // one key at time 0.
    EXPECT_EQ(scene->AnimRange().Start(), 0);
    EXPECT_EQ(scene->AnimRange().End(), 9600);
    INode* node = scene->FindNode("Mover");
    EXPECT_NEAR(node->GetNodeTM(0).GetTrans().x, 0.0f, 1e-4f);
    EXPECT_NEAR(node->GetNodeTM(6000).GetTrans().x, 15.0f, 1e-3f);
    EXPECT_NEAR(node->GetNodeTM(20000).GetTrans().x, 30.0f, 1e-3f);
    Interval valid;
    node->GetNodeTM(6000, &valid);
    EXPECT_EQ(valid, Interval(6000, 6000));
    scene->FindNode("Still")->GetNodeTM(6000, &valid);
    EXPECT_EQ(valid, FOREVER);
}

TEST(HostSceneAnimation, SteppedChannelsHoldTheirKeys) {
    TempDir dir;
    GltfBuilder b;
    const int box = b.AddMesh({GltfBuilder::Box()});
    b.AddNode("Group");
    const int stepper = b.AddNode("Stepper", 0, box);
    b.Animate(stepper, "translation", {0, 1}, {0, 0, 0, 10, 0, 0}, "STEP");
    b.Animate(stepper, "scale", {0, 1}, {1, 1, 1, 3, 3, 3});
    const int glider = b.AddNode("Glider", -1, box);
    b.Animate(glider, "translation", {0, 1}, {0, 0, 0, 10, 0, 0});
    // The same scene as JSON and in the binary container.
    ASSERT_TRUE(b.Write(dir.File("stepped.gltf")));
    ASSERT_TRUE(b.Write(dir.File("stepped.glb")));
    for (const char* name : {"stepped.gltf", "stepped.glb"}) {
        auto scene = LoadScene(dir.File(name));
        ASSERT_TRUE(scene);
        const Matrix3 half = scene->FindNode("Stepper")->GetNodeTM(2400);
        EXPECT_NEAR(half.GetTrans().x, 0.0f, 1e-5f);        // held until the next key
        EXPECT_NEAR(half.GetRow(0).Length(), 2.0f, 1e-4f);  // the scale still interpolates
        EXPECT_NEAR(scene->FindNode("Stepper")->GetNodeTM(4800).GetTrans().x, 10.0f, 1e-4f);
        EXPECT_NEAR(scene->FindNode("Glider")->GetNodeTM(2400).GetTrans().x, 5.0f, 1e-4f);
    }
}

// Two joints at the origin with identity bind matrices; the second turns a
// quarter about the file's y (the package's z) in one second.
GltfBuilder SkinnedScene(bool animate) {
    GltfBuilder b;
    GltfBuilder::Primitive p;
    p.positions = {1, 0, 0, 0, 0, 1, 1, 0, 1, 3, 0, 3};
    p.indices = {0, 1, 2, 0, 2, 3};
    // Vertex 0 on the hip, 1 on the shin, 2 half and half with weights that
    // do not sum to 1, 3 without weights.
    p.joints = {0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
    p.weights = {1, 0, 0, 0, 1, 0, 0, 0, 0.45f, 0.45f, 0, 0, 0, 0, 0, 0};
    const int mesh = b.AddMesh({p});
    const int skinNode = b.AddNode("Skin", -1, mesh);
    b.NodeAt(skinNode).translation = {0, 0, 5};  // unweighted vertices follow it
    const int hip = b.AddNode("Hip");
    const int shin = b.AddNode("Shin", hip);
    const std::vector<float> identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::vector<float> ibm = identity;
    ibm.insert(ibm.end(), identity.begin(), identity.end());
    b.NodeAt(skinNode).skin = b.AddSkin({hip, shin}, ibm);
    if (animate) {
        const std::vector<float> q0 = AxisAngle(0, 1, 0, 0), q1 = AxisAngle(0, 1, 0, 90);
        std::vector<float> values = q0;
        values.insert(values.end(), q1.begin(), q1.end());
        b.Animate(shin, "rotation", {0.0f, 1.0f}, values);
    }
    return b;
}

TEST(HostSceneDeformation, LinearBlendSkinningWithNormalisedWeights) {
    TempDir dir;
    auto scene = LoadBuilt(SkinnedScene(true), dir);
    ASSERT_TRUE(scene);
    INode* skin = scene->FindNode("Skin");
    const ObjectState& os = skin->EvalWorldState(0, TRUE);
    ASSERT_NE(os.obj, nullptr);
    // A deforming mesh is valid only at the time it was evaluated.
    EXPECT_EQ(os.obj->ObjectValidity(0), Interval(0, 0));
    EXPECT_FALSE(os.obj->ObjectValidity(0).InInterval(scene->AnimRange().End()));
    // Skinned vertices are in world space.
    EXPECT_EQ(skin->GetObjTMAfterWSM(4800), Matrix3(1));

    // File (x, y, z) is package (x, -z, y).
    const Mesh& rest = MeshOf(skin, 0);
    ASSERT_EQ(rest.numVerts, 4);
    ExpectNear(rest.verts[0], Point3(1.0f, 0.0f, 0.0f));
    ExpectNear(rest.verts[1], Point3(0.0f, -1.0f, 0.0f));
    ExpectNear(rest.verts[2], Point3(1.0f, -1.0f, 0.0f));
    ExpectNear(rest.verts[3], Point3(3.0f, -3.0f, 0.0f) + Point3(0.0f, -5.0f, 0.0f));

    // After a quarter turn of the shin about the package's z.
    const Mesh& bent = MeshOf(skin, 4800);
    ExpectNear(bent.verts[0], Point3(1.0f, 0.0f, 0.0f));
    ExpectNear(bent.verts[1], Point3(1.0f, 0.0f, 0.0f));   // (0,-1,0) turned to (1,0,0)
    ExpectNear(bent.verts[2], Point3(1.0f, 0.0f, 0.0f));   // half of (1,-1,0) and half of (1,1,0)
    ExpectNear(bent.verts[3], Point3(3.0f, -8.0f, 0.0f));  // follows its node
    // Half way: the shin has turned 45 degrees.
    const Mesh& half = MeshOf(skin, 2400);
    const float s = std::sqrt(0.5f);
    ExpectNear(half.verts[1], Point3(s, -s, 0.0f));
}

TEST(HostSceneDeformation, SkinWithoutMotionIsValidForever) {
    TempDir dir;
    auto scene = LoadBuilt(SkinnedScene(false), dir);
    ASSERT_TRUE(scene);
    const ObjectState& os = scene->FindNode("Skin")->EvalWorldState(0, TRUE);
    EXPECT_EQ(os.obj->ObjectValidity(0), FOREVER);
}

TEST(HostSceneDeformation, UnweightedVerticesOfAMovingSkinFollowTheirNode) {
    TempDir dir;
    GltfBuilder b = SkinnedScene(false);
    b.Animate(0, "translation", {0, 1}, {0, 0, 5, 0, 0, 9});
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);
    INode* skin = scene->FindNode("Skin");
    EXPECT_EQ(skin->EvalWorldState(0, TRUE).obj->ObjectValidity(0), Interval(0, 0));
    ExpectNear(MeshOf(skin, 4800).verts[3], Point3(3.0f, -12.0f, 0.0f));
    ExpectNear(MeshOf(skin, 4800).verts[0], Point3(1.0f, 0.0f, 0.0f));  // weighted to a still bone
}

TEST(HostSceneDeformation, MorphTargetsFollowTheirWeights) {
    TempDir dir;
    GltfBuilder b;
    GltfBuilder::Primitive p;
    p.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    p.indices = {0, 1, 2};
    p.targets = {{0, 0, 0, 0, 0, 0, 0, 2, 0}};
    const int node = b.AddNode("Blob", -1, b.AddMesh({p}, {0.0f}));
    b.Animate(node, "weights", {0.0f, 1.0f}, {0.0f, 1.0f});
    b.AddNode("Other");
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);
    INode* blob = scene->FindNode("Blob");
    EXPECT_EQ(blob->EvalWorldState(0, TRUE).obj->ObjectValidity(0), Interval(0, 0));
    ExpectNear(MeshOf(blob, 0).verts[2], Point3(0.0f, 0.0f, 1.0f));
    ExpectNear(MeshOf(blob, 2400).verts[2], Point3(0.0f, 0.0f, 2.0f));
    ExpectNear(MeshOf(blob, 4800).verts[2], Point3(0.0f, 0.0f, 3.0f));
    // Morphed meshes stay in object space.
    EXPECT_EQ(blob->GetObjTMAfterWSM(0), blob->GetNodeTM(0));
}

TEST(HostSceneSkeleton, JointsAndBipedNamesAreGeometricWithBipedControllers) {
    TempDir dir;
    GltfBuilder b;
    const int bip = b.AddNode("Bip01");
    const int pelvis = b.AddNode("Bip01 Pelvis", bip);
    b.AddNode("Bip01 Footsteps", bip);
    b.AddNode("Sword", pelvis, b.AddMesh({GltfBuilder::Box()}));
    b.AddNode("Bip01 R Hand", pelvis, b.AddMesh({GltfBuilder::Box()}));
    b.AddNode("Bipod");
    auto scene = LoadBuilt(b, dir);
    ASSERT_TRUE(scene);
    auto ctrl = [&](const char* name) {
        return scene->FindNode(name)->GetTMController()->ClassID();
    };
    EXPECT_EQ(ctrl("Bip01"), Class_ID(BIPBODY_CONTROL_CLASS_ID, 0));
    EXPECT_EQ(ctrl("Bip01 Pelvis"), Class_ID(BIPSLAVE_CONTROL_CLASS_ID, 0));
    EXPECT_EQ(ctrl("Bip01 Footsteps"), Class_ID(FOOTPRINT_CLASS_ID, 0));
    EXPECT_EQ(ctrl("Bip01 R Hand"), Class_ID(BIPSLAVE_CONTROL_CLASS_ID, 0));
    EXPECT_EQ(ctrl("Sword"), Class_ID(PRS_CONTROL_CLASS_ID, 0));
    EXPECT_EQ(ctrl("Bipod"), Class_ID(PRS_CONTROL_CLASS_ID, 0));
    EXPECT_EQ(scene->FindNode("Bip01")->EvalWorldState(0, TRUE).obj->SuperClassID(),
              GEOMOBJECT_CLASS_ID);
    EXPECT_EQ(scene->FindNode("Bipod")->EvalWorldState(0, TRUE).obj->SuperClassID(),
              HELPER_CLASS_ID);
}

TEST(HostSceneFiles, ThirdPartyScenes) {
    // 3ds Max ASE with a biped: Bip01 nodes driven by biped controllers.
    auto ase = LoadScene(SharedScene("assimp/test/models/ASE/MotionCaptureROM.ase"));
    ASSERT_TRUE(ase);
    HostNode* bip = ase->FindNode("Bip01");
    ASSERT_NE(bip, nullptr);
    EXPECT_EQ(bip->GetTMController()->ClassID(), Class_ID(BIPBODY_CONTROL_CLASS_ID, 0));
    EXPECT_GT(ase->AnimRange().End(), 40 * TIME_TICKSPERSEC);

    // 3DS is z up already: the importer's turn to y up and ours cancel out.
    auto cube = LoadScene(SharedScene("assimp/test/models/3DS/RotatingCube.3DS"));
    ASSERT_TRUE(cube);
    ASSERT_EQ(cube->Root()->NumberOfChildren(), 1);
    INode* box = cube->Root()->GetChildNode(0);
    EXPECT_STREQ(box->GetName(), "Box01");
    EXPECT_EQ(cube->AnimRange(), Interval(0, 181 * 160));  // keys in frames
    AffineParts a0, a1;
    decomp_affine(box->GetNodeTM(0), &a0);
    decomp_affine(box->GetNodeTM(90 * 160), &a1);
    EXPECT_FALSE(a0.q == a1.q);

    // A 3ds Max FBX: 30 frames a second from the file, y up turned upright.
    auto tri = LoadScene(SharedScene(
        "babylonjs-exporters/3ds_Max/Samples/sourceModels/SimpleTriangle/SimpleTriangle.FBX"));
    ASSERT_TRUE(tri);
    EXPECT_EQ(tri->FrameRate(), 30.0);
    EXPECT_TRUE(tri->TurnedUpright());

    // glTF texture: the welded box of the Khronos sample.
    auto textured =
        LoadScene(SharedScene("assimp/test/models/glTF2/BoxTextured-glTF/BoxTextured.gltf"));
    ASSERT_TRUE(textured);
    HostNode* mesh = nullptr;
    for (HostNode* n : textured->Nodes())
        if (n->kind == NodeKind::Mesh) mesh = n;
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(MeshOf(mesh).numVerts, 8);
    EXPECT_EQ(MeshOf(mesh).numFaces, 12);
    Texmap* map = mesh->GetMtl()->GetSubTexmap(ID_DI);
    ASSERT_NE(map, nullptr);
    EXPECT_STREQ(static_cast<BitmapTex*>(map)->GetMapName(), "CesiumLogoFlat.png");

    // Skinned FBX character: its mesh deforms over the range.
    auto elf = LoadScene(
        SharedScene("babylonjs-exporters/3ds_Max/Samples/sourceModels/RiggedElf/RiggedElf.FBX"));
    ASSERT_TRUE(elf);
    HostNode* body = elf->FindNode("elf");
    ASSERT_NE(body, nullptr);
    EXPECT_FALSE(
        body->EvalWorldState(0, TRUE).obj->ObjectValidity(0).InInterval(elf->AnimRange().End()));
    const Point3 v0 = MeshOf(body, 0).verts[0];
    const Point3 v1 = MeshOf(body, elf->AnimRange().End() / 2).verts[0];
    EXPECT_GT((v1 - v0).Length(), 0.0f);
}

// Every malformed file that Assimp refuses gives a message naming the file.
// Four of them crash Assimp 5.2.5 itself inside the import and are left out
// here: X/malformed_skinweights_oob.x, invalid/crash-30d6...ply,
// CubeInvalidAccessorByteLength.glb and CubeInvalidBufferViewLength.glb.
// invalid/OutOfMemory.off is refused too, but only after Assimp spent half
// a minute allocating for its face count; it is left out as well.
TEST(HostSceneBadInput, MalformedFilesAreRefusedWithTheirName) {
    const char* files[] = {
        "assimp/test/models/Collada/library_animation_clips.dae",
        "assimp/test/models/glTF2/IndexOutOfRange/AllIndicesOutOfRange.gltf",
        "assimp/test/models/glTF2/MissingBin/BoxTextured.gltf",
        "assimp/test/models/glTF2/RecursiveNodes/RecursiveNodes.gltf",
        "assimp/test/models/glTF2/wrongTypes/badArray.gltf",
        "assimp/test/models/glTF2/wrongTypes/badNumber.gltf",
        "assimp/test/models/invalid/empty.3ds",
        "assimp/test/models/invalid/empty.obj",
        "assimp/test/models/invalid/empty.x",
        "assimp/test/models/invalid/malformed.obj",
        "gltf-sdk/GLTFSDK.Test/Resources/glb/CubeNoBuffer.glb",
        "gltf-sdk/GLTFSDK.Test/Resources/glb/WrongBinHeaderLength.glb",
        "gltf-sdk/GLTFSDK.Test/Resources/glb/WrongJsonLength.glb",
        "gltf-sdk/GLTFSDK.Test/Resources/glb/WrongReportedLength.glb",
        "tinygltf/models/BoundsChecking/integer-out-of-bounds.gltf",
        "tinygltf/models/BoundsChecking/invalid-buffer-index.gltf",
        "tinygltf/models/BoundsChecking/invalid-buffer-view-index.gltf",
        "tinygltf/models/BoundsChecking/invalid-primitive-indices.gltf",
        "ufbx/data/fuzz/fuzz_0000.fbx",
        "ufbx/data/fuzz/fuzz_0001.fbx",
        "ufbx/data/max2009_cube_anim_5800_ascii.fbx",
        "ufbx/data/max7_skin_5000_binary.fbx",
    };
    for (const char* f : files) {
        const std::string path = SharedScene(f);
        std::string error;
        EXPECT_FALSE(HostScene::Load(path, error)) << f;
        EXPECT_NE(error.find(path), std::string::npos) << error;
    }
}

TEST(HostSceneBadInput, DamagedButReadableFilesGiveDefinedScenes) {
    const char* files[] = {
        "assimp/test/models/glTF2/IndexOutOfRange/IndexOutOfRange.gltf",
        "assimp/test/models/glTF2/IncorrectVertexArrays/Cube.gltf",
        "assimp/test/models/invalid/box_nested_animation_4286.dae",
        "assimp/test/models/invalid/malformed2.obj",
        "assimp/test/models/ASE/invalid/InvalidUVIndex.ase",
        "assimp/test/models/fuzzer_data/"
        "clusterfuzz-testcase-minimized-assimp_fuzzer-4751812606885888",
        "draco/testdata/degenerate_mesh.obj",
        "draco/testdata/inf_nan.obj",
        "ufbx/data/fuzz/fuzz_0003.fbx",
        "ufbx/data/fuzz/fuzz_0006.fbx",
        "tinygltf/models/regression/zero-sized-bin-chunk-issue-440.glb",
    };
    for (const char* f : files) {
        auto scene = LoadScene(SharedScene(f));
        ASSERT_TRUE(scene) << f;
        for (HostNode* n : scene->Nodes()) {
            const ObjectState& os = n->EvalWorldState(scene->AnimRange().End(), TRUE);
            if (n->kind != NodeKind::Mesh) continue;
            const Mesh& m = static_cast<TriObject*>(os.obj)->GetMesh();
            for (int i = 0; i < m.numFaces; ++i)
                for (int c = 0; c < 3; ++c)
                    ASSERT_LT(m.faces[i].v[c], static_cast<DWORD>(m.numVerts)) << f;
            for (int i = 0; i < m.numFaces && m.numTVerts > 0; ++i)
                for (int c = 0; c < 3; ++c)
                    ASSERT_LT(m.tvFace[i].t[c], static_cast<DWORD>(m.numTVerts)) << f;
        }
    }
}

TEST(HostSceneBadInput, MissingUnreadableAndUnknownFiles) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(HostScene::Load(dir.File("absent.gltf"), error));
    EXPECT_NE(error.find("absent.gltf"), std::string::npos);
    EXPECT_NE(error.find("No such file"), std::string::npos);

    EXPECT_FALSE(HostScene::Load(dir.Path().string(), error));  // a directory
    EXPECT_NE(error.find(dir.Path().string()), std::string::npos);

    const std::string text = dir.File("notes.xyz");
    std::ofstream(text) << "not a scene\n";
    EXPECT_FALSE(HostScene::Load(text, error));
    EXPECT_NE(error.find("not a scene format"), std::string::npos) << error;
}

TEST(HostSceneBadInput, EmptyScenesAndMeshesWithoutFaces) {
    TempDir dir;
    const std::string empty = dir.File("empty.gltf");
    std::ofstream(empty) << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[]}]})";
    std::string error;
    auto scene = HostScene::Load(empty, error);
    if (scene) {
        EXPECT_TRUE(scene->Nodes().size() <= 1u);
        EXPECT_EQ(scene->AnimRange(), Interval(0, 0));
    } else {
        EXPECT_NE(error.find(empty), std::string::npos);
    }

    const std::string points = dir.File("points.obj");
    std::ofstream(points) << "v 0 0 0\nv 1 0 0\nv 0 1 0\np 1 2 3\n";
    scene = HostScene::Load(points, error);
    if (scene) {
        for (HostNode* n : scene->Nodes()) {
            if (n->kind == NodeKind::Mesh) {
                EXPECT_EQ(MeshOf(n).numFaces, 0);
            }
        }
    } else {
        EXPECT_NE(error.find(points), std::string::npos);
    }
}

TEST(HostSceneBadInput, NonFinitePositionsAreZeroedWithAWarning) {
    TempDir dir;
    const std::string path = dir.File("nan.obj");
    std::ofstream(path) << "o Broken\nv 0 0 0\nv 1 0 0\nv nan 1 0\nv 0 0 1\nf 1 2 3\nf 1 2 4\n";
    auto scene = LoadScene(path);
    ASSERT_TRUE(scene);
    HostNode* broken = nullptr;
    for (HostNode* n : scene->Nodes())
        if (n->kind == NodeKind::Mesh) broken = n;
    ASSERT_NE(broken, nullptr);
    const Mesh& m = MeshOf(broken);
    for (int i = 0; i < m.numVerts; ++i)
        for (int c = 0; c < 3; ++c) EXPECT_TRUE(std::isfinite(m.verts[i][c]));
    ASSERT_FALSE(scene->Warnings().empty());
    EXPECT_NE(scene->Warnings()[0].find("non-finite"), std::string::npos);
}

}  // namespace
