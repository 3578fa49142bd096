// Readers check every count against the bytes left before they allocate, so
// a small file claiming huge counts never makes them ask for much memory:
// biped, character part, Tessel model and TGA image.
#include <gtest/gtest.h>

#include "tests/model/DamagedFiles.h"
#include "tests/support/AllocationMeter.h"
#include "tools/formats/LittleEndianWriter.h"
#include "viewer/model/Biped.h"
#include "viewer/model/CharacterPart.h"
#include "viewer/model/TesselModel.h"
#include "viewer/model/TextureImage.h"

namespace {

// Peak heap use while loading `file` must stay within this multiple of its size
// (plus a small fixed allowance for bookkeeping).
constexpr size_t kMultiple = 16;
constexpr size_t kAllowance = 4096;

template <typename LoadFn>
size_t PeakWhileLoading(const ByteWriter& file, LoadFn load) {
    AllocationMeter::Start();
    load(file);
    return AllocationMeter::PeakSinceStart();
}

TEST(ReaderMemory, BipedHeadersClaimingHugeCountsStayBounded) {
    std::vector<ByteWriter> files;
    files.push_back(ByteWriter().Int32(0x7fffffff).Int32(0x7fffffff));
    files.push_back(ByteWriter().Int32(0x7fffffff).Int32(1).Int32(0).Int32(0));
    files.push_back(ByteWriter().Int32(1).Int32(1).Int32(0x7fffffff).Int32(0));
    files.push_back(ByteWriter().Int32(1).Int32(1).Int32(0).Int32(0x7fffffff).Int32(0));
    {
        // A plausible bone followed by a frame count that the file cannot hold.
        ByteWriter w = ByteWriter().Int32(1).Int32(0x1000000).Int32(3);
        w.Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}).Int32(1).Int32(0).Int32(1).Int32(2);
        files.push_back(w);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        const ByteWriter& file = files[i];
        bool loaded = true;
        const size_t peak = PeakWhileLoading(file, [&](const ByteWriter& f) {
            Biped biped;
            std::string error;
            loaded = biped.LoadFromMemory(f.bytes.data(), f.bytes.size(), error);
        });
        EXPECT_FALSE(loaded);
        EXPECT_LE(peak, kMultiple * file.bytes.size() + kAllowance);
    }
}

TEST(ReaderMemory, PartAndTesselFilesClaimingHugeCountsStayBounded) {
    std::vector<ByteWriter> parts, models;
    parts.push_back(ByteWriter().Int32(0x7fffffff).Int32(0).Int32(0).Int32(0));
    parts.push_back(ByteWriter().Int32(1).Int32(0).Int32(0x7fffffff).Int32(0));
    parts.push_back(ByteWriter().Int32(1).Int32(0).Int32(0).Int32(0x7fffffff));
    models.push_back(ByteWriter().Int32(1).Int32(0x7fffffff).Int32(0x7fffffff).Int32(0));
    models.push_back(ByteWriter().Int32(1).Int32(1).Int32(0).Int32(0).Int32(0x7fffffff).Int32(0));
    models.push_back(ByteWriter().Int32(1).Int32(1).Int32(0).Int32(0).Int32(0).Int32(0x7fffffff));
    // Many frames of an animated object that has no vertices, then a face count.
    models.push_back(ByteWriter().Int32(0x7fffffff).Int32(0).Int32(1).Int32(0).Int32(1).Int32(0));
    models.push_back(ByteWriter().Int32(0x7fffffff).Int32(0).Int32(1).Int32(0).Int32(0).Int32(0));
    for (size_t i = 0; i < parts.size(); ++i) {
        SCOPED_TRACE("part " + std::to_string(i));
        const ByteWriter& file = parts[i];
        bool loaded = true;
        const size_t peak = PeakWhileLoading(file, [&](const ByteWriter& f) {
            PartFileData part;
            std::string error;
            loaded = ParsePartFile(f.bytes.data(), f.bytes.size(), part, error);
        });
        EXPECT_FALSE(loaded);
        EXPECT_LE(peak, kMultiple * file.bytes.size() + kAllowance);
    }
    for (size_t i = 0; i < models.size(); ++i) {
        SCOPED_TRACE("model " + std::to_string(i));
        const ByteWriter& file = models[i];
        const size_t peak = PeakWhileLoading(file, [&](const ByteWriter& f) {
            TesselFileData tessel;
            std::string error;
            ParseTesselFile(f.bytes.data(), f.bytes.size(), tessel, error);
        });
        EXPECT_LE(peak, kMultiple * file.bytes.size() + kAllowance);
    }
}

