// The export driver: biped search, export dialog, then the file: header and
// one record per chosen object, static objects first, under the host's
// progress bar. The file is written under a temporary name and takes the
// target's place only when it is complete: a cancelled or failed export
// leaves any earlier file as it was (a write into the target itself, where
// no replacement is possible, may still fail part way and says so).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "exporter/host/HostUi.h"
#include "exporter/plugin/TesselExp.h"
#include "exporter/plugin/resource.h"
#include "exporter/writer/TesselWriter.h"

namespace {

const Class_ID kTargetObject(TARGET_CLASS_ID, 0);

const char* const kOutOfMemoryMessage = "메모리가 부족하여 파일을 저장하지 못했습니다.";

// The file being written. Normally a new file beside the target that takes
// the target's place only when complete (with the target's permissions,
// owner and group where the system permits). Where that cannot keep its
// promise, the complete content is prepared in a temporary file elsewhere
// and then written into the target itself: a target that is no regular file
// (a terminal, a pipe, /dev/stdout), one with several names (a replacement
// would part it from the others), or one in a directory where no new file
// can be made.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { Discard(); }

    // False when the target cannot be written: a directory, a write-protected
    // file, or a new file in a directory where none can be made.
    bool Open(const char* name);
    std::FILE* Stream() const { return stream; }
    // Puts the content in the target; false when any of it fails (the
    // temporary file is removed either way).
    bool Commit();
    // Closes and removes the temporary file.
    void Discard();

private:
    bool OpenBeside(const struct stat* existing);
    bool OpenElsewhere();
    bool CopyIntoTarget();

    std::FILE* stream = nullptr;
    std::string target, temporary;
    bool intoTarget = false;  // the content is copied into the target itself
};

bool OutputFile::Open(const char* name) {
    if (name == nullptr || *name == '\0') return false;
    target = name;
    struct stat st {};
    if (::stat(name, &st) != 0) return errno == ENOENT && OpenBeside(nullptr);
    // A file without write permission is write-protected, also for a user
    // whom the system would let write it anyway.
    if (S_ISDIR(st.st_mode) || ::access(name, W_OK) != 0 ||
        (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0))
        return false;
    if (!S_ISREG(st.st_mode) || st.st_nlink > 1) return OpenElsewhere();
    // A link is followed: the file it names is replaced, the link stays.
    char resolved[PATH_MAX];
    if (::realpath(name, resolved) != nullptr) target = resolved;
    return OpenBeside(&st) || OpenElsewhere();
}

bool OutputFile::OpenBeside(const struct stat* existing) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            break;
        }
        if (existing != nullptr) {
            // Owner and group first: changing them may clear mode bits.
            if (::fchown(fd, existing->st_uid, existing->st_gid) != 0)
                (void)::fchown(fd, static_cast<uid_t>(-1), existing->st_gid);
            (void)::fchmod(fd, existing->st_mode & 07777);
        }
        stream = ::fdopen(fd, "wb");
        if (stream != nullptr) return true;
        ::close(fd);
        ::unlink(temporary.c_str());
        break;
    }
    temporary.clear();
    return false;
}

bool OutputFile::OpenElsewhere() {
    // Unnamed and removed by the system when closed.
    stream = std::tmpfile();
    intoTarget = stream != nullptr;
    return intoTarget;
}

