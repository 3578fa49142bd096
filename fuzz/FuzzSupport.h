// What every fuzz target shares: stopping on a finding, a private working
// directory, and files built field by field from counts a hostile file
// would give.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzz {

// Stops the run on a finding: the code under test did something it must never do.
[[noreturn]] inline void Broken(const char* what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

// Makes an empty directory of this process the current one, so that texture
// look-ups search nothing else; returns its path. Call it from
// LLVMFuzzerInitialize with its arguments: paths among them that are
// relative to the directory the run started in are made absolute first.
inline const std::string& PrivateDirectory(int* argc = nullptr, char*** argv = nullptr) {
    static std::string dir;
    if (!dir.empty()) return dir;
    if (argc != nullptr && argv != nullptr) {
        static std::vector<std::string> absolute;
        absolute.reserve(static_cast<size_t>(*argc));
        for (int i = 1; i < *argc; ++i) {
            std::string arg = (*argv)[i];
            size_t at = 0;
            for (const char* flag :
                 {"-artifact_prefix=", "-exact_artifact_path=", "-dict=", "-merge_control_file="})
                if (arg.rfind(flag, 0) == 0) at = std::strlen(flag);
            if (arg.empty() || (at == 0 && arg[0] == '-') || arg[at] == '/') continue;
            absolute.push_back(arg.substr(0, at) +
                               std::filesystem::absolute(arg.substr(at)).string());
            (*argv)[i] = absolute.back().data();
        }
    }
    const char* base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/pipeline-fuzz-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) Broken("no private directory");
    dir = buffer.data();
    if (::chdir(dir.c_str()) != 0) Broken("cannot enter the private directory");
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    });
    return dir;
}

// A count as a damaged or hostile file gives it: 0, 1, a power of two give
// or take one, the largest int, a negative one, a small one, or any.
inline int32_t HostileCount(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 6)) {
        case 0:
            return 0;
        case 1:
            return 1;
        case 2:
            return static_cast<int32_t>((int64_t{1} << in.ConsumeIntegralInRange<int>(1, 30)) +
                                        in.ConsumeIntegralInRange<int>(-1, 1));
        case 3:
            return INT32_MAX;
        case 4:
            return in.ConsumeIntegralInRange<int32_t>(INT32_MIN, -1);
        case 5:
            return in.ConsumeIntegral<int32_t>();
        default:
            return in.ConsumeIntegralInRange<int32_t>(2, 64);
    }
}

// A count whose product with `unitBytes` lands just past a multiple of 2^64,
// so that a size computed without a check wraps to a few bytes (the largest
// int where no int count reaches that far).
inline int32_t WrappingCount(FuzzedDataProvider& in, uint64_t unitBytes) {
    if (unitBytes == 0) return INT32_MAX;
    const unsigned __int128 wrap =
        (static_cast<unsigned __int128>(1) << 64) * in.ConsumeIntegralInRange<unsigned>(1, 3);
    const unsigned __int128 count = wrap / unitBytes + in.ConsumeIntegralInRange<unsigned>(0, 2);
    return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

// Either a hostile count or one that wraps with `unitBytes`.
inline int32_t CountFor(FuzzedDataProvider& in, uint64_t unitBytes) {
    return in.ConsumeBool() ? HostileCount(in) : WrappingCount(in, unitBytes);
}

// A little-endian file built field by field.
struct FileBytes {
    std::vector<uint8_t> bytes;

    void Int32(int32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    }
    void Uint64(uint64_t v) {
        for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    // `count` records of `recordBytes` bytes from the input, at most `cap` of
    // them (a count beyond that describes a file cut short).
    void Records(FuzzedDataProvider& in, int64_t count, size_t recordBytes, int64_t cap = 64) {
        const size_t n = static_cast<size_t>(std::clamp<int64_t>(count, 0, cap)) * recordBytes;
        std::vector<uint8_t> taken = in.ConsumeBytes<uint8_t>(n);
        taken.resize(n);
        bytes.insert(bytes.end(), taken.begin(), taken.end());
    }
    // `count` int32 indices, mostly below `limit`, at most `cap` of them.
    void Indices(FuzzedDataProvider& in, int64_t count, int32_t limit, int64_t cap = 192) {
        const int32_t top = limit > 0 ? limit - 1 : 0;
        for (int64_t k = 0; k < std::clamp<int64_t>(count, 0, cap); ++k)
            Int32(in.ConsumeIntegralInRange<int>(0, 15) == 0
                      ? in.ConsumeIntegral<int32_t>()
                      : in.ConsumeIntegralInRange<int32_t>(0, top));
    }
    // Whatever the input has left, when it chooses to add it.
    void Rest(FuzzedDataProvider& in) {
        if (!in.ConsumeBool()) return;
        std::vector<uint8_t> rest = in.ConsumeRemainingBytes<uint8_t>();
        bytes.insert(bytes.end(), rest.begin(), rest.end());
    }
};

}  // namespace fuzz
