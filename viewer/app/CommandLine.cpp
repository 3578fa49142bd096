#include "viewer/app/CommandLine.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "viewer/model/ModelKind.h"

namespace {

bool ParseFloat(const std::string& text, float& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v)) return false;
    if (std::fabs(v) > 3.0e38) return false;
    value = static_cast<float>(v);
    return true;
}

bool ParseInt(const std::string& text, long low, long high, long& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size() || v < low || v > high) return false;
    value = v;
    return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) break;
        start = at + 1;
    }
    return parts;
}

bool ParseColour(const std::string& text, int rgb[3]) {
    const std::vector<std::string> parts = Split(text, ',');
    if (parts.size() != 3) return false;
    for (int i = 0; i < 3; ++i) {
        long v = 0;
        if (!ParseInt(parts[i], 0, 255, v)) return false;
        rgb[i] = static_cast<int>(v);
    }
    return true;
}

// "SLOT=VALUE" with SLOT in [low, high].
bool ParseSlot(const std::string& text, long high, int& slot, std::string& value) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos) return false;
    long s = 0;
    if (!ParseInt(text.substr(0, eq), 0, high, s)) return false;
    slot = static_cast<int>(s);
    value = text.substr(eq + 1);
    return true;
}

// A file named without an option goes where its extension says; parts are
// placed once every --part has taken its slot.
bool PlaceFile(const std::string& file, ViewerOptions& o, std::vector<std::string>& parts,
               std::string& error) {
    const ModelKind kind = ModelKindOfName(file);
    std::string* single = kind == ModelKind::Biped    ? &o.biped
                          : kind == ModelKind::Tessel ? &o.tessel
                                                      : nullptr;
    if (single != nullptr) {
        if (!single->empty()) {
            error = "'" + file + "': a second " +
                    (kind == ModelKind::Biped ? "skeleton" : "Tessel model") + " file (one only)";
            return false;
        }
        *single = file;
        return true;
    }
    if (kind == ModelKind::Part) {
        parts.push_back(file);
        return true;
    }
    error = "'" + file + "': not a viewer file or option (files: .bpd, .mrv or .tsl; see --help)";
    return false;
}

bool PlaceParts(const std::vector<std::string>& files, ViewerOptions& o, std::string& error) {
    int slot = 0;
    for (const std::string& file : files) {
        while (slot < 5 && o.parts.count(slot) != 0) ++slot;
        if (slot == 5) {
            error = "'" + file + "': no free part slot (five parts at most)";
            return false;
        }
        o.parts[slot] = file;
    }
    return true;
}

}  // namespace

bool ParseViewerOptions(int argc, const char* const* argv, ViewerOptions& o, std::string& error) {
    std::vector<std::string> positionalParts;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (!option.empty() && option[0] != '-') {
            if (!PlaceFile(option, o, positionalParts, error)) return false;
            continue;
        }
        if (option == "--help" || option == "-h") {
            o.help = true;
            continue;
        }
        if (option == "--wireframe") {
            o.wireframe = true;
            continue;
        }
        if (option == "--play") {
            o.play = true;
            continue;
        }
        if (option == "--fit") {
            o.fit = true;
            continue;
        }
        static const char* const withValue[] = {
            "--snapshot",   "--size",  "--ticks", "--yaw",   "--pitch", "--pan",    "--fov",
            "--background", "--light", "--show",  "--biped", "--part",  "--tessel", "--screenshot"};
        bool known = false;
        for (const char* name : withValue) known = known || option == name;
        if (!known) {
            error = "unknown option '" + option + "' (see --help)";
            return false;
        }
        if (i + 1 >= argc) {
            error = option + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        auto bad = [&](const std::string& expected) {
            error = option + " '" + value + "': " + expected;
            return false;
        };
        if (option == "--snapshot") {
            if (value.empty()) return bad("a file name is needed");
            o.snapshot = true;
            o.snapshotPath = value;
        } else if (option == "--size") {
            const std::vector<std::string> wh = Split(value, 'x');
            long w = 0, h = 0;
            if (wh.size() != 2 || !ParseInt(wh[0], 1, 16384, w) || !ParseInt(wh[1], 1, 16384, h))
                return bad("expected WIDTHxHEIGHT, each 1 to 16384");
            o.hasSize = true;
            o.width = static_cast<uint32_t>(w);
            o.height = static_cast<uint32_t>(h);
        } else if (option == "--screenshot") {
            if (value.empty()) return bad("a file name is needed");
            o.screenshot = true;
            o.screenshotPath = value;
        } else if (option == "--ticks") {
            long n = 0;
            if (!ParseInt(value, 0, 1000000, n)) return bad("expected a count from 0 to 1000000");
            o.ticks = static_cast<int32_t>(n);
        } else if (option == "--yaw") {
            if (!ParseFloat(value, o.yaw)) return bad("expected an angle in radians");
            o.hasYaw = true;
        } else if (option == "--pitch") {
            if (!ParseFloat(value, o.pitch)) return bad("expected an angle in radians");
            o.hasPitch = true;
        } else if (option == "--fov") {
            // The range the mouse allows.
            if (!ParseFloat(value, o.fov) || o.fov < 0.03f || o.fov > 3.141592f)
                return bad("expected a field of view from 0.03 to 3.141592 radians");
            o.hasFov = true;
        } else if (option == "--pan") {
            const std::vector<std::string> xy = Split(value, ',');
            if (xy.size() != 2 || !ParseFloat(xy[0], o.panX) || !ParseFloat(xy[1], o.panY))
                return bad("expected X,Y");
            o.hasPan = true;
        } else if (option == "--background") {
            if (!ParseColour(value, o.background)) return bad("expected R,G,B, each 0 to 255");
            o.hasBackground = true;
        } else if (option == "--light") {
            if (!ParseColour(value, o.light)) return bad("expected R,G,B, each 0 to 255");
            o.hasLight = true;
        } else if (option == "--show") {
            int slot = 0;
            std::string shown;
            if (!ParseSlot(value, 6, slot, shown) || (shown != "0" && shown != "1"))
                return bad("expected SLOT=0 or SLOT=1 with SLOT from 0 to 6");
            o.show[slot] = shown == "1";
        } else if (option == "--biped") {
            if (value.empty()) return bad("a file name is needed");
            o.biped = value;
        } else if (option == "--part") {
            int slot = 0;
            std::string file;
            if (!ParseSlot(value, 4, slot, file) || file.empty())
                return bad("expected SLOT=FILE with SLOT from 0 to 4");
            o.parts[slot] = file;
        } else if (option == "--tessel") {
            if (value.empty()) return bad("a file name is needed");
            o.tessel = value;
        }
    }
    return PlaceParts(positionalParts, o, error);
}

