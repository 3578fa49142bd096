// tessel-export: the host program. Reads a scene, loads the TesselExp
// plug-in as the 3D package would, and runs the export with the dialog
// answered from the command line or by the user in a window.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "exporter/host/ConsoleUi.h"
#include "exporter/host/DialogAnswers.h"
#include "exporter/host/HostScene.h"
#include "exporter/host/MessageGlosses.h"
#include "exporter/host/PluginLoader.h"
#include "exporter/host/QtHostUi.h"
#include "exporter/host/SceneImport.h"
#include "tools/ViewerTextures.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: tessel-export SCENE OUT.tsl [options]\n"
    "       tessel-export SCENE --list [--selected-only NAME...] [--unit U] [--scale F]\n"
    "\n"
    "Reads SCENE (FBX, glTF, COLLADA, 3DS, OBJ, ... as Assimp reads them), loads the\n"
    "TesselExp plug-in and exports the chosen objects to OUT.tsl. OUT.tsl is replaced only\n"
    "when the export is complete: a cancelled (Ctrl-C) or failed export leaves it as it was.\n"
    "\n"
    "  --list                 print the scene's animations, the export dialog's two lists\n"
    "                         (objects that do not move, animated objects) and its frame\n"
    "                         fields, and stop\n"
    "  --animation NAME       the animation to export (its name, or its number from 1 in\n"
    "                         --list; default: the first, with any that drive other nodes)\n"
    "  --all                  take every listed object (the dialog's save-all button)\n"
    "  --select NAME...       take the named objects (save-selected)\n"
    "  --start N, --end N     first and last exported frame\n"
    "  --step N               frame step of animated objects, at least 1\n"
    "  --no-centre            clear the centring on the biped's top node\n"
    "  --selected-only NAME...  export for the selection only; NAMEs are selected\n"
    "  --unit U               present the scene in unit U (m, cm, mm, in, ft), converted\n"
    "                         from the unit the file declares (FBX unit scale, COLLADA\n"
    "                         <unit>, glTF metres); a file without one is taken as it is\n"
    "  --scale F              multiply every exported position by F (after --unit); the\n"
    "                         default is the file's own numbers\n"
    "  --convert-textures     write every texture the viewer cannot read (PNG, JPEG, images\n"
    "                         stored in the scene) as TGA into textr/ beside OUT.tsl and\n"
    "                         name those in the file; BMP and TGA files are copied there\n"
    "  --split-large          write an object above 65,536 vertices (the viewer's limit)\n"
    "                         as several objects of at most 65,536 vertices each, instead\n"
    "                         of an empty one\n"
    "  --interactive          choose in the export dialog's window (needs a display);\n"
    "                         --start, --end, --step and --no-centre fill it in first;\n"
    "                         --unit, --scale, --split-large and --convert-textures\n"
    "                         apply as without it\n"
    "  --plugin PATH          plug-in library (default: libTesselExp.so beside this program,\n"
    "                         or in ../lib/tessel-export/ when installed)\n"
    "  --help                 this text\n";

struct Options {
    std::string scene, out, plugin, animation;
    bool list = false, interactive = false, help = false;
    bool selectedOnly = false, splitLarge = false, convertTextures = false;
    std::vector<std::string> selection;
    ExportDialogAnswers answers;
    SceneSize size;
};

