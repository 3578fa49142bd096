#include "tools/formats/SaveWholeFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool SaveWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    const std::string temporary = path + ".part-" + std::to_string(::getpid());
    std::FILE* f = std::fopen(temporary.c_str(), "wb");
    if (f == nullptr) {
        error = "cannot create '" + path + "': " + std::strerror(errno);
        return false;
    }
    const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
    const int writeErrno = errno;
    const bool closed = std::fclose(f) == 0;
    if (written != bytes.size() || !closed) {
        error = "cannot write '" + path +
                "': " + std::strerror(written != bytes.size() ? writeErrno : errno);
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write '" + path + "': " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
