// Running the project's programs (and other commands) as a user runs them:
// the exit status and everything they print.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

struct ProgramRun {
    int status = -1;  // exit status; -1 when ended by a signal
    int signal = 0;   // the signal that ended it, also as a shell reports one (128 + N)
    std::string out;  // standard output and standard error together
};

// Runs a shell command line, collecting both output streams.
inline ProgramRun RunCommand(const std::string& command) {
    ProgramRun r;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    if (WIFSIGNALED(st)) r.signal = WTERMSIG(st);
    if (r.status > 128) r.signal = r.status - 128;
    return r;
}

// Runs one of the built programs (BIN_DIR) with `args` (already quoted).
inline ProgramRun RunProgram(const std::string& program, const std::string& args) {
    return RunCommand(std::string(BIN_DIR) + "/" + program + " " + args);
}

// A path or word quoted for the shell.
inline std::string Q(const std::string& s) {
    return "'" + s + "'";
}

inline bool Has(const ProgramRun& r, const std::string& text) {
    return r.out.find(text) != std::string::npos;
}
