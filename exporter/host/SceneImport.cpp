#include "exporter/host/SceneImport.h"

#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "exporter/host/HostFiles.h"
#include "exporter/host/SceneTransfer.h"

extern char** environ;

namespace {

// The child's message: a status byte, the payload's length, the payload
// (the scene's bytes, or the importer's reason for refusing the file).
constexpr uint8_t kSceneFollows = 0;
constexpr uint8_t kRefused = 1;
constexpr size_t kHeaderSize = 1 + sizeof(uint64_t);

// The importer's own output is kept up to this size for messages.
constexpr size_t kMaxDiagnostics = 64 * 1024;

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// True when `message` holds the child's whole message: its header and as
// many bytes as the header announces.
bool MessageComplete(const std::vector<uint8_t>& message) {
    if (message.size() < kHeaderSize) return false;
    uint64_t length = 0;
    std::memcpy(&length, message.data() + 1, sizeof length);
    return message.size() - kHeaderSize == length;
}

// Resident memory of a process in megabytes, 0 when it cannot be read.
size_t ResidentMegabytes(pid_t pid) {
    char name[64];
    std::snprintf(name, sizeof name, "/proc/%d/statm", static_cast<int>(pid));
    std::FILE* f = std::fopen(name, "r");
    if (f == nullptr) return 0;
    unsigned long size = 0, resident = 0;
    const int got = std::fscanf(f, "%lu %lu", &size, &resident);
    std::fclose(f);
    if (got != 2) return 0;
    const long page = ::sysconf(_SC_PAGESIZE);
    return static_cast<size_t>(resident) * static_cast<size_t>(page > 0 ? page : 4096) /
           (1024 * 1024);
}

// Reads what is there without blocking; false at the end of the stream.
bool Drain(int fd, std::vector<uint8_t>& into, size_t keepAtMost) {
    uint8_t buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            if (into.size() < keepAtMost)
                into.insert(into.end(), buffer,
                            buffer + std::min(static_cast<size_t>(n), keepAtMost - into.size()));
            continue;
        }
        if (n == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

// The line of the importer's output that says most about its failure: the
// first that reports an error or an assertion, else the last one.
std::string TellingLine(const std::vector<uint8_t>& output) {
    std::vector<std::string> lines;
    std::string line;
    for (uint8_t c : output) {
        if (c == '\n') {
            if (!line.empty()) lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    for (const std::string& l : lines) {
        std::string lower = l;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (lower.find("assert") != std::string::npos || lower.find("error") != std::string::npos)
            return l;
    }
    return lines.empty() ? std::string() : lines.back();
}

std::string SignalName(int sig) {
    switch (sig) {
        case SIGSEGV:
            return "a segmentation fault";
        case SIGABRT:
            return "an abort";
        case SIGBUS:
            return "a bus error";
        case SIGFPE:
            return "an arithmetic fault";
        case SIGILL:
            return "an illegal instruction";
        case SIGKILL:
            return "being killed";
        default:
            return std::string("signal ") + std::to_string(sig);
    }
}

// Moves `fd` above the standard streams (kept close-on-exec), so that the
// child's standard output and error can be set from it in any order.
bool AboveStandardStreams(int& fd) {
    if (fd > STDERR_FILENO) return true;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (moved < 0) return false;
    ::close(fd);
    fd = moved;
    return true;
}

// Starts the importer program on `path` with its standard output on
// `dataFd` and its standard error on `errFd`, nothing on its standard input
// and no other descriptor of this process. posix_spawn starts it without
// copying this process (which may run threads: a Qt window, a test runner).
// 0 or the error number.
int SpawnImporter(const std::string& program, const std::string& path, int dataFd, int errFd,
                  pid_t& pid) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (int e = ::posix_spawn_file_actions_init(&actions)) return e;
    if (int e = ::posix_spawnattr_init(&attributes)) {
        ::posix_spawn_file_actions_destroy(&actions);
        return e;
    }
    int error =
        ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (error == 0) error = ::posix_spawn_file_actions_adddup2(&actions, dataFd, STDOUT_FILENO);
    if (error == 0) error = ::posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    if (error == 0) error = ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    // Every signal at its default and none blocked, whatever the host set up
    // for itself (an ignored SIGPIPE, a blocked SIGINT).
    sigset_t none, all;
    ::sigemptyset(&none);
    ::sigfillset(&all);
    if (error == 0) error = ::posix_spawnattr_setsigmask(&attributes, &none);
    if (error == 0) error = ::posix_spawnattr_setsigdefault(&attributes, &all);
    if (error == 0)
        error =
            ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const std::string parent = std::to_string(::getpid());
    const char* argv[] = {program.c_str(), "--parent", parent.c_str(), "--", path.c_str(), nullptr};
    if (error == 0)
        error = ::posix_spawn(&pid, program.c_str(), &actions, &attributes,
                              const_cast<char* const*>(argv), environ);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    return error;
}

double PositiveNumber(const char* text) {
    if (text == nullptr || *text == '\0') return 0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v) || v <= 0) return 0;
    return v;
}

}  // namespace

