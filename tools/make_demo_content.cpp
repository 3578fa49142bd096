// make-demo-content DIR: writes the viewer's demo content into DIR: a biped
// of 17 bones walking a 30-frame cycle (demo.bpd), five character parts
// bound to its bones (body.mrv, helmet.mrv, armour.mrv, weapon.mrv,
// shoes.mrv), a village with a turning windmill and a waving flag
// (village.tsl), and their TGA and BMP textures in DIR/textr/. The output
// is the same on every run.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tools/demo/DemoParts.h"
#include "tools/demo/DemoSkeleton.h"
#include "tools/demo/DemoTextures.h"
#include "tools/demo/DemoVillage.h"

namespace {

bool Save(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "make-demo-content: %s: cannot create: %s\n", path.c_str(),
                     std::strerror(errno));
        return false;
    }
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), f);
    const bool closed = std::fclose(f) == 0;
    if (written != bytes.size() || !closed) {
        std::fprintf(stderr, "make-demo-content: %s: write failed: %s\n", path.c_str(),
                     std::strerror(errno));
        return false;
    }
    std::printf("  %-22s %8zu bytes\n", path.filename().c_str(), bytes.size());
    return true;
}

void PrintUsage(std::FILE* to) {
    std::fprintf(to,
                 "usage: make-demo-content DIR\n"
                 "\n"
                 "Writes the viewer's demo content into DIR (created when missing):\n"
                 "  demo.bpd      biped of %d bones walking a %d-frame cycle\n"
                 "  body.mrv, helmet.mrv, armour.mrv, weapon.mrv, shoes.mrv\n"
                 "                character parts bound to the biped's bones\n"
                 "  village.tsl   Tessel model: houses, a windmill with turning sails and a\n"
                 "                waving flag (%d frames)\n"
                 "  textr/        their TGA and BMP textures\n"
                 "The same files are written on every run. The viewer finds the textures\n"
                 "in the directory \"textr\" beside its program, or in the directory named\n"
                 "by ZINTARO_MEDIA_DIR (e.g. ZINTARO_MEDIA_DIR=DIR/textr).\n",
                 BONE_COUNT, kFrames, kVillageFrames);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        PrintUsage(stdout);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        PrintUsage(stderr);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    const std::filesystem::path textures = dir / "textr";
    std::error_code ec;
    std::filesystem::create_directories(textures, ec);
    if (ec) {
        std::fprintf(stderr, "make-demo-content: %s: cannot create: %s\n", textures.c_str(),
                     ec.message().c_str());
        return 1;
    }
    std::printf("make-demo-content: writing %s\n", dir.c_str());
    // The whole set is written into a folder beside the files it replaces and
    // moved into place once complete: a failed run leaves the content as it was.
    const std::filesystem::path staging =
        dir / (".make-demo-content-" + std::to_string(::getpid()));
    std::filesystem::remove_all(staging, ec);
    std::filesystem::create_directories(staging / "textr", ec);
    if (ec) {
        std::fprintf(stderr, "make-demo-content: %s: cannot create: %s\n", staging.c_str(),
                     ec.message().c_str());
        return 1;
    }
    const auto world = WorldMatrices();
    const std::pair<std::string, std::vector<uint8_t>> files[] = {
        {"demo.bpd", BipedFile(world)},
        {"body.mrv", PartFile(Body())},
        {"helmet.mrv", PartFile(Helmet())},
        {"armour.mrv", PartFile(Armour())},
        {"weapon.mrv", PartFile(Weapon())},
        {"shoes.mrv", PartFile(Shoes())},
        {"village.tsl", VillageFile()},
        {"textr/skin.bmp", EncodeBmp24(SkinImage())},
        {"textr/cloth.tga", EncodeTga(ClothImage(), true, 24, false)},
        {"textr/helmet.tga", EncodeTga(HelmetImage(), false, 32, false)},
        {"textr/armour.bmp", ArmourBitmap()},
        {"textr/sword.tga", EncodeTga(SwordImage(), false, 24, true)},
        {"textr/leather.tga", EncodeTga(LeatherImage(), true, 32, true)},
        {"textr/grass.tga", EncodeTga(GrassImage(), true, 24, false)},
        {"textr/wall.bmp", EncodeBmp24(WallImage())},
        {"textr/roof.tga", EncodeTga(RoofImage(), false, 24, false)},
        {"textr/wood.tga", EncodeTga(WoodImage(), true, 24, true)},
        {"textr/flag.tga", EncodeTga(FlagImage(), true, 32, false)},
    };
    bool ok = true;
    for (const auto& [name, bytes] : files) ok = ok && Save(staging / name, bytes);
    for (const auto& [name, bytes] : files) {
        if (!ok) break;
        std::filesystem::rename(staging / name, dir / name, ec);
        if (ec) {
            std::fprintf(stderr, "make-demo-content: %s: cannot write: %s\n", (dir / name).c_str(),
                         ec.message().c_str());
            ok = false;
        }
    }
    std::filesystem::remove_all(staging, ec);
    return ok ? 0 : 1;
}
