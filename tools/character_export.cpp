#include "tools/character_export.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <unordered_map>

#include "exporter/host/HostMaterials.h"
#include "tools/ViewerTextures.h"
#include "tools/character_export_files.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t kMaxPartVertices = 65536;  // 16-bit face indices
constexpr int32_t kMaxBones = 32767;         // 16-bit bone indices
constexpr int64_t kMaxFrames = 1000000;

bool IsJoint(HostNode* n) {
    Control* c = n->GetTMController();
    if (c == nullptr) return false;
    const Class_ID id = c->ClassID();
    return id == Class_ID(BIPBODY_CONTROL_CLASS_ID, 0) ||
           id == Class_ID(BIPSLAVE_CONTROL_CLASS_ID, 0);
}

bool IsAncestorOrSelf(const HostNode* a, const HostNode* n) {
    for (; n != nullptr; n = n->parent)
        if (n == a) return true;
    return false;
}

HostNode* CommonAncestor(HostNode* a, HostNode* b) {
    std::set<HostNode*> up;
    for (HostNode* n = a; n != nullptr; n = n->parent) up.insert(n);
    for (HostNode* n = b; n != nullptr; n = n->parent)
        if (up.count(n)) return n;
    return nullptr;
}

bool IsSkinnedMesh(HostNode* n) {
    return n->kind == NodeKind::Mesh && n->meshObject != nullptr && n->meshObject->deform.skinned &&
           !n->meshObject->deform.bindings.empty();
}

float Det3(const Matrix3& m) {
    return m.Determinant();
}

// The transform of normals that goes with the point transform m: the inverse
// transpose of its 3x3 part.
Point3 TransformNormalBy(const Matrix3& inverse, const Point3& n) {
    return Point3(DotProd(n, inverse.GetRow(0)), DotProd(n, inverse.GetRow(1)),
                  DotProd(n, inverse.GetRow(2)))
        .Normalize();
}

std::string FileSafe(const std::string& name) {
    std::string out;
    for (char c : name) {
        const bool keep = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
        if (keep)
            out += c;
        else if (out.empty() || out.back() != '_')
            out += '_';
    }
    while (!out.empty() && (out.front() == '_' || out.front() == '.')) out.erase(out.begin());
    while (!out.empty() && (out.back() == '_' || out.back() == '.')) out.pop_back();
    return out;
}

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i])
            return false;
    return true;
}

std::string NameList(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "'" : ", '") + n + "'";
    return out.empty() ? "none" : out;
}

// The diffuse bitmap of a material, as the host names it; empty when there is none.
std::string DiffuseMapName(Mtl* mtl) {
    if (mtl == nullptr || mtl->ClassID() != Class_ID(DMTL_CLASS_ID, 0)) return {};
    StdMat* std = static_cast<StdMat*>(mtl);
    if (!std->MapEnabled(ID_DI)) return {};
    Texmap* map = std->GetSubTexmap(ID_DI);
    if (map == nullptr || map->ClassID() != Class_ID(BMTEX_CLASS_ID, 0)) return {};
    const char* name = static_cast<BitmapTex*>(map)->GetMapName();
    return name ? name : "";
}

// A bone's drawn shape in its own space (host frame): a thin double pyramid
// from the joint to `tip`, or a small box of half size `half` about the joint.
struct Shape {
    std::vector<Point3> points;
    std::vector<int32_t> corners;  // counter-clockwise seen from outside
};

void AddOutwardTriangle(Shape& s, int a, int b, int c, const Point3& centre) {
    const Point3 pa = s.points[static_cast<size_t>(a)], pb = s.points[static_cast<size_t>(b)],
                 pc = s.points[static_cast<size_t>(c)];
    const Point3 n = CrossProd(pb - pa, pc - pa);
    if (DotProd(n, (pa + pb + pc) / 3.0f - centre) < 0) std::swap(b, c);
    s.corners.insert(s.corners.end(), {a, b, c});
}

Shape DoublePyramid(const Point3& tip) {
    Shape s;
    const float length = tip.Length();
    const Point3 axis = tip / length;
    const Point3 helper =
        std::fabs(axis.x) < 0.9f ? Point3(1.0f, 0.0f, 0.0f) : Point3(0.0f, 1.0f, 0.0f);
    const Point3 u = CrossProd(axis, helper).Normalize() * (0.1f * length);
    const Point3 v = CrossProd(axis, u).Normalize() * (0.1f * length);
    const Point3 ring = tip * 0.2f;
    s.points = {Point3(0.0f, 0.0f, 0.0f), tip, ring + u, ring + v, ring - u, ring - v};
    for (int i = 0; i < 4; ++i) {
        const int a = 2 + i, b = 2 + (i + 1) % 4;
        AddOutwardTriangle(s, 0, a, b, ring);
        AddOutwardTriangle(s, 1, a, b, ring);
    }
    return s;
}

