// Module state, the string table and the module's message function.
#include <algorithm>
#include <cstring>

#include "exporter/host/HostUi.h"
#include "exporter/plugin/TesselExp.h"
#include "exporter/plugin/resource.h"

HINSTANCE hInstance = nullptr;
BOOL controlsInit = FALSE;
BOOL showPrompts = TRUE;
BOOL exportSelected = FALSE;
TesselExp* theExporter = nullptr;
Interface* theInterface = nullptr;

namespace {
char stringBuffer[256];

struct StringEntry {
    unsigned int id;
    const char* text;
};
// Entries 1 (library description) and 2 (category) have no text.
const StringEntry stringTable[] = {
    {IDS_CLASS_NAME, "Velmar"},
    {IDS_PARAMS, "Parameters"},
    {IDS_SPIN, "Spin"},
};
}  // namespace

int LoadStringA(HINSTANCE instance, unsigned int id, char* buffer, int max) {
    if (instance == nullptr || buffer == nullptr || max <= 0) return 0;
    for (const StringEntry& e : stringTable) {
        if (e.id != id) continue;
        const size_t n = std::min(std::strlen(e.text), static_cast<size_t>(max - 1));
        std::memcpy(buffer, e.text, n);
        buffer[n] = '\0';
        return static_cast<int>(n);
    }
    buffer[0] = '\0';
    return 0;
}

const char* GetString(int id) {
    if (hInstance == nullptr) return nullptr;
    return LoadStringA(hInstance, static_cast<unsigned int>(id), stringBuffer, sizeof stringBuffer)
               ? stringBuffer
               : nullptr;
}

void ExportMessage(const char* text) {
    MessageBoxA(nullptr, text, "Export Message", MB_OK);
}
