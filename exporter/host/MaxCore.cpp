// Process-wide state of the SDK stand-in, shared by the host program and the
// plug-in library: ticks per frame, the installed UI services, assertions and
// control initialisation.
#include <cstdio>
#include <string>

#include "exporter/host/HostUi.h"
#include "exporter/host/MaxTypes.h"

namespace {
int g_ticksPerFrame = TIME_TICKSPERSEC / 30;
HostUi* g_ui = nullptr;
int g_customControlsInit = 0;

std::string BaseName(const char* path) {
    std::string p = path ? path : "";
    const size_t slash = p.find_last_of("/\\");
    return slash == std::string::npos ? p : p.substr(slash + 1);
}
}  // namespace

int GetTicksPerFrame() {
    return g_ticksPerFrame;
}
void SetTicksPerFrame(int ticks) {
    g_ticksPerFrame = ticks > 0 ? ticks : TIME_TICKSPERSEC / 30;
}

void SetHostUi(HostUi* ui) {
    g_ui = ui;
}
HostUi* GetHostUi() {
    return g_ui;
}

void assert1(int line, const char* file) {
    if (g_ui) {
        g_ui->Assertion(BaseName(file), line);
    } else {
        std::fprintf(stderr, "Assertion failed: %s, line %d\n", BaseName(file).c_str(), line);
    }
}

int MessageBoxA(HWND, const char* text, const char* caption, unsigned int) {
    const std::string t = text ? text : "";
    const std::string c = caption ? caption : "";
    if (g_ui) {
        g_ui->MessageBox(t, c);
    } else {
        std::fprintf(stderr, "[%s] %s\n", c.c_str(), t.c_str());
    }
    return IDOK;
}

void InitCustomControls(HINSTANCE) {
    ++g_customControlsInit;
}
void InitCommonControls() {}
int CustomControlsInitCount() {
    return g_customControlsInit;
}