bool IsNumber(const std::string& s) {
    if (s.empty()) return false;
    size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i >= s.size()) return false;
    for (; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

bool Parse(int argc, char** argv, Options& o, std::string& error) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto names = [&](std::vector<std::string>& into) {
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0)
                into.push_back(argv[++i]);
        };
        auto number = [&](std::optional<std::string>& into) {
            if (i + 1 >= argc || !IsNumber(argv[i + 1])) {
                error = a + " needs a whole number";
                return false;
            }
            // A number the dialog's field cannot hold is refused, not wrapped.
            errno = 0;
            const long long v = std::strtoll(argv[i + 1], nullptr, 10);
            if (errno == ERANGE || v < INT_MIN || v > INT_MAX) {
                error = a + " " + argv[i + 1] + " is out of range (" + std::to_string(INT_MIN) +
                        " to " + std::to_string(INT_MAX) + ")";
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (a == "--help" || a == "-h")
            o.help = true;
        else if (a == "--list")
            o.list = true;
        else if (a == "--interactive")
            o.interactive = true;
        else if (a == "--split-large")
            o.splitLarge = true;
        else if (a == "--convert-textures")
            o.convertTextures = true;
        else if (a == "--all")
            o.answers.take = ExportDialogAnswers::Take::All;
        else if (a == "--select") {
            o.answers.take = ExportDialogAnswers::Take::Selected;
            names(o.answers.names);
            if (o.answers.names.empty()) {
                error = "--select needs at least one object name";
                return false;
            }
        } else if (a == "--start") {
            if (!number(o.answers.startFrame)) return false;
        } else if (a == "--end") {
            if (!number(o.answers.endFrame)) return false;
        } else if (a == "--step") {
            if (!number(o.answers.frameStep)) return false;
            if (std::atoi(o.answers.frameStep->c_str()) < 1) {
                error = "--step must be at least 1";
                return false;
            }
        } else if (a == "--no-centre")
            o.answers.centre = false;
        else if (a == "--selected-only") {
            o.selectedOnly = true;
            names(o.selection);
            if (o.selection.empty()) {
                error = "--selected-only needs at least one object name";
                return false;
            }
        } else if (a == "--scale") {
            char* end = nullptr;
            const double f = i + 1 < argc ? std::strtod(argv[i + 1], &end) : 0.0;
            if (i + 1 >= argc || end == argv[i + 1] || *end != '\0' || !(f >= 1e-6 && f <= 1e6)) {
                error = "--scale needs a number from 0.000001 to 1000000";
                return false;
            }
            o.size.factor = f;
            ++i;
        } else if (a == "--unit") {
            const double metres = i + 1 < argc ? LengthUnitMetres(argv[i + 1]) : 0.0;
            if (metres <= 0) {
                error = "--unit needs one of m, cm, mm, in, ft";
                return false;
            }
            o.size.unitMetres = metres;
            ++i;
        } else if (a == "--animation") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                error = "--animation needs a name";
                return false;
            }
            o.animation = argv[++i];
        } else if (a == "--plugin") {
            if (i + 1 >= argc) {
                error = "--plugin needs a path";
                return false;
            }
            o.plugin = argv[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else
            positional.push_back(a);
    }
    if (o.help) return true;
    if (positional.empty()) {
        error = "no scene file given";
        return false;
    }
    o.scene = positional[0];
    if (positional.size() > 1) o.out = positional[1];
    if (positional.size() > 2) {
        error = "too many file names";
        return false;
    }
    if (!o.list && o.out.empty()) {
        error = "no output file given";
        return false;
    }
    if (o.answers.startFrame && o.answers.endFrame &&
        std::atol(o.answers.startFrame->c_str()) > std::atol(o.answers.endFrame->c_str())) {
        error = "--start " + *o.answers.startFrame + " is after --end " + *o.answers.endFrame;
        return false;
    }
    if (o.list && o.interactive) {
        error = "--list and --interactive cannot be combined";
        return false;
    }
    if (o.interactive && o.answers.take != ExportDialogAnswers::Take::None) {
        error =
            "--all and --select answer the dialog; with --interactive it is answered in its window";
        return false;
    }
    return true;
}

// The viewer plays 30 frames a second; the export keeps the scene's own frames.
std::string RateNote(const HostScene& scene) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "note: the scene runs at %g frames a second; its frames are exported as they are "
                  "and the viewer, "
                  "playing 30 a second, shows them %g times as fast",
                  scene.FrameRate(), 30.0 / scene.FrameRate());
    return text;
}