Shape Box(float half) {
    Shape s;
    for (int i = 0; i < 8; ++i)
        s.points.push_back(
            Point3((i & 1) ? half : -half, (i & 2) ? half : -half, (i & 4) ? half : -half));
    const int faces[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4},
                             {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
    const Point3 centre(0.0f, 0.0f, 0.0f);
    for (const auto& f : faces) {
        AddOutwardTriangle(s, f[0], f[1], f[2], centre);
        AddOutwardTriangle(s, f[0], f[2], f[3], centre);
    }
    return s;
}

// Uniform size of a transform's axes (1 when it has none).
float AxisScale(const Matrix3& m) {
    const float d = std::cbrt(std::fabs(Det3(m)));
    return std::isfinite(d) && d > 1e-12f ? d : 1.0f;
}

struct PartBuild {
    ExportedPart info;
    std::vector<PartFileObject> objects;
};

// Rigs of rigid parts: every node directly below the scene's root with no
// skeleton in or above it, whose meshes (not skinned) hang from nodes with
// keys. Its bones are that top node and every node on the way down to the
// lowest node with keys above (or at) each of its meshes; nodes that move no
// mesh (an animated camera, say) are not bones.
void AddRigidRigs(HostScene& scene, const std::vector<HostNode*>& nodes, SceneCharacters& out) {
    std::set<const HostNode*> taken;  // tops that hold a skeleton
    for (const CharacterSkeleton& s : out.skeletons) {
        const HostNode* top = s.root;
        while (top->parent != nullptr && top->parent != scene.Root()) top = top->parent;
        if (top->parent == nullptr) return;  // a skeleton over the whole scene
        taken.insert(top);
    }
    std::unordered_map<const HostNode*, HostNode*> topOf;  // nodes is parents first
    std::map<const HostNode*, std::set<const HostNode*>> bonesOf;
    for (HostNode* n : nodes) {
        HostNode* top = n->parent == scene.Root() ? n : topOf[n->parent];
        topOf[n] = top;
        if (top == nullptr || taken.count(top) || n->kind != NodeKind::Mesh ||
            n->meshObject == nullptr || IsSkinnedMesh(n))
            continue;
        HostNode* keyed = n;
        while (keyed != top && !keyed->HasTransformKeys()) keyed = keyed->parent;
        if (!keyed->HasTransformKeys()) continue;
        std::set<const HostNode*>& bones = bonesOf[top];
        for (const HostNode* p = keyed; p != top; p = p->parent) bones.insert(p);
        bones.insert(top);
    }
    std::unordered_map<const HostNode*, size_t> skeletonOf;
    for (HostNode* top : scene.Root()->children) {
        if (!bonesOf.count(top)) continue;
        skeletonOf[top] = out.skeletons.size();
        CharacterSkeleton s;
        s.root = top;
        s.rigid = true;
        out.skeletons.push_back(std::move(s));
    }
    for (HostNode* n : nodes) {
        auto it = skeletonOf.find(topOf[n]);
        if (it != skeletonOf.end() && bonesOf[topOf[n]].count(n))
            out.skeletons[it->second].bones.push_back(n);
    }
}

}  // namespace

// ------------------------------------------------------------ skeletons
int CharacterSkeleton::BoneIndex(const HostNode* node) const {
    for (size_t i = 0; i < bones.size(); ++i)
        if (bones[i] == node) return static_cast<int>(i);
    return -1;
}

const CharacterMesh* SceneCharacters::FindMesh(const std::string& name, int skeleton) const {
    const CharacterMesh* found = nullptr;
    int count = 0;
    for (const CharacterMesh& m : meshes) {
        if (m.node->name != name) continue;
        if (skeleton >= 0 && m.skeleton == skeleton) return &m;
        if (found == nullptr) found = &m;
        ++count;
    }
    return count > 1 && skeleton < 0 ? nullptr : found;
}

int SceneCharacters::FindSkeleton(const std::string& name) const {
    for (size_t i = 0; i < skeletons.size(); ++i)
        if (skeletons[i].label == name) return static_cast<int>(i);
    auto unique = [&](auto has) {
        int found = -1;
        for (size_t i = 0; i < skeletons.size(); ++i)
            if (has(skeletons[i])) {
                if (found >= 0) return -2;
                found = static_cast<int>(i);
            }
        return found;
    };
    const int byTop = unique([&](const CharacterSkeleton& s) { return s.root->name == name; });
    if (byTop != -1) return byTop;
    return unique([&](const CharacterSkeleton& s) {
        return std::any_of(s.bones.begin(), s.bones.end(),
                           [&](HostNode* b) { return b->name == name; });
    });
}

