// Feeds arbitrary bytes to the Tessel model reader as the open command does
// (texture names registered, surfaces made), then plays what it accepts for
// a few frames on a checking device.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/ViewerFuzzSupport.h"
#include "viewer/model/TesselModel.h"
#include "viewer/model/TextureManager.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::PrivateDirectory(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TextureManager textures(8);
    textures.SetSearchPath(fuzz::PrivateDirectory());
    fuzz::SilentUi ui;
    fuzz::CheckingDevice device;
    TesselModel model(textures);
    std::string error;
    const int32_t faces = model.LoadFromMemory(data, size, &device, ui, error);
    if (faces == 0 && !error.empty()) {
        if (!model.statics.empty() || !model.animateds.empty())
            fuzz::Broken("a refused model kept objects");
        return 0;
    }
    model.Draw(device, model.currentFrame, ui);
    for (int step = 0; step < 8; ++step) {
        model.StepFrame();
        if (model.currentFrame < 0 ||
            (model.frameCount > 0 && model.currentFrame >= model.frameCount))
            fuzz::Broken("the frame counter left the model's frames");
        model.FrameText();
        model.Draw(device, model.currentFrame, ui);
    }
    return 0;
}
