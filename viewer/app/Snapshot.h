// The headless mode: the scene with the files and settings of the command
// line, rendered once into an off-screen framebuffer on an EGL surfaceless
// context (no display, no GPU needed) and written as a PNG image.
#pragma once

#include <string>

#include "viewer/app/CommandLine.h"

class CMainFrame;

// The program's exit status: 0 when the image was written, 1 when something
// failed (the reason is printed to standard error).
int RunSnapshot(const ViewerOptions& options, const std::string& programTextureDirectory);

// The texture directory beside the running program: its folder + "/textr/".
std::string ProgramTextureDirectory();
// The texture directory of a program file: its folder + "/textr/" ("textr/"
// for a bare file name, which lives in the current directory).
std::string TextureDirectoryOf(const std::string& programPath);

// The view, light, colour, wire-frame and show settings of the command line,
// put into the scene before its device is made.
void ApplyViewOptions(const ViewerOptions& options, CMainFrame& frame);
// Opens the command line's files into their slots through the open commands
// (their problems go to the frame's message box). False when any file could
// not be taken.
bool OpenCommandLineFiles(const ViewerOptions& options, CMainFrame& frame);
