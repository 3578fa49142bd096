// Feeds arbitrary bytes as a BMP texture to the texture manager, which
// decodes it through the platform's image loader (QImage), and makes its
// surface on a checking device.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/ViewerFuzzSupport.h"
#include "viewer/model/TextureManager.h"
#include "viewer/platform/QtImageLoader.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::PrivateDirectory(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::PrivateDirectory() + "/skin.bmp";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) fuzz::Broken("cannot write the image file");
    if (size != 0 && std::fwrite(data, 1, size, f) != size)
        fuzz::Broken("cannot write the image file");
    std::fclose(f);

    QtImageLoader loader;
    TextureManager textures(4, &loader);
    textures.SetSearchPath(fuzz::PrivateDirectory());
    const int32_t index = textures.Add("SKIN.BMP");
    if (index < 0) {
        if (textures.LastError().empty()) fuzz::Broken("a refused image without a reason");
        return 0;
    }
    fuzz::CheckingDevice device;
    textures.CreateSurfaces(&device);
    if (textures.Surface(index) == nullptr) fuzz::Broken("a decoded bitmap got no surface");
    return 0;
}