SceneCharacters FindCharacters(HostScene& scene) {
    SceneCharacters out;
    const std::vector<HostNode*> nodes = scene.Nodes();
    std::unordered_map<const HostNode*, size_t> order;
    order[scene.Root()] = 0;
    for (size_t i = 0; i < nodes.size(); ++i) order[nodes[i]] = i + 1;

    // Candidate tops: every top joint, and the lowest common node above the
    // joints of each skinned mesh. Tops below another top join its skeleton.
    std::set<HostNode*> candidates;
    for (HostNode* n : nodes)
        if (IsJoint(n) && (n->parent == nullptr || !IsJoint(n->parent))) candidates.insert(n);
    std::unordered_map<HostNode*, HostNode*> meshTop;
    for (HostNode* n : nodes) {
        if (!IsSkinnedMesh(n)) continue;
        HostNode* top = nullptr;
        for (const SkinBinding& b : n->meshObject->deform.bindings)
            top = top ? CommonAncestor(top, b.bone) : b.bone;
        if (top == nullptr) continue;
        meshTop[n] = top;
        candidates.insert(top);
    }
    std::vector<HostNode*> tops;
    for (HostNode* c : candidates) {
        bool below = false;
        for (HostNode* p = c->parent; p != nullptr && !below; p = p->parent)
            below = candidates.count(p) > 0;
        if (!below) tops.push_back(c);
    }
    std::sort(tops.begin(), tops.end(),
              [&](HostNode* a, HostNode* b) { return order[a] < order[b]; });

    // Bones: the top, and below it every joint and every node on the way to one.
    std::unordered_map<const HostNode*, bool> jointBelow;
    std::function<bool(HostNode*)> hasJoint = [&](HostNode* n) {
        bool any = false;
        for (HostNode* c : n->children) any = hasJoint(c) || any;
        jointBelow[n] = any;
        return any || IsJoint(n);
    };
    hasJoint(scene.Root());
    for (HostNode* top : tops) {
        CharacterSkeleton s;
        s.root = top;
        std::function<void(HostNode*)> visit = [&](HostNode* n) {
            if (n != top && !IsJoint(n) && !jointBelow[n]) return;
            s.bones.push_back(n);
            for (HostNode* c : n->children) visit(c);
        };
        visit(top);
        out.skeletons.push_back(std::move(s));
    }
    AddRigidRigs(scene, nodes, out);
    // Labels: top names where they are unique, else the path from the scene's
    // top, else the name with its place among the skeletons of that name.
    std::map<std::string, int> named, pathed;
    auto pathOf = [&](const HostNode* n) {
        std::string p = n->name;
        for (const HostNode* a = n->parent; a != nullptr && a != scene.Root(); a = a->parent)
            p = a->name + "/" + p;
        return p;
    };
    for (const CharacterSkeleton& s : out.skeletons) {
        ++named[s.root->name];
        ++pathed[pathOf(s.root)];
    }
    std::map<std::string, int> seen;
    for (CharacterSkeleton& s : out.skeletons) {
        const int place = ++seen[s.root->name];
        if (s.root->name.empty())  // an unnamed top: its place among the skeletons
            s.label = "skeleton " + std::to_string(&s - out.skeletons.data() + 1);
        else if (named[s.root->name] == 1)
            s.label = s.root->name;
        else if (pathed[pathOf(s.root)] == 1)
            s.label = pathOf(s.root);
        else
            s.label = s.root->name + "#" + std::to_string(place);
    }

    auto skeletonOf = [&](HostNode* n) {
        for (size_t i = 0; i < out.skeletons.size(); ++i)
            if (IsAncestorOrSelf(out.skeletons[i].root, n)) return static_cast<int>(i);
        return -1;
    };
    for (HostNode* n : nodes) {
        if (n->kind != NodeKind::Mesh || n->meshObject == nullptr) continue;
        CharacterMesh m;
        m.node = n;
        if (meshTop.count(n)) {
            m.skinned = true;
            m.skeleton = skeletonOf(meshTop[n]);
        } else {
            for (HostNode* p = n; p != nullptr && m.attachedTo == nullptr; p = p->parent) {
                const int s = skeletonOf(p);
                if (s >= 0 && out.skeletons[static_cast<size_t>(s)].BoneIndex(p) >= 0) {
                    m.attachedTo = p;
                    m.skeleton = s;
                }
            }
            if (m.attachedTo == nullptr) continue;
        }
        out.meshes.push_back(m);
    }
    return out;
}

std::string CharacterExportStaging(const std::string& outDir) {
    return (fs::path(outDir) / (".character-export-" + std::to_string(::getpid()))).string();
}

void RemoveAbandonedStaging(const std::string& outDir) {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(outDir, ec)) {
        const std::string name = e.path().filename().string();
        const std::string prefix = ".character-export-";
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (end == nullptr || *end != '\0' || pid <= 0) continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) fs::remove_all(e.path(), ec);
    }
}

void ToFileMatrix(const Matrix3& m, double scale, float out[12]) {
    const Point3 rows[4] = {ToFileFrame(m.GetRow(0)), ToFileFrame(m.GetRow(2)),
                            ToFileFrame(m.GetRow(1)), ToFileFrame(m.GetRow(3))};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) out[r * 3 + c] = static_cast<float>(rows[r][c] * scale);
}

// ---------------------------------------------------------------- export
namespace {

class Exporter {
public:
    Exporter(HostScene& scene, const CharacterExportOptions& options, CharacterExportResult& result)
        : scene(scene), options(options), result(result), textures(scene) {}
    bool Run(std::string& error);

private:
    bool ChooseSkeletonAndMeshes(std::string& error);
    bool ChooseFrames(std::string& error);
    size_t BindFrame(HostNode* node, HostNode* holder, bool rigidMesh) const;
    size_t MovesAgainst(HostNode* node, HostNode* holder, size_t bindFrame) const;
    bool GiveMovingPartsBones(std::string& error);
    void SampleBones();
    std::vector<BipedFileBone> BoneShapes();
    bool BuildPart(const CharacterMesh& mesh, const std::string& fileName, PartBuild& part,
                   std::string& error);
    bool ChooseScale(std::string& error);

    const Matrix3& World(int bone, size_t frame) const {
        return worlds[frame * bones.size() + size_t(bone)];
    }

