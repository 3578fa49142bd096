// make-bench-scenes DIR: writes the export benchmarks' scenes into DIR as
// static_1m.glb (16 meshes, 1,000,000 triangles) and moving_12100.glb (one
// skinned object of 12,100 vertices moving for 301 frames).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "bench/BenchScenes.h"

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf(
            "usage: make-bench-scenes DIR\n"
            "Writes DIR/static_1m.glb (16 meshes, 1,000,000 triangles) and\n"
            "DIR/moving_12100.glb (a skinned object of 12,100 vertices over 301 frames).\n");
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: make-bench-scenes DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "make-bench-scenes: %s: %s\n", dir.c_str(), error.message().c_str());
        return 1;
    }
    const std::string still = (dir / "static_1m.glb").string();
    const std::string moving = (dir / "moving_12100.glb").string();
    for (const std::string& path : {still, moving}) {
        const bool written =
            path == still ? WriteStaticMillionScene(path) : WriteMovingObjectScene(path);
        if (!written) {
            std::fprintf(stderr, "make-bench-scenes: %s: cannot write the file\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
