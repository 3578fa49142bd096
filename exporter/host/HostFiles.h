// Files installed with the host program: the export plug-in and the importer
// program. Each is found relative to the running program, so the build tree
// and an installed tree work wherever they are.
#pragma once

#include <string>

// `name` beside the running program (the build tree), else in the host's
// folder relative to it (the installed tree: lib/tessel-export beside bin/).
// The path beside the program when neither exists.
std::string HostFile(const std::string& name);
