// character-export SCENE OUTDIR: turns a rigged scene (FBX, glTF, COLLADA,
// ... as the exporter's host reads it) into a biped file, character parts
// and their textures for the viewer.
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "HostMaterials.h"
#include "HostScene.h"
#include "character_export.h"

namespace {

const char kUsage[] =
    "usage: character-export SCENE OUTDIR [options]\n"
    "       character-export SCENE --list\n"
    "\n"
    "Reads a rigged scene (FBX from 3ds Max or Blender, glTF, COLLADA, ... as Assimp\n"
    "reads it) and writes for the viewer: a biped file (skeleton animation, .bpd),\n"
    "one character part (.mrv) per skinned mesh, and their textures as BMP or TGA\n"
    "in OUTDIR/textr/.\n"
    "\n"
    "  --list               print the scene's skeletons and skinned meshes and stop\n"
    "  --start N, --end N   first and last frame (default: the scene's animation range)\n"
    "  --step N             take every Nth frame (default 1); the viewer plays 30 a second\n"
    "  --skeleton NAME      the skeleton to write (its top node, or any of its bones;\n"
    "                       default: the first, or the one of the first --part)\n"
    "  --part MESH=NAME     write mesh MESH as part NAME.mrv; repeatable; without it every\n"
    "                       mesh skinned to the skeleton is written\n"
    "  --scale F            multiply the scene's units by F (default 1)\n"
    "  --height H           scale the character to H units tall at the first frame\n"
    "                       (the viewer frames a character about 18 units tall)\n"
    "  --help               this text\n";

struct Options {
    std::string scene;
    bool list = false, help = false;
    CharacterExportOptions exportOptions;
};

bool ParseInt(const std::string& text, int32_t& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0' || v < -2147483647LL || v > 2147483647LL) return false;
    value = static_cast<int32_t>(v);
    return true;
}

bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != nullptr && *end == '\0' && std::isfinite(value);
}

bool Parse(int argc, char** argv, Options& o, std::string& error) {
    std::vector<std::string> positional;
    CharacterExportOptions& e = o.exportOptions;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--list") {
            o.list = true;
        } else if (a == "--start" || a == "--end" || a == "--step") {
            int32_t n = 0;
            if (!value(v)) return false;
            if (!ParseInt(v, n)) {
                error = a + " needs a whole number, not '" + v + "'";
                return false;
            }
            if (a == "--start") e.startFrame = n;
            else if (a == "--end") e.endFrame = n;
            else if (n < 1) {
                error = "--step must be at least 1";
                return false;
            } else e.frameStep = n;
        } else if (a == "--skeleton") {
            if (!value(e.skeleton)) return false;
        } else if (a == "--part") {
            if (!value(v)) return false;
            const size_t eq = v.rfind('=');
            if (eq == std::string::npos || eq == 0 || eq + 1 == v.size()) {
                error = "--part needs MESH=NAME, not '" + v + "'";
                return false;
            }
            e.parts.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (a == "--scale" || a == "--height") {
            double f = 0;
            if (!value(v)) return false;
            if (!ParseNumber(v, f) || !(f > 0)) {
                error = a + " needs a positive number, not '" + v + "'";
                return false;
            }
            if (a == "--scale") e.scale = f;
            else e.height = f;
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else {
            positional.push_back(a);
        }
    }
    if (o.help) return true;
    if (positional.empty()) {
        error = "no scene file given";
        return false;
    }
    o.scene = positional[0];
    if (positional.size() > 1) e.outDir = positional[1];
    if (positional.size() > 2) {
        error = "too many file names";
        return false;
    }
    if (!o.list && e.outDir.empty()) {
        error = "no output folder given";
        return false;
    }
    if (e.scale != 1.0 && e.height) {
        error = "--scale and --height exclude each other";
        return false;
    }
    return true;
}

// Assimp can crash on some damaged files; the program then ends with a
// message naming the file instead of a bare signal. A process forked while
// reading (an importer run in a child) keeps the signal's own action, so that
// its parent sees how it ended.
char g_crashMessage[1024];
pid_t g_mainProcess = 0;

void OnCrash(int sig) {
    if (::getpid() != g_mainProcess) {
        ::signal(sig, SIG_DFL);
        ::raise(sig);
        return;
    }
    const ssize_t n = ::write(2, g_crashMessage, std::strlen(g_crashMessage));
    (void)n;
    _exit(1);
}

std::unique_ptr<HostScene> LoadGuarded(const std::string& path, std::string& error) {
    std::snprintf(g_crashMessage, sizeof g_crashMessage,
                  "character-export: cannot read scene file '%s': the scene reader failed on it (damaged file)\n",
                  path.c_str());
    g_mainProcess = ::getpid();
    struct sigaction crash {}, old[4] {};
    crash.sa_handler = OnCrash;
    sigemptyset(&crash.sa_mask);
    const int signals[4] = {SIGSEGV, SIGBUS, SIGABRT, SIGFPE};
    for (int k = 0; k < 4; ++k) sigaction(signals[k], &crash, &old[k]);
    std::unique_ptr<HostScene> scene = HostScene::Load(path, error);
    for (int k = 0; k < 4; ++k) sigaction(signals[k], &old[k], nullptr);
    return scene;
}

int Depth(const HostNode* n, const HostNode* top) {
    int d = 0;
    for (; n != nullptr && n != top; n = n->parent) ++d;
    return d;
}

