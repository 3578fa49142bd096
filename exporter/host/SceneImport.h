// Reading a scene file with Assimp in a separate process. The importer has
// faults of its own on malformed files (it crashes, fails an assertion, or
// allocates without end); in a process of their own they end only that
// process, and the host reports them as the file's problem and goes on. The
// host starts the importer program (tessel-import) for each file; it hands
// the scene back as bytes (SceneTransfer.h) through a pipe.
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

// The importer program, installed with the host (HostFiles.h).
constexpr const char* kImporterProgramName = "tessel-import";
// Environment variable naming another importer program to run instead: a
// diagnostic hook (a build of the importer with more checks, or one that
// misbehaves on purpose to see what the host makes of it).
constexpr const char* kImporterProgramVariable = "TESSEL_IMPORTER";

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

// The importer program: the one TESSEL_IMPORTER names, else the installed one.
std::string ImporterProgram();

// The importer program's work: reads `path` with those settings and writes
// the result to standard output (a status byte, the length of what follows
// as 8 bytes in the machine's order, then the scene's bytes or the
// importer's reason for refusing the file). Anything the importer prints
// goes to standard error. With `parent` above 0 the process ends when that
// process does (and at once if it is already gone). Returns the exit status:
// 0 when the result was written, 2 when it could not be, 3 when the parent is gone.
int RunImporter(const std::string& path, long parent);

// Reads `path` with those settings in the importer program within `limits`
// and returns the scene it read. Null with the reason in `why` (without the
// file name) when the importer refuses the file, crashes on it, or runs past
// a limit, or when the importer program cannot be started.
std::unique_ptr<aiScene> ImportSceneIsolated(const std::string& path, const ImportLimits& limits,
                                             std::string& why);
