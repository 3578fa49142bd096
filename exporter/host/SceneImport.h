// Reading a scene file with Assimp in a child process. The importer has
// faults of its own on malformed files (it crashes, fails an assertion, or
// allocates without end); in a child they end only the child, and the host
// reports them as the file's problem and goes on. The child hands the scene
// back as bytes (SceneTransfer.h) through a pipe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct aiScene;
namespace Assimp {
class Importer;
}

// Environment variables that change the limits of the importing process.
constexpr const char* kImportTimeLimitVariable = "TESSEL_IMPORT_TIME_LIMIT";      // seconds
constexpr const char* kImportMemoryLimitVariable = "TESSEL_IMPORT_MEMORY_LIMIT";  // megabytes

struct ImportLimits {
    double seconds = 120.0;   // wall-clock time the importer may take
    size_t megabytes = 2048;  // resident memory the importing process may hold

    // The defaults (the memory limit at most half of the machine's memory),
    // each replaced by its environment variable when that holds a positive number.
    static ImportLimits FromEnvironment();
    // The first limit variable that is set but holds no positive number, as
    // "NAME='VALUE' is not a positive number of UNIT"; empty when none.
    static std::string EnvironmentProblem();
};

// Scene files larger than this (1 GiB) are refused before they are read.
constexpr uint64_t kMaxSceneFileBytes = uint64_t{1} << 30;

// Whether `path` can be read as a scene: a regular file that this process
// may open, of at most kMaxSceneFileBytes. Checked without waiting (a FIFO
// without a writer is refused, not waited on). False with the problem in
// `why` (without the file name); `cannotOpen` tells an unopenable file apart.
bool CheckSceneFile(const std::string& path, std::string& why, bool& cannotOpen);

// The host's importer settings: what the package's own importer would do
// (pivots folded, empty bones kept, polygons triangulated, the result validated).
void ConfigureImporter(Assimp::Importer& importer);
unsigned ImportFlags();

// Reads `path` with those settings in this process. Null with the importer's
// reason in `why` when it refuses the file.
const aiScene* ReadSceneInProcess(Assimp::Importer& importer, const std::string& path,
                                  std::string& why);

// Reads `path` with those settings in a child process within `limits` and
// returns the scene it read. Null with the reason in `why` (without the file
// name) when the importer refuses the file, crashes on it, or runs past a limit.
std::unique_ptr<aiScene> ImportSceneIsolated(const std::string& path, const ImportLimits& limits,
                                             std::string& why);
