// Inputs on which the fuzz targets found a fault, kept under
// tests/data/regressions/<kind>/ and run through the same path as their
// target runs them; and the bound that keeps a small bitmap file from
// decoding to millions of pixels.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/FileContents.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TempDir.h"
#include "tools/formats/LittleEndianWriter.h"
#include "viewer/model/Biped.h"
#include "viewer/model/CharacterPart.h"
#include "viewer/model/TesselModel.h"
#include "viewer/model/TextureImage.h"
#include "viewer/model/TextureManager.h"
#include "viewer/platform/QtImageLoader.h"

namespace fs = std::filesystem;

namespace {

// Decodes a bitmap through the texture manager and the Qt loader, as the
// viewer does, and makes its surface: the index, or a negative result with
// the manager's reason in `error`.
int32_t LoadBitmapTexture(const TempDir& dir, const std::vector<uint8_t>& bytes,
                          std::string& error) {
    ByteWriter file;
    file.bytes = bytes;
    file.SaveAs(dir.File("skin.bmp"));
    QtImageLoader loader;
    TextureManager textures(4, &loader);
    textures.SetSearchPath(dir.Path().string() + "/");
    const int32_t index = textures.Add("skin.bmp");
    error = textures.LastError();
    if (index >= 0) {
        RecordingDevice device;
        textures.CreateSurfaces(&device);
        EXPECT_TRUE(textures.Surface(index)) << "a decoded bitmap gets a surface";
    }
    return index;
}

// Runs one kept input of `kind`; false when the reader refused it.
bool RunKept(const std::string& kind, const std::vector<uint8_t>& bytes, const TempDir& dir,
             std::string& error) {
    RecordingUiServices ui;
    RecordingDevice device;
    if (kind == "bpd") {
        Biped biped;
        if (!biped.LoadFromMemory(bytes.data(), bytes.size(), error)) return false;
        for (int32_t f = 0; f < biped.frameCount && f < 64; ++f) biped.PoseBones(f, ui);
        return true;
    }
    if (kind == "mrv" || kind == "tsl") {
        TextureManager textures(8);
        textures.SetSearchPath(dir.Path().string() + "/");
        if (kind == "mrv") {
            CharacterPart part(textures);
            if (part.LoadFromMemory(bytes.data(), bytes.size(), &device, ui, error) == 0)
                return false;
            part.Draw(device, ui);
            return true;
        }
        TesselModel model(textures);
        model.LoadFromMemory(bytes.data(), bytes.size(), &device, ui, error);
        if (!error.empty()) return false;
        for (int i = 0; i < 4; ++i) {
            model.StepFrame();
            model.Draw(device, model.currentFrame, ui);
        }
        return true;
    }
    if (kind == "tga") {
        TgaImage image;
        return DecodeTga(bytes.data(), bytes.size(), image, error);
    }
    if (kind == "bmp") return LoadBitmapTexture(dir, bytes, error) >= 0;
    ADD_FAILURE() << "no reader for kept inputs of kind " << kind;
    return false;
}

TEST(FuzzRegressions, EveryKeptInputIsReadOrRefusedWithAReason) {
    const fs::path root = fs::path(TEST_DATA_DIR) / "regressions";
    size_t kept = 0;
    for (const auto& kindDir : fs::directory_iterator(root)) {
        const std::string kind = kindDir.path().filename().string();
        if (kind == "scene") continue;  // the exporter's tests run those
        for (const auto& entry : fs::directory_iterator(kindDir.path())) {
            SCOPED_TRACE(entry.path().string());
            ++kept;
            TempDir dir;
            std::string error;
            const auto start = std::chrono::steady_clock::now();
            if (!RunKept(kind, ReadAll(entry.path()), dir, error)) {
                EXPECT_FALSE(error.empty());
            }
            // Each was slow or crashed before it was mended; none takes long now.
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        }
    }
    EXPECT_GE(kept, 1u);
}

// A bitmap with a BITMAPINFOHEADER: `width` x `height`, `bits` per pixel,
// `compression`, a palette of `paletteSize` grey entries and `pixels` as stored.
std::vector<uint8_t> Bitmap(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                            uint32_t paletteSize, const std::vector<uint8_t>& pixels) {
    ByteWriter w;
    const uint32_t offset = 14 + 40 + 4 * paletteSize;
    w.Text("BM")
        .Int32(static_cast<int32_t>(offset + pixels.size()))
        .Int32(0)
        .Int32(static_cast<int32_t>(offset));
    w.Int32(40).Int32(width).Int32(height).Int16(1).Int16(static_cast<int16_t>(bits));
    w.Int32(static_cast<int32_t>(compression)).Int32(static_cast<int32_t>(pixels.size()));
    w.Int32(2835).Int32(2835).Int32(static_cast<int32_t>(paletteSize)).Int32(0);
    for (uint32_t i = 0; i < paletteSize; ++i) {
        const uint8_t g = static_cast<uint8_t>(i * 255 / (paletteSize > 1 ? paletteSize - 1 : 1));
        w.bytes.insert(w.bytes.end(), {g, g, g, 0});
    }
    w.bytes.insert(w.bytes.end(), pixels.begin(), pixels.end());
    return w.bytes;
}

TEST(BitmapBounds, HeadersClaimingMorePixelsThanTheFileCanHoldAreRefused) {
    TempDir dir;
    std::string error;
    // 768 x 32762 pixels of one bit, stored top-down, in 66 bytes.
    EXPECT_LT(LoadBitmapTexture(dir, Bitmap(768, -32762, 1, 0, 2, {0, 0, 0, 0}), error), 0);
    EXPECT_NE(
        error.find(
            "the bitmap header claims 768 x 32762 pixels, more than a file of 66 bytes can hold"),
        std::string::npos)
        << error;
    EXPECT_NE(error.find(dir.File("skin.bmp")), std::string::npos) << error;
    // 4000 x 4000 in run-length packets that the file does not have.
    EXPECT_LT(LoadBitmapTexture(dir, Bitmap(4000, 4000, 8, 1, 2, {0, 1}), error), 0);
    EXPECT_NE(error.find("4000 x 4000 pixels, more than a file of"), std::string::npos) << error;
    // 30000 x 30000 uncompressed pixels in 58 bytes.
    EXPECT_LT(LoadBitmapTexture(dir, Bitmap(30000, 30000, 24, 0, 0, {1, 2, 3, 4}), error), 0);
    EXPECT_NE(error.find(dir.File("skin.bmp")), std::string::npos) << error;
}

TEST(BitmapBounds, SmallAndWellCompressedImagesAreRead) {
    TempDir dir;
    std::string error;
    // 256 x 256 pixels: read whatever the file's size.
    EXPECT_GE(LoadBitmapTexture(dir, Bitmap(256, 256, 8, 1, 2, {0, 1}), error), 0) << error;
    // 600 x 600 in 8-bit run-length packets of 200 pixels: 360,000 pixels from
    // a 5.5 KB file, within 256 pixels a byte.
    std::vector<uint8_t> rows;
    for (int y = 0; y < 600; ++y) {
        for (int k = 0; k < 3; ++k)
            rows.insert(rows.end(), {200, static_cast<uint8_t>((y + k) % 2)});
        rows.insert(rows.end(), {0, 0});  // end of line
    }
    rows.insert(rows.end(), {0, 1});  // end of bitmap
    const int32_t index = LoadBitmapTexture(dir, Bitmap(600, 600, 8, 1, 2, rows), error);
    EXPECT_GE(index, 0) << error;
}

}  // namespace
