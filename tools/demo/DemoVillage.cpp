#include "tools/demo/DemoVillage.h"

#include <string>

#include "tools/demo/DemoMath.h"
#include "tools/demo/DemoMesh.h"
#include "tools/formats/LittleEndianWriter.h"

namespace {

struct TesselObjectDef {
    std::string texture;
    std::vector<std::vector<MeshVertex>> frames;  // one set for a static object
    std::vector<int32_t> indices;
};

TesselObjectDef Static(const std::string& texture, const Mesh& mesh) {
    return {texture, {mesh.vertices}, mesh.indices};
}

// A house: walls, gabled roof and gables, its ridge along x.
void House(std::vector<TesselObjectDef>& out, Vec3 lo, Vec3 hi, float ridge) {
    Mesh walls, roof;
    const float w = (hi.x - lo.x) / 8, h = (hi.y - lo.y) / 8;
    walls.Box(lo, hi, {0, 0, w, h});
    const float midZ = (lo.z + hi.z) / 2, top = hi.y + ridge;
    // Gable triangles at both ends.
    walls.Panel({lo.x, hi.y, lo.z}, {lo.x, hi.y, hi.z}, {lo.x, top, midZ}, {lo.x, top, midZ},
                {-1, 0, 0}, {0, 0, 1, 0.5f}, false);
    walls.Panel({hi.x, hi.y, hi.z}, {hi.x, hi.y, lo.z}, {hi.x, top, midZ}, {hi.x, top, midZ},
                {1, 0, 0}, {0, 0, 1, 0.5f}, false);
    const float overhang = 0.8f;
    const float len = (hi.x - lo.x) / 6;
    roof.Panel({lo.x - overhang, hi.y - 0.4f, lo.z - overhang},
               {hi.x + overhang, hi.y - 0.4f, lo.z - overhang}, {hi.x + overhang, top, midZ},
               {lo.x - overhang, top, midZ},
               Normalised({0, (midZ - lo.z + overhang), -(ridge + 0.4f)}), {0, 0, len, 1}, true);
    roof.Panel({hi.x + overhang, hi.y - 0.4f, hi.z + overhang},
               {lo.x - overhang, hi.y - 0.4f, hi.z + overhang}, {lo.x - overhang, top, midZ},
               {hi.x + overhang, top, midZ},
               Normalised({0, (hi.z + overhang - midZ), (ridge + 0.4f)}), {0, 0, len, 1}, true);
    out.push_back(Static("wall.bmp", walls));
    out.push_back(Static("roof.tga", roof));
}

}  // namespace

