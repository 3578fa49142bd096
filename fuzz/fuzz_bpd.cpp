// Feeds arbitrary bytes to the biped reader and poses every frame of what it
// accepts (at most 64), drawing the posed bone meshes on a checking device.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/ViewerFuzzSupport.h"
#include "viewer/model/Biped.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Biped biped;
    std::string error;
    if (!biped.LoadFromMemory(data, size, error)) {
        if (error.empty()) fuzz::Broken("a refused biped without a reason");
        return 0;
    }
    fuzz::SilentUi ui;
    fuzz::CheckingDevice device;
    for (int32_t frame = 0; frame < biped.frameCount && frame < 64; ++frame) {
        biped.PoseBones(frame, ui);
        for (const BipedBone& bone : biped.bones)
            device.DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, bone.posedVertices.data(),
                                 static_cast<uint32_t>(bone.posedVertices.size()), 0);
    }
    // A frame the biped does not have keeps the bind pose, reported once.
    biped.PoseBones(biped.frameCount, ui);
    biped.PoseBones(-1, ui);
    if (ui.messages > 1) fuzz::Broken("the bad-bone message was shown more than once");
    return 0;
}