// The export dialog as the plug-in fills it: its two lists, the frame
// fields and the centring check box.
void PrintDialog(HostScene& scene, DialogWindow& dialog) {
    using namespace ExportDialogIds;
    const Interval range = scene.AnimRange();
    const int tpf = scene.TicksPerFrame();
    std::printf("scene: %s\n", scene.Path().c_str());
    std::printf("format: %s%s\n", scene.Format().empty() ? "unknown" : scene.Format().c_str(),
                scene.TurnedUpright() ? (" (" + scene.UpAxis() + " up, turned upright)").c_str()
                                      : " (z up)");
    if (scene.DeclaredUnitMetres() > 0)
        std::printf("unit: %s (%s)\n", DescribeLengthUnit(scene.DeclaredUnitMetres()).c_str(),
                    scene.DeclaredUnitSource().c_str());
    else
        std::printf("unit: none declared (the file's numbers are taken as they are)\n");
    if (scene.PresentedScale() != 1.0)
        std::printf("size: the file's numbers times %g\n", scene.PresentedScale());
    std::printf("animation: frames %d to %d at %g fps (%d ticks per frame)\n", range.Start() / tpf,
                range.End() / tpf, scene.FrameRate(), tpf);
    if (scene.FrameRate() != 30.0) std::printf("%s\n", RateNote(scene).c_str());
    for (size_t i = 0; i < scene.Clips().size(); ++i) {
        const SceneClip& c = scene.Clips()[i];
        std::printf("animation %zu '%s': frames %d to %d%s\n", i + 1, c.name.c_str(),
                    c.range.Start() / tpf, c.range.End() / tpf, c.played ? " (exported)" : "");
    }
    auto list = [&](const char* title, int id) {
        DialogWindow::Control* c = dialog.Find(id);
        const size_t n = c ? c->list.size() : 0;
        std::printf("%s (%zu):\n", title, n);
        for (size_t i = 0; i < n; ++i) std::printf("  %s\n", c->list[i].text.c_str());
    };
    list("static objects", kStaticList);
    list("animated objects", kAnimList);
    auto text = [&](int id) {
        DialogWindow::Control* c = dialog.Find(id);
        return c ? c->text : std::string();
    };
    std::printf("frames: start %s, end %s, step %s\n", text(kStartFrame).c_str(),
                text(kEndFrame).c_str(), text(kFrameStep).c_str());
    DialogWindow::Control* centre = dialog.Find(kCentre);
    if (centre != nullptr)
        std::printf("centring on the biped: %s%s\n", centre->check == BST_CHECKED ? "on" : "off",
                    centre->enabled ? "" : " (no biped in the scene)");
}

bool Exists(const std::string& path, struct stat& st) {
    return ::stat(path.c_str(), &st) == 0;
}

// The textures the plug-in writes into the file: with --convert-textures each
// bitmap is handed to the plug-in under the name of its copy in textr/
// beside the file; without, the names stay and the images the viewer cannot
// read are counted. Either way the textures the viewer will not show are
// kept for the summary.
class ExportTextures {
public:
    ExportTextures(HostScene& scene, bool convert) : scene(scene), images(scene), convert(convert) {
        images.asciiNames = true;
        scene.SetBitmapNames([this](const std::string& path) {
            if (std::find(named.begin(), named.end(), path) == named.end()) named.push_back(path);
            return this->convert ? images.Use(path, notes) : path;
        });
    }
    ~ExportTextures() { scene.SetBitmapNames({}); }

    // After a written export: the copies into textr/ beside `out` (reported
    // on `report`), or the count of names the viewer cannot read. False when
    // a copy fails.
    bool Finish(const std::string& out, std::FILE* report) {
        unreadable.clear();
        const fs::path dir = fs::path(out).parent_path() / "textr";
        for (const std::string& n : notes)
            std::fprintf(stderr, "tessel-export: warning: %s\n", n.c_str());
        if (convert) {
            std::string error;
            if (!images.Write(dir.string(), error)) {
                std::fprintf(stderr, "tessel-export: %s\n", error.c_str());
                return false;
            }
            size_t converted = 0;
            for (const ViewerTextures::Output& t : images.Outputs())
                converted += t.converted ? 1 : 0;
            if (!images.Outputs().empty())
                std::fprintf(report, "textures: %zu written into %s (%zu converted to TGA)\n",
                             images.Outputs().size(), dir.string().c_str(), converted);
            unreadable = notes;  // each says why its texture was left out
            return true;
        }
        std::vector<std::string> converts, missing;
        for (const std::string& path : named) {
            const ViewerTextures::Readable r = images.Check(path);
            if (r == ViewerTextures::Readable::AfterConversion) converts.push_back(path);
            if (r == ViewerTextures::Readable::Missing) missing.push_back(path);
        }
        for (const std::string& path : converts)
            unreadable.push_back("texture '" + path +
                                 "': the viewer reads only BMP and TGA (--convert-textures "
                                 "converts it)");
        for (const std::string& path : missing)
            unreadable.push_back("texture '" + path + "': not found beside the scene");
        if (!converts.empty())
            std::fprintf(stderr,
                         "tessel-export: %zu of the %zu textures the file names are images the "
                         "viewer cannot read "
                         "(it reads BMP and TGA); --convert-textures writes them as TGA into %s\n",
                         converts.size(), named.size(), dir.string().c_str());
        for (const std::string& path : missing)
            std::fprintf(stderr, "tessel-export: texture '%s' is not found beside the scene\n",
                         path.c_str());
        return true;
    }

