// The main-window tests need a window system with OpenGL (an X server; CI
// runs them under xvfb-run).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "viewer/app/ViewerApp.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(stderr, "app_window_tests: no X display; run under xvfb-run -a\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    // Mesa unloads its driver when the X connection closes, before the leak
    // check at exit could see what the driver still holds; keep it loaded.
    for (const char* driver :
         {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "/usr/lib/dri/swrast_dri.so"})
        if (dlopen(driver, RTLD_NOW | RTLD_NODELETE | RTLD_GLOBAL)) break;
    QSurfaceFormat::setDefaultFormat(ViewerSurfaceFormat());
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
