// What every fuzz target shares: stopping on a finding, and a private
// working directory.
#pragma once

#include <unistd.h>

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
            for (const char* flag : {"-artifact_prefix=", "-exact_artifact_path=", "-dict=", "-merge_control_file="})
                if (arg.rfind(flag, 0) == 0) at = std::strlen(flag);
            if (arg.empty() || (at == 0 && arg[0] == '-') || arg[at] == '/') continue;
            absolute.push_back(arg.substr(0, at) + std::filesystem::absolute(arg.substr(at)).string());
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

}  // namespace fuzz