    // The textures the viewer will not show, each with the reason (after Finish).
    const std::vector<std::string>& Unreadable() const { return unreadable; }

private:
    HostScene& scene;
    ViewerTextures images;
    bool convert;
    std::vector<std::string> named;  // bitmap paths the plug-in asked for, in order
    std::vector<std::string> notes;
    std::vector<std::string> unreadable;
};

// Why a file cannot be made at `path`, as far as its folder tells; empty
// when the folder looks writable.
std::string WhyNotWritable(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return "folder '" + folder + "': " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return "'" + folder + "' is not a folder";
    if (::access(folder.c_str(), W_OK) != 0)
        return "folder '" + folder + "': " + std::strerror(errno);
    return std::string();
}

// Frames asked for outside the scene's range are moved into it by the
// export dialog; this says so.
void SayClampedFrames(const Options& o, HostScene& scene) {
    const int tpf = scene.TicksPerFrame();
    const int first = scene.AnimRange().Start() / tpf, last = scene.AnimRange().End() / tpf;
    if (o.answers.startFrame && std::atol(o.answers.startFrame->c_str()) < first)
        std::fprintf(stderr,
                     "tessel-export: --start %s is before the scene's first frame %d; the export "
                     "starts at %d\n",
                     o.answers.startFrame->c_str(), first, first);
    if (o.answers.endFrame && std::atol(o.answers.endFrame->c_str()) > last)
        std::fprintf(
            stderr,
            "tessel-export: --end %s is after the scene's last frame %d; the export ends at %d\n",
            o.answers.endFrame->c_str(), last, last);
}

// The end of a written export in English: the objects in the file (read
// back from its header when it is a regular file), those written empty as
// the plug-in's messages name them, and the textures the viewer will not show.
void PrintSummary(std::FILE* report, const std::string& out, bool regularFile,
                  const std::vector<std::string>& messages,
                  const std::vector<std::string>& textures) {
    std::fprintf(report, "summary:\n");
    unsigned char header[12];
    std::FILE* f = regularFile ? std::fopen(out.c_str(), "rb") : nullptr;
    if (f != nullptr && std::fread(header, 1, sizeof header, f) == sizeof header) {
        auto count = [&](int at) {
            return static_cast<int32_t>(uint32_t(header[at]) | uint32_t(header[at + 1]) << 8 |
                                        uint32_t(header[at + 2]) << 16 |
                                        uint32_t(header[at + 3]) << 24);
        };
        std::fprintf(report, "  objects written: %d (%d static, %d animated)\n",
                     count(4) + count(8), count(4), count(8));
    }
    if (f != nullptr) std::fclose(f);
    std::vector<EmptyObjectMessage> empty;
    for (const std::string& text : messages)
        if (std::optional<EmptyObjectMessage> e = EmptyObjectIn(text)) empty.push_back(*e);
    if (empty.empty())
        std::fprintf(report, "  written empty: none\n");
    else
        std::fprintf(report, "  written empty (%zu):\n", empty.size());
    for (const EmptyObjectMessage& e : empty)
        std::fprintf(report, "    '%s': %s\n", e.name.c_str(), e.reason.c_str());
    if (textures.empty())
        std::fprintf(report, "  textures the viewer cannot read: none\n");
    else
        std::fprintf(report, "  textures the viewer cannot read (%zu):\n", textures.size());
    for (const std::string& t : textures) std::fprintf(report, "    %s\n", t.c_str());
}

