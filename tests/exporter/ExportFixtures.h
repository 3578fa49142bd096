// Helpers of the export tests: records written by the writers into real
// files and read back field by field, and whole exports run through the
// plug-in's driver with the dialog answered. Whole files are read back with
// the viewer's reader (TesselModel.h).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "exporter/host/DialogAnswers.h"
#include "exporter/plugin/TesselExp.h"
#include "exporter/writer/TesselWriter.h"
#include "tests/exporter/SceneFiles.h"
#include "tests/support/RecordingHostUi.h"
#include "viewer/model/TesselModel.h"

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    return bytes;
}

inline bool WriteBytes(const std::string& path, const std::string& content) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    return std::fclose(f) == 0 && ok;
}

// Runs `write` on a writer over a fresh file and returns the file's bytes.
inline std::vector<uint8_t> WriteWith(const TempDir& dir,
                                      const std::function<void(TesselWriter&)>& write) {
    const std::string path = dir.File("record.bin");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (!f) return {};
    {
        TesselOutput out(f);
        TesselWriter w(out);
        write(w);
        EXPECT_FALSE(out.Failed());
    }
    std::fclose(f);
    return ReadBytes(path);
}

// A whole file read back with the viewer's reader.
inline TesselFileData ReadTessel(const std::vector<uint8_t>& bytes) {
    TesselFileData data;
    std::string error;
    EXPECT_TRUE(ParseTesselFile(bytes.data(), bytes.size(), data, error)) << error;
    return data;
}
inline TesselFileData ReadTessel(const std::string& path) {
    return ReadTessel(ReadBytes(path));
}

// One object record written by `write` after a header and an empty texture
// reference, read back with the viewer's reader.
struct WrittenObject {
    std::vector<uint8_t> bytes;
    TesselFileData data;
};
inline WrittenObject WriteObject(const TempDir& dir, bool animated, int32_t frames,
                                 const std::function<void(TesselWriter&)>& write) {
    WrittenObject o;
    o.bytes = WriteWith(dir, [&](TesselWriter& w) {
        TesselOutput& out = w.Output();
        out.WriteInt32(frames);
        out.WriteInt32(animated ? 0 : 1);
        out.WriteInt32(animated ? 1 : 0);
        out.WriteInt32(0);
        write(w);
    });
    o.data = ReadTessel(o.bytes);
    return o;
}

// One export through the driver, the dialog answered by `answer`.
struct ExportRun {
    int result = -1;
    std::vector<RecordingHostUi::Message> messages;
    std::vector<int> progress;
    std::vector<std::string> dialogs;
};

inline ExportRun RunExport(HostScene& scene, TesselExp& exp, const std::string& out,
                           const std::function<void(DialogWindow&)>& answer, DWORD options = 0,
                           const std::function<void(RecordingHostUi&)>& setUp = {}) {
    RecordingHostUi ui;
    ui.answer = answer;
    if (setUp) setUp(ui);
    HostInterface ip(scene, ui);
    ExportRun run;
    run.result = exp.DoExport(out.c_str(), nullptr, &ip, FALSE, options);
    run.messages = ui.messages;
    run.progress = ui.progress;
    run.dialogs = ui.dialogs;
    exportSelected = FALSE;
    return run;
}

inline std::function<void(DialogWindow&)> Answer(const ExportDialogAnswers& answers) {
    return [answers](DialogWindow& d) {
        std::vector<std::string> missing;
        AnswerExportDialog(d, answers, missing);
        EXPECT_TRUE(missing.empty());
    };
}

inline std::function<void(DialogWindow&)> SaveAll(const std::string& start = "",
                                                  const std::string& end = "",
                                                  const std::string& step = "",
                                                  bool centre = true) {
    ExportDialogAnswers a;
    a.take = ExportDialogAnswers::Take::All;
    if (!start.empty()) a.startFrame = start;
    if (!end.empty()) a.endFrame = end;
    if (!step.empty()) a.frameStep = step;
    a.centre = centre;
    return Answer(a);
}
