#include "exporter/host/HostScene.h"

#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <set>
#include <sstream>
#include <unordered_map>

#include "exporter/host/GltfInterpolation.h"
#include "exporter/host/HostMaterials.h"
#include "exporter/host/SceneBuilder.h"
#include "exporter/host/SceneImport.h"
#include "exporter/host/VertexWeld.h"

namespace {
struct LengthUnit {
    const char* name;
    double metres;
};
const LengthUnit kLengthUnits[] = {
    {"m", 1.0}, {"cm", 0.01}, {"mm", 0.001}, {"in", 0.0254}, {"ft", 0.3048}};
}  // namespace

double LengthUnitMetres(const std::string& name) {
    for (const LengthUnit& u : kLengthUnits)
        if (name == u.name) return u.metres;
    return 0.0;
}

std::string DescribeLengthUnit(double metres) {
    for (const LengthUnit& u : kLengthUnits)
        if (std::fabs(metres - u.metres) <= 1e-6 * u.metres) return u.name;
    std::ostringstream text;
    text << "1 unit = " << metres << " m";
    return text.str();
}

const char* NodeKindName(NodeKind kind) {
    switch (kind) {
        case NodeKind::Root:
            return "root";
        case NodeKind::Mesh:
            return "mesh";
        case NodeKind::Joint:
            return "joint";
        case NodeKind::Camera:
            return "camera";
        case NodeKind::Light:
            return "light";
        case NodeKind::Target:
            return "target";
        case NodeKind::Helper:
            return "helper";
    }
    return "?";
}

bool SceneBuilder::Build(const std::string& animation, std::string& error) {
    s.format.clear();
    if (ai.mMetaData) {
        aiString fmt;
        if (ai.mMetaData->Get("SourceAsset_Format", fmt)) s.format = Str(fmt);
    }
    ReadFrameRate();
    s.ticksPerFrame = std::max(1, static_cast<int>(std::lround(TIME_TICKSPERSEC / s.frameRate)));
    DecideFrame();

    s.nodes.push_back(std::make_unique<HostNode>(&s, nullptr, "Scene Root"));
    s.root = s.nodes.back().get();
    s.root->kind = NodeKind::Root;
    s.root->controller = std::make_unique<HostController>(Class_ID(PRS_CONTROL_CLASS_ID, 0));
    if (foldRoot) {
        for (unsigned i = 0; i < ai.mRootNode->mNumChildren; ++i)
            if (ai.mRootNode->mChildren[i]) AddNode(ai.mRootNode->mChildren[i], s.root);
    } else {
        AddNode(ai.mRootNode, s.root);
    }
    ReadGltf();
    ResolveBones();
    if (!ChooseAnimations(animation, error)) return false;
    ReadAnimations();
    ClassifyNodes();
    ReadImages();
    BuildMaterials();
    for (auto& [node, an] : order) BuildMesh(node, an);
    return true;
}

// ----------------------------------------------------------------- loading
HostScene::~HostScene() = default;

std::unique_ptr<HostScene> HostScene::Load(const std::string& path, std::string& error,
                                           const SceneSize& size, const std::string& animation) {
    std::string why;
    bool cannotOpen = false;
    if (!CheckSceneFile(path, why, cannotOpen)) {
        error = std::string(cannotOpen ? "cannot open" : "cannot read") + " scene file '" + path +
                "': " + why;
        return nullptr;
    }
    const std::unique_ptr<aiScene> ai =
        ImportSceneIsolated(path, ImportLimits::FromEnvironment(), why);
    if (!ai) {
        error = "cannot read scene file '" + path + "': " + why;
        return nullptr;
    }
    return FromImported(*ai, path, error, size, animation);
}

std::unique_ptr<HostScene> HostScene::FromImported(const aiScene& ai, const std::string& path,
                                                   std::string& error, const SceneSize& size,
                                                   const std::string& animation) {
    if (ai.mRootNode == nullptr) {
        error = "cannot read scene file '" + path + "': the file holds no scene";
        return nullptr;
    }
    std::unique_ptr<HostScene> scene(new HostScene());
    scene->path = path;
    SceneBuilder builder(*scene, ai, path, size);
    if (!builder.Build(animation, error)) return nullptr;
    return scene;
}

std::vector<HostNode*> HostScene::Nodes() {
    std::vector<HostNode*> out;
    std::function<void(HostNode*)> visit = [&](HostNode* n) {
        for (HostNode* c : n->children) {
            out.push_back(c);
            visit(c);
        }
    };
    visit(root);
    return out;
}

HostNode* HostScene::FindNode(const std::string& name) {
    for (HostNode* n : Nodes())
        if (n->name == name) return n;
    return nullptr;
}

void HostScene::SetBitmapNames(std::function<std::string(const std::string&)> names) {
    bitmapNames = std::move(names);
    for (auto& map : maps)
        if (auto* bitmap = dynamic_cast<HostBitmapTex*>(map.get()))
            bitmap->SetNames(bitmapNames ? &bitmapNames : nullptr);
}

std::vector<std::string> HostScene::Select(const std::vector<std::string>& names) {
    std::vector<std::string> missing;
    const std::vector<HostNode*> all = Nodes();
    for (const std::string& name : names) {
        bool found = false;
        for (HostNode* n : all)
            if (n->name == name) {
                n->selected = true;
                found = true;
            }
        if (!found) missing.push_back(name);
    }
    return missing;
}

// ------------------------------------------------------------ HostInterface
BOOL HostInterface::ProgressStart(const char* title, BOOL, LPTHREAD_START_ROUTINE fn, LPVOID arg) {
    ui.ProgressStart(title ? title : "");
    if (fn) fn(arg);
    return TRUE;
}

void HostInterface::ProgressUpdate(int pct, BOOL showPct, const char* title) {
    if (title) {
        const std::string t = title;
        ui.ProgressUpdate(pct, showPct != FALSE, &t);
    } else {
        ui.ProgressUpdate(pct, showPct != FALSE, nullptr);
    }
}

void HostInterface::ProgressEnd() {
    ui.ProgressEnd();
}
