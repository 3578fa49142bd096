// The host's scene: a file read with Assimp and presented through the SDK's
// interfaces as the 3D package would show it. Right-handed and z up in the
// file's units (y-up files are turned upright on loading), node tree in file
// order, transform keys evaluated at any tick, each node's meshes welded into
// one triangle mesh in the SDK's shape, skinned and morphed meshes deformed
// at any tick, materials as standard and multi materials with bitmap maps.
// Skeleton joints and "Bip01"-style nodes are geometric objects driven by the
// biped controller classes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "exporter/host/HostUi.h"
#include "exporter/host/MaxScene.h"
#include "exporter/host/SceneAnimation.h"

class HostScene;
struct aiScene;

// What a node holds, as the package would classify it.
enum class NodeKind { Root, Mesh, Joint, Camera, Light, Target, Helper };

class HostController : public Control {
public:
    explicit HostController(Class_ID id) : id(id) {}
    Class_ID ClassID() override { return id; }

private:
    Class_ID id;
};

// A simple object without geometry (camera, light, helper, target).
class HostSimpleObject : public Object {
public:
    HostSimpleObject(SClass_ID super, Class_ID cls) : super(super), cls(cls) {}
    Class_ID ClassID() override { return cls; }
    SClass_ID SuperClassID() override { return super; }
    Interval ObjectValidity(TimeValue) override { return FOREVER; }
    int CanConvertToType(Class_ID) override { return FALSE; }
    Object* ConvertToType(TimeValue, Class_ID) override { return nullptr; }
    void DeleteMe() override {}  // owned by its node

private:
    SClass_ID super;
    Class_ID cls;
};

class HostNode;

// The deformation data of a node's welded mesh.
struct SkinBinding {
    HostNode* bone;
    Matrix3 offset;  // mesh space to the bone's space, in the package's frame
};

struct MeshDeformation {
    // Skin: per welded vertex (binding index, normalised weight).
    std::vector<SkinBinding> bindings;
    std::vector<std::vector<std::pair<int, float>>> influences;
    bool skinned = false;
    // Morph targets: per target the offset of every welded vertex.
    std::vector<std::vector<Point3>> morphDeltas;
    std::vector<float> defaultWeights;
    const std::vector<MorphKey>* morphKeys = nullptr;
    KeyInterpolation morphMode = KeyInterpolation::Linear;
};

// The evaluated mesh object of a node. Its mesh holds the node's geometry at
// the time of the last evaluation: object space for rigid and morphed
// meshes, world space for skinned ones (their object transform after
// world-space deformation is then the identity, as for a world-space
// deformation in the package).
class HostMeshObject : public TriObject {
public:
    HostMeshObject(HostNode* node, Class_ID cls) : node(node), cls(cls) {}
    Class_ID ClassID() override { return cls; }
    Interval ObjectValidity(TimeValue t) override;
    int CanConvertToType(Class_ID obtype) override {
        return obtype == Class_ID(TRIOBJ_CLASS_ID, 0);
    }
    Object* ConvertToType(TimeValue t, Class_ID obtype) override;
    void DeleteMe() override {}  // owned by its node

    void Evaluate(TimeValue t);
    bool Deforming() const { return deforming; }

    Mesh rest;  // welded mesh at rest, package frame, object space
    MeshDeformation deform;
    bool deforming = false;  // shape changes over time

private:
    HostNode* node;
    Class_ID cls;
    bool evaluated = false;
    TimeValue evaluatedAt = 0;
    // deform.influences in one array, made at the first evaluation: vertex
    // i's are influenceList[influenceStart[i] .. influenceStart[i + 1] - 1].
    std::vector<size_t> influenceStart;
    std::vector<std::pair<int, float>> influenceList;
};

class HostNode : public INode {
public:
    HostNode(HostScene* scene, HostNode* parent, std::string name);

