// The host program when an export cannot finish: a target directory that
// cannot be written, a disk that fills up (a file size limit, a full
// file system), Ctrl-C in the middle, and a plug-in library that is missing,
// is no library, or was built for another SDK. Each ends with its message
// and a failure status, and an earlier file of the target's name stays
// byte for byte as it was, with nothing left beside it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/exporter/SceneFiles.h"
#include "tests/support/FileContents.h"
#include "tests/support/ProgramRun.h"

namespace fs = std::filesystem;

namespace {

// Runs `tessel-export ARGS` through the shell, after `prefix` (shell
// commands such as a ulimit).
ProgramRun RunHost(const std::string& args, const std::string& prefix = "") {
    return RunCommand(prefix + " exec " + std::string(BIN_DIR) + "/tessel-export " + args);
}

// An earlier export: some bytes the failed export must leave as they are.
const std::string kEarlier =
    std::string("\x01\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00", 12) + "earlier export";

// A yard of `nodes` boxes, each moving over `frames` frames at 30 fps.
std::string WriteYard(const TempDir& dir, int nodes, int frames) {
    GltfBuilder b;
    const int box = b.AddMesh({GltfBuilder::Box()});
    std::vector<float> times;
    for (int f = 0; f <= frames; f += 5) times.push_back(static_cast<float>(f) / 30.0f);
    for (int n = 0; n < nodes; ++n) {
        const int node = b.AddNode("Box" + std::to_string(n), -1, box);
        std::vector<float> values;
        for (size_t k = 0; k < times.size(); ++k)
            values.insert(values.end(),
                          {float(n % 20), float(std::sin(0.3 * double(k) + n)), float(n / 20)});
        b.Animate(node, "translation", times, values);
    }
    const std::string path = dir.File("yard.gltf");
    EXPECT_TRUE(b.Write(path));
    return path;
}

// Mounts a small file system of its own at `dir` for the test's lifetime,
// when the process may mount (as root in a container that allows it).
class SmallFileSystem {
public:
    SmallFileSystem(const fs::path& dir, const char* options) : dir(dir) {
        mounted = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options) == 0;
    }
    ~SmallFileSystem() {
        if (mounted) ::umount2(dir.c_str(), MNT_DETACH);
    }
    bool Remount(unsigned long flags, const char* options) {
        return mounted && ::mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT | flags, options) == 0;
    }
    bool mounted = false;

private:
    fs::path dir;
};

// The host's failure for a target it could not write, and the target's directory as it was.
void ExpectNotWritten(const ProgramRun& r, const fs::path& dir, const std::string& target) {
    EXPECT_EQ(r.signal, 0) << r.out;
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("tessel-export: the export failed; '" + target + "' could not be written"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(ReadText(target), kEarlier);
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{fs::path(target).filename().string()});
}

TEST(ExportFaults, DirectoryThatCannotBeWritten) {
    TempDir dir;
    const std::string scene = WriteYard(dir, 3, 30);
    const fs::path target = dir.Path() / "out";
    fs::create_directory(target);
    const std::string out = (target / "yard.tsl").string();

    // A directory the user may not write to; the administrator may write
    // anywhere, so for them the directory is a file system mounted read-only.
    SmallFileSystem readOnly(target, "size=64k");
    std::ofstream(out, std::ios::binary) << kEarlier;
    if (::geteuid() == 0) {
        if (!readOnly.Remount(MS_RDONLY, "size=64k"))
            GTEST_SKIP() << "cannot mount a read-only file system here";
    } else {
        // A writable target would take the content itself: this one is write-protected too.
        fs::permissions(out, fs::perms::owner_read);
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_exec);
    }
    ExpectNotWritten(RunHost(Q(scene) + " " + Q(out) + " --all"), target, out);
    if (::geteuid() != 0) fs::permissions(target, fs::perms::owner_all);

    // A directory that does not exist.
    const ProgramRun r = RunHost(Q(scene) + " " + Q(dir.File("missing/yard.tsl")) + " --all");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("'" + dir.File("missing/yard.tsl") + "' could not be written"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(fs::exists(dir.File("missing")));
}