// A scene's arrays are large and each is filled once, and every first touch
// of a small page is a fault; the C library's allocator backs its memory
// with huge pages when GLIBC_TUNABLES asks for them, which spares most of
// those faults (about half the time of a large export). The setting is read
// only when a program starts, so the program starts itself once more with
// it; the importer it runs inherits it. Where that fails it runs on as it is.
// A small scene gains less than the second start costs, so it is read as it is.
void RestartWithHugePages(const std::string& scene, char** argv) {
#if defined(__linux__) && defined(__GLIBC__)
    struct stat st {};
    if (::stat(scene.c_str(), &st) != 0 || st.st_size < (off_t(4) << 20)) return;
    const char* current = std::getenv("GLIBC_TUNABLES");
    if (current != nullptr && std::strstr(current, "glibc.malloc.hugetlb") != nullptr) return;
    std::string value = current != nullptr && *current != '\0' ? std::string(current) + ":" : "";
    value += "glibc.malloc.hugetlb=1";
    if (::setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) return;
    ::execv("/proc/self/exe", argv);
#else
    (void)scene;
    (void)argv;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    // A write beyond the file size limit fails (and the export with it, leaving
    // any earlier file as it was) instead of ending the program mid-file.
    std::signal(SIGXFSZ, SIG_IGN);
    Options o;
    std::string error;
    if (!Parse(argc, argv, o, error)) {
        std::fprintf(stderr, "tessel-export: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    RestartWithHugePages(o.scene, argv);
    if (o.interactive && !QtCanShowWindows()) {
        // A window without a display, or on Qt's offscreen platform, is one
        // nobody can answer: the program would wait for ever.
        std::fprintf(
            stderr,
            "tessel-export: --interactive needs a display someone can answer the window on: set "
            "DISPLAY "
            "(or WAYLAND_DISPLAY); QT_QPA_PLATFORM=offscreen or minimal shows it to nobody\n");
        return 2;
    }

    const std::string limits = ImportLimits::EnvironmentProblem();
    if (!limits.empty()) {
        std::fprintf(stderr, "tessel-export: %s\n", limits.c_str());
        return 2;
    }

    std::unique_ptr<HostScene> scene = HostScene::Load(o.scene, error, o.size, o.animation);
    if (!scene) {
        std::fprintf(stderr, "tessel-export: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& w : scene->Warnings())
        std::fprintf(stderr, "tessel-export: warning: %s\n", w.c_str());
    const std::vector<std::string> missing = scene->Select(o.selection);
    if (!missing.empty()) {
        std::fprintf(stderr, "tessel-export: no node named '%s' in '%s'\n", missing[0].c_str(),
                     o.scene.c_str());
        return 1;
    }
    SetTicksPerFrame(scene->TicksPerFrame());

    std::unique_ptr<QApplication> app;
    int qtArgc = 1;
    if (o.interactive) app = OpenWindowApplication(qtArgc, argv, "tessel-export");

    ConsoleUi console;
    QtHostUi windows;
    HostUi& ui = o.interactive ? static_cast<HostUi&>(windows) : console;
    SetHostUi(&ui);
    HostInterface ip(*scene, ui);

    PluginLibrary plugin;
    if (!plugin.Load(o.plugin.empty() ? DefaultPluginPath() : o.plugin, "TSL", error)) {
        std::fprintf(stderr, "tessel-export: %s\n", error.c_str());
        SetHostUi(nullptr);
        return 1;
    }
    std::unique_ptr<SceneExport> exporter(plugin.CreateExporter());
    if (!exporter) {
        std::fprintf(stderr, "tessel-export: the plug-in could not create its exporter\n");
        SetHostUi(nullptr);
        return 1;
    }
    DWORD options = o.selectedOnly ? SCENE_EXPORT_SELECTED : 0;
    if (o.splitLarge) {
        if (!exporter->SupportsOptions(0, SCENE_EXPORT_SPLIT_LARGE)) {
            std::fprintf(stderr,
                         "tessel-export: the plug-in cannot split large objects (--split-large)\n");
            exporter.reset();
            SetHostUi(nullptr);
            return 1;
        }
        options |= SCENE_EXPORT_SPLIT_LARGE;
    }
    ExpInterface ei;

    if (o.list) {
        // The plug-in's own dialog fills the lists; it is cancelled once they are printed.
        bool shown = false;
        console.dialogAnswers = [&](DialogWindow& dialog) {
            if (dialog.Template().id == ExportDialogIds::kTemplate) {
                PrintDialog(*scene, dialog);
                shown = true;
            }
            dialog.Click(ExportDialogIds::kCancel);
        };
        exporter->DoExport(o.out.c_str(), &ei, &ip, FALSE, options);
        exporter.reset();
        SetHostUi(nullptr);
        if (!shown) {
            std::fprintf(stderr, "tessel-export: the plug-in showed no export dialog\n");
            return 1;
        }
        return 0;
    }

    std::vector<std::string> notListed;
    console.dialogAnswers = [&](DialogWindow& dialog) {
        AnswerExportDialog(dialog, o.answers, notListed);
    };
    windows.prepareDialog = [&](DialogWindow& dialog) { PresetExportDialog(dialog, o.answers); };
    if (!o.interactive) SayClampedFrames(o, *scene);
    if (!o.interactive && o.answers.take == ExportDialogAnswers::Take::None)
        std::fprintf(stderr,
                     "tessel-export: no objects chosen (--all or --select NAME...); the dialog is "
                     "cancelled\n");

    ExportTextures textures(*scene, o.convertTextures);
    struct stat before {};
    const bool existed = Exists(o.out, before);
    if (!o.interactive) ConsoleUi::CatchInterrupt();
    const int result = exporter->DoExport(o.out.c_str(), &ei, &ip, FALSE, options);
    const bool cancelled = ui.CancelRequested();
    exporter.reset();
    SetHostUi(nullptr);

    for (const std::string& name : notListed)
        std::fprintf(stderr, "tessel-export: '%s' is not in the export dialog's lists\n",
                     name.c_str());
    if (result == 0) {
        const std::string why = WhyNotWritable(o.out);
        std::fprintf(stderr, "tessel-export: the export failed; '%s' could not be written%s%s\n",
                     o.out.c_str(), why.empty() ? "" : ": ", why.c_str());
        return 1;
    }
    struct stat after {};
    // A target that is no regular file (a pipe, a terminal) keeps no time of its
    // last write: the plug-in's result says it was written.
    const bool written =
        Exists(o.out, after) &&
        (!existed || !S_ISREG(after.st_mode) || after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
         after.st_mtim.tv_nsec != before.st_mtim.tv_nsec || after.st_ino != before.st_ino);
    if (!written) {
        if (cancelled)
            std::fprintf(stderr,
                         "tessel-export: the export was cancelled; '%s' was left as it was\n",
                         o.out.c_str());
        else
            std::fprintf(stderr, "tessel-export: the export ended without writing '%s'\n",
                         o.out.c_str());
        return 1;
    }
    // A file written to standard output itself (/dev/stdout) is not followed by the report.
    struct stat standardOutput {};
    const bool toStandardOutput = ::fstat(STDOUT_FILENO, &standardOutput) == 0 &&
                                  standardOutput.st_dev == after.st_dev &&
                                  standardOutput.st_ino == after.st_ino;
    std::fprintf(toStandardOutput ? stderr : stdout, "wrote %s\n", o.out.c_str());
    if (scene->FrameRate() != 30.0)
        std::fprintf(stderr, "tessel-export: %s\n", RateNote(*scene).c_str());
    std::FILE* report = toStandardOutput ? stderr : stdout;
    if (!textures.Finish(o.out, report)) return 1;
    // The window showed its messages itself; the summary is the terminal's.
    if (!o.interactive)
        PrintSummary(report, o.out, S_ISREG(after.st_mode), console.Messages(),
                     textures.Unreadable());
    return 0;
}
