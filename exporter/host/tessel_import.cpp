// tessel-import: the importer program the host starts for each scene file
// (SceneImport.h). It reads one file with the host's importer settings and
// writes the scene's bytes to standard output. Run by hand it tells what the
// importer makes of a file, e.g. `tessel-import scene.fbx > /dev/null`.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "exporter/host/SceneImport.h"

namespace {

constexpr const char* kUsage =
    "usage: tessel-import [--parent PID] SCENE\n"
    "Reads SCENE with the exporter host's importer settings and writes the scene to standard\n"
    "output in the form the host reads back (binary). The host program starts it for every\n"
    "scene file; the importer's own messages go to standard error.\n"
    "  --parent PID   end when process PID ends (and at once when it is already gone)\n"
    "Exit status: 0 when the result (the scene or the importer's refusal) was written, 2 for a\n"
    "usage error or when standard output cannot be written, 3 when PID is gone.\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "tessel-import: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long parent = 0;
    std::string scene;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && (arg == "--help" || arg == "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (options && arg == "--") {
            options = false;
        } else if (options && arg == "--parent") {
            if (i + 1 >= argc) return Usage("--parent needs a process id");
            char* end = nullptr;
            errno = 0;
            parent = std::strtol(argv[++i], &end, 10);
            if (errno != 0 || end == argv[i] || *end != '\0' || parent <= 0)
                return Usage(std::string("--parent '") + argv[i] + "' is not a process id");
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option '" + arg + "'");
        } else if (scene.empty()) {
            scene = arg;
        } else {
            return Usage("more than one scene file ('" + arg + "')");
        }
    }
    if (scene.empty()) return Usage("no scene file");
    // Ends without freeing the importer or running exit handlers: the scene
    // is on its way and nothing else is left to do.
    std::fflush(nullptr);
    ::_exit(RunImporter(scene, parent));
}
