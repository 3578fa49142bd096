// Frames per second of the viewer's window while the demo content plays: the
// main window with its control panel on a real X display (run it under
// `xvfb-run -a -s "-screen 0 1280x1024x24"`), the demo's character with its
// five parts and the village at the window's first size, the idle loop
// drawing frame after frame as the program does after --play.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSurfaceFormat>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/support/RecordingUiServices.h"
#include "tests/support/TempDir.h"
#include "viewer/app/MainFrameWindow.h"
#include "viewer/app/ViewerApp.h"

namespace {

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

void BM_WindowPlayingDemo(benchmark::State& state) {
    TempDir dir;
    const std::string demo = dir.File("demo");
    if (std::system(
            (std::string(BIN_DIR) + "/make-demo-content '" + demo + "' >/dev/null 2>&1").c_str()) !=
        0) {
        state.SkipWithError("make-demo-content failed");
        return;
    }
    ViewerOptions options;
    options.biped = demo + "/demo.bpd";
    const char* parts[] = {"body", "helmet", "armour", "weapon", "shoes"};
    for (int slot = 0; slot < 5; ++slot) options.parts[slot] = demo + "/" + parts[slot] + ".mrv";
    options.tessel = demo + "/village.tsl";
    options.play = true;

    RecordingUiServices ui;  // the software-rendering notice must not wait for a click
    CViewerApp app;
    std::string error;
    if (!app.InitInstance(options, std::string(BIN_DIR) + "/zintaro", error, &ui)) {
        state.SkipWithError(error.c_str());
        return;
    }
    ViewWidget* view = app.MainWindow()->View();
    QElapsedTimer waited;
    waited.start();
    while (!(app.m_bPlaying && view->PresentCount() > 2) && waited.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!app.m_bPlaying) {
        state.SkipWithError("the window did not start playing");
        return;
    }
    const double cpuBefore = ProcessCpuSeconds();
    for (auto _ : state) {
        const int presented = view->PresentCount();
        while (view->PresentCount() == presented)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    // Processor time of the whole process (the rasteriser's threads too) per
    // frame: less sensitive to other work on the machine than the rate.
    state.counters["cpu_ms_per_frame"] =
        1000.0 * (ProcessCpuSeconds() - cpuBefore) / static_cast<double>(state.iterations());
    app.MainWindow()->close();
}
BENCHMARK(BM_WindowPlayingDemo)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QSurfaceFormat::setDefaultFormat(ViewerSurfaceFormat());
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
