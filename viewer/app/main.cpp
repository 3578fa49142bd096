// Zintaro: shows an animated, dressed character beside a Tessel model.
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "CommandLine.h"
#include "Snapshot.h"
#include "ViewerApp.h"

namespace {

// A window needs a display; Qt would abort without one.
bool HasDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;  // chosen explicitly: Qt says what it lacks
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

std::string ProgramPath(const char* argv0) {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return argv0 ? argv0 : "zintaro";
    path[n] = '\0';
    return path;
}

}  // namespace

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

    if (!HasDisplay()) {
        std::fprintf(stderr,
                     "zintaro: no display to open the window on (DISPLAY and WAYLAND_DISPLAY "
                     "are not set); render without a window with --snapshot OUT.png\n");
        return 1;
    }
    QSurfaceFormat::setDefaultFormat(ViewerSurfaceFormat());
    QApplication application(argc, argv);
    QApplication::setApplicationName("Zintaro");
    int status = 0;
    {
        CViewerApp viewer;
        if (!viewer.InitInstance(options, ProgramPath(argv[0]), error)) {
            std::fprintf(stderr, "zintaro: %s\n", error.c_str());
            return 1;
        }
        status = QApplication::exec();
    }
    return status;
}