TEST(ReaderMemory, FilesOfManyTinyRecordsStayBounded) {
    // Each file is made of its format's smallest record, many times over:
    // records that take little in the file but a whole object in memory.
    constexpr int32_t n = 20000;
    ByteWriter bones = ByteWriter().Int32(n).Int32(1);
    for (int32_t i = 0; i < n; ++i)
        bones.Int32(0).Int32(0).Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});
    ByteWriter parts = ByteWriter().Int32(n);
    for (int32_t i = 0; i < n; ++i) parts.Int32(0).Int32(0).Int32(0);
    ByteWriter statics = ByteWriter().Int32(1).Int32(n).Int32(0);
    ByteWriter animateds = ByteWriter().Int32(1).Int32(0).Int32(n);
    for (ByteWriter* w : {&statics, &animateds})
        for (int32_t i = 0; i < n; ++i) w->Int32(0).Int32(0).Int32(0);
    const std::pair<const char*, const ByteWriter*> files[] = {
        {"bpd", &bones}, {"mrv", &parts}, {"tsl", &statics}, {"tsl", &animateds}};
    for (const auto& [kind, file] : files) {
        SCOPED_TRACE(kind);
        std::string error;
        AllocationMeter::Start();
        const bool loaded = ReaderAccepts(kind, file->bytes, error);
        const size_t peak = AllocationMeter::PeakSinceStart();
        EXPECT_LE(peak, kMultiple * file->bytes.size() + kAllowance + error.size())
            << loaded << error;
    }
}

TEST(ReaderMemory, TgaHeadersClaimingHugeImagesStayBounded) {
    // 65535 x 65535 pixels (16 GB decoded) claimed by a few bytes, in both
    // kinds and both depths, with a little pixel data after the header.
    for (const uint8_t type : {2, 10}) {
        for (const uint8_t depth : {24, 32}) {
            SCOPED_TRACE(std::to_string(type) + "/" + std::to_string(depth));
            ByteWriter file;
            file.bytes = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, depth, 0};
            for (int i = 0; i < 64; ++i) file.bytes.push_back(static_cast<uint8_t>(0x80 | i));
            bool loaded = true;
            const size_t peak = PeakWhileLoading(file, [&](const ByteWriter& f) {
                TgaImage image;
                std::string error;
                loaded = DecodeTga(f.bytes.data(), f.bytes.size(), image, error);
            });
            EXPECT_FALSE(loaded);
            // A run-length packet may stand for 128 pixels of 4 bytes.
            EXPECT_LE(peak, 128 * file.bytes.size() + kAllowance);
        }
    }
}

TEST(ReaderMemory, EveryDamagedFileOfTheTablesStaysBounded) {
    for (const DamagedKind& kind : AllDamagedKinds()) {
        for (const DamagedFile& file : kind.files) {
            SCOPED_TRACE(kind.kind + ": " + file.name);
            std::string error;
            AllocationMeter::Start();
            ReaderAccepts(kind.kind, file.bytes, error);
            const size_t peak = AllocationMeter::PeakSinceStart();
            // A run-length TGA may legitimately decode to 128 pixels of 4
            // bytes per 4-byte packet: its bound is that ratio.
            const size_t multiple = kind.kind == "tga" ? 128 : kMultiple;
            EXPECT_LE(peak, multiple * file.bytes.size() + kAllowance + error.size());
        }
    }
}

}  // namespace
