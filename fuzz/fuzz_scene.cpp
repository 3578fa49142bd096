// Feeds arbitrary bytes as a scene file to the host's loading, as the host
// program reads a scene: Assimp reads it in a child process (its own
// crashes, assertions and runaway allocations end the child and are not
// this target's subject), the scene crosses back as bytes, and the host maps
// it to the package's nodes, objects and materials. Then it evaluates
// transforms and meshes (rigid, skinned, morphed) at several ticks and runs
// the exporter's node classification, and exports every object over the
// first frames through the plug-in's own dialog and driver. Each mesh the
// host hands out must be consistent (faces within its vertices, texture
// faces within its texture vertices), and every file the export writes must
// be one the viewer's reader accepts. The file name, which chooses Assimp's reader, follows the
// bytes' start: GLB, glTF (JSON), FBX, COLLADA, ASE, X, 3DS, PLY, OFF, STL,
// else OBJ.
#include <assimp/scene.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "exporter/host/DialogAnswers.h"
#include "exporter/host/HostScene.h"
#include "exporter/host/SceneImport.h"
#include "exporter/plugin/TesselExp.h"
#include "fuzz/FuzzSupport.h"
#include "viewer/model/TesselModel.h"

namespace {

class SilentHostUi : public HostUi {
public:
    void MessageBox(const std::string&, const std::string&) override {}
    void ProgressStart(const std::string&) override {}
    void ProgressUpdate(int, bool, const std::string*) override {}
    void ProgressEnd() override {}
    bool CancelRequested() override { return false; }
    void SetCancel(bool) override {}
    void Assertion(const std::string&, int) override { fuzz::Broken("an SDK assertion failed"); }
    // The export dialog is answered as the batch host answers it.
    void RunDialog(DialogWindow& dialog) override {
        std::vector<std::string> missing;
        AnswerExportDialog(dialog, answers, missing);
    }
    ExportDialogAnswers answers;
};

// Exports every object of the scene over at most the first 20 frames and
// reads the file back with the viewer's reader.
void ExportAndReadBack(HostScene& scene, const std::string& out) {
    SilentHostUi ui;
    SetHostUi(&ui);
    const int tpf = scene.TicksPerFrame();
    const int first = scene.AnimRange().Start() / tpf;
    const int last = std::min(scene.AnimRange().End() / tpf, first + 20);
    ui.answers.take = ExportDialogAnswers::Take::All;
    ui.answers.startFrame = std::to_string(first);
    ui.answers.endFrame = std::to_string(last);
    ui.answers.frameStep = "1";
    HostInterface ip(scene, ui);
    std::remove(out.c_str());
    TesselExp exporter;
    const int result = exporter.DoExport(out.c_str(), nullptr, &ip, FALSE, 0);
    SetHostUi(nullptr);
    std::FILE* f = std::fopen(out.c_str(), "rb");
    if (f == nullptr) return;  // nothing to export, or refused
    if (result == 0) fuzz::Broken("a failed export left a file");
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    std::remove(out.c_str());
    TesselFileData data;
    std::string error;
    if (!ParseTesselFile(bytes.data(), bytes.size(), data, error) && error != kNoObjectsMessage) {
        std::fprintf(stderr, "fuzz: the viewer refuses the export: %s\n", error.c_str());
        fuzz::Broken("an exported file the viewer refuses");
    }
}

bool StartsWith(const uint8_t* data, size_t size, const char* text) {
    const size_t n = std::strlen(text);
    return size >= n && std::memcmp(data, text, n) == 0;
}

// The file name the importer chooses its reader by.
const char* NameFor(const uint8_t* data, size_t size) {
    if (StartsWith(data, size, "glTF")) return "scene.glb";
    if (StartsWith(data, size, "Kaydara FBX Binary") || StartsWith(data, size, "; FBX"))
        return "scene.fbx";
    if (StartsWith(data, size, "<?xml") || StartsWith(data, size, "<COLLADA")) return "scene.dae";
    if (StartsWith(data, size, "*3DSMAX_ASCIIEXPORT")) return "scene.ase";
    if (StartsWith(data, size, "xof ")) return "scene.x";
    if (StartsWith(data, size, "MM")) return "scene.3ds";
    if (StartsWith(data, size, "ply")) return "scene.ply";
    if (StartsWith(data, size, "OFF")) return "scene.off";
    if (StartsWith(data, size, "solid")) return "scene.stl";
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n') continue;
        if (data[i] == '{') return "scene.gltf";
        break;
    }
    return "scene.obj";
}

