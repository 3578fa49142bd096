// The TGA reader, image-file lookup, texture size rules, texture-format
// choice and the conversion of pixels into a format's bit layout.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/support/RecordingDevice.h"
#include "tests/support/TempDir.h"
#include "tests/support/TgaWriter.h"
#include "tools/formats/LittleEndianWriter.h"
#include "viewer/model/TextureImage.h"

namespace {

constexpr uint32_t kRed = 0xFF0000FFu, kGreen = 0x00FF00FFu, kBlue = 0x0000FFFFu;

TgaImage Decode(const std::vector<uint8_t>& bytes) {
    TgaImage image;
    std::string error;
    EXPECT_TRUE(DecodeTga(bytes.data(), bytes.size(), image, error)) << error;
    return image;
}

// A 3 x 2 image of distinct pixels (row 0 on top) with varied alpha.
std::vector<uint32_t> SixPixels() {
    return {0x10203040u, 0x50607080u, 0x90A0B0FFu, 0x11223344u, 0x55667788u, 0x99AABBCCu};
}

std::vector<uint32_t> Opaque(std::vector<uint32_t> pixels) {
    for (uint32_t& p : pixels) p |= 0xFFu;
    return pixels;
}

TEST(TgaReader, EveryTypeDepthAndOrientationReadsBackTheImage) {
    const std::vector<uint32_t> source = SixPixels();
    for (uint8_t type : {2, 10}) {
        for (uint8_t depth : {24, 32}) {
            for (bool topDown : {false, true}) {
                SCOPED_TRACE(testing::Message() << "type " << int(type) << " depth " << int(depth)
                                                << (topDown ? " top-down" : " bottom-up"));
                TgaLayout layout;
                layout.type = type;
                layout.depth = depth;
                layout.topDown = topDown;
                const TgaImage image = Decode(EncodeTga(3, 2, source, layout));
                EXPECT_EQ(image.width, 3u);
                EXPECT_EQ(image.height, 2u);
                EXPECT_EQ(image.bitsPerPixel, depth);
                EXPECT_EQ(image.pixels, depth == 32 ? source : Opaque(source));
            }
        }
    }
}

TEST(TgaReader, RepeatAndLiteralPackets) {
    // One row of seven: 0x83 repeats one pixel four times, 0x02 carries three literal pixels.
    TgaLayout layout;
    layout.type = 10;
    std::vector<uint8_t> bytes = TgaHeader(7, 1, layout);
    bytes.push_back(0x83);
    AppendTgaPixel(bytes, 0x102030FFu, 24);
    bytes.push_back(0x02);
    AppendTgaPixel(bytes, kRed, 24);
    AppendTgaPixel(bytes, kGreen, 24);
    AppendTgaPixel(bytes, kBlue, 24);
    const TgaImage image = Decode(bytes);
    EXPECT_EQ(image.pixels, (std::vector<uint32_t>{0x102030FFu, 0x102030FFu, 0x102030FFu,
                                                   0x102030FFu, kRed, kGreen, kBlue}));
}

TEST(TgaReader, ChannelOrderInTheFileIsBlueGreenRedAlpha) {
    TgaLayout layout;
    layout.depth = 32;
    std::vector<uint8_t> bytes = TgaHeader(1, 1, layout);
    bytes.insert(bytes.end(), {0x01, 0x02, 0x03, 0x04});
    EXPECT_EQ(Decode(bytes).pixels[0], 0x03020104u);
}

TEST(TgaReader, SkipsTheImageIdAndAcceptsAFooter) {
    TgaLayout layout;
    layout.idLength = 5;
    std::vector<uint8_t> bytes = EncodeTga(2, 1, {kRed, kBlue}, layout);
    const char footer[] = "TRUEVISION-XFILE.";
    bytes.insert(bytes.end(), footer, footer + sizeof footer);
    EXPECT_EQ(Decode(bytes).pixels, (std::vector<uint32_t>{kRed, kBlue}));
}

TEST(TgaReader, AlphaDetection) {
    TgaLayout rgb, rgba;
    rgba.depth = 32;
    EXPECT_FALSE(AnyPixelTranslucent(Decode(EncodeTga(2, 1, {0x11223300u, kRed}, rgb)).pixels))
        << "a 24-bit image is opaque whatever the source alpha";
    EXPECT_FALSE(AnyPixelTranslucent(Decode(EncodeTga(2, 1, {kGreen, kRed}, rgba)).pixels));
    EXPECT_TRUE(AnyPixelTranslucent(Decode(EncodeTga(2, 1, {kGreen, 0xFF000080u}, rgba)).pixels));
}

// ---------------------------------------------------------------------------

void Touch(const std::string& path) {
    std::ofstream(path) << "x";
}

TEST(ImageLookup, ExactNameThenAnyCaseThenNothing) {
    TempDir dir;
    Touch(dir.File("Wall.TGA"));
    Touch(dir.File("roof.bmp"));
    const std::string d = dir.Path().string();
    EXPECT_EQ(FindFileNoCase(d, "roof.bmp"), d + "/roof.bmp");
    EXPECT_EQ(FindFileNoCase(d + "/", "roof.bmp"), d + "/roof.bmp");
    EXPECT_EQ(FindFileNoCase(d, "wall.tga"), d + "/Wall.TGA");
    EXPECT_EQ(FindFileNoCase(d, "WALL.tga"), d + "/Wall.TGA");
    EXPECT_EQ(FindFileNoCase(d, "wall.bmp"), "");
    EXPECT_EQ(FindFileNoCase(d + "/missing", "roof.bmp"), "");
}

TEST(ImageLookup, ExactMatchWinsAndDirectoriesAreNotImages) {
    TempDir dir;
    Touch(dir.File("a.tga"));
    Touch(dir.File("A.tga"));
    std::filesystem::create_directory(dir.Path() / "stone.tga");
    const std::string d = dir.Path().string();
    EXPECT_EQ(FindFileNoCase(d, "A.tga"), d + "/A.tga");
    EXPECT_EQ(FindFileNoCase(d, "a.TGA"), d + "/A.tga");  // first in name order
    EXPECT_EQ(FindFileNoCase(d, "stone.tga"), "");
}

TEST(ImageLookup, MediaDirectoryComesFromTheEnvironment) {
    ::unsetenv(kMediaDirVariable);
    EXPECT_EQ(MediaDirectory(), "");
    ::setenv(kMediaDirVariable, "/opt/media", 1);
    EXPECT_EQ(MediaDirectory(), "/opt/media/");
    ::setenv(kMediaDirVariable, "/opt/media/", 1);
    EXPECT_EQ(MediaDirectory(), "/opt/media/");
    ::unsetenv(kMediaDirVariable);
}

// ---------------------------------------------------------------------------

struct SizeCase {
    uint32_t textureCaps, maxWidth, maxHeight, imageWidth, imageHeight, width, height;
};

TEST(TextureSize, PowerOfTwoLimitsAndSquareRules) {
    const uint32_t pow2 = D3DPTEXTURECAPS_POW2, square = D3DPTEXTURECAPS_SQUAREONLY;
    const SizeCase cases[] = {
        {pow2, 256, 256, 100, 60, 128, 64},
        {pow2 | square, 256, 256, 100, 60, 128, 128},
        {0, 0, 0, 300, 300, 256, 256},      // a limit of 0 counts as 256
        {pow2, 0, 0, 300, 300, 256, 256},   // 512 x 512 first, then limited
        {0, 2048, 2048, 100, 60, 100, 60},  // no rule applies
        {square, 2048, 2048, 100, 60, 100, 100},
        {pow2, 2048, 2048, 1, 0, 1, 1},  // 0 and 1 become 1
        {pow2, 2048, 2048, 64, 65, 64, 128},
        {pow2, 64, 32, 100, 60, 64, 32},  // each side limited on its own
        {pow2 | square, 64, 32, 100, 60, 64, 64},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.imageWidth << "x" << c.imageHeight << " caps " << c.textureCaps << " max "
                     << c.maxWidth << "x" << c.maxHeight);
        DeviceCaps caps;
        caps.dwTextureCaps = c.textureCaps;
        caps.dwMaxTextureWidth = c.maxWidth;
        caps.dwMaxTextureHeight = c.maxHeight;
        uint32_t w = 0, h = 0;
        TextureSizeFor(caps, c.imageWidth, c.imageHeight, w, h);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
    }
}