TEST(ExportFaults, DiskThatFillsUp) {
    TempDir dir;
    const std::string scene = WriteYard(dir, 20, 60);
    const fs::path target = dir.Path() / "out";
    fs::create_directory(target);
    const std::string out = (target / "yard.tsl").string();
    std::ofstream(out, std::ios::binary) << kEarlier;

    // A file size limit of 16 KB: the export needs more (20 boxes over 61 frames).
    ExpectNotWritten(RunHost(Q(scene) + " " + Q(out) + " --all", "ulimit -f 16;"), target, out);
    // Without the limit the same export is written.
    const ProgramRun written = RunHost(Q(scene) + " " + Q(dir.File("free.tsl")) + " --all");
    ASSERT_EQ(written.status, 0) << written.out;
    EXPECT_GT(fs::file_size(dir.File("free.tsl")), 16u * 1024u);

    // A file system that is full.
    SmallFileSystem full(target, "size=24k");
    if (!full.mounted) GTEST_SKIP() << "cannot mount a small file system here";
    std::ofstream(out, std::ios::binary) << kEarlier;
    ExpectNotWritten(RunHost(Q(scene) + " " + Q(out) + " --all"), target, out);
}

// Where the new file cannot take the target's place, the complete content
// goes into the target itself: standard output as a pipe, a file with a
// second name, a writable file in a directory where no new file can be made.
// A replaced file keeps its owner, group and permissions.
TEST(ExportFaults, TargetsThatCannotBeReplacedTakeTheContentThemselves) {
    TempDir dir;
    const std::string scene = WriteYard(dir, 3, 30);
    const fs::path out = dir.Path() / "out";
    fs::create_directory(out);
    const std::string plain = (out / "plain.tsl").string();
    ASSERT_EQ(RunHost(Q(scene) + " " + Q(plain) + " --all").status, 0);
    const std::string expected = ReadText(plain);
    ASSERT_GT(expected.size(), 100u);

    const std::string piped = dir.File("piped.tsl"), status = dir.File("status");
    ASSERT_EQ(std::system(("{ " + std::string(BIN_DIR) + "/tessel-export " + Q(scene) +
                           " /dev/stdout --all 2>/dev/null; echo $? >" + Q(status) + "; } | cat >" +
                           Q(piped))
                              .c_str()),
              0);
    EXPECT_EQ(ReadText(status), "0\n");
    EXPECT_EQ(ReadText(piped), expected);

    const std::string linked = (out / "linked.tsl").string(),
                      other = (out / "other-name.tsl").string();
    std::ofstream(linked, std::ios::binary) << kEarlier;
    fs::create_hard_link(linked, other);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(linked.c_str(), 1234, 2345), 0);
    }
    fs::permissions(linked, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(RunHost(Q(scene) + " " + Q(linked) + " --all").status, 0);
    EXPECT_EQ(ReadText(other), expected);

    std::ofstream(plain, std::ios::binary) << kEarlier;
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(plain.c_str(), 1234, 2345), 0);
    }
    fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(RunHost(Q(scene) + " " + Q(plain) + " --all").status, 0);
    EXPECT_EQ(ReadText(plain), expected);
    struct stat st {};
    ASSERT_EQ(::stat(plain.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    if (::geteuid() == 0) {
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 2345u);
    }
    EXPECT_EQ(FilesIn(out),
              (std::vector<std::string>{"linked.tsl", "other-name.tsl", "plain.tsl"}));

    // No new file can be made in the directory: for the administrator a file
    // system with no inode left, for others a directory without write permission.
    const fs::path full = dir.Path() / "full";
    fs::create_directory(full);
    const std::string kept = (full / "kept.tsl").string();
    SmallFileSystem noInodes(full, "size=1m,nr_inodes=2");
    if (::geteuid() == 0 && !noInodes.mounted)
        GTEST_SKIP() << "cannot mount a small file system here";
    std::ofstream(kept, std::ios::binary) << kEarlier;
    if (::geteuid() != 0) fs::permissions(full, fs::perms::owner_read | fs::perms::owner_exec);
    const ProgramRun r = RunHost(Q(scene) + " " + Q(kept) + " --all");
    if (::geteuid() != 0) fs::permissions(full, fs::perms::owner_all);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(ReadText(kept), expected);
    EXPECT_EQ(FilesIn(full), std::vector<std::string>{"kept.tsl"});
}

