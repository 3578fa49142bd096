// Third-party rigged scenes (glTF, FBX from 3ds Max, COLLADA, DirectX) turned
// into viewer files and read back with the viewer's readers: the viewer's
// single-bone skinning must reproduce the host's skinning wherever a vertex
// has one influence, the bones must come in the skeleton's depth-first order
// with the host's world transforms, and every texture must open in the
// viewer's texture manager.
#include <QImage>

#include "tests/character/CharacterTestKit.h"

namespace {

struct SceneCase {
    const char* label;
    const char* path;  // below tests/data/scenes, or a whole path
    const char* top;   // the skeleton's top node
    size_t bones;      // joints (and the top) of the skeleton
    int32_t frames;    // the animation range at 30 frames a second, both ends included
    int32_t textures;  // texture files written
};

void PrintTo(const SceneCase& c, std::ostream* os) {
    *os << c.label;
}

const SceneCase kScenes[] = {
    {"SimpleSkin", "assimp/test/models/glTF2/simple_skin/simple_skin.gltf", "nodes[1]", 2, 166, 0},
    {"CesiumMan", ASSETS_DIR "/CesiumMan/CesiumMan.gltf", "nodes[2]", 19, 61, 1},
    {"FoxGlbEmbeddedTexture", "bevy/assets/models/animated/Fox.glb", "_rootJoint", 24, 104, 1},
    {"RiggedElfMaxFbx", "babylonjs-exporters/3ds_Max/Samples/sourceModels/RiggedElf/RiggedElf.FBX",
     "mixamorig:Hips", 25, 141, 0},
    {"TransformedSkinMaxFbx", "ufbx/data/max_transformed_skin_7500_ascii.fbx", "Bone001", 5, 25, 0},
    // Two joint chains under one helper: the helper tops the skeleton.
    {"WusonTwoChains", "assimp/test/models/X/Testwuson.X", "Root", 38, 30, 0},
    // Rigid meshes on animated nodes, no skin: the animated node is the skeleton.
    {"RigidMax3ds", "assimp/test/models/3DS/RotatingCube.3DS", "Box01", 1, 182, 0},
    {"RigidFbx", "ufbx/data/fuzz/fuzz_0003.fbx", "pCube1", 1, 38, 0},
};

bool IsJointNode(HostNode* n) {
    const Class_ID id = n->GetTMController()->ClassID();
    return id == Class_ID(BIPBODY_CONTROL_CLASS_ID, 0) ||
           id == Class_ID(BIPSLAVE_CONTROL_CLASS_ID, 0);
}

void CheckScene(const SceneCase& c, const std::string& path) {
    std::unique_ptr<HostScene> scene = LoadHostScene(path);
    ASSERT_TRUE(scene);
    TempDir dir;
    CharacterExportOptions options;
    options.outDir = dir.File("out");
    CharacterExportResult result;
    ASSERT_TRUE(Export(*scene, options, result));

    // Bones: the top, then every joint below it, depth-first.
    HostNode* top = scene->FindNode(c.top);
    ASSERT_NE(top, nullptr);
    std::vector<std::string> expected{top->name};
    for (HostNode* n : scene->Nodes()) {
        bool below = false;
        for (HostNode* p = n->parent; p && !below; p = p->parent) below = p == top;
        if (below && IsJointNode(n)) expected.push_back(n->name);
    }
    EXPECT_EQ(result.boneNames, expected);
    EXPECT_EQ(result.boneNames.size(), c.bones);
    EXPECT_EQ(result.frameCount, c.frames);
    EXPECT_EQ(static_cast<int32_t>(result.textures.size()), c.textures);
    ASSERT_FALSE(result.parts.empty());

    ViewerCharacter viewer;
    ASSERT_TRUE(viewer.Load(result, options.outDir));
    ASSERT_EQ(viewer.biped.boneCount, static_cast<int32_t>(c.bones));
    ASSERT_EQ(viewer.biped.frameCount, c.frames);

    std::vector<int32_t> frames;
    for (int32_t k = 0; k < result.frameCount; ++k) frames.push_back(k);
    const SkinComparison s = CompareSkinning(*scene, result, viewer, frames);
    ASSERT_GT(s.size, 0.0);
    EXPECT_GT(s.singleCount, 0u);
    EXPECT_LE(s.worstSingle, 1e-4 * s.size) << "worst single-influence error " << s.worstSingle
                                            << " of a model " << s.size << " across";
    std::printf(
        "[ %s ] %zu vertex samples, one influence: %zu, worst %.3g, mean %.3g; all vertices: mean "
        "%.3g "
        "(%.3g%% of the model's size %.3g)\n",
        c.label, s.allCount, s.singleCount, s.worstSingle, s.meanSingle, s.meanAll,
        100.0 * s.meanAll / s.size, s.size);
    ::testing::Test::RecordProperty("mean_error_all_vertices", std::to_string(s.meanAll));
    ::testing::Test::RecordProperty("model_size", std::to_string(s.size));

    // Every bone's matrix at every frame is the host's world transform in the
    // file's frame: bone-space points land where the host puts them.
    const float tol = static_cast<float>(1e-4 * s.size);
    const float unit = static_cast<float>(0.1 * s.size);
    for (size_t b = 0; b < result.boneNames.size(); ++b) {
        HostNode* bone = scene->FindNode(result.boneNames[b]);
        ASSERT_NE(bone, nullptr);
        for (int32_t k = 0; k < result.frameCount; k += std::max(1, result.frameCount / 7)) {
            const Matrix3 world = bone->GetNodeTM(result.sampleTicks[static_cast<size_t>(k)]);
            for (const Point3& q : {Point3(0.0f, 0.0f, 0.0f), Point3(unit, 0.0f, 0.0f),
                                    Point3(0.0f, unit, 0.0f), Point3(0.0f, 0.0f, unit)}) {
                // q is a file-frame bone-space point; the host's is q with y and z exchanged.
                const Point3 host = FilePoint(Point3(q.x, q.z, q.y) * world, result.scale);
                ExpectNearPoint(BonePoint(viewer.biped, static_cast<int>(b), k, q), host, tol,
                                result.boneNames[b] + " at frame " + std::to_string(k));
            }
        }
    }

    // Textures open in the viewer's texture manager; images from files have
    // the pixels Qt decodes from the source.
    EXPECT_TRUE(viewer.ui.messages.empty()) << viewer.ui.messages.front();
    for (const ExportedTexture& t : result.textures) {
        const int32_t index = viewer.textures.IndexOf(t.name);
        ASSERT_GE(index, 0) << t.name;
        const TextureEntry* entry = viewer.textures.Entry(index);
        const QImage source(QString::fromStdString(t.source));
        if (source.isNull()) continue;  // stored inside the scene file
        ASSERT_EQ(entry->width, static_cast<uint32_t>(source.width()));
        ASSERT_EQ(entry->height, static_cast<uint32_t>(source.height()));
        for (int y = 0; y < source.height(); y += 97)
            for (int x = 0; x < source.width(); x += 89) {
                const QRgb p = source.pixel(x, y);
                const uint32_t want = (uint32_t(qRed(p)) << 24) | (uint32_t(qGreen(p)) << 16) |
                                      (uint32_t(qBlue(p)) << 8) | uint32_t(qAlpha(p));
                ASSERT_EQ(entry->pixels[size_t(y) * entry->width + size_t(x)], want)
                    << t.name << " at " << x << "," << y;
            }
    }
    for (const auto& part : viewer.parts)
        for (const PartObject& o : part->objects) {
            if (!o.textureName.empty()) {
                EXPECT_GE(o.textureIndex, 0) << o.textureName;
            }
        }
}

class SceneImport : public ::testing::TestWithParam<SceneCase> {};

TEST_P(SceneImport, ViewerSkinningMatchesTheHost) {
    const std::string path = GetParam().path;
    CheckScene(GetParam(), path[0] == '/' ? path : SharedScene(path));
}

INSTANTIATE_TEST_SUITE_P(ThirdParty, SceneImport, ::testing::ValuesIn(kScenes),
                         [](const ::testing::TestParamInfo<SceneCase>& i) {
                             return std::string(i.param.label);
                         });

// A COLLADA skin (the shared COLLADA skin is damaged: its vertex data runs
// past its accessors): a column of two joints, z up, with a box whose lower
// half follows the upper joint and whose upper half the lower joint, which
// turns 90 degrees about x over one second.
const char kColladaSkin[] = R"(<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
  <asset><unit name="meter" meter="1"/><up_axis>Z_UP</up_axis></asset>
  <library_geometries>
    <geometry id="box-mesh" name="box"><mesh>
      <source id="box-pos">
        <float_array id="box-pos-array" count="24">-0.5 -0.5 1 0.5 -0.5 1 0.5 0.5 1 -0.5 0.5 1 -0.5 -0.5 3 0.5 -0.5 3 0.5 0.5 3 -0.5 0.5 3</float_array>
        <technique_common><accessor source="#box-pos-array" count="8" stride="3">
          <param name="X" type="float"/><param name="Y" type="float"/><param name="Z" type="float"/>
        </accessor></technique_common>
      </source>
      <vertices id="box-verts"><input semantic="POSITION" source="#box-pos"/></vertices>
      <triangles count="12"><input semantic="VERTEX" source="#box-verts" offset="0"/>
        <p>0 2 1 0 3 2 4 5 6 4 6 7 0 1 5 0 5 4 2 3 7 2 7 6 1 2 6 1 6 5 3 0 4 3 4 7</p></triangles>
    </mesh></geometry>
  </library_geometries>
  <library_controllers>
    <controller id="skin" name="skin"><skin source="#box-mesh">
      <bind_shape_matrix>1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1</bind_shape_matrix>
      <source id="skin-joints"><Name_array id="skin-joints-array" count="2">Upper Lower</Name_array>
        <technique_common><accessor source="#skin-joints-array" count="2" stride="1"><param name="JOINT" type="name"/></accessor></technique_common></source>
      <source id="skin-binds"><float_array id="skin-binds-array" count="32">1 0 0 0 0 1 0 0 0 0 1 -1 0 0 0 1 1 0 0 0 0 1 0 0 0 0 1 -2 0 0 0 1</float_array>
        <technique_common><accessor source="#skin-binds-array" count="2" stride="16"><param name="TRANSFORM" type="float4x4"/></accessor></technique_common></source>
      <source id="skin-weights"><float_array id="skin-weights-array" count="1">1</float_array>
        <technique_common><accessor source="#skin-weights-array" count="1" stride="1"><param name="WEIGHT" type="float"/></accessor></technique_common></source>
      <joints><input semantic="JOINT" source="#skin-joints"/><input semantic="INV_BIND_MATRIX" source="#skin-binds"/></joints>
      <vertex_weights count="8">
        <input semantic="JOINT" source="#skin-joints" offset="0"/><input semantic="WEIGHT" source="#skin-weights" offset="1"/>
        <vcount>1 1 1 1 1 1 1 1</vcount><v>0 0 0 0 0 0 0 0 1 0 1 0 1 0 1 0</v>
      </vertex_weights>
    </skin></controller>
  </library_controllers>
  <library_animations>
    <animation id="lower-anim">
      <source id="lower-time"><float_array id="lower-time-array" count="2">0 1</float_array>
        <technique_common><accessor source="#lower-time-array" count="2" stride="1"><param name="TIME" type="float"/></accessor></technique_common></source>
      <source id="lower-out"><float_array id="lower-out-array" count="32">1 0 0 0 0 1 0 0 0 0 1 1 0 0 0 1 1 0 0 0 0 0 -1 0 0 1 0 1 0 0 0 1</float_array>
        <technique_common><accessor source="#lower-out-array" count="2" stride="16"><param name="TRANSFORM" type="float4x4"/></accessor></technique_common></source>
      <source id="lower-interp"><Name_array id="lower-interp-array" count="2">LINEAR LINEAR</Name_array>
        <technique_common><accessor source="#lower-interp-array" count="2" stride="1"><param name="INTERPOLATION" type="name"/></accessor></technique_common></source>
      <sampler id="lower-sampler"><input semantic="INPUT" source="#lower-time"/><input semantic="OUTPUT" source="#lower-out"/><input semantic="INTERPOLATION" source="#lower-interp"/></sampler>
      <channel source="#lower-sampler" target="Lower/transform"/>
    </animation>
  </library_animations>
  <library_visual_scenes>
    <visual_scene id="Scene" name="Scene">
      <node id="Armature" name="Armature" type="NODE">
        <node id="Upper" name="Upper" sid="Upper" type="JOINT">
          <matrix sid="transform">1 0 0 0 0 1 0 0 0 0 1 1 0 0 0 1</matrix>
          <node id="Lower" name="Lower" sid="Lower" type="JOINT">
            <matrix sid="transform">1 0 0 0 0 1 0 0 0 0 1 1 0 0 0 1</matrix>
          </node>
        </node>
      </node>
      <node id="Box" name="Box" type="NODE"><instance_controller url="#skin"><skeleton>#Upper</skeleton></instance_controller></node>
    </visual_scene>
  </library_visual_scenes>
  <scene><instance_visual_scene url="#Scene"/></scene>
</COLLADA>
)";

TEST(SceneImport, ColladaSkin) {
    TempDir dir;
    const std::string path = dir.File("column.dae");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(kColladaSkin, f);
    std::fclose(f);
    CheckScene({"ColladaSkin", "", "Upper", 2, 31, 0}, path);
}

}  // namespace