void PrintList(HostScene& scene) {
    const SceneCharacters chars = FindCharacters(scene);
    const Interval range = scene.AnimRange();
    const int tpf = scene.TicksPerFrame();
    std::printf("scene: %s\n", scene.Path().c_str());
    std::printf("format: %s%s\n", scene.Format().empty() ? "unknown" : scene.Format().c_str(),
                scene.TurnedUpright() ? " (y up, turned upright)" : " (z up)");
    // Whole frames covering the range, as the export samples it by default.
    const auto floorDiv = [](long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    std::printf("animation: frames %lld to %lld at %g fps\n", floorDiv(range.Start(), tpf),
                -floorDiv(-static_cast<long long>(range.End()), tpf), scene.FrameRate());
    if (chars.skeletons.empty()) std::printf("skeletons: none\n");
    for (size_t i = 0; i < chars.skeletons.size(); ++i) {
        const CharacterSkeleton& s = chars.skeletons[i];
        std::printf("skeleton '%s': %zu bones%s\n", s.root->name.c_str(), s.bones.size(), i == 0 ? " (the default)" : "");
        for (HostNode* b : s.bones) std::printf("  %*s%s\n", 2 * Depth(b, s.root), "", b->name.c_str());
    }
    bool any = false;
    for (const CharacterMesh& m : chars.meshes) {
        const CharacterSkeleton& s = chars.skeletons[static_cast<size_t>(m.skeleton)];
        const Mesh& mesh = m.node->meshObject->rest;
        if (m.skinned)
            std::printf("mesh '%s': skinned to '%s', %d vertices, %d triangles", m.node->name.c_str(),
                        s.root->name.c_str(), mesh.numVerts, mesh.numFaces);
        else
            std::printf("mesh '%s': attached to bone '%s' of '%s' (not skinned; take it with --part), %d triangles",
                        m.node->name.c_str(), m.attachedTo->name.c_str(), s.root->name.c_str(), mesh.numFaces);
        std::vector<std::string> maps;
        Mtl* mtl = m.node->GetMtl();
        const int subs = mtl ? mtl->NumSubMtls() : 0;
        for (int k = 0; k < (subs > 0 ? subs : 1) && mtl; ++k) {
            Mtl* sub = subs > 0 ? mtl->GetSubMtl(k) : mtl;
            if (sub == nullptr || sub->ClassID() != Class_ID(DMTL_CLASS_ID, 0)) continue;
            Texmap* map = sub->GetSubTexmap(ID_DI);
            if (map && map->ClassID() == Class_ID(BMTEX_CLASS_ID, 0))
                maps.push_back(static_cast<BitmapTex*>(map)->GetMapName());
        }
        for (size_t k = 0; k < maps.size(); ++k) std::printf("%s%s", k ? ", " : ", textures: ", maps[k].c_str());
        std::printf("\n");
        any = true;
    }
    if (!any) std::printf("meshes: none skinned\n");
}

std::string Quoted(const std::string& s) {
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '.' || c == '_' || c == '-' || c == '='))
            return "'" + s + "'";
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::string error;
    if (!Parse(argc, argv, o, error)) {
        std::fprintf(stderr, "character-export: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::unique_ptr<HostScene> scene = LoadGuarded(o.scene, error);
    if (!scene) {
        std::fprintf(stderr, "character-export: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& w : scene->Warnings()) std::fprintf(stderr, "character-export: warning: %s\n", w.c_str());
    SetTicksPerFrame(scene->TicksPerFrame());
    if (o.list) {
        PrintList(*scene);
        return 0;
    }

    CharacterExportResult result;
    if (!ExportCharacter(*scene, o.exportOptions, result, error)) {
        std::fprintf(stderr, "character-export: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& n : result.notes) std::fprintf(stderr, "character-export: note: %s\n", n.c_str());
    std::printf("wrote %s: skeleton '%s', %zu bones, %d frames (%d to %d, step %d)\n", result.bipedFile.c_str(),
                result.skeletonName.c_str(), result.boneNames.size(), result.frameCount, result.startFrame,
                result.endFrame, result.frameStep);
    for (const ExportedPart& p : result.parts) {
        int32_t vertices = 0, faces = 0;
        for (const ExportedObject& obj : p.objects) {
            vertices += obj.vertexCount;
            faces += obj.faceCount;
        }
        std::printf("wrote %s: mesh '%s', %zu object%s, %d vertices, %d triangles\n", p.file.c_str(), p.meshName.c_str(),
                    p.objects.size(), p.objects.size() == 1 ? "" : "s", vertices, faces);
    }
    for (const ExportedTexture& t : result.textures)
        std::printf("wrote %s: %s %s\n",
                    (std::filesystem::path(o.exportOptions.outDir) / "textr" / t.name).string().c_str(),
                    t.converted ? "converted from" : "copied from", t.source.c_str());
    std::printf("the character is %.3g units tall at frame %d%s\n", result.height, result.startFrame,
                result.height < 5 || result.height > 60 ? " (the viewer frames about 18: see --height)" : "");
    std::string show = "zintaro --biped " + Quoted(result.bipedFile);
    for (size_t i = 0; i < result.parts.size() && i < 5; ++i)
        show += " --part " + std::to_string(i) + "=" + Quoted(result.parts[i].file);
    std::printf("show it with: %s\n", show.c_str());
    if (result.parts.size() > 5)
        std::printf("(the viewer has five part slots; %zu parts were written)\n", result.parts.size());
    return 0;
}
