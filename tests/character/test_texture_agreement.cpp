// The texture images character-export and tessel-export write are judged by
// the tools' own TGA code; the viewer reads them with its own reader. Every
// image the tools keep as it is, or write after converting, must be one the
// viewer reads to the same pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/TgaWriter.h"
#include "tools/ViewerTextures.h"
#include "viewer/model/TextureImage.h"

namespace {

struct Sample {
    const char* what;
    std::vector<uint8_t> bytes;
    bool keptAsItIs;
};

std::vector<Sample> Samples() {
    const std::vector<uint32_t> four = {0xFF0000FFu, 0x00FF00FFu, 0x0000FF80u, 0xFFFFFFFFu};
    TgaLayout rle32;
    rle32.type = 10;
    rle32.depth = 32;
    rle32.topDown = true;
    TgaLayout named;
    named.idLength = 5;
    std::vector<Sample> s = {
        {"uncompressed, bottom-up", EncodeTga(2, 2, four, TgaLayout{}), true},
        {"run-length, 32 bits, top-down", EncodeTga(2, 2, four, rle32), true},
        {"with an image ID", EncodeTga(2, 2, four, named), true},
    };
    // One repeat packet of four pixels over two rows of two.
    std::vector<uint8_t> crossing = TgaHeader(2, 2, TgaLayout{10, 24, false, 0});
    crossing.push_back(0x83);
    AppendTgaPixel(crossing, 0x336699FFu, 24);
    s.push_back({"run-length packet across a row end", crossing, false});
    // Stored right to left (descriptor bit 4).
    std::vector<uint8_t> mirrored = EncodeTga(2, 1, {0xFF0000FFu, 0x0000FFFFu}, TgaLayout{});
    mirrored[17] |= 0x10;
    s.push_back({"stored right to left", mirrored, false});
    return s;
}

TEST(TextureAgreement, WhatTheToolsWriteTheViewerReadsToTheSamePixels) {
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(sample.what);
        TgaPicture picture;
        std::string error;
        ASSERT_TRUE(DecodeTga(sample.bytes, picture, error)) << error;
        EXPECT_EQ(ViewerReadsTga(sample.bytes), sample.keptAsItIs);
        const std::vector<uint8_t> written =
            ViewerReadsTga(sample.bytes) ? sample.bytes : EncodeTga(picture);
        TgaImage shown;
        ASSERT_TRUE(DecodeTga(written.data(), written.size(), shown, error)) << error;
        EXPECT_EQ(shown.width, picture.width);
        EXPECT_EQ(shown.pixels, picture.pixels);
    }
}

TEST(TextureAgreement, DamagedImagesAreNotKept) {
    std::vector<uint8_t> cut = EncodeTga(4, 4, std::vector<uint32_t>(16, 0x123456FFu), TgaLayout{});
    cut.resize(cut.size() - 3);
    EXPECT_FALSE(ViewerReadsTga(cut));
    TgaLayout rle;
    rle.type = 10;
    std::vector<uint8_t> cutRuns = EncodeTga(4, 4, std::vector<uint32_t>(16, 0x123456FFu), rle);
    cutRuns.resize(cutRuns.size() - 1);
    EXPECT_FALSE(ViewerReadsTga(cutRuns));
}

}  // namespace