    HostScene& scene;
    const CharacterExportOptions& options;
    CharacterExportResult& result;
    ViewerTextures textures;
    SceneCharacters characters;
    const CharacterSkeleton* skeleton = nullptr;
    std::vector<HostNode*> bones;  // the skeleton's, then the moving parts' own
    std::unordered_map<const HostNode*, int> boneIndex;
    std::vector<std::pair<const CharacterMesh*, std::string>> chosen;  // mesh, part file name
    std::vector<Matrix3> worlds;  // per frame, per bone: world transform, host frame
    std::vector<PartBuild> parts;
};

bool Exporter::ChooseSkeletonAndMeshes(std::string& error) {
    characters = FindCharacters(scene);
    if (characters.skeletons.empty()) {
        error = "'" + scene.Path() +
                "' has no skeleton: no joints, no skinned meshes and no meshes on animated nodes";
        return false;
    }
    std::vector<std::string> skeletonNames;
    for (const CharacterSkeleton& s : characters.skeletons) skeletonNames.push_back(s.label);
    std::vector<std::string> meshNames;
    for (HostNode* n : scene.Nodes())
        if (n->kind == NodeKind::Mesh) meshNames.push_back(n->name);

    int chosenSkeleton = 0;
    if (!options.skeleton.empty()) {
        chosenSkeleton = characters.FindSkeleton(options.skeleton);
        if (chosenSkeleton == -2) {
            error = "several skeletons in '" + scene.Path() + "' are named '" + options.skeleton +
                    "'; choose one by its label: " + NameList(skeletonNames);
            return false;
        }
        if (chosenSkeleton < 0) {
            error = "no skeleton named '" + options.skeleton + "' in '" + scene.Path() +
                    "'; its skeletons are " + NameList(skeletonNames);
            return false;
        }
    }

    // The meshes named on the command line; without a chosen skeleton the
    // first part chooses it.
    std::vector<const CharacterMesh*> named;
    for (const auto& [meshName, partName] : options.parts) {
        const CharacterMesh* m =
            characters.FindMesh(meshName, options.skeleton.empty() ? -1 : chosenSkeleton);
        if (m == nullptr) {
            HostNode* n = scene.FindNode(meshName);
            if (characters.FindMesh(meshName, 0) != nullptr)
                error = "several meshes in '" + scene.Path() + "' are named '" + meshName +
                        "'; choose their skeleton with --skeleton (" + NameList(skeletonNames) +
                        ")";
            else if (n != nullptr && n->kind == NodeKind::Mesh)
                error = "mesh '" + meshName + "' in '" + scene.Path() +
                        "' is neither skinned nor below a bone of a skeleton";
            else
                error = "no mesh named '" + meshName + "' in '" + scene.Path() +
                        "'; its meshes are " + NameList(meshNames);
            return false;
        }
        named.push_back(m);
    }
    if (options.skeleton.empty() && !named.empty()) {
        chosenSkeleton = named.front()->skeleton;
    }
    skeleton = &characters.skeletons[static_cast<size_t>(chosenSkeleton)];
    bones = skeleton->bones;
    for (size_t i = 0; i < bones.size(); ++i) boneIndex[bones[i]] = static_cast<int>(i);
    result.skeletonName = skeleton->label;

    const std::string stem = FileSafe(fs::path(scene.Path()).stem().string());
    const std::string base = stem.empty() ? std::string("character") : stem;
    std::set<std::string> fileNames;
    auto claim = [&](const std::string& name) {
        std::string unique = name;
        for (int n = 2; fileNames.count(unique); ++n)
            unique = name.substr(0, name.size() - 4) + "_" + std::to_string(n) + ".mrv";
        fileNames.insert(unique);
        return unique;
    };

    if (!options.parts.empty()) {
        for (size_t i = 0; i < named.size(); ++i) {
            const CharacterMesh* m = named[i];
            std::string partName = options.parts[i].second;
            if (partName.empty() || partName.find('/') != std::string::npos ||
                partName.find('\\') != std::string::npos || partName == "." || partName == "..") {
                error = "part name '" + partName + "' for mesh '" + m->node->name +
                        "' must be a bare file name";
                return false;
            }
            if (m->skeleton != chosenSkeleton) {
                const std::string other =
                    characters.skeletons[static_cast<size_t>(m->skeleton)].label;
                error = "mesh '" + m->node->name + "' is " +
                        (m->skinned ? "skinned to" : "attached to") + " skeleton '" + other +
                        "', not to the chosen skeleton '" + skeleton->label +
                        "' (choose it with --skeleton '" + other + "')";
                return false;
            }
            if (!EndsWithNoCase(partName, ".mrv")) partName += ".mrv";
            if (fileNames.count(partName)) {
                error = "two parts are named '" + partName + "'";
                return false;
            }
            fileNames.insert(partName);
            chosen.emplace_back(m, partName);
        }
    } else {
        // Every mesh skinned to the skeleton; of a rig of rigid parts, every part.
        for (const CharacterMesh& m : characters.meshes) {
            const CharacterSkeleton& own = characters.skeletons[static_cast<size_t>(m.skeleton)];
            if (!m.skinned && !own.rigid) continue;
            if (m.skeleton != chosenSkeleton) {
                result.notes.push_back("mesh '" + m.node->name + "' is " +
                                       (m.skinned ? "skinned to" : "a part of") + " skeleton '" +
                                       own.label +
                                       "' and is left out (choose that skeleton with --skeleton)");
                continue;
            }
            const std::string safe = FileSafe(m.node->name);
            chosen.emplace_back(
                &m, claim(base + "_" + (safe.empty() ? std::string("part") : safe) + ".mrv"));
        }
        if (chosen.empty())
            result.notes.push_back("no mesh is skinned to skeleton '" + skeleton->label +
                                   "': only the skeleton is written");
    }
    const bool onlySkeleton = characters.skeletons.size() == 1;
    const std::string skel = FileSafe(skeleton->label);
    result.bipedFile = (fs::path(options.outDir) /
                        (onlySkeleton || skel.empty() ? base + ".bpd" : base + "_" + skel + ".bpd"))
                           .string();
    return true;
}

bool Exporter::ChooseFrames(std::string& error) {
    // Frames at the export's rate, whatever rate the scene was made at.
    if (!(options.framesPerSecond > 0) || !(options.framesPerSecond <= 1000)) {
        error = "the frame rate must be above 0 and at most 1000 frames a second";
        return false;
    }
    const double tpf = TIME_TICKSPERSEC / options.framesPerSecond;
    const Interval range = scene.AnimRange();
    // Whole frames covering the range; a key a hair past a frame (rounding
    // of the file's times) does not add one.
    const int64_t start = options.startFrame
                              ? *options.startFrame
                              : static_cast<int64_t>(std::floor(range.Start() / tpf + 1e-6));
    const int64_t end = options.endFrame
                            ? *options.endFrame
                            : static_cast<int64_t>(std::ceil(range.End() / tpf - 1e-6));
    if (options.frameStep < 1) {
        error =
            "the frame step must be at least 1 (it is " + std::to_string(options.frameStep) + ")";
        return false;
    }
    if (end < start) {
        error =
            "the frame range " + std::to_string(start) + " to " + std::to_string(end) + " is empty";
        return false;
    }
    const int64_t limit = std::numeric_limits<TimeValue>::max();
    if (double(start) * tpf < -double(limit) || double(end) * tpf > double(limit)) {
        error = "frames " + std::to_string(start) + " to " + std::to_string(end) +
                " lie outside the scene's time";
        return false;
    }
    const int64_t count = (end - start) / options.frameStep + 1;
    if (count > kMaxFrames) {
        error = "frames " + std::to_string(start) + " to " + std::to_string(end) + " with step " +
                std::to_string(options.frameStep) + " make " + std::to_string(count) +
                " frames; at most " + std::to_string(kMaxFrames) + " are written";
        return false;
    }
    result.startFrame = static_cast<int32_t>(start);
    result.endFrame = static_cast<int32_t>(end);
    result.frameStep = options.frameStep;
    result.frameCount = static_cast<int32_t>(count);
    for (int64_t k = 0; k < count; ++k)
        result.sampleTicks.push_back(
            static_cast<TimeValue>(std::llround(double(start + k * options.frameStep) * tpf)));
    result.framesPerSecond = options.framesPerSecond;
    return true;
}

// The first written frame at which the holder (and, for a rigid mesh, the
// mesh's node) has a size; the frame count when there is none.
size_t Exporter::BindFrame(HostNode* node, HostNode* holder, bool rigidMesh) const {
    size_t f = 0;
    for (; f < result.sampleTicks.size(); ++f) {
        const TimeValue t = result.sampleTicks[f];
        if (IsInvertible(holder->GetNodeTM(t)) && (!rigidMesh || IsInvertible(node->GetNodeTM(t))))
            break;
    }
    return f;
}

// The first written frame after `bindFrame` at which the node stands
// otherwise on its holder than at `bindFrame` (an animation of its own); 0
// when it never does.
size_t Exporter::MovesAgainst(HostNode* node, HostNode* holder, size_t bindFrame) const {
    const TimeValue t0 = result.sampleTicks[bindFrame];
    const Matrix3 rigid = node->GetNodeTM(t0) * Inverse(holder->GetNodeTM(t0));
    const float size = std::max(1e-6f, AxisScale(rigid));
    for (size_t f = bindFrame + 1; f < result.sampleTicks.size(); ++f) {
        const Matrix3 holderTM = holder->GetNodeTM(result.sampleTicks[f]);
        if (!IsInvertible(holderTM)) continue;
        const Matrix3 now = node->GetNodeTM(result.sampleTicks[f]) * Inverse(holderTM);
        float change = 0;
        for (int r = 0; r < 4; ++r)
            change = std::max(change,
                              (now.GetRow(r) - rigid.GetRow(r)).Length() / (r < 3 ? size : 1.0f));
        if (change > 1e-3f * std::max(1.0f, rigid.GetTrans().Length())) return f;
    }
    return 0;
}

// A rigid part that moves against the bone it hangs from (a prop with an
// animation of its own) follows a bone of its own: its node, written after
// the skeleton's bones. A part file holds one bone per vertex, so this is how
// the part's own motion reaches the viewer.
bool Exporter::GiveMovingPartsBones(std::string& error) {
    for (const auto& [cm, fileName] : chosen) {
        if (cm->skinned || boneIndex.count(cm->node)) continue;
        const size_t bindFrame = BindFrame(cm->node, cm->attachedTo, true);
        if (bindFrame == result.sampleTicks.size()) continue;  // reported by BuildPart
        const size_t moves = MovesAgainst(cm->node, cm->attachedTo, bindFrame);
        if (moves == 0) continue;
        boneIndex[cm->node] = static_cast<int>(bones.size());
        bones.push_back(cm->node);
        result.notes.push_back(
            "mesh '" + cm->node->name + "' moves against bone '" + cm->attachedTo->name +
            "' (from frame " +
            std::to_string(result.startFrame + int32_t(moves) * result.frameStep) +
            "); it is written with a bone of its own, '" + cm->node->name + "' (bone " +
            std::to_string(bones.size() - 1) + ")");
    }
    if (bones.size() > static_cast<size_t>(kMaxBones)) {
        error = "skeleton '" + skeleton->label + "' has " + std::to_string(bones.size()) +
                " bones; a biped file can address " + std::to_string(kMaxBones);
        return false;
    }
    for (HostNode* b : bones) result.boneNames.push_back(b->name);
    return true;
}

void Exporter::SampleBones() {
    const size_t n = bones.size();
    worlds.resize(n * result.sampleTicks.size());
    for (size_t f = 0; f < result.sampleTicks.size(); ++f)
        for (size_t b = 0; b < n; ++b)
            worlds[f * n + b] = bones[b]->GetNodeTM(result.sampleTicks[f]);
}

std::vector<BipedFileBone> Exporter::BoneShapes() {
    const size_t n = bones.size();
    // Joint positions at the first frame give the bones' lengths.
    float extent = 0;
    const Point3 first = World(0, 0).GetTrans();
    for (size_t b = 0; b < n; ++b)
        extent = std::max(extent, (World(int(b), 0).GetTrans() - first).Length());
    std::vector<BipedFileBone> out(n);
    for (size_t b = 0; b < n; ++b) {
        HostNode* bone = bones[b];
        const Matrix3& world = World(int(b), 0);
        const Matrix3 toBone = Inverse(world);
        HostNode* child = nullptr;
        for (HostNode* c : bone->children)
            if (boneIndex.count(c)) {
                child = c;
                break;
            }
        Shape shape;
        Point3 tip;
        if (child) tip = World(boneIndex[child], 0).GetTrans() * toBone;
        const float worldLength =
            child ? (World(boneIndex[child], 0).GetTrans() - world.GetTrans()).Length() : 0.0f;
        if (child && worldLength > 1e-6f * std::max(extent, 1e-6f) && tip.Length() > 0) {
            shape = DoublePyramid(tip);
        } else {
            // A leaf: a box a tenth of its parent bone's length, or a fiftieth
            // of the skeleton's size.
            float size = 0;
            if (bone->parent && boneIndex.count(bone->parent))
                size = 0.1f *
                       (world.GetTrans() - World(boneIndex[bone->parent], 0).GetTrans()).Length();
            if (!(size > 0)) size = 0.02f * extent;
            if (!(size > 0)) size = 1.0f;
            shape = Box(0.5f * size / AxisScale(world));
        }
        BipedFileBone& file = out[b];
        for (const Point3& p : shape.points) {
            const Point3 q = ToFileFrame(p);
            file.positions.push_back({q.x, q.y, q.z});
        }
        // The file frame is mirrored against the host's: corners 0, 2, 1.
        for (size_t t = 0; t + 2 < shape.corners.size(); t += 3)
            file.corners.insert(file.corners.end(),
                                {shape.corners[t], shape.corners[t + 2], shape.corners[t + 1]});
        file.frames.resize(result.sampleTicks.size());
        for (size_t f = 0; f < result.sampleTicks.size(); ++f)
            ToFileMatrix(World(int(b), f), result.scale, file.frames[f].data());
    }
    return out;
}

bool Exporter::BuildPart(const CharacterMesh& cm, const std::string& fileName, PartBuild& part,
                         std::string& error) {
    HostNode* node = cm.node;
    HostMeshObject* obj = node->meshObject;
    const Mesh& mesh = obj->rest;
    const MeshDeformation& def = obj->deform;
    part.info.meshName = node->name;
    part.info.file = (fs::path(options.outDir) / fileName).string();
    const int nv = mesh.numVerts, nf = mesh.numFaces;
    if (nf <= 0) {
        error = "mesh '" + node->name + "' has no triangles";
        return false;
    }
    if (!def.morphDeltas.empty())
        result.notes.push_back("mesh '" + node->name +
                               "': morph targets are not carried; the part has its rest shape");

    // Smooth vertex normals in mesh space: the mean of the normals of the faces that share a
    // vertex.
    std::vector<Point3> normals(static_cast<size_t>(nv));
    for (int f = 0; f < nf; ++f) {
        const Face& face = mesh.faces[f];
        if (face.v[0] >= DWORD(nv) || face.v[1] >= DWORD(nv) || face.v[2] >= DWORD(nv)) continue;
        const Point3 a = mesh.verts[face.v[0]], b = mesh.verts[face.v[1]],
                     c = mesh.verts[face.v[2]];
        const Point3 n = CrossProd((b - a).Normalize(), (c - a).Normalize()).Normalize();
        for (int k = 0; k < 3; ++k) normals[face.v[k]] += n;
    }

    // Every vertex follows one bone: the joint of its largest weight, else
    // the bone its node hangs from (the top bone for a node outside the
    // skeleton), or the part's own bone.
    HostNode* holder = boneIndex.count(node) ? node : cm.attachedTo;
    if (holder == nullptr)
        for (HostNode* p = node; p != nullptr && holder == nullptr; p = p->parent)
            if (boneIndex.count(p)) holder = p;
    if (holder == nullptr) holder = skeleton->root;
    // A rigid mesh keeps its place on its bone as at the first frame where
    // the bone has a size (a prop on a bone scaled to nothing at the start is
    // hidden, not a point).
    const bool rigidMesh =
        !cm.skinned || std::any_of(def.influences.begin(), def.influences.end(),
                                   [](const auto& infl) { return infl.empty(); });
    size_t bindFrame = BindFrame(node, holder, rigidMesh);
    if (bindFrame == result.sampleTicks.size()) {
        if (rigidMesh) {
            error = "mesh '" + node->name + "' follows bone '" + holder->name +
                    "', and one of them is scaled to nothing at every written frame";
            return false;
        }
        bindFrame = 0;
    }
    const TimeValue t0 = result.sampleTicks[bindFrame];
    const Matrix3 rigid = node->GetNodeTM(t0) * Inverse(holder->GetNodeTM(t0));
    if (bindFrame > 0 && rigidMesh)
        result.notes.push_back(
            "mesh '" + node->name + "' or its bone '" + holder->name +
            "' is scaled to nothing at frame " + std::to_string(result.startFrame) +
            "; the mesh is placed on it as at frame " +
            std::to_string(result.startFrame + int32_t(bindFrame) * result.frameStep));
    struct Binding {
        int bone;
        Matrix3 toBone, normalInverse;
        bool mirrored;
    };
    std::vector<Binding> bindings;
    for (const SkinBinding& b : def.bindings) {
        auto it = boneIndex.find(b.bone);
        if (it == boneIndex.end()) {
            error = "mesh '" + node->name + "' is skinned to '" + b.bone->name +
                    "', which is not a bone of skeleton '" + skeleton->label + "'";
            return false;
        }
        bindings.push_back({it->second, b.offset, Inverse(b.offset),
                            Det3(b.offset) * Det3(World(it->second, 0)) < 0});
    }
    const int holderBone = boneIndex[holder];
    const Binding rigidBinding{holderBone, rigid, Inverse(rigid),
                               Det3(rigid) * Det3(World(holderBone, 0)) < 0};
    std::vector<const Binding*> vertexBinding(static_cast<size_t>(nv), &rigidBinding);
    int32_t unweighted = 0;
    if (cm.skinned) {
        for (int i = 0; i < nv; ++i) {
            const auto& infl = def.influences[static_cast<size_t>(i)];
            if (infl.empty()) {
                ++unweighted;
                continue;
            }
            const auto best =
                std::max_element(infl.begin(), infl.end(),
                                 [](const auto& a, const auto& b) { return a.second < b.second; });
            vertexBinding[static_cast<size_t>(i)] = &bindings[static_cast<size_t>(best->first)];
        }
    }
    part.info.unweightedVertices = unweighted;
    if (unweighted > 0)
        result.notes.push_back("mesh '" + node->name + "': " + std::to_string(unweighted) +
                               " vertices have no skin weights and follow bone '" + holder->name +
                               "'");

    // Objects: one per material, in the order of the material IDs.
    Mtl* mtl = node->GetMtl();
    const int subCount = mtl ? mtl->NumSubMtls() : 0;
    std::map<int, std::vector<int>> facesByMaterial;
    for (int f = 0; f < nf; ++f) {
        const int id = mesh.faces[f].getMatID();
        facesByMaterial[subCount > 0 ? id % subCount : 0].push_back(f);
    }
    const bool haveUv = mesh.numTVerts > 0 && mesh.tvFace != nullptr;

    for (const auto& [material, faces] : facesByMaterial) {
        Mtl* m = subCount > 0 ? mtl->GetSubMtl(material) : mtl;
        const std::string texture = textures.Use(DiffuseMapName(m), result.notes);
        PartFileObject current;
        ExportedObject currentInfo;
        std::unordered_map<uint64_t, uint32_t> index;
        auto finish = [&]() {
            if (current.indices.empty()) return;
            // Vertices of one bone side by side: the viewer skins runs of a bone at once.
            const size_t count = current.vertices.size();
            std::vector<uint32_t> order(count);
            for (uint32_t i = 0; i < count; ++i) order[i] = i;
            std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
                return current.vertices[a].bone < current.vertices[b].bone;
            });
            std::vector<uint32_t> newIndex(count);
            PartFileObject sorted;
            sorted.textureName = current.textureName;
            ExportedObject info;
            info.textureName = current.textureName;
            for (uint32_t k = 0; k < count; ++k) {
                newIndex[order[k]] = k;
                sorted.vertices.push_back(current.vertices[order[k]]);
                info.sourceVertex.push_back(currentInfo.sourceVertex[order[k]]);
                info.bones.push_back(current.vertices[order[k]].bone);
            }
            for (uint32_t i : current.indices) sorted.indices.push_back(newIndex[i]);
            info.vertexCount = static_cast<int32_t>(count);
            info.faceCount = static_cast<int32_t>(sorted.indices.size() / 3);
            part.objects.push_back(std::move(sorted));
            part.info.objects.push_back(std::move(info));
            current = PartFileObject();
            current.textureName = texture;
            currentInfo = ExportedObject();
            index.clear();
        };
        current.textureName = texture;
        for (int f : faces) {
            const Face& face = mesh.faces[f];
            if (face.v[0] >= DWORD(nv) || face.v[1] >= DWORD(nv) || face.v[2] >= DWORD(nv))
                continue;
            const Binding& first = *vertexBinding[face.v[0]];
            // Corners 0, 2, 1 for the mirrored file frame; a mirrored bind
            // transform mirrors once more.
            const int order[3] = {first.mirrored ? 2 : 0, first.mirrored ? 0 : 2, 1};
            uint64_t keys[3];
            int fresh = 0;
            for (int k = 0; k < 3; ++k) {
                const int c = order[k];
                const uint64_t q = haveUv ? mesh.tvFace[f].t[c] : 0;
                keys[k] = (uint64_t(face.v[c]) << 32) | q;
                if (!index.count(keys[k])) ++fresh;
            }
            if (current.vertices.size() + size_t(fresh) > size_t(kMaxPartVertices)) {
                finish();
                fresh = 3;
            }
            for (int k = 0; k < 3; ++k) {
                auto [it, added] =
                    index.emplace(keys[k], static_cast<uint32_t>(current.vertices.size()));
                if (added) {
                    const int c = order[k];
                    const DWORD v = face.v[c];
                    const Binding& b = *vertexBinding[v];
                    const Point3 p = ToFileFrame(mesh.verts[v] * b.toBone);
                    const Point3 n =
                        ToFileFrame(TransformNormalBy(b.normalInverse, normals[v].Normalize()));
                    float u = 0, w = 0;
                    if (haveUv) {
                        const DWORD q = mesh.tvFace[f].t[c];
                        if (q < DWORD(mesh.numTVerts)) {
                            u = mesh.tVerts[q].x;
                            w = 1.0f - mesh.tVerts[q].y;
                        }
                    }
                    current.vertices.push_back(
                        {p.x, p.y, p.z, n.x, n.y, n.z, u, w, static_cast<int16_t>(b.bone)});
                    currentInfo.sourceVertex.push_back(static_cast<int32_t>(v));
                }
                current.indices.push_back(it->second);
            }
        }
        finish();
    }
    if (part.objects.empty()) {
        error = "mesh '" + node->name + "' has no usable triangles";
        return false;
    }
    return true;
}

