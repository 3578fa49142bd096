// model-convert: the viewer's models (a Tessel model; a biped with its
// character parts) to one glTF 2.0 file, .glb or .gltf with its .bin.
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tools/model_convert.h"
#include "tools/model_convert_gltf.h"

namespace {

const char kUsage[] =
    "usage: model-convert [--biped F] [--part SLOT=F]... [--tessel F | F.tsl] OUT.glb|OUT.gltf\n"
    "                     [--scale F] [--list]\n"
    "\n"
    "Writes the viewer's models as one glTF 2.0 scene: OUT.glb (one binary file) or\n"
    "OUT.gltf with OUT.bin beside it. Textures (BMP, TGA) are found as the viewer finds\n"
    "them (the folder \"textr\" beside the model file, then beside this program, then\n"
    "$ZINTARO_MEDIA_DIR, then the current folder) and stored as PNG.\n"
    "\n"
    "  --biped F        a biped (.bpd): a skin of one joint per bone, animated at\n"
    "                   30 frames a second; bound at its frame 0\n"
    "  --part SLOT=F    a character part (.mrv) skinned to the biped; SLOT 0 body,\n"
    "                   1 helmet, 2 armour, 3 weapon, 4 shoes (or the slot's name)\n"
    "  --tessel F, F.tsl  a Tessel model: static objects as meshes, animated ones as\n"
    "                   meshes with one morph target per frame and a stepped animation\n"
    "  --scale F        multiply every position by F (default 1)\n"
    "  --list           print what would be written and write nothing\n"
    "  --help           this text\n"
    "\n"
    "The output is written under a temporary name and renamed when complete. Exit\n"
    "status 0 when written, 1 when a file cannot be read or is damaged (nothing is\n"
    "written), 2 for a usage error.\n";

struct Options {
    ConvertSources sources;
    std::string output;
    bool list = false, help = false;
};

bool EndsWithTsl(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".tsl";
}

int SlotOf(const std::string& text) {
    if (text.size() == 1 && text[0] >= '0' && text[0] < '0' + kPartSlots) return text[0] - '0';
    for (int s = 0; s < kPartSlots; ++s)
        if (text == kPartSlotNames[s]) return s;
    return -1;
}

bool Parse(int argc, char** argv, Options& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--list") {
            o.list = true;
        } else if (a == "--biped") {
            if (!value(o.sources.bipedPath)) return false;
        } else if (a == "--tessel") {
            if (!value(o.sources.tesselPath)) return false;
        } else if (a == "--part") {
            std::string v;
            if (!value(v)) return false;
            const size_t eq = v.find('=');
            const int slot = eq == std::string::npos ? -1 : SlotOf(v.substr(0, eq));
            if (slot < 0 || eq + 1 >= v.size()) {
                error = "--part " + v + ": expected SLOT=FILE with SLOT 0-4 or a slot name";
                return false;
            }
            if (!o.sources.parts[static_cast<size_t>(slot)].empty()) {
                error = std::string("--part: slot ") + kPartSlotNames[slot] + " given twice";
                return false;
            }
            o.sources.parts[static_cast<size_t>(slot)] = v.substr(eq + 1);
        } else if (a == "--scale") {
            std::string v;
            if (!value(v)) return false;
            char* end = nullptr;
            errno = 0;
            const double f = std::strtod(v.c_str(), &end);
            if (errno != 0 || end == v.c_str() || *end != '\0' || !std::isfinite(f) || f <= 0) {
                error = "--scale " + v + ": expected a positive number";
                return false;
            }
            o.sources.scale = f;
        } else if (!a.empty() && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else if (EndsWithTsl(a) && o.sources.tesselPath.empty()) {
            o.sources.tesselPath = a;
        } else if (o.output.empty()) {
            o.output = a;
        } else {
            error = "more than one output file: " + o.output + " and " + a;
            return false;
        }
    }
    if (o.help) return true;
    bool binary = false;
    if (o.output.empty() && !o.list) {
        error = "no output file (OUT.glb or OUT.gltf)";
        return false;
    }
    if (!o.output.empty() && !GltfOutputKind(o.output, binary)) {
        error = o.output + ": the output must end in .glb or .gltf";
        return false;
    }
    bool anyPart = false;
    for (const std::string& p : o.sources.parts) anyPart = anyPart || !p.empty();
    if (anyPart && o.sources.bipedPath.empty()) {
        error = "character parts need the biped they follow (--biped F)";
        return false;
    }
    if (o.sources.bipedPath.empty() && o.sources.tesselPath.empty()) {
        error = "nothing to convert: give a Tessel model, or a biped with its parts";
        return false;
    }
    return true;
}

// "textr/" beside the running program, where the viewer looks for textures.
std::string ProgramTextureDir() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("textr/") : (self.parent_path() / "textr").string() + "/";
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::string error;
    if (!Parse(argc, argv, o, error)) {
        std::fprintf(stderr, "model-convert: %s\n\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    o.sources.programTextureDir = ProgramTextureDir();
    ConvertResult result;
    if (!ConvertModels(o.sources, result, error)) {
        std::fprintf(stderr, "model-convert: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& note : result.notes)
        std::fprintf(stderr, "model-convert: %s\n", note.c_str());
    if (o.list) {
        std::printf("%s: glTF 2.0 (would be written)\n%s",
                    o.output.empty() ? "(no output)" : o.output.c_str(),
                    SummariseGltf(result.model).c_str());
        return 0;
    }
    if (!SaveGltf(result.model, o.output, error)) {
        std::fprintf(stderr, "model-convert: %s\n", error.c_str());
        return 1;
    }
    std::printf("model-convert: wrote %s\n", o.output.c_str());
    return 0;
}
