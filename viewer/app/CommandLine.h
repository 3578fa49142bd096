// The viewer's command line: model files to open into their slots, and the
// headless snapshot with its view, light and colour settings.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct ViewerOptions {
    bool help = false;

    // Files opened at start: the skeleton, character parts by slot (0-4), the Tessel model.
    std::string biped;
    std::map<int, std::string> parts;
    std::string tessel;

    // The viewer window: start playing; take a picture of the window and the
    // control panel after a moment and quit (messages then go to standard
    // error instead of message boxes).
    bool play = false;
    bool screenshot = false;
    std::string screenshotPath;

    // Headless snapshot: one frame rendered into OUT.png.
    bool snapshot = false;
    std::string snapshotPath;
    bool hasSize = false;
    uint32_t width = 800;
    uint32_t height = 600;
    int32_t ticks = 1;
    bool hasYaw = false, hasPitch = false, hasPan = false, hasFov = false;
    float yaw = 0, pitch = 0, panX = 0, panY = 0, fov = 0;
    bool hasBackground = false, hasLight = false;
    int background[3] = {0, 0, 0};
    int light[3] = {255, 255, 255};
    bool wireframe = false;
    std::map<int, bool> show;  // slot 0-6 -> shown
    // Pan, field of view and distance chosen so the shown models fill the view.
    bool fit = false;
};

// Reads argv[1..]. Arguments that are not options are model files opened by
// their extension: .bpd the skeleton, .mrv the next free part slot, .tsl the
// Tessel model. False with a message naming the option or file when it is
// unknown, lacks its value, or the value is impossible (out of range, not a
// number).
bool ParseViewerOptions(int argc, const char* const* argv, ViewerOptions& options,
                        std::string& error);

// The --help text.
std::string ViewerUsage();