bool Exporter::ChooseScale(std::string& error) {
    if (!(options.scale > 0) || !std::isfinite(options.scale)) {
        error = "the scale must be a positive number";
        return false;
    }
    // The character's height at the first frame as the viewer poses it: the
    // parts' vertices, or the joints when there are no parts.
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (const PartBuild& part : parts)
        for (const PartFileObject& o : part.objects)
            for (const PartFileVertex& v : o.vertices) {
                // Host-frame point of the file-frame vertex, then its height (host z).
                const Point3 p = Point3(v.x, v.z, v.y) * World(v.bone, 0);
                low = std::min<double>(low, p.z);
                high = std::max<double>(high, p.z);
            }
    if (parts.empty())
        for (size_t b = 0; b < bones.size(); ++b) {
            const float z = World(int(b), 0).GetTrans().z;
            low = std::min<double>(low, z);
            high = std::max<double>(high, z);
        }
    const double height = high - low;
    result.scale = options.scale;
    if (options.height) {
        if (!(*options.height > 0) || !std::isfinite(*options.height)) {
            error = "the height must be a positive number";
            return false;
        }
        if (!(height > 0) || !std::isfinite(height)) {
            error = "the character has no height at frame " + std::to_string(result.startFrame) +
                    " to scale to";
            return false;
        }
        result.scale = *options.height / height;
    }
    result.height = std::isfinite(height) ? height * result.scale : 0.0;
    return true;
}

