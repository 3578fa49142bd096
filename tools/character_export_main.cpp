// character-export SCENE OUTDIR: turns a rigged scene (FBX, glTF, COLLADA,
// ... as the exporter's host reads it) into a biped file, character parts
// and their textures for the viewer.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
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

#include "exporter/host/HostMaterials.h"
#include "exporter/host/HostScene.h"
#include "exporter/host/SceneImport.h"
#include "tools/character_export.h"

namespace {

const char kUsage[] =
    "usage: character-export SCENE OUTDIR [options]\n"
    "       character-export SCENE --list\n"
    "\n"
    "Reads a rigged scene (FBX from 3ds Max or Blender, glTF, COLLADA, ... as Assimp\n"
    "reads it) and writes for the viewer: a biped file (skeleton animation, .bpd),\n"
    "one character part (.mrv) per skinned mesh, and their textures as BMP or TGA\n"
    "in OUTDIR/textr/.\n"
    "A rig of rigid parts without skin (a robot: meshes on animated nodes below one\n"
    "top node of the scene) is a skeleton too: its bones are that top node and the\n"
    "nodes down to the animated ones that carry meshes, each mesh a part on its bone.\n"
    "A mesh taken with --part that moves against its bone (a prop with an animation\n"
    "of its own) is written with a bone of its own that follows it.\n"
    "\n"
    "  --list               print the scene's animations, skeletons and meshes and stop\n"
    "  --animation NAME     the animation to write (its name, or its number from 1 in\n"
    "                       --list; default: the first, with any that drive other nodes)\n"
    "  --fps F              frames a second to sample (default 30, the viewer's rate,\n"
    "                       whatever the scene's own rate)\n"
    "  --start N, --end N   first and last frame (default: the animation's range)\n"
    "  --step N             take every Nth frame (default 1); the viewer plays 30 a second\n"
    "  --skeleton NAME      the skeleton to write (its label in --list, its top node, or\n"
    "                       any of its bones; default: the first, or the one of the first\n"
    "                       --part; skinned skeletons come before rigs of rigid parts)\n"
    "  --part MESH=NAME     write mesh MESH as part NAME.mrv; repeatable; without it every\n"
    "                       mesh skinned to the skeleton is written (every part of a rig\n"
    "                       of rigid parts)\n"
    "  --scale F            multiply the scene's units by F (default 1)\n"
    "  --height H           scale the character to H units tall at the first frame\n"
    "                       (the viewer frames a character about 18 units tall)\n"
    "  --help               this text\n";

struct Options {
    std::string scene, animation;
    bool list = false, help = false;
    CharacterExportOptions exportOptions;
};

bool ParseInt(const std::string& text, int32_t& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0' || v < -2147483647LL || v > 2147483647LL)
        return false;
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
            if (a == "--start")
                e.startFrame = n;
            else if (a == "--end")
                e.endFrame = n;
            else if (n < 1) {
                error = "--step must be at least 1";
                return false;
            } else
                e.frameStep = n;
        } else if (a == "--animation") {
            if (!value(o.animation)) return false;
            if (o.animation.empty()) {
                error = "--animation needs a name";
                return false;
            }
        } else if (a == "--fps") {
            double f = 0;
            if (!value(v)) return false;
            if (!ParseNumber(v, f) || !(f > 0) || f > 1000) {
                error = "--fps needs a number above 0 and at most 1000, not '" + v + "'";
                return false;
            }
            e.framesPerSecond = f;
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
            if (a == "--scale")
                e.scale = f;
            else
                e.height = f;
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
// message naming the file instead of a bare signal. (The importer itself runs
// as a program of its own, which starts with every signal at its default.)
char g_crashMessage[1024];

void OnCrash(int) {
    const ssize_t n = ::write(2, g_crashMessage, std::strlen(g_crashMessage));
    (void)n;
    _exit(1);
}

std::unique_ptr<HostScene> LoadGuarded(const std::string& path, const std::string& animation,
                                       std::string& error) {
    std::snprintf(g_crashMessage, sizeof g_crashMessage,
                  "character-export: cannot read scene file '%s': the scene reader failed on it "
                  "(damaged file)\n",
                  path.c_str());
    struct sigaction crash {
    }, old[4]{};
    crash.sa_handler = OnCrash;
    sigemptyset(&crash.sa_mask);
    const int signals[4] = {SIGSEGV, SIGBUS, SIGABRT, SIGFPE};
    for (int k = 0; k < 4; ++k) sigaction(signals[k], &crash, &old[k]);
    std::unique_ptr<HostScene> scene = HostScene::Load(path, error, {}, animation);
    for (int k = 0; k < 4; ++k) sigaction(signals[k], &old[k], nullptr);
    return scene;
}

// Interrupted or ended by a signal while writing: the staging folder (two
// levels: the files and the texture folder) is removed with system calls
// only, then the signal ends the program as it would have.
char g_staging[4096];

void RemoveFolder(int parent, const char* name, int depth) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd < 0) return;
    char buffer[4096];
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (n <= 0) break;
        for (long at = 0; at < n;) {
            struct Entry {
                uint64_t ino;
                int64_t off;
                unsigned short reclen;
                unsigned char type;
                char name[1];
            };
            const Entry* e = reinterpret_cast<const Entry*>(buffer + at);
            at += e->reclen;
            if (std::strcmp(e->name, ".") == 0 || std::strcmp(e->name, "..") == 0) continue;
            if (e->type == DT_DIR && depth > 0)
                RemoveFolder(fd, e->name, depth - 1);
            else
                ::unlinkat(fd, e->name, 0);
        }
    }
    ::close(fd);
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