    const char* GetName() override { return name.c_str(); }
    int NumberOfChildren() override { return static_cast<int>(children.size()); }
    INode* GetChildNode(int i) override;
    INode* GetParentNode() override { return parent; }
    int IsRootNode() override { return parent == nullptr; }
    int Selected() override { return selected ? 1 : 0; }
    Control* GetTMController() override { return controller.get(); }
    Mtl* GetMtl() override { return material; }
    const ObjectState& EvalWorldState(TimeValue t, BOOL evalHidden = TRUE) override;
    Matrix3 GetNodeTM(TimeValue t, Interval* valid = nullptr) override;
    Matrix3 GetParentTM(TimeValue t) override;
    Matrix3 GetObjTMAfterWSM(TimeValue t, Interval* valid = nullptr) override;

    // Transform relative to the parent at t, in the package's frame.
    Matrix3 LocalTM(TimeValue t);
    bool HasTransformKeys() const { return !track.Empty(); }
    // True when this node or one of its ancestors has transform keys.
    bool MovesInScene() const;

    HostScene* scene;
    HostNode* parent;
    std::string name;
    std::vector<HostNode*> children;
    NodeKind kind = NodeKind::Helper;
    bool selected = false;
    std::unique_ptr<HostController> controller;
    Mtl* material = nullptr;
    std::unique_ptr<Object> object;
    HostMeshObject* meshObject = nullptr;  // object when kind is Mesh (or a joint with a mesh)

    // Transform: rest local (file frame, row-vector form) and keys.
    Matrix3 restLocal;
    Point3 restTranslation, restScale{1.0f, 1.0f, 1.0f};
    Quat restRotation;
    TransformTrack track;

private:
    ObjectState state;
    bool worldCached = false;
    TimeValue worldCachedAt = 0;
    Matrix3 worldCache;
};

// An image stored inside the scene file.
struct SceneImage {
    std::string hostName;       // the path its bitmap maps report (backslash form)
    std::string fileName;       // the file name the scene recorded for it, if any
    std::string hint;           // format hint ("png", "jpg", ...)
    std::vector<uint8_t> data;  // the compressed image file, or
    uint32_t width = 0, height = 0;
    std::vector<uint32_t>
        texels;  // pixels red << 24 | green << 16 | blue << 8 | alpha, row 0 on top
};

// The size at which the scene is presented: the file's numbers, converted
// from the unit the file declares into `unitMetres` (metres per unit; 0
// keeps the file's own units), then multiplied by `factor`.
struct SceneSize {
    double factor = 1.0;
    double unitMetres = 0.0;
};

// Metres per unit of the length units a scene can be presented in ("m",
// "cm", "mm", "in", "ft"); 0 for any other name.
double LengthUnitMetres(const std::string& name);
// A length unit for messages: its name when it is one of those, else
// "1 unit = X m".
std::string DescribeLengthUnit(double metres);

// An animation of the file (a take, a clip): its name and the ticks its keys span.
struct SceneClip {
    std::string name;
    Interval range{0, 0};
    bool played = false;  // part of the scene's timeline
};

class HostScene {
public:
    // Reads a scene file. On failure returns null and a message naming the
    // file and the problem. The importer runs in a child process
    // (SceneImport.h): when it crashes or runs past its limits on a
    // malformed file, that is the problem reported.
    // The scene is presented at `size`: positions, node translations, skin
    // offsets and morph offsets are all scaled while loading, so every
    // evaluation and export sees the resized scene. `animation` names the
    // animation to play (or gives its number, from 1); empty: the first, with
    // every later one that drives other nodes (one animation per object).
    static std::unique_ptr<HostScene> Load(const std::string& path, std::string& error,
                                           const SceneSize& size = {},
                                           const std::string& animation = "");
    // Builds the scene from one the importer has read; `path` names the
    // file in messages and is read again for what glTF files say about their
    // animations and skins that the importer does not pass on.
    static std::unique_ptr<HostScene> FromImported(const aiScene& ai, const std::string& path,
                                                   std::string& error, const SceneSize& size = {},
                                                   const std::string& animation = "");
    ~HostScene();

