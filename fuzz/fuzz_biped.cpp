// Feeds arbitrary bytes to the biped reader and poses every frame of what it accepts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Biped.h"
#include "UiServices.h"

namespace {
class SilentUi : public UiServices {
public:
    void MessageBox(const std::string&) override {}
    bool OpenFileDialog(const std::string&, const std::string&, std::string&) override {
        return false;
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Biped biped;
    std::string error;
    if (!biped.LoadFromMemory(data, size, error)) return 0;
    SilentUi ui;
    for (int32_t frame = 0; frame < biped.frameCount && frame < 64; ++frame) {
        biped.PoseBones(frame, ui);
    }
    return 0;
}