void OnStop(int sig) {
    if (g_staging[0] != '\0') RemoveFolder(AT_FDCWD, g_staging, 2);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

int Depth(const HostNode* n, const HostNode* top) {
    int d = 0;
    for (; n != nullptr && n != top; n = n->parent) ++d;
    return d;
}

void PrintList(HostScene& scene, double fps) {
    const SceneCharacters chars = FindCharacters(scene);
    std::printf("scene: %s\n", scene.Path().c_str());
    std::printf("format: %s%s\n", scene.Format().empty() ? "unknown" : scene.Format().c_str(),
                scene.TurnedUpright() ? (" (" + scene.UpAxis() + " up, turned upright)").c_str()
                                      : " (z up)");
    // Whole frames covering each range at the export's rate, as the export
    // samples it by default.
    const double tpf = TIME_TICKSPERSEC / fps;
    auto frames = [&](const Interval& r) {
        return std::to_string(static_cast<long long>(std::floor(r.Start() / tpf + 1e-6))) + " to " +
               std::to_string(static_cast<long long>(std::ceil(r.End() / tpf - 1e-6)));
    };
    std::string rate = std::to_string(static_cast<int>(fps));
    if (fps != std::floor(fps)) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", fps);
        rate = text;
    }
    std::printf("animation: frames %s at %s fps", frames(scene.AnimRange()).c_str(), rate.c_str());
    if (scene.FrameRate() != fps)
        std::printf(" (the scene's own rate is %g fps)", scene.FrameRate());
    std::printf("\n");
    for (size_t i = 0; i < scene.Clips().size(); ++i) {
        const SceneClip& c = scene.Clips()[i];
        std::printf("animation %zu '%s': frames %s, %.3g s%s\n", i + 1, c.name.c_str(),
                    frames(c.range).c_str(),
                    (c.range.End() - c.range.Start()) / double(TIME_TICKSPERSEC),
                    c.played ? " (written)" : "");
    }
    if (chars.skeletons.empty()) std::printf("skeletons: none\n");
    for (size_t i = 0; i < chars.skeletons.size(); ++i) {
        const CharacterSkeleton& s = chars.skeletons[i];
        std::printf("skeleton '%s': %zu bones%s%s\n", s.label.c_str(), s.bones.size(),
                    s.rigid ? ", rigid parts without skin" : "", i == 0 ? " (the default)" : "");
        for (HostNode* b : s.bones)
            std::printf("  %*s%s\n", 2 * Depth(b, s.root), "", b->name.c_str());
    }
    bool any = false;
    for (const CharacterMesh& m : chars.meshes) {
        const CharacterSkeleton& s = chars.skeletons[static_cast<size_t>(m.skeleton)];
        const Mesh& mesh = m.node->meshObject->rest;
        if (m.skinned)
            std::printf("mesh '%s': skinned to '%s', %d vertices, %d triangles",
                        m.node->name.c_str(), s.label.c_str(), mesh.numVerts, mesh.numFaces);
        else if (s.rigid)
            std::printf("mesh '%s': part on bone '%s' of '%s', %d triangles", m.node->name.c_str(),
                        m.attachedTo->name.c_str(), s.label.c_str(), mesh.numFaces);
        else
            std::printf(
                "mesh '%s': attached to bone '%s' of '%s' (not skinned; take it with --part), %d "
                "triangles",
                m.node->name.c_str(), m.attachedTo->name.c_str(), s.label.c_str(), mesh.numFaces);
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
        for (size_t k = 0; k < maps.size(); ++k)
            std::printf("%s%s", k ? ", " : ", textures: ", maps[k].c_str());
        std::printf("\n");
        any = true;
    }
    if (!any) std::printf("meshes: none skinned or on a skeleton\n");
}

