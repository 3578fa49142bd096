// Feeds arbitrary bytes to the TGA reader, and converts what it accepts into
// every texture format the device offers, at the sizes the device's rules give.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/ViewerFuzzSupport.h"
#include "viewer/model/TextureImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TgaImage image;
    std::string error;
    if (!DecodeTga(data, size, image, error)) {
        if (error.empty()) fuzz::Broken("a refused image without a reason");
        return 0;
    }
    if (image.pixels.size() != static_cast<size_t>(image.width) * image.height)
        fuzz::Broken("pixels do not fill the image");
    AnyPixelTranslucent(image.pixels);
    // Large images are converted in one format only, to keep every run short.
    const bool large = image.pixels.size() > 65536;
    for (const DDPIXELFORMAT& format : fuzz::StandardFormats()) {
        StagingImage staged;
        if (FAILED(
                FillStagingImage(image.pixels.data(), image.width, image.height, format, staged)))
            fuzz::Broken("a standard format refused");
        fuzz::CheckingSurface surface(SurfaceDesc{});
        surface.Blt(staged);
        if (large) break;
    }
    DeviceCaps caps;
    caps.dwTextureCaps = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY;
    uint32_t w = 0, h = 0;
    TextureSizeFor(caps, image.width, image.height, w, h);
    if (w == 0 || h == 0 || w != h || w > 256)
        fuzz::Broken("a texture size outside the device's rules");
    return 0;
}