// Memory that runs out in the middle of the export (the animated writer's
// frame cache of a 65,536-vertex grid moving over 600 frames): a failed
// export with its message, nothing left beside the earlier file.
TEST(ExportFaults, MemoryThatRunsOut) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#endif
    TempDir dir;
    GltfBuilder b;
    GltfBuilder::Primitive grid;
    for (uint32_t y = 0; y < 256; ++y)
        for (uint32_t x = 0; x < 256; ++x)
            grid.positions.insert(grid.positions.end(), {float(x), 0.0f, float(y)});
    for (uint32_t i = 0; i + 257 < 256 * 256; ++i)
        if ((i + 1) % 256) grid.indices.insert(grid.indices.end(), {i, i + 256, i + 1});
    b.Animate(b.AddNode("Field", -1, b.AddMesh({grid})), "translation", {0.0f, 20.0f},
              {0, 0, 0, 0, 5, 0});
    const std::string scene = dir.File("field.gltf");
    ASSERT_TRUE(b.Write(scene));
    const fs::path target = dir.Path() / "out";
    fs::create_directory(target);
    const std::string out = (target / "field.tsl").string();
    std::ofstream(out, std::ios::binary) << kEarlier;
    // 300 MB of address space; the file size limit keeps a run that does not
    // run out from writing its 1.2 GB.
    const ProgramRun r =
        RunHost(Q(scene) + " " + Q(out) + " --all", "ulimit -v 300000; ulimit -f 65536;");
    EXPECT_NE(r.out.find("메모리가 부족하여"), std::string::npos) << r.out;
    ExpectNotWritten(r, target, out);
}

TEST(ExportFaults, InterruptInTheMiddleCancels) {
    TempDir dir;
    // Long enough that the interrupt comes while records are written.
    const std::string scene = WriteYard(dir, 400, 600);
    const std::string out = dir.File("yard.tsl");
    std::ofstream(out, std::ios::binary) << kEarlier;

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const std::string program = std::string(BIN_DIR) + "/tessel-export";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(pipeFds[1], STDERR_FILENO);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::execl(program.c_str(), program.c_str(), scene.c_str(), out.c_str(), "--all",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    // Ctrl-C once the progress bar has started.
    std::string output;
    bool interrupted = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    char buf[4096];
    for (;;) {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
            if (n <= 0) break;
            output.append(buf, static_cast<size_t>(n));
        }
        if (!interrupted && output.find("테셀 파일 저장중...") != std::string::npos) {
            ::kill(pid, SIGINT);
            interrupted = true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            break;
        }
    }
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(interrupted) << output;
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 1) << output;
    EXPECT_NE(
        output.find("tessel-export: the export was cancelled; '" + out + "' was left as it was"),
        std::string::npos)
        << output;
    EXPECT_EQ(ReadText(out), kEarlier);
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"yard.gltf", "yard.tsl"}));
}

TEST(ExportFaults, PluginsThatCannotServe) {
    TempDir dir;
    const std::string scene = WriteYard(dir, 2, 10);
    const std::string out = dir.File("yard.tsl");
    std::ofstream(out, std::ios::binary) << kEarlier;
    std::ofstream(dir.File("libNotALibrary.so")) << "not a library\n";
    const struct {
        std::string plugin;
        std::string message;
    } cases[] = {
        {dir.File("libMissing.so"), "cannot load plug-in '" + dir.File("libMissing.so") + "'"},
        {dir.File("libNotALibrary.so"),
         "cannot load plug-in '" + dir.File("libNotALibrary.so") + "'"},
        {std::string(BIN_DIR) + "/libOldSdkExporter.so",
         "plug-in '" + std::string(BIN_DIR) +
             "/libOldSdkExporter.so' was built for another SDK version"},
        // The same library built for this SDK gets past the version check.
        {std::string(BIN_DIR) + "/libNoClassExporter.so",
         "plug-in '" + std::string(BIN_DIR) + "/libNoClassExporter.so' offers no plug-in class"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plugin);
        const ProgramRun r = RunHost(Q(scene) + " " + Q(out) + " --all --plugin " + Q(c.plugin));
        EXPECT_EQ(r.signal, 0) << r.out;
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("tessel-export: " + c.message), std::string::npos) << r.out;
        EXPECT_EQ(ReadText(out), kEarlier);
    }
    EXPECT_EQ(FilesIn(dir.Path()),
              (std::vector<std::string>{"libNotALibrary.so", "yard.gltf", "yard.tsl"}));
}

}  // namespace