// ---------------------------------------------------------------------------

bool SameFormat(const DDPIXELFORMAT& a, const DDPIXELFORMAT& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct FormatCase {
    const char* name;
    std::vector<DDPIXELFORMAT> offered;
    uint32_t bits;
    bool alpha;
    HRESULT result;
    DDPIXELFORMAT expected;
};

TEST(TextureFormat, ChoiceFollowsTheAcceptanceRuleAndFallsBackTo16Bits) {
    using namespace TestFormats;
    const std::vector<FormatCase> cases = {
        {"32-bit opaque", Standard(), 32, false, S_OK, X8R8G8B8()},
        {"32-bit with alpha", Standard(), 32, true, S_OK, A8R8G8B8()},
        {"24-bit has no match: first opaque 16-bit", Standard(), 24, false, S_OK, R5G6B5()},
        {"32-bit alpha on a 16-bit device skips 4-bit alpha",
         {R5G6B5(), A4R4G4B4(), A1R5G5B5()},
         32,
         true,
         S_OK,
         A1R5G5B5()},
        {"luminance, bump and FourCC are skipped",
         {Luminance16(), BumpDuDv16(), FourCC(0x31545844), X1R5G5B5()},
         16,
         false,
         S_OK,
         X1R5G5B5()},
        {"8-bit image takes a palette format", {R5G6B5(), Palette8()}, 8, false, S_OK, Palette8()},
        {"8-bit image without palette formats: 16-bit", Standard(), 8, false, S_OK, R5G6B5()},
        {"only alpha formats for an opaque image",
         {A8R8G8B8(), A1R5G5B5()},
         24,
         false,
         E_FAIL,
         DDPIXELFORMAT{}},
        {"nothing offered", {}, 32, false, E_FAIL, DDPIXELFORMAT{}},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingDevice device;
        device.formats = c.offered;
        DDPIXELFORMAT chosen;
        EXPECT_EQ(ChooseTextureFormat(device, c.bits, c.alpha, chosen), c.result);
        if (c.result == S_OK) {
            EXPECT_TRUE(SameFormat(chosen, c.expected));
        }
    }
}

TEST(TextureFormat, EnumerationStopsAtTheFirstAcceptedFormat) {
    RecordingDevice device;  // 565, 1555, 4444, X8R8G8B8, A8R8G8B8
    DDPIXELFORMAT chosen;
    ASSERT_EQ(ChooseTextureFormat(device, 32, false, chosen), S_OK);
    const auto enums = device.CallsOf(RecordingDevice::Op::EnumTextureFormats);
    ASSERT_EQ(enums.size(), 1u);
    EXPECT_EQ(enums[0]->a, 4u);  // stopped at X8R8G8B8, A8R8G8B8 never offered

    device.ClearCalls();
    ASSERT_EQ(ChooseTextureFormat(device, 24, false, chosen), S_OK);
    EXPECT_EQ(device.CallsOf(RecordingDevice::Op::EnumTextureFormats).size(), 2u);
}

// ---------------------------------------------------------------------------

TEST(PixelPacking, KnownPixelInEveryStandardFormat) {
    using namespace TestFormats;
    const uint32_t pixel = 0xC8643280u;  // red 200, green 100, blue 50, alpha 128
    struct Case {
        DDPIXELFORMAT format;
        uint32_t packed;
    };
    const Case cases[] = {
        {R5G6B5(), (25u << 11) | (25u << 5) | 6u},               // 0xCB26
        {A1R5G5B5(), 0x8000u | (25u << 10) | (12u << 5) | 6u},   // 0xE586
        {A4R4G4B4(), (8u << 12) | (12u << 8) | (6u << 4) | 3u},  // 0x8C63
        {X8R8G8B8(), 0x00C86432u},
        {A8R8G8B8(), 0x80C86432u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format.dwRGBAlphaBitMask | c.format.dwRBitMask);
        const DDPIXELFORMAT& f = c.format;
        EXPECT_EQ(PackPixel(pixel, ShiftForMask(f.dwRBitMask), ShiftForMask(f.dwGBitMask),
                            ShiftForMask(f.dwBBitMask), ShiftForMask(f.dwRGBAlphaBitMask)),
                  c.packed);
    }
    const ChannelShift none = ShiftForMask(0);
    EXPECT_EQ(none.shift, 0u);
    EXPECT_EQ(none.loss, 8u);
    const ChannelShift green565 = ShiftForMask(0x07E0);
    EXPECT_EQ(green565.shift, 5u);
    EXPECT_EQ(green565.loss, 2u);
}

TEST(PixelPacking, StagingImageRowsAndPitch) {
    const std::vector<uint32_t> pixels = {0xFF0000FFu, 0x00FF00FFu, 0x0000FFFFu, 0xFFFFFFFFu};
    StagingImage image;
    ASSERT_EQ(FillStagingImage(pixels.data(), 2, 2, TestFormats::R5G6B5(), image), S_OK);
    EXPECT_EQ(image.width, 2u);
    EXPECT_EQ(image.height, 2u);
    EXPECT_EQ(image.pitch, 4u);
    ASSERT_EQ(image.bytes.size(), 8u);
    uint16_t v[4];
    std::memcpy(v, image.bytes.data(), 8);
    EXPECT_EQ(v[0], 0xF800u);  // top-left red
    EXPECT_EQ(v[1], 0x07E0u);
    EXPECT_EQ(v[2], 0x001Fu);  // second row starts one pitch later
    EXPECT_EQ(v[3], 0xFFFFu);

    ASSERT_EQ(FillStagingImage(pixels.data(), 2, 2, TestFormats::A8R8G8B8(), image), S_OK);
    EXPECT_EQ(image.pitch, 8u);
    uint32_t w[4];
    std::memcpy(w, image.bytes.data(), 16);
    EXPECT_EQ(w[0], 0xFFFF0000u);
    EXPECT_EQ(w[2], 0xFF0000FFu);

    DDPIXELFORMAT packed24 = TestFormats::Rgb(24, 0xFF0000, 0xFF00, 0xFF);
    EXPECT_EQ(FillStagingImage(pixels.data(), 2, 2, packed24, image), E_NOTIMPL);
}

}  // namespace