ImportLimits ImportLimits::FromEnvironment() {
    ImportLimits limits;
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long page = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && page > 0) {
        const size_t half =
            static_cast<size_t>(pages) / 2 * static_cast<size_t>(page) / (1024 * 1024);
        if (half > 0) limits.megabytes = std::min(limits.megabytes, half);
    }
    if (const double s = PositiveNumber(std::getenv(kImportTimeLimitVariable))) limits.seconds = s;
    if (const double mb = PositiveNumber(std::getenv(kImportMemoryLimitVariable)))
        limits.megabytes = static_cast<size_t>(std::max(1.0, mb));
    return limits;
}

bool CheckSceneFile(const std::string& path, std::string& why, bool& cannotOpen) {
    cannotOpen = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        cannotOpen = true;
        why = std::strerror(errno);
        return false;
    }
    struct stat st {};
    const bool examined = ::fstat(fd, &st) == 0;
    const int examineError = errno;
    ::close(fd);
    if (!examined) {
        why = std::string("cannot be examined: ") + std::strerror(examineError);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        why = S_ISDIR(st.st_mode)    ? "it is a directory, not a file"
              : S_ISFIFO(st.st_mode) ? "it is a FIFO, not a regular file"
              : S_ISSOCK(st.st_mode) ? "it is a socket, not a regular file"
                                     : "it is a device, not a regular file";
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxSceneFileBytes) {
        why = "it holds " + std::to_string(st.st_size) + " bytes, more than the " +
              std::to_string(kMaxSceneFileBytes) + " bytes a scene file may have";
        return false;
    }
    return true;
}

std::string ImportLimits::EnvironmentProblem() {
    for (const auto& [name, unit] :
         {std::pair<const char*, const char*>{kImportTimeLimitVariable, "seconds"},
          {kImportMemoryLimitVariable, "megabytes"}}) {
        const char* value = std::getenv(name);
        if (value != nullptr && PositiveNumber(value) == 0)
            return std::string(name) + "='" + value + "' is not a positive number of " + unit;
    }
    return std::string();
}

void ConfigureImporter(Assimp::Importer& importer) {
    importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
    importer.SetPropertyBool(AI_CONFIG_IMPORT_REMOVE_EMPTY_BONES, false);
}

unsigned ImportFlags() {
    return aiProcess_Triangulate | aiProcess_ValidateDataStructure;
}

const aiScene* ReadSceneInProcess(Assimp::Importer& importer, const std::string& path,
                                  std::string& why) {
    ConfigureImporter(importer);
    const aiScene* scene = importer.ReadFile(path, ImportFlags());
    if (scene == nullptr) {
        why = importer.GetErrorString();
        if (why.find("No suitable reader") != std::string::npos)
            why = "not a scene format the host can read";
        if (why.empty()) why = "the importer gave no reason";
    }
    return scene;
}

std::string ImporterProgram() {
    const char* chosen = std::getenv(kImporterProgramVariable);
    if (chosen != nullptr && *chosen != '\0') return chosen;
    return HostFile(kImporterProgramName);
}

