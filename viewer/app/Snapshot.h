// The headless mode: the scene with the files and settings of the command
// line, rendered once into an off-screen framebuffer on an EGL surfaceless
// context (no display, no GPU needed) and written as a PNG image.
#pragma once

#include <string>

#include "CommandLine.h"

// The program's exit status: 0 when the image was written, 1 when something
// failed (the reason is printed to standard error).
int RunSnapshot(const ViewerOptions& options, const std::string& programTextureDirectory);

// The texture directory beside the running program: its folder + "/textr/".
std::string ProgramTextureDirectory();
