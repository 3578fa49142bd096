// write-damaged-corpus DIR: writes the damaged-file tables of the model
// readers as files, DIR/<kind>/NN-what-is-wrong.<ext>, replacing what the
// kind directories held.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/model/DamagedFiles.h"

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fprintf(argc == 2 ? stdout : stderr,
                     "usage: write-damaged-corpus DIR\n"
                     "\n"
                     "Writes every damaged-file table of the model readers (bpd, mrv, tsl, tga)\n"
                     "into DIR/<kind>/, one file per entry, replacing the kind directories.\n");
        return argc == 2 ? 0 : 2;
    }
    const std::filesystem::path root = argv[1];
    size_t written = 0;
    for (const DamagedKind& kind : AllDamagedKinds()) {
        const std::filesystem::path dir = root / kind.kind;
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        std::filesystem::create_directories(dir, ec);
        if (ec) {
            std::fprintf(stderr, "write-damaged-corpus: %s: %s\n", dir.c_str(),
                         ec.message().c_str());
            return 1;
        }
        for (size_t i = 0; i < kind.files.size(); ++i) {
            const std::filesystem::path path =
                dir / DamagedFileName(i, kind.files[i], kind.extension);
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(kind.files[i].bytes.data()),
                      static_cast<std::streamsize>(kind.files[i].bytes.size()));
            if (!out) {
                std::fprintf(stderr, "write-damaged-corpus: %s: write failed\n", path.c_str());
                return 1;
            }
            ++written;
        }
    }
    std::printf("%zu files written under %s\n", written, root.c_str());
    return 0;
}
