// Reading and classifying scenes through the host, beside `assimp info` on
// the same file in the same run:
//   the largest third-party scene (a 3ds Max ASE export with a biped), and
//   a generated glTF scene of 2,000 animated nodes over 300 frames.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "exporter/host/HostScene.h"
#include "exporter/plugin/TesselExp.h"
#include "tests/support/GltfBuilder.h"

namespace {

class SilentUi : public HostUi {
public:
    void MessageBox(const std::string&, const std::string&) override {}
    void ProgressStart(const std::string&) override {}
    void ProgressUpdate(int, bool, const std::string*) override {}
    void ProgressEnd() override {}
    bool CancelRequested() override { return false; }
    void SetCancel(bool) override {}
    void Assertion(const std::string&, int) override {}
    void RunDialog(DialogWindow&) override {}
};

const std::string kLargest =
    std::string(TEST_SCENES_DIR) + "/assimp/test/models/ASE/MotionCaptureROM.ase";

const std::string& GeneratedScene() {
    static std::string path;
    if (!path.empty()) return path;
    path = (std::filesystem::temp_directory_path() / "bench_host_scene_2000.gltf").string();
    GltfBuilder b;
    const int box = b.AddMesh({GltfBuilder::Box()});
    std::vector<float> times;
    for (int f = 0; f <= 300; f += 10) times.push_back(f / 30.0f);
    for (int n = 0; n < 2000; ++n) {
        const int node = b.AddNode("Node" + std::to_string(n), -1, box);
        std::vector<float> values;
        for (size_t k = 0; k < times.size(); ++k) {
            values.push_back(float(n % 50));
            values.push_back(float(std::sin(k * 0.3 + n)));
            values.push_back(float(n / 50));
        }
        b.Animate(node, "translation", times, values);
    }
    b.Write(path);
    return path;
}

// Reads the scene and sorts every candidate, as the export dialog does.
int ReadAndClassify(const std::string& path) {
    std::string error;
    std::unique_ptr<HostScene> scene = HostScene::Load(path, error);
    if (!scene) return -1;
    SetTicksPerFrame(scene->TicksPerFrame());
    SilentUi ui;
    HostInterface ip(*scene, ui);
    TesselExp exp;
    exp.ip = &ip;
    int animated = 0;
    INode* root = ip.GetRootNode();
    for (int k = 0; k < root->NumberOfChildren(); ++k) exp.FindBipedRoot(root->GetChildNode(k));
    for (HostNode* n : scene->Nodes())
        if (exp.IsExportCandidate(n) && exp.IsAnimatedNode(n)) ++animated;
    return animated;
}

void AssimpInfo(const std::string& path) {
    const std::string cmd = "assimp info '" + path + "' > /dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0)
        std::fprintf(stderr, "assimp info failed on %s\n", path.c_str());
}

void BM_ReadAndClassify_Largest(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ReadAndClassify(kLargest));
}
void BM_AssimpInfo_Largest(benchmark::State& state) {
    for (auto _ : state) AssimpInfo(kLargest);
}
void BM_ReadAndClassify_Generated2000(benchmark::State& state) {
    const std::string& path = GeneratedScene();
    int animated = 0;
    for (auto _ : state) benchmark::DoNotOptimize(animated = ReadAndClassify(path));
    state.counters["animated"] = animated;
}
void BM_AssimpInfo_Generated2000(benchmark::State& state) {
    const std::string& path = GeneratedScene();
    for (auto _ : state) AssimpInfo(path);
}

BENCHMARK(BM_ReadAndClassify_Largest)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AssimpInfo_Largest)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadAndClassify_Generated2000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AssimpInfo_Generated2000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
