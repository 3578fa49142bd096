#include "exporter/host/ConsoleUi.h"

#include <unistd.h>

#include <csignal>

#include "exporter/host/HostDialog.h"
#include "exporter/host/MessageGlosses.h"

namespace {
volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
    if (g_interrupted) {
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
        return;
    }
    g_interrupted = 1;
}

// A text of the plug-in followed by its gloss, when it has one.
std::string Glossed(const std::string& text) {
    const std::string gloss = EnglishGloss(text);
    return gloss.empty() ? text : text + " (" + gloss + ")";
}
}  // namespace

ConsoleUi::ConsoleUi(std::FILE* out) : out(out), terminal(out != nullptr && isatty(fileno(out))) {}

ConsoleUi::~ConsoleUi() {
    if (progressOn) ProgressEnd();
}

void ConsoleUi::CatchInterrupt() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
}

void ConsoleUi::MessageBox(const std::string& text, const std::string& caption) {
    if (progressOn && terminal) std::fputc('\n', out);
    messages.push_back(text);
    std::fprintf(out, "[%s] %s\n", Glossed(caption).c_str(), Glossed(text).c_str());
    if (progressOn) Draw();
    std::fflush(out);
}

void ConsoleUi::Draw() {
    if (!terminal) return;
    const int width = 30;
    const int filled = percent * width / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(width - filled), '-');
    if (showPercent)
        std::fprintf(out, "\r%s [%s] %3d%%", title.c_str(), bar.c_str(), percent);
    else
        std::fprintf(out, "\r%s [%s]", title.c_str(), bar.c_str());
    std::fflush(out);
}

void ConsoleUi::ProgressStart(const std::string& t) {
    title = Glossed(t);
    percent = 0;
    progressOn = true;
    if (terminal)
        Draw();
    else
        std::fprintf(out, "%s\n", title.c_str());
}

void ConsoleUi::ProgressUpdate(int pct, bool showPct, const std::string* t) {
    percent = pct < 0 ? 0 : (pct > 100 ? 100 : pct);
    showPercent = showPct;
    if (t) title = Glossed(*t);
    Draw();
}

void ConsoleUi::ProgressEnd() {
    if (!progressOn) return;
    progressOn = false;
    if (terminal) std::fputc('\n', out);
    std::fflush(out);
}

bool ConsoleUi::CancelRequested() {
    return g_interrupted != 0;
}

void ConsoleUi::SetCancel(bool cancel) {
    g_interrupted = cancel ? 1 : 0;
}

void ConsoleUi::Assertion(const std::string& file, int line) {
    std::fprintf(out, "[Assertion] %s, line %d\n", file.c_str(), line);
}

void ConsoleUi::RunDialog(DialogWindow& dialog) {
    if (dialogAnswers) dialogAnswers(dialog);
    if (!dialog.Ended()) dialog.Close();
}