bool OutputFile::CopyIntoTarget() {
    if (std::fseek(stream, 0, SEEK_SET) != 0) return false;
    const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    bool ok = true;
    char buffer[65536];
    size_t got;
    while (ok && (got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
        for (size_t done = 0; done < got;) {
            const ssize_t n = ::write(fd, buffer + done, got - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok = false;
                break;
            }
            done += static_cast<size_t>(n);
        }
    }
    ok = ok && std::ferror(stream) == 0;
    struct stat st {};
    if (ok && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) ok = ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

bool OutputFile::Commit() {
    if (stream == nullptr) return false;
    bool ok = std::fflush(stream) == 0 && std::ferror(stream) == 0;
    if (intoTarget) {
        ok = ok && CopyIntoTarget();
        std::fclose(stream);
        stream = nullptr;
        return ok;
    }
    ok = ::fsync(::fileno(stream)) == 0 && ok;
    ok = std::fclose(stream) == 0 && ok;
    stream = nullptr;
    if (ok && ::rename(temporary.c_str(), target.c_str()) == 0) {
        temporary.clear();
        return true;
    }
    ::unlink(temporary.c_str());
    temporary.clear();
    return false;
}

void OutputFile::Discard() {
    if (stream != nullptr) std::fclose(stream);
    stream = nullptr;
    if (!temporary.empty()) ::unlink(temporary.c_str());
    temporary.clear();
}

// The host's progress bar runs this once; the driver's own loop does the work.
DWORD ProgressCallback(void*) {
    return 0;
}

}  // namespace

int TesselExp::DoExport(const char* name, ExpInterface* /*ei*/, Interface* i, BOOL suppressPrompts,
                        DWORD options) {
    try {
        return ExportScene(name, i, suppressPrompts, options);
    } catch (const std::bad_alloc&) {
        // The new file was removed as the stack unwound (OutputFile).
        writer = nullptr;
        file = nullptr;
        try {
            if (ip != nullptr) ip->ProgressEnd();
            MessageBoxA(nullptr, kOutOfMemoryMessage, kExportCaption, MB_OK);
        } catch (const std::bad_alloc&) {
            // Not even the message could be shown: the result still says it.
        }
        return 0;
    }
}

int TesselExp::ExportScene(const char* name, Interface* i, BOOL suppressPrompts, DWORD options) {
    showPrompts = suppressPrompts ? FALSE : TRUE;
    exportSelected = (options & SCENE_EXPORT_SELECTED) ? TRUE : FALSE;
    ip = i;
    if (ip == nullptr) return 0;

    // The biped's top node, searched over the whole scene.
    INode* root = ip->GetRootNode();
    for (int k = 0; root != nullptr && k < root->NumberOfChildren(); ++k) {
        if (ip->GetCancel()) break;
        FindBipedRoot(root->GetChildNode(k));
    }
    if (!showPrompts) return 0;

    RegisterResources(hInstance);
    const INT_PTR chosen = DialogBoxParamA(hInstance, IDD_EXPORT, ip->GetMAXHWnd(), ExportDlgProc,
                                           reinterpret_cast<LPARAM>(this));
    if (chosen == 0) return 1;  // cancelled, or nothing to save
    // A dialog that could not be shown chose nothing.
    if (chosen != 1 || staticCount + animCount < 1) return 0;

    OutputFile output;
    if (!output.Open(name)) return 0;
    file = output.Stream();
    ip->ProgressStart("테셀 파일 저장중...", TRUE, ProgressCallback, nullptr);
    CollectMaterials(root);

    TesselOutput out(file);
    TesselWriter w(out);
    w.materials = &materials;
    w.startTime = startTime;
    w.endTime = endTime;
    w.frameStep = frameStep;
    w.bipedRoot = bipedRoot;
    w.centreOnBiped = centreOnBiped;
    w.splitLarge = (options & SCENE_EXPORT_SPLIT_LARGE) != 0;
    writer = &w;

    WriteFrameCount(out, animCount, startTime, endTime, GetTicksPerFrame(), frameStep);
    out.WriteInt32(staticCount);
    out.WriteInt32(animCount);

    const int total = staticCount + animCount;
    auto progress = [&](int n) {
        ip->ProgressUpdate(
            static_cast<int>(static_cast<float>(n) / static_cast<float>(total) * 100.0f), TRUE,
            nullptr);
    };
    bool cancelled = false;
    for (int k = 0; k < staticCount && !cancelled; ++k) {
        if (ip->GetCancel()) {
            cancelled = true;
            break;
        }
        progress(k + 1);
        w.WriteNodeTexture(staticNodes[k]);
        ExportStaticNode(staticNodes[k]);
    }
    const int32_t staticExtra = w.ExtraRecords();
    for (int k = 0; k < animCount && !cancelled; ++k) {
        if (ip->GetCancel()) {
            cancelled = true;
            break;
        }
        progress(staticCount + k + 1);
        w.WriteNodeTexture(animNodes[k]);
        ExportAnimatedNode(animNodes[k]);
    }
    // Objects split into several records: the header counts every record.
    if (!cancelled && w.ExtraRecords() > 0) {
        out.RewriteInt32(4, staticCount + staticExtra);
        out.RewriteInt32(8, animCount + w.ExtraRecords() - staticExtra);
    }
    ip->ProgressEnd();
    writer = nullptr;
    file = nullptr;

    // Everything gathered goes to the stream before it is closed.
    const bool failed = out.Failed();
    if (cancelled) {
        output.Discard();
        return 1;
    }
    if (failed) {
        output.Discard();
        return 0;
    }
    return output.Commit() ? 1 : 0;
}

void TesselExp::CollectMaterials(INode* node) {
    if (node == nullptr) return;
    materials.AppendUnique(node->GetMtl());
    for (int k = 0; k < node->NumberOfChildren(); ++k) CollectMaterials(node->GetChildNode(k));
}

void TesselExp::ExportStaticNode(INode* node) {
    if (writer == nullptr || node == nullptr) return;
    const ObjectState os = node->EvalWorldState(staticTime, TRUE);
    if (os.obj == nullptr || os.obj->ClassID() == kTargetObject) {
        writer->WriteEmptyMesh(node, "기하 오브젝트가 아닙니다");
        return;
    }
    const Interval range = ip->GetAnimRange();
    const Interval valid = os.obj->ObjectValidity(staticTime);
    if (!valid.InInterval(range.Start()) || !valid.InInterval(range.End()) ||
        CheckForAnimation(node)) {
        writer->WriteEmptyMesh(node, "움직이지 않는 오브젝트가 아닙니다");
        return;
    }
    writer->WriteStaticMesh(node, staticTime);
}

void TesselExp::ExportAnimatedNode(INode* node) {
    if (writer == nullptr || node == nullptr) return;
    const ObjectState os = node->EvalWorldState(staticTime, TRUE);
    if (os.obj == nullptr || os.obj->ClassID() == kTargetObject) {
        writer->WriteEmptyMesh(node, "기하 오브젝트가 아닙니다");
        return;
    }
    const Interval range = ip->GetAnimRange();
    const Interval valid = os.obj->ObjectValidity(staticTime);
    if (!valid.InInterval(range.Start()) || !valid.InInterval(range.End()) ||
        CheckForAnimation(node)) {
        writer->WriteAnimatedMesh(node, staticTime);
        return;
    }
    writer->WriteEmptyMesh(node, "움직이는 오브젝트가 아닙니다");
}
