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

#include "DialogAnswers.h"
#include "RecordingHostUi.h"
#include "SceneFiles.h"
#include "TesselExp.h"
#include "TesselModel.h"
#include "TesselWriter.h"

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

// Reads back the fields of written bytes.
class FieldReader {
public:
    explicit FieldReader(const std::vector<uint8_t>& bytes) : b(bytes) {}
    int32_t Int() {
        int32_t v = 0;
        Take(&v, 4);
        return v;
    }
    float Float() {
        float v = 0;
        Take(&v, 4);
        return v;
    }
    std::string Bytes(size_t n) {
        std::string s;
        if (at + n <= b.size()) s.assign(reinterpret_cast<const char*>(b.data() + at), n);
        at += n;
        return s;
    }
    TesselVertex Vertex() {
        TesselVertex v{};
        Take(&v, sizeof v);
        return v;
    }
    bool AtEnd() const { return at == b.size(); }
    size_t Offset() const { return at; }

private:
    void Take(void* p, size_t n) {
        if (at + n <= b.size()) std::memcpy(p, b.data() + at, n);
        else ADD_FAILURE() << "read past the end at " << at;
        at += n;
    }
    const std::vector<uint8_t>& b;
    size_t at = 0;
};

// A mesh part read back: vertex blocks (one for a static part) and faces.
struct MeshPart {
    int32_t vertexCount = 0;
    std::vector<std::vector<TesselVertex>> blocks;
    std::vector<int32_t> indices;
};

inline MeshPart ReadMeshPart(FieldReader& r, int32_t frames = 1) {
    MeshPart m;
    m.vertexCount = r.Int();
    for (int32_t f = 0; f < frames; ++f) {
        m.blocks.emplace_back();
        for (int32_t i = 0; i < m.vertexCount; ++i) m.blocks.back().push_back(r.Vertex());
    }
    const int32_t faces = r.Int();
    for (int32_t i = 0; i < 3 * faces; ++i) m.indices.push_back(r.Int());
    return m;
}

// Runs `write` on a writer over a fresh file and returns the file's bytes.
inline std::vector<uint8_t> WriteWith(const TempDir& dir, const std::function<void(TesselWriter&)>& write) {
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

inline std::function<void(DialogWindow&)> SaveAll(const std::string& start = "", const std::string& end = "",
                                                  const std::string& step = "", bool centre = true) {
    ExportDialogAnswers a;
    a.take = ExportDialogAnswers::Take::All;
    if (!start.empty()) a.startFrame = start;
    if (!end.empty()) a.endFrame = end;
    if (!step.empty()) a.frameStep = step;
    a.centre = centre;
    return Answer(a);
}