    HostNode* Root() { return root; }
    // Every node below the root, depth-first pre-order.
    std::vector<HostNode*> Nodes();
    // First node of that name in depth-first order, or null.
    HostNode* FindNode(const std::string& name);
    // Selects every node of each name; returns the names that matched none.
    std::vector<std::string> Select(const std::vector<std::string>& names);

    Interval AnimRange() const { return animRange; }
    // Every animation of the file, in file order.
    const std::vector<SceneClip>& Clips() const { return clips; }
    int TicksPerFrame() const { return ticksPerFrame; }
    double FrameRate() const { return frameRate; }
    bool TurnedUpright() const { return turnedUpright; }
    // The file's up axis: "y", "z", "-y", "x", ...
    const std::string& UpAxis() const { return upAxis; }
    const std::string& Path() const { return path; }
    const std::string& Format() const { return format; }
    // Things in the file the scene had to correct or leave out.
    const std::vector<std::string>& Warnings() const { return warnings; }
    size_t MaterialCount() const { return materials.size(); }
    // The unit the file declares, in metres per unit (FBX unit scale,
    // COLLADA <unit>, glTF metres); 0 when it declares none.
    double DeclaredUnitMetres() const { return declaredMetres; }
    // Where the declared unit comes from ("FBX UnitScaleFactor 100", ...).
    const std::string& DeclaredUnitSource() const { return declaredSource; }
    // Factor from the file's numbers to the presented ones.
    double PresentedScale() const { return presentedScale; }
    // Images stored inside the file, in the file's order.
    const std::vector<SceneImage>& Images() const { return images; }
    // From now on every bitmap map reports the path `names` gives for its
    // own, asked once per map when the plug-in first asks for its file (the
    // host's way of handing the plug-in converted copies of images). An
    // empty function restores the maps' own paths.
    void SetBitmapNames(std::function<std::string(const std::string&)> names);

    // Conversion from the file's frame to the package's (row-vector form).
    Matrix3 frame, frameInverse;

private:
    friend class SceneBuilder;
    friend class HostNode;
    HostScene() = default;

    std::string path, format;
    std::vector<std::unique_ptr<HostNode>> nodes;
    HostNode* root = nullptr;
    std::vector<std::unique_ptr<Mtl>> materials;
    std::vector<std::unique_ptr<Texmap>> maps;
    std::vector<SceneImage> images;
    std::function<std::string(const std::string&)> bitmapNames;
    std::map<HostNode*, std::vector<MorphKey>> morphTracks;
    std::set<HostNode*> steppedMorphs;
    Interval animRange{0, 0};
    std::vector<SceneClip> clips;
    int ticksPerFrame = TIME_TICKSPERSEC / 30;
    double frameRate = 30.0;
    bool turnedUpright = false;
    double declaredMetres = 0.0, presentedScale = 1.0;
    std::string declaredSource;
    std::string upAxis = "y";
    std::vector<std::string> warnings;
};

// The host interface over a loaded scene, reporting through the UI services.
class HostInterface : public Interface {
public:
    HostInterface(HostScene& scene, HostUi& ui) : scene(scene), ui(ui) {}
    HWND GetMAXHWnd() override { return reinterpret_cast<HWND>(&scene); }
    INode* GetRootNode() override { return scene.Root(); }
    Interval GetAnimRange() override { return scene.AnimRange(); }
    BOOL GetCancel() override { return ui.CancelRequested() ? TRUE : FALSE; }
    void SetCancel(BOOL sw) override { ui.SetCancel(sw != FALSE); }
    BOOL ProgressStart(const char* title, BOOL dispBar, LPTHREAD_START_ROUTINE fn,
                       LPVOID arg) override;
    void ProgressUpdate(int pct, BOOL showPct = TRUE, const char* title = nullptr) override;
    void ProgressEnd() override;

private:
    HostScene& scene;
    HostUi& ui;
};

// Classification of a node for listings: its kind's name ("mesh", "joint", ...).
const char* NodeKindName(NodeKind kind);
