#include "viewer/model/ByteReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool ByteReader::ReadBytes(void* out, size_t size) {
    const uint8_t* p = Take(size);
    if (p == nullptr) return false;
    if (size > 0) std::memcpy(out, p, size);
    return true;
}

const uint8_t* ByteReader::Take(size_t size) {
    if (size > Remaining()) return nullptr;
    const uint8_t* p = m_data + m_offset;
    m_offset += size;
    return p;
}

bool ByteReader::ReadInt32(int32_t& value) {
    const uint8_t* p = Take(4);
    if (p == nullptr) return false;
    const uint32_t u = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                       (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    value = static_cast<int32_t>(u);
    return true;
}

bool ByteReader::ReadInt16(int16_t& value) {
    const uint8_t* p = Take(2);
    if (p == nullptr) return false;
    const uint16_t u = static_cast<uint16_t>(p[0] | (p[1] << 8));
    value = static_cast<int16_t>(u);
    return true;
}

bool ByteReader::ReadFloat(float& value) {
    int32_t bits;
    if (!ReadInt32(bits)) return false;
    std::memcpy(&value, &bits, sizeof value);
    return true;
}

namespace {

std::string TooLarge(uint64_t size) {
    return "the file holds " +
           (size == 0 ? std::string("more than ") : std::to_string(size) + " bytes, more than ") +
           "the " + std::to_string(kMaxModelFileBytes) + " bytes a model file may have";
}

}  // namespace

bool ReadStream(std::FILE* file, std::vector<uint8_t>& bytes, std::string& error) {
    bytes.clear();
    if (file == nullptr) {
        error = "the file is not open";
        return false;
    }
    // Size the buffer once when the stream can tell its length.
    long start = std::ftell(file);
    if (start >= 0 && std::fseek(file, 0, SEEK_END) == 0) {
        long end = std::ftell(file);
        std::fseek(file, start, SEEK_SET);
        if (end > start && static_cast<uint64_t>(end - start) > kMaxModelFileBytes) {
            error = TooLarge(static_cast<uint64_t>(end - start));
            return false;
        }
        if (end > start) bytes.reserve(static_cast<size_t>(end - start));
    }
    uint8_t chunk[65536];
    for (;;) {
        size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (bytes.size() + got > kMaxModelFileBytes) {
            bytes.clear();
            bytes.shrink_to_fit();
            error = TooLarge(0);
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof chunk) break;
    }
    if (std::ferror(file)) {
        error = std::string("read error: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool ReadRegularFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    bytes.clear();
    // Opened without waiting (a FIFO without a writer would block an
    // ordinary open), then checked on the open descriptor itself.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = std::string("cannot open (") + std::strerror(errno) + ")";
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = std::string("cannot be examined (") + std::strerror(errno) + ")";
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode)    ? "is a directory, not a file"
                : S_ISFIFO(st.st_mode) ? "is a FIFO, not a regular file"
                : S_ISSOCK(st.st_mode) ? "is a socket, not a regular file"
                                       : "is a device, not a regular file";
        ::close(fd);
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxModelFileBytes) {
        error = TooLarge(static_cast<uint64_t>(st.st_size));
        ::close(fd);
        return false;
    }
    // Whatever the file holds is read, up to the limit: a file that grows
    // while it is read is refused when it passes the limit.
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        error = std::string("cannot be read (") + std::strerror(errno) + ")";
        ::close(fd);
        return false;
    }
    std::string problem;
    const bool read = ReadStream(file, bytes, problem);
    std::fclose(file);
    if (!read) error = "cannot be read (" + problem + ")";
    return read;
}

std::string FileNameOnly(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
