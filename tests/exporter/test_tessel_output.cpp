#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "exporter/writer/TesselOutput.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempDir.h"

namespace {

TEST(TesselOutput, FieldsAreLittleEndianAndInOrder) {
    TempDir dir;
    const std::string path = dir.File("out.tsl");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    {
        TesselOutput out(f);
        out.WriteInt32(0x01020304);
        out.WriteInt32(-2);
        out.WriteFloat(1.0f);
        out.WriteBytes("ab", 2);
        out.WriteVertex({1, 2, 3, 0, 1, 0, 0.25f, 0.75f});
        EXPECT_EQ(out.BytesWritten(), 0u);  // still gathered
        EXPECT_FALSE(out.Failed());
        EXPECT_EQ(out.BytesWritten(), 4u + 4 + 4 + 2 + 32);
    }
    std::fclose(f);

    const std::vector<uint8_t> b = ReadAll(path);
    ASSERT_EQ(b.size(), 46u);
    EXPECT_EQ(
        std::vector<uint8_t>(b.begin(), b.begin() + 14),
        (std::vector<uint8_t>{4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0x80, 0x3F, 'a', 'b'}));
    float fields[8];
    std::memcpy(fields, b.data() + 14, 32);
    EXPECT_EQ(fields[2], 3.0f);
    EXPECT_EQ(fields[4], 1.0f);
    EXPECT_EQ(fields[7], 0.75f);
}

TEST(TesselOutput, LongRunsOfFieldsCrossTheBuffer) {
    TempDir dir;
    const std::string path = dir.File("long.bin");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::string name(100000, 'n');
    {
        TesselOutput out(f);
        for (int32_t i = 0; i < 30000; ++i) out.WriteInt32(i);
        out.WriteBytes(name.data(), name.size());
        out.WriteInt32(-1);
        EXPECT_FALSE(out.Failed());
        EXPECT_EQ(out.BytesWritten(), 120000u + 100000 + 4);
    }
    std::fclose(f);
    const std::vector<uint8_t> b = ReadAll(path);
    ASSERT_EQ(b.size(), 220004u);
    for (int32_t i = 0; i < 30000; i += 997) {
        int32_t v;
        std::memcpy(&v, b.data() + 4 * i, 4);
        EXPECT_EQ(v, i);
    }
    EXPECT_EQ(std::string(b.begin() + 120000, b.begin() + 220000), name);
    EXPECT_EQ(b.back(), 0xFF);
}

TEST(TesselOutput, ShortWriteIsRemembered) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) GTEST_SKIP() << "/dev/full is not available";
    std::setvbuf(full, nullptr, _IONBF, 0);
    TesselOutput out(full);
    out.WriteInt32(1);
    EXPECT_TRUE(out.Failed());
    std::fclose(full);

    TesselOutput closed(nullptr);
    closed.WriteFloat(1.0f);
    EXPECT_TRUE(closed.Failed());
}

TEST(TesselOutput, FrameCountFormula) {
    const int32_t tpf = 160;
    // 0-100 frames at 160 ticks per frame.
    EXPECT_EQ(FrameCountFor(1, 0, 100 * tpf, tpf, 10), 11);
    EXPECT_EQ(FrameCountFor(1, 0, 100 * tpf, tpf, 30), 4);  // frames 0, 30, 60, 90
    EXPECT_EQ(FrameCountFor(3, 0, 100 * tpf, tpf, 1), 101);
    // A one-frame range.
    EXPECT_EQ(FrameCountFor(2, 50 * tpf, 50 * tpf, tpf, 5), 1);
    // No animated objects.
    EXPECT_EQ(FrameCountFor(0, 0, 100 * tpf, tpf, 10), 1);
    // Frames 10-20 with step 5: samples at 10, 15, 20.
    EXPECT_EQ(FrameCountFor(1, 10 * tpf, 20 * tpf, tpf, 5), 3);
    // Steps that would overflow a 32-bit product still give one sample.
    EXPECT_EQ(FrameCountFor(1, 0, 100 * tpf, tpf, 0x7fffffff), 1);
}

TEST(TesselOutput, WriteFrameCountWritesTheHeaderField) {
    TempDir dir;
    const std::string path = dir.File("h.tsl");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    {
        TesselOutput out(f);
        EXPECT_EQ(WriteFrameCount(out, 1, 0, 16000, 160, 10), 11);
    }  // handed to the stream when the output goes
    std::fclose(f);
    EXPECT_EQ(ReadAll(path), (std::vector<uint8_t>{11, 0, 0, 0}));
}

}  // namespace