std::string Quoted(const std::string& s) {
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '.' || c == '_' ||
              c == '-' || c == '='))
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
    const std::string limits = ImportLimits::EnvironmentProblem();
    if (!limits.empty()) {
        std::fprintf(stderr, "character-export: %s\n", limits.c_str());
        return 2;
    }
    std::unique_ptr<HostScene> scene = LoadGuarded(o.scene, o.animation, error);
    if (!scene) {
        std::fprintf(stderr, "character-export: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& w : scene->Warnings())
        std::fprintf(stderr, "character-export: warning: %s\n", w.c_str());
    SetTicksPerFrame(scene->TicksPerFrame());
    if (o.list) {
        PrintList(*scene, o.exportOptions.framesPerSecond);
        return 0;
    }

    const std::string staging = CharacterExportStaging(o.exportOptions.outDir);
    if (staging.size() < sizeof g_staging) {
        std::memcpy(g_staging, staging.c_str(), staging.size() + 1);
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, OnStop);
    }
    CharacterExportResult result;
    if (!ExportCharacter(*scene, o.exportOptions, result, error)) {
        std::fprintf(stderr, "character-export: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& n : result.notes)
        std::fprintf(stderr, "character-export: note: %s\n", n.c_str());
    std::printf("wrote %s: skeleton '%s', %zu bones, %d frames (%d to %d, step %d, %g a second)\n",
                result.bipedFile.c_str(), result.skeletonName.c_str(), result.boneNames.size(),
                result.frameCount, result.startFrame, result.endFrame, result.frameStep,
                result.framesPerSecond);
    for (const ExportedPart& p : result.parts) {
        int32_t vertices = 0, faces = 0;
        for (const ExportedObject& obj : p.objects) {
            vertices += obj.vertexCount;
            faces += obj.faceCount;
        }
        std::printf("wrote %s: mesh '%s', %zu object%s, %d vertices, %d triangles\n",
                    p.file.c_str(), p.meshName.c_str(), p.objects.size(),
                    p.objects.size() == 1 ? "" : "s", vertices, faces);
    }
    for (const ExportedTexture& t : result.textures)
        std::printf(
            "wrote %s: %s %s\n",
            (std::filesystem::path(o.exportOptions.outDir) / "textr" / t.name).string().c_str(),
            t.converted ? "converted from" : "copied from", t.source.c_str());
    std::printf(
        "the character is %.3g units tall at frame %d%s\n", result.height, result.startFrame,
        result.height < 5 || result.height > 60 ? " (the viewer frames about 18: see --height)"
                                                : "");
    std::string show = "zintaro --biped " + Quoted(result.bipedFile);
    for (size_t i = 0; i < result.parts.size() && i < 5; ++i)
        show += " --part " + std::to_string(i) + "=" + Quoted(result.parts[i].file);
    std::printf("show it with: %s\n", show.c_str());
    if (result.parts.size() > 5)
        std::printf("(the viewer has five part slots; %zu parts were written)\n",
                    result.parts.size());
    return 0;
}