std::string ViewerUsage() {
    return "Usage: zintaro [FILE.bpd] [FILE.mrv]... [FILE.tsl] [--biped FILE] [--part "
           "SLOT=FILE]...\n"
           "               [--tessel FILE] [--play] [--fit] [--screenshot OUT.png]\n"
           "               [the settings below but --ticks]\n"
           "       zintaro --snapshot OUT.png [--size WxH] [--ticks N] [--yaw R] [--pitch R]\n"
           "               [--pan X,Y] [--fov R] [--background R,G,B] [--light R,G,B]\n"
           "               [--wireframe] [--show SLOT=0|1]... [files as above]\n"
           "\n"
           "Shows a character (a biped skeleton animation .bpd and up to five character\n"
           "parts .mrv) beside a Tessel model (.tsl).\n"
           "\n"
           "  FILE                 open a model file by its extension: .bpd the skeleton,\n"
           "                       .mrv the next free part slot, .tsl the Tessel model\n"
           "  --biped FILE         open a biped skeleton animation\n"
           "  --part SLOT=FILE     open a character part into slot 0 body, 1 helmet,\n"
           "                       2 armour, 3 weapon, 4 shoes\n"
           "  --tessel FILE        open a Tessel model\n"
           "  --play               start the animation playing\n"
           "  --screenshot OUT.png let the viewer run for two seconds, save a picture of its\n"
           "                       window and control panel, and quit (messages are printed\n"
           "                       instead of shown)\n"
           "  --snapshot OUT.png   render one frame without a window and write it as PNG\n"
           "  --size WxH           image size, or the window's view size, in pixels\n"
           "                       (default 800x600)\n"
           "  --ticks N            animation ticks run before the frame (default 1)\n"
           "  --yaw R, --pitch R   turn the view (radians)\n"
           "  --pan X,Y            move the view (default 0,-10)\n"
           "  --fov R              field of view, 0.03 to 3.141592 (default 0.6)\n"
           "  --background R,G,B  background colour, 0-255 each (default 0,0,0)\n"
           "  --light R,G,B       light colour, 0-255 each (default 255,255,255)\n"
           "  --wireframe          draw the models as wire frames\n"
           "  --fit                choose pan, field of view and distance so the shown\n"
           "                       models fill the view (without it the camera frames a\n"
           "                       character about 18 units tall standing at the origin)\n"
           "  --show SLOT=0|1      hide or show a slot: 0-4 parts, 5 skeleton (hidden at\n"
           "                       start), 6 Tessel model\n"
           "  --help               this text\n"
           "\n"
           "Textures are looked up in the folder \"textr\" of the model file's folder when it\n"
           "has one, else in \"textr\" beside the program, then in $ZINTARO_MEDIA_DIR and\n"
           "the current directory.\n";
}
