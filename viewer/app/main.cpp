// Zintaro: shows an animated, dressed character beside a Tessel model.
#include <cstdio>
#include <string>

#include "CommandLine.h"
#include "Snapshot.h"

int main(int argc, char** argv) {
    ViewerOptions options;
    std::string error;
    if (!ParseViewerOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "zintaro: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(ViewerUsage().c_str(), stdout);
        return 0;
    }
    if (options.snapshot) return RunSnapshot(options, ProgramTextureDirectory());
    std::fprintf(stderr,
                 "zintaro: this build has no viewer window; use --snapshot OUT.png (see --help)\n");
    return 1;
}