bool Exporter::Run(std::string& error) {
    if (!ChooseSkeletonAndMeshes(error) || !ChooseFrames(error) || !GiveMovingPartsBones(error))
        return false;
    SampleBones();
    for (const auto& [mesh, fileName] : chosen) {
        PartBuild part;
        if (!BuildPart(*mesh, fileName, part, error)) return false;
        parts.push_back(std::move(part));
    }
    if (!ChooseScale(error)) return false;
    std::vector<BipedFileBone> bones = BoneShapes();

    std::error_code ec;
    fs::create_directories(options.outDir, ec);
    if (!fs::is_directory(options.outDir, ec)) {
        error = "cannot create the output folder '" + options.outDir + "'";
        return false;
    }
    // The whole set is written into a folder of its own beside the files it
    // replaces and moved into place once complete: a failed export leaves
    // neither temporaries nor a mix of new and old files.
    RemoveAbandonedStaging(options.outDir);
    const fs::path staging = CharacterExportStaging(options.outDir);
    fs::remove_all(staging, ec);
    if (!fs::create_directory(staging, ec)) {
        error = "cannot write into the output folder '" + options.outDir + "': " + ec.message();
        return false;
    }
    std::vector<std::pair<fs::path, fs::path>> moves;  // staged, final
    auto stage = [&](const std::string& finalPath, const std::vector<uint8_t>& bytes) {
        const fs::path relative = fs::path(finalPath).lexically_relative(options.outDir);
        moves.emplace_back(staging / relative, finalPath);
        return SaveWholeFile((staging / relative).string(), bytes, error);
    };
    bool ok = textures.Write((staging / "textr").string(), error);
    for (const ViewerTextures::Output& t : textures.Outputs()) {
        moves.emplace_back(staging / "textr" / t.name, fs::path(options.outDir) / "textr" / t.name);
        result.textures.push_back({t.source, t.name, t.converted});
    }
    for (PartBuild& part : parts) {
        ok = ok && stage(part.info.file, EncodePartFile(part.objects));
        result.parts.push_back(std::move(part.info));
    }
    ok = ok && stage(result.bipedFile, EncodeBipedFile(result.frameCount, bones));
    if (ok && !textures.Outputs().empty()) {
        fs::create_directories(fs::path(options.outDir) / "textr", ec);
        if (!fs::is_directory(fs::path(options.outDir) / "textr", ec)) {
            error = "cannot create the texture folder '" +
                    (fs::path(options.outDir) / "textr").string() + "'";
            ok = false;
        }
    }
    for (size_t i = 0; ok && i < moves.size(); ++i) {
        fs::rename(moves[i].first, moves[i].second, ec);
        if (ec) {
            error = "cannot write '" + moves[i].second.string() + "': " + ec.message();
            ok = false;
        }
    }
    fs::remove_all(staging, ec);
    return ok;
}

}  // namespace

bool ExportCharacter(HostScene& scene, const CharacterExportOptions& options,
                     CharacterExportResult& result, std::string& error) {
    result = CharacterExportResult();
    Exporter exporter(scene, options, result);
    return exporter.Run(error);
}
