// Readers check every count against the bytes left before they allocate, so
// a small file claiming huge counts never makes them ask for much memory.
#include <gtest/gtest.h>

#include "AllocationMeter.h"
#include "Biped.h"
#include "ByteWriter.h"

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

}  // namespace