int RunImporter(const std::string& path, long parent) {
    // The message goes to the host on the standard output it was started
    // with; whatever the importer prints goes to standard error.
    const int messageFd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (messageFd < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return 2;
    if (parent > 0) {
        // The importer does not outlive the host.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != static_cast<pid_t>(parent)) return 3;
    }
    // A crash of the importer leaves no core file behind.
    struct rlimit noCore {};
    ::setrlimit(RLIMIT_CORE, &noCore);

    // The importer and its scene are never freed: the program ends as soon
    // as the scene is on its way.
    auto* importer = new Assimp::Importer();
    std::vector<uint8_t> message(kHeaderSize);
    std::string why;
    const aiScene* scene = ReadSceneInProcess(*importer, path, why);
    if (scene != nullptr) {
        message[0] = kSceneFollows;
        WriteSceneBytes(*scene, message);
    } else {
        message[0] = kRefused;
        message.insert(message.end(), why.begin(), why.end());
    }
    const uint64_t length = message.size() - kHeaderSize;
    std::memcpy(message.data() + 1, &length, sizeof length);
    return WriteAll(messageFd, message.data(), message.size()) ? 0 : 2;
}

std::unique_ptr<aiScene> ImportSceneIsolated(const std::string& path, const ImportLimits& limits,
                                             std::string& why) {
    int dataPipe[2], errPipe[2];
    if (::pipe2(dataPipe, O_CLOEXEC) != 0) {
        why = std::string("cannot start the importer: ") + std::strerror(errno);
        return nullptr;
    }
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        why = std::string("cannot start the importer: ") + std::strerror(errno);
        ::close(dataPipe[0]);
        ::close(dataPipe[1]);
        return nullptr;
    }
    // A pipe as large as the system allows lets the importer hand over a
    // scene in fewer turns.
    ::fcntl(dataPipe[1], F_SETPIPE_SZ, 1 << 20);
    const std::string program = ImporterProgram();
    pid_t pid = -1;
    int error = AboveStandardStreams(dataPipe[1]) && AboveStandardStreams(errPipe[1]) ? 0 : errno;
    if (error == 0) error = SpawnImporter(program, path, dataPipe[1], errPipe[1], pid);
    if (error != 0) {
        why = "cannot start the importer '" + program + "': " + std::strerror(error);
        for (int fd : {dataPipe[0], dataPipe[1], errPipe[0], errPipe[1]}) ::close(fd);
        return nullptr;
    }
    ::close(dataPipe[1]);
    ::close(errPipe[1]);
    ::fcntl(dataPipe[0], F_SETFL, O_NONBLOCK);
    ::fcntl(errPipe[0], F_SETFL, O_NONBLOCK);

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(limits.seconds));
    std::vector<uint8_t> message, diagnostics;
    bool dataOpen = true, errOpen = true, reserved = false;
    enum class Stop { None, Time, Memory, Watch, Oversized } stop = Stop::None;
    // The importer may announce no more than its memory limit lets it hold:
    // the host reserves and keeps no more than that on its word.
    const uint64_t mostBytes = static_cast<uint64_t>(limits.megabytes) * 1024 * 1024;
    uint64_t announced = 0;
    int watchError = 0;
    while (dataOpen || errOpen) {
        pollfd fds[2] = {{dataPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        const int r = ::poll(fds, 2, 20);
        if (r < 0 && errno != EINTR) {
            watchError = errno;
            stop = Stop::Watch;
            break;
        }
        if (dataOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            dataOpen = Drain(dataPipe[0], message,
                             reserved ? kHeaderSize + announced + 1 : mostBytes + kHeaderSize + 1);
            // Room for the whole message once its header says how long it is.
            if (!reserved && message.size() >= kHeaderSize) {
                reserved = true;
                std::memcpy(&announced, message.data() + 1, sizeof announced);
                if (announced > mostBytes) {
                    stop = Stop::Oversized;
                    break;
                }
                message.reserve(kHeaderSize + static_cast<size_t>(announced));
            }
            if (reserved && message.size() > kHeaderSize + announced) {
                stop = Stop::Oversized;
                break;
            }
        }
        if (errOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            errOpen = Drain(errPipe[0], diagnostics, kMaxDiagnostics);
        if (!dataOpen && !errOpen) break;
        // A whole message is all the host waits for.
        if (MessageComplete(message)) break;
        if (Clock::now() >= deadline) {
            stop = Stop::Time;
            break;
        }
        if (ResidentMegabytes(pid) > limits.megabytes) {
            stop = Stop::Memory;
            break;
        }
    }
    if (stop != Stop::None) ::kill(pid, SIGKILL);
    ::close(dataPipe[0]);
    ::close(errPipe[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }

    if (stop == Stop::Time) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "the importer did not finish within %g s (%s sets the limit)", limits.seconds,
                      kImportTimeLimitVariable);
        why = text;
        return nullptr;
    }
    if (stop == Stop::Watch) {
        why = std::string("the importer cannot be watched: ") + std::strerror(watchError);
        return nullptr;
    }
    if (stop == Stop::Oversized) {
        why = "the importer's scene is larger than it announced or than its memory limit of " +
              std::to_string(limits.megabytes) + " MB (" + kImportMemoryLimitVariable +
              " sets the limit)";
        return nullptr;
    }
    if (stop == Stop::Memory) {
        why = "the importer needed more than " + std::to_string(limits.megabytes) +
              " MB of memory (" + kImportMemoryLimitVariable + " sets the limit)";
        return nullptr;
    }

    if (!MessageComplete(message)) {
        // The importer ended without its whole message: it failed on the file.
        if (WIFSIGNALED(status)) {
            why = "the importer crashed on it with " + SignalName(WTERMSIG(status));
        } else if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            // It claims success but its result is cut short.
            why = "the importer's result was cut short: ";
            if (message.size() < kHeaderSize)
                why += std::to_string(message.size()) + " bytes, not even its header";
            else
                why += "it announced " + std::to_string(announced) + " bytes and sent " +
                       std::to_string(message.size() - kHeaderSize);
        } else if (WIFEXITED(status)) {
            why = "the importer failed on it and exited with status " +
                  std::to_string(WEXITSTATUS(status));
        } else {
            why = "the importer ended without a result";
        }
        const std::string line = TellingLine(diagnostics);
        if (!line.empty()) why += " (" + line + ")";
        return nullptr;
    }
    // What the importer wrote while it worked goes to the host's own output.
    if (!diagnostics.empty()) std::fwrite(diagnostics.data(), 1, diagnostics.size(), stderr);
    if (message[0] == kRefused) {
        why.assign(message.begin() + kHeaderSize, message.end());
        return nullptr;
    }
    if (message[0] != kSceneFollows) {
        why = "the importer's result is damaged (it starts with " + std::to_string(message[0]) +
              ", neither a scene nor a refusal)";
        return nullptr;
    }
    // The rebuilt scene may take what the importer could hold for it, no more.
    std::unique_ptr<aiScene> scene =
        ReadSceneBytes(message.data() + kHeaderSize, message.size() - kHeaderSize, why, mostBytes);
    if (!scene && why.find("MB of memory") != std::string::npos)
        why += std::string(" (") + kImportMemoryLimitVariable + " sets the limit)";
    return scene;
}