void CheckMesh(Mesh& mesh) {
    if (mesh.numVerts < 0 || mesh.numFaces < 0 || mesh.numTVerts < 0)
        fuzz::Broken("a negative mesh count");
    for (int f = 0; f < mesh.numFaces; ++f) {
        for (int k = 0; k < 3; ++k) {
            if (mesh.faces[f].v[k] >= static_cast<DWORD>(mesh.numVerts))
                fuzz::Broken("a face beyond the vertices");
            if (mesh.numTVerts > 0 && mesh.tvFace[f].t[k] >= static_cast<DWORD>(mesh.numTVerts))
                fuzz::Broken("a texture face beyond the texture vertices");
        }
    }
}

void WalkMaterial(Mtl* m, int depth) {
    if (m == nullptr || depth > 8) return;
    m->GetName();
    for (int i = 0; i < m->NumSubTexmaps(); ++i) {
        Texmap* t = m->GetSubTexmap(i);
        if (t && t->ClassID() == Class_ID(BMTEX_CLASS_ID, 0)) {
            const char* name = static_cast<BitmapTex*>(t)->GetMapName();
            if (name == nullptr) fuzz::Broken("a bitmap without a name");
        }
    }
    for (int i = 0; i < m->NumSubMtls(); ++i) WalkMaterial(m->GetSubMtl(i), depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::PrivateDirectory(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::PrivateDirectory() + "/" + NameFor(data, size);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) fuzz::Broken("cannot write the scene file");
    if (size != 0 && std::fwrite(data, 1, size, f) != size)
        fuzz::Broken("cannot write the scene file");
    std::fclose(f);

    // Limits well inside the run's own (-timeout, -rss_limit_mb).
    ImportLimits limits;
    limits.seconds = 3;
    limits.megabytes = 512;
    std::string why, error;
    const std::unique_ptr<aiScene> ai = ImportSceneIsolated(path, limits, why);
    if (!ai) {
        std::remove(path.c_str());
        if (why.empty()) fuzz::Broken("a refused scene without a reason");
        return 0;
    }
    // Built as HostScene::Load does, with the file still there for the glTF channel modes.
    std::unique_ptr<HostScene> scene = HostScene::FromImported(*ai, path, error);
    std::remove(path.c_str());
    if (!scene) return 0;

    SetTicksPerFrame(scene->TicksPerFrame());
    SilentHostUi ui;
    SetHostUi(&ui);
    HostInterface ip(*scene, ui);
    TesselExp exp;
    exp.ip = &ip;
    INode* root = ip.GetRootNode();
    for (int k = 0; k < root->NumberOfChildren(); ++k) exp.FindBipedRoot(root->GetChildNode(k));

    const Interval range = scene->AnimRange();
    const TimeValue middle = static_cast<TimeValue>((int64_t{range.Start()} + range.End()) / 2);
    const TimeValue ticks[] = {range.Start(), middle, range.End()};
    // The exporter's animation test samples every frame of the range: a file
    // with keys at far times (which the host keeps, as the package would)
    // makes it take minutes per node, so it runs on shorter ranges only.
    const bool classify = (int64_t{range.End()} - range.Start()) / scene->TicksPerFrame() <= 2000;
    int walked = 0;
    for (HostNode* n : scene->Nodes()) {
        if (++walked > 256) break;
        if (classify && exp.IsExportCandidate(n)) exp.IsAnimatedNode(n);
        WalkMaterial(n->GetMtl(), 0);
        for (TimeValue t : ticks) {
            n->GetNodeTM(t);
            n->GetObjTMAfterWSM(t);
            Object* obj = n->EvalWorldState(t).obj;
            if (obj == nullptr) continue;
            obj->ObjectValidity(t);
            if (!obj->CanConvertToType(Class_ID(TRIOBJ_CLASS_ID, 0))) continue;
            Object* tri = obj->ConvertToType(t, Class_ID(TRIOBJ_CLASS_ID, 0));
            if (tri == nullptr) fuzz::Broken("a mesh object that does not convert");
            CheckMesh(static_cast<TriObject*>(tri)->GetMesh());
            if (tri != obj) tri->DeleteMe();
        }
    }
    SetHostUi(nullptr);
    if (classify) ExportAndReadBack(*scene, fuzz::PrivateDirectory() + "/export.tsl");
    return 0;
}