std::vector<uint8_t> VillageFile() {
    std::vector<TesselObjectDef> statics, animateds;

    Mesh ground;
    ground.Panel({-140, 0, -60}, {140, 0, -60}, {140, 0, 200}, {-140, 0, 200}, {0, 1, 0},
                 {0, 0, 14, 13}, false);
    statics.push_back(Static("grass.tga", ground));

    House(statics, {-34, 0, 30}, {-16, 9, 44}, 5);
    House(statics, {12, 0, 58}, {26, 8, 70}, 4.5f);
    House(statics, {-60, 0, 75}, {-44, 10, 90}, 6);

    // The windmill: a tapering wooden tower with a cap, sails turning on its front.
    const Vec3 mill{36, 0, 42};
    Mesh tower;
    tower.Tube(mill, mill + Vec3{0, 17, 0}, 4.2f, 2.6f, 8, {0, 0, 4, 3}, true);
    tower.Ellipsoid(mill + Vec3{0, 17, 0}, {3.0f, 2.2f, 3.0f}, 8, 4, {0, 0, 2, 1}, 0.0f, 0.5f);
    statics.push_back(Static("wood.tga", tower));

    // A flag pole beside the path.
    const Vec3 pole{-9, 0, 14};
    Mesh poleMesh;
    poleMesh.Tube(pole, pole + Vec3{0, 14, 0}, 0.18f, 0.14f, 6, {0, 0, 1, 4}, true);
    statics.push_back(Static("wood.tga", poleMesh));

    // Sails: four blades about the hub, a quarter turn over the cycle so
    // that the last frame leads back into the first.
    const Vec3 hub = mill + Vec3{0, 15.5f, -3.0f};
    TesselObjectDef sails{"wood.tga", {}, {}};
    for (int k = 0; k < kVillageFrames; ++k) {
        const float turn = 0.5f * kPi * static_cast<float>(k) / kVillageFrames;
        Mesh blades;
        for (int b = 0; b < 4; ++b) {
            const Mat4 r = RotZ(turn + 0.5f * kPi * static_cast<float>(b)) * Translate(hub);
            auto at = [&](float x, float y) { return TransformPoint(r, {x, y, 0}); };
            blades.Panel(at(-0.5f, 1.0f), at(0.5f, 1.0f), at(1.6f, 11.0f), at(-0.2f, 11.0f),
                         {0, 0, -1}, {0, 0, 1, 3}, true);
        }
        blades.Box(hub + Vec3{-0.7f, -0.7f, -0.5f}, hub + Vec3{0.7f, 0.7f, 0.8f}, {0, 0, 1, 1});
        sails.frames.push_back(blades.vertices);
        if (k == 0) sails.indices = blades.indices;
    }
    animateds.push_back(sails);

    // The flag: a 12 x 6 grid that waves, two full waves per cycle.
    TesselObjectDef flag{"flag.tga", {}, {}};
    constexpr int kColumns = 12, kRows = 6;
    for (int k = 0; k < kVillageFrames; ++k) {
        const float phase = 4.0f * kPi * static_cast<float>(k) / kVillageFrames;
        std::vector<Vec3> grid;
        for (int r = 0; r <= kRows; ++r) {
            for (int c = 0; c <= kColumns; ++c) {
                const float u = static_cast<float>(c) / kColumns;
                const float x = pole.x + 0.15f + u * 7.0f;
                const float y = pole.y + 13.8f - static_cast<float>(r) * 0.6f - u * u * 0.6f;
                const float z = pole.z + u * 0.9f * std::sin(u * 5.0f - phase);
                grid.push_back({x, y, z});
            }
        }
        Mesh cloth;
        auto at = [&](int r, int c) { return grid[r * (kColumns + 1) + c]; };
        for (int side = 0; side < 2; ++side) {
            for (int r = 0; r <= kRows; ++r) {
                for (int c = 0; c <= kColumns; ++c) {
                    const Vec3 dx = at(r, std::min(c + 1, kColumns)) - at(r, std::max(c - 1, 0));
                    const Vec3 dy = at(std::max(r - 1, 0), c) - at(std::min(r + 1, kRows), c);
                    Vec3 n = Normalised(Cross(dy, dx));
                    if (side == 1) n = n * -1.0f;
                    cloth.Add(at(r, c), n, static_cast<float>(c) / kColumns,
                              static_cast<float>(r) / kRows);
                }
            }
            const int32_t base = side * (kRows + 1) * (kColumns + 1);
            for (int r = 0; r < kRows; ++r) {
                for (int c = 0; c < kColumns; ++c) {
                    const int32_t a = base + r * (kColumns + 1) + c;
                    cloth.Quad(a, a + 1, a + kColumns + 2, a + kColumns + 1);
                }
            }
        }
        flag.frames.push_back(cloth.vertices);
        // The winding follows frame 0; later frames keep the same triangles.
        if (k == 0) flag.indices = cloth.indices;
    }
    animateds.push_back(flag);

    ByteWriter out;
    out.Int32(kVillageFrames)
        .Int32(static_cast<int32_t>(statics.size()))
        .Int32(static_cast<int32_t>(animateds.size()));
    for (const auto* list : {&statics, &animateds}) {
        for (const TesselObjectDef& o : *list) {
            out.Name(o.texture);
            out.Int32(static_cast<int32_t>(o.frames[0].size()));
            for (const auto& frame : o.frames) {
                for (const MeshVertex& v : frame) {
                    out.Float(v.p.x)
                        .Float(v.p.y)
                        .Float(v.p.z)
                        .Float(v.n.x)
                        .Float(v.n.y)
                        .Float(v.n.z)
                        .Float(v.u)
                        .Float(v.v);
                }
            }
            out.Int32(static_cast<int32_t>(o.indices.size() / 3));
            for (int32_t i : o.indices) out.Int32(i);
        }
    }
    return out.bytes;
}
