// Feeds arbitrary bytes to the character-part reader as the open command
// does (texture names registered, surfaces made), then skins what it accepts
// to a small sound biped at several ticks and draws it on a checking device.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/ViewerFuzzSupport.h"
#include "viewer/model/Biped.h"
#include "viewer/model/CharacterPart.h"
#include "viewer/model/TextureManager.h"

namespace fuzz {

// A sound biped of three bones over four frames, built in memory.
const Biped& SmallBiped() {
    static Biped biped;
    static bool made = false;
    if (made) return biped;
    std::vector<uint8_t> b;
    auto i32 = [&](int32_t v) {
        b.insert(b.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4);
    };
    auto f32 = [&](float v) {
        b.insert(b.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4);
    };
    const int bones = 3, frames = 4;
    i32(bones);
    i32(frames);
    for (int bone = 0; bone < bones; ++bone) {
        i32(3);
        for (float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) f32(v);
        i32(1);
        i32(0);
        i32(1);
        i32(2);
        for (int f = 0; f < frames; ++f)
            for (float v :
                 {1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, float(f), float(bone), 0.f})
                f32(v);
    }
    std::string error;
    if (!biped.LoadFromMemory(b.data(), b.size(), error)) Broken("the small biped is refused");
    made = true;
    return biped;
}

}  // namespace fuzz

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::PrivateDirectory(argc, argv);
    fuzz::SmallBiped();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TextureManager textures(8);
    textures.SetSearchPath(fuzz::PrivateDirectory());
    fuzz::SilentUi ui;
    fuzz::CheckingDevice device;
    CharacterPart part(textures);
    std::string error;
    const int32_t faces = part.LoadFromMemory(data, size, &device, ui, error);
    if (faces == 0) {
        if (!part.objects.empty()) fuzz::Broken("a refused part kept objects");
        return 0;
    }
    const Biped& biped = fuzz::SmallBiped();
    for (int32_t tick = 0; tick < 6; ++tick) {
        part.Skin(biped, tick);
        part.Draw(device, ui);
    }
    return 0;
}
