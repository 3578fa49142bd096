// The third-party scenes of the shared test data as its index describes
// them: ASSIMP_INFO.txt says how Assimp 5.2.5 fares with each scene (read,
// refused, or crashed), MANIFEST.md what each file exercises.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/ThirdPartyScenes.h"

struct TestdataScene {
    std::string path;        // relative to the test data directory
    std::string outcome;     // "OK", "FAIL(rc=3)", "SIGSEGV(rc=-11)", ...
    bool malformed = false;  // the manifest calls it malformed, fuzzed or empty
    bool Reads() const { return outcome == "OK"; }
};

inline std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(' ');
    const size_t e = s.find_last_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

inline std::vector<std::string> SplitColumns(const std::string& line) {
    std::vector<std::string> columns;
    size_t start = 0;
    for (;;) {
        const size_t bar = line.find('|', start);
        columns.push_back(
            Trim(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start)));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return columns;
}

// Every scene the Assimp summary lists, marked malformed as the manifest says.
inline std::vector<TestdataScene> TestdataScenes() {
    const std::string root = CorpusScene("");
    std::vector<TestdataScene> scenes;
    std::ifstream info(root + "/ASSIMP_INFO.txt");
    std::string line;
    while (std::getline(info, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> c = SplitColumns(line);
        if (c.size() < 3) continue;
        scenes.push_back({c[0], c[2], false});
    }
    std::ifstream manifest(root + "/MANIFEST.md");
    while (std::getline(manifest, line)) {
        const std::vector<std::string> c = SplitColumns(line);
        if (c.size() < 4) continue;
        const std::string& what = c[3];
        const bool bad = what.find("malformed") != std::string::npos ||
                         what.find("fuzz") != std::string::npos ||
                         what.find("empty file") != std::string::npos;
        for (TestdataScene& s : scenes)
            if (s.path == c[0]) s.malformed = bad;
    }
    return scenes;
}
