// Zintaro: shows an animated, dressed character beside a Tessel model.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "viewer/app/CommandLine.h"
#include "viewer/app/Snapshot.h"
#include "viewer/app/ViewerApp.h"

namespace {

// A window needs a display; Qt would abort without one.
bool HasDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;  // chosen explicitly: Qt says what it lacks
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

bool Answers(const std::string& socketPath, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() + 2 > sizeof address.sun_path) return false;
    std::memcpy(address.sun_path + (abstract ? 1 : 0), socketPath.data(), socketPath.size());
    const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) +
                                                    socketPath.size() + (abstract ? 1 : 0));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    ::close(fd);
    return connected;
}

// Qt aborts when the display it is given does not answer. A local X display
// (":N", "unix:N") or a Wayland display that nothing serves is said here
// instead; remote displays are left to Qt. Empty when one answers.
std::string DeadDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return std::string();
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    std::string waylandSocket;
    if (wayland && *wayland) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        waylandSocket =
            wayland[0] == '/' ? wayland : std::string(runtime ? runtime : "") + "/" + wayland;
        if (Answers(waylandSocket, false)) return std::string();
    }
    const char* x11 = std::getenv("DISPLAY");
    if (x11 && *x11) {
        const std::string display = x11;
        const size_t colon = display.rfind(':');
        const std::string host = colon == std::string::npos ? display : display.substr(0, colon);
        if (colon == std::string::npos || !(host.empty() || host == "unix")) return std::string();
        const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
        const std::string socketPath = "/tmp/.X11-unix/X" + number;
        if (Answers(socketPath, false) || Answers(socketPath, true)) return std::string();
        return "no X server answers on the display '" + display + "' (DISPLAY)" +
               (waylandSocket.empty() ? std::string()
                                      : " nor on the Wayland display '" + waylandSocket + "'");
    }
    return "no Wayland compositor answers on '" + waylandSocket + "' (WAYLAND_DISPLAY)";
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
    const std::string dead = DeadDisplay();
    if (!dead.empty()) {
        std::fprintf(stderr,
                     "zintaro: cannot open the window: %s; render without a window with --snapshot "
                     "OUT.png\n",
                     dead.c_str());
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
