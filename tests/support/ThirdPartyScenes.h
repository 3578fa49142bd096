// Third-party scene files for the tests. The few that tests name are kept in
// tests/data/scenes with their licences, so a clone alone passes; the wide
// sweeps read the full collection (PIPELINE_TESTDATA_DIR) when it is present
// and are skipped otherwise, except under CI=true, where a missing collection
// fails them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

// A scene kept with the tests, by its path below its source repository.
inline std::string SharedScene(const std::string& relative) {
    return std::string(TEST_DATA_DIR) + "/scenes/" + relative;
}

// A scene of the full collection.
inline std::string CorpusScene(const std::string& relative) {
    return std::string(SHARED_TESTDATA_DIR) + "/" + relative;
}

inline bool CorpusPresent() {
    return std::filesystem::exists(CorpusScene("MANIFEST.md"));
}

inline bool RunningInCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0;
}

// Skips the calling test when the full collection is missing (fails it in CI).
#define REQUIRE_SCENE_CORPUS()                                                                  \
    do {                                                                                        \
        if (!CorpusPresent()) {                                                                 \
            if (RunningInCi())                                                                  \
                FAIL() << "third-party scene collection missing: " << SHARED_TESTDATA_DIR;      \
            GTEST_SKIP() << "third-party scene collection not found in " << SHARED_TESTDATA_DIR \
                         << " (set PIPELINE_TESTDATA_DIR): sweep skipped";                      \
        }                                                                                       \
    } while (0)
