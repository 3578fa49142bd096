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

#include "demo/DemoImages.h"
#include "demo/DemoMath.h"
#include "demo/DemoMesh.h"

namespace {

// ---------------------------------------------------------------------------
// Little-endian output

class Out {
public:
    Out& I32(int32_t v) {
        PutLe32(bytes, static_cast<uint32_t>(v));
        return *this;
    }
    Out& I16(int16_t v) {
        PutLe16(bytes, static_cast<uint16_t>(v));
        return *this;
    }
    Out& F32(float f) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        PutLe32(bytes, u);
        return *this;
    }
    Out& Name(const std::string& s) {
        I32(static_cast<int32_t>(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    std::vector<uint8_t> bytes;
};

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

// ---------------------------------------------------------------------------
// The skeleton: joints in the rest pose (world units, y up, the figure faces
// -z, its left side at +x), parents, and a walk cycle.

constexpr int kFrames = 30;

enum Bone : int16_t {
    PELVIS,
    SPINE,
    CHEST,
    NECK,
    HEAD,
    L_UPPERARM,
    L_FOREARM,
    L_HAND,
    R_UPPERARM,
    R_FOREARM,
    R_HAND,
    L_THIGH,
    L_CALF,
    L_FOOT,
    R_THIGH,
    R_CALF,
    R_FOOT,
    BONE_COUNT
};

const int kParent[BONE_COUNT] = {-1,         PELVIS,    SPINE,  CHEST,      NECK,      CHEST,
                                 L_UPPERARM, L_FOREARM, CHEST,  R_UPPERARM, R_FOREARM, PELVIS,
                                 L_THIGH,    L_CALF,    PELVIS, R_THIGH,    R_CALF};

const Vec3 kJoint[BONE_COUNT] = {
    {0, 9.5f, 0},     {0, 10.6f, 0},    {0, 12.5f, 0},   {0, 15.0f, 0},     {0, 15.7f, 0},
    {2.0f, 14.6f, 0}, {2.0f, 11.9f, 0}, {2.0f, 9.6f, 0}, {-2.0f, 14.6f, 0}, {-2.0f, 11.9f, 0},
    {-2.0f, 9.6f, 0}, {1.0f, 9.2f, 0},  {1.0f, 5.0f, 0}, {1.0f, 0.9f, 0},   {-1.0f, 9.2f, 0},
    {-1.0f, 5.0f, 0}, {-1.0f, 0.9f, 0},
};

// Where each bone's drawn shape ends, relative to its joint.
Vec3 BoneEnd(int b) {
    switch (b) {
        case HEAD:
            return {0, 2.3f, 0};
        case L_HAND:
        case R_HAND:
            return {0, -1.0f, 0};
        case L_FOOT:
        case R_FOOT:
            return {0, -0.8f, -1.4f};
        case PELVIS:
            return {0, 1.1f, 0};
        default:
            break;
    }
    for (int c = 0; c < BONE_COUNT; ++c) {
        if (kParent[c] == b) return kJoint[c] - kJoint[b];
    }
    return {0, 1, 0};
}

// The bone's own turn at `frame`: roll (about z), then pitch (about x), then
// yaw (about y). For a bone that hangs down, a positive pitch swings it
// forward (towards -z).
Mat4 LocalTurn(int b, int frame, Vec3* lift) {
    const float phase = 2.0f * kPi * static_cast<float>(frame) / kFrames;
    const float s = std::sin(phase), c = std::cos(phase);
    const float sr = -s, cr = -c;  // the right side, half a cycle later
    float roll = 0, pitch = 0, yaw = 0;
    *lift = Vec3{};
    switch (b) {
        case PELVIS:
            *lift = Vec3{0, 0.18f * std::cos(2 * phase) - 0.12f, 0};
            yaw = 0.12f * s;
            break;
        case SPINE:
            pitch = -0.06f;
            yaw = -0.06f * s;
            break;
        case CHEST:
            yaw = -0.09f * s;
            roll = 0.02f * s;
            break;
        case NECK:
            yaw = 0.07f * s;
            break;
        case HEAD:
            pitch = 0.04f * std::cos(2 * phase);
            break;
        case L_UPPERARM:
            pitch = -0.5f * s;
            roll = 0.1f;
            break;
        case L_FOREARM:
            pitch = 0.35f + 0.3f * std::max(0.0f, -s);
            break;
        case L_HAND:
            pitch = 0.1f;
            break;
        case R_UPPERARM:
            pitch = -0.35f * sr + 0.15f;
            roll = -0.12f;
            break;
        case R_FOREARM:
            pitch = 0.75f + 0.2f * std::max(0.0f, -sr);
            break;
        case R_HAND:
            pitch = 0.15f;
            break;
        case L_THIGH:
            pitch = 0.45f * s;
            break;
        case L_CALF:
            pitch = -(0.08f + 0.8f * std::max(0.0f, c));
            break;
        case L_FOOT:
            pitch = -0.8f * (0.45f * s - (0.08f + 0.8f * std::max(0.0f, c)));
            break;
        case R_THIGH:
            pitch = 0.45f * sr;
            break;
        case R_CALF:
            pitch = -(0.08f + 0.8f * std::max(0.0f, cr));
            break;
        case R_FOOT:
            pitch = -0.8f * (0.45f * sr - (0.08f + 0.8f * std::max(0.0f, cr)));
            break;
        default:
            break;
    }
    return RotZ(roll) * RotX(pitch) * RotY(yaw);
}

// World matrices of every bone at every frame: a point in a bone's space
// (its joint at the origin, axes as in the rest pose) times the matrix.
std::vector<std::vector<Mat4>> WorldMatrices() {
    std::vector<std::vector<Mat4>> world(BONE_COUNT, std::vector<Mat4>(kFrames));
    for (int f = 0; f < kFrames; ++f) {
        for (int b = 0; b < BONE_COUNT; ++b) {  // parents come before children
            Vec3 lift;
            const Mat4 turn = LocalTurn(b, f, &lift);
            if (kParent[b] < 0) {
                world[b][f] = turn * Translate(kJoint[b] + lift);
            } else {
                world[b][f] =
                    turn * Translate(kJoint[b] - kJoint[kParent[b]]) * world[kParent[b]][f];
            }
        }
    }
    return world;
}

std::vector<uint8_t> BipedFile(const std::vector<std::vector<Mat4>>& world) {
    Out out;
    out.I32(BONE_COUNT).I32(kFrames);
    for (int b = 0; b < BONE_COUNT; ++b) {
        // An elongated octahedron from the joint to the bone's end.
        const Vec3 end = BoneEnd(b);
        const float length = std::sqrt(Dot(end, end));
        const Vec3 axis = Normalised(end);
        Vec3 side =
            std::fabs(axis.y) < 0.9f ? Cross(axis, Vec3{0, 1, 0}) : Cross(axis, Vec3{0, 0, 1});
        side = Normalised(side);
        const Vec3 front = Normalised(Cross(side, axis));
        const float r = 0.14f * length;
        const Vec3 waist = axis * (0.2f * length);
        const Vec3 points[6] = {{0, 0, 0},        end,
                                waist + side * r, waist + front * r,
                                waist - side * r, waist - front * r};
        out.I32(6);
        for (const Vec3& p : points) out.F32(p.x).F32(p.y).F32(p.z);
        out.I32(8);
        for (int k = 0; k < 4; ++k) {
            const int a = 2 + k, n = 2 + (k + 1) % 4;
            out.I32(0).I32(a).I32(n);
            out.I32(1).I32(n).I32(a);
        }
        for (int f = 0; f < kFrames; ++f) {
            const float* m = world[b][f].m;
            for (int e : {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14}) out.F32(m[e]);
        }
    }
    return out.bytes;
}

// ---------------------------------------------------------------------------
// Character parts. Shapes are built in the rest pose; each vertex is written
// in the space of its bone (relative to the bone's joint).

struct PartObjectDef {
    std::string texture;
    Mesh mesh;
};

std::vector<uint8_t> PartFile(const std::vector<PartObjectDef>& objects) {
    Out out;
    out.I32(static_cast<int32_t>(objects.size()));
    for (const PartObjectDef& o : objects) {
        out.Name(o.texture);
        out.I32(static_cast<int32_t>(o.mesh.vertices.size()));
        for (const MeshVertex& v : o.mesh.vertices) {
            const Vec3 p = v.p - kJoint[v.bone];
            out.F32(p.x).F32(p.y).F32(p.z).F32(v.n.x).F32(v.n.y).F32(v.n.z).F32(v.u).F32(v.v);
            out.I16(v.bone);
        }
        out.I32(static_cast<int32_t>(o.mesh.indices.size() / 3));
        for (int32_t i : o.mesh.indices) out.I32(i);
    }
    return out.bytes;
}

Vec3 J(int b, float dx = 0, float dy = 0, float dz = 0) {
    return kJoint[b] + Vec3{dx, dy, dz};
}

std::vector<PartObjectDef> Body() {
    Mesh skin, cloth;
    const UvRect face{0, 0, 1, 0.85f}, plainSkin{0, 0.9f, 1, 1};
    skin.bone = HEAD;
    skin.Ellipsoid(J(HEAD, 0, 1.1f), {0.95f, 1.2f, 1.05f}, 16, 10, face);
    skin.bone = NECK;
    skin.Tube(J(NECK, 0, -0.1f), J(HEAD, 0, 0.4f), 0.42f, 0.4f, 10, plainSkin, false);
    for (Bone hand : {L_HAND, R_HAND}) {
        skin.bone = hand;
        skin.Ellipsoid(J(hand, 0, -0.55f, -0.05f), {0.32f, 0.6f, 0.4f}, 8, 6, plainSkin);
    }

    const UvRect tunic{0, 0, 1, 0.5f}, trousers{0, 0.5f, 1, 1}, sleeve{0, 0, 0.5f, 0.5f};
    cloth.bone = PELVIS;
    cloth.Tube(J(PELVIS, 0, -0.9f), J(SPINE, 0, 0.1f), 1.2f, 1.05f, 14, tunic, true, 1.25f);
    cloth.bone = SPINE;
    cloth.Tube(J(SPINE), J(CHEST, 0, 0.1f), 1.0f, 1.1f, 14, tunic, false, 1.3f);
    cloth.bone = CHEST;
    cloth.Tube(J(CHEST), J(NECK, 0, 0.15f), 1.1f, 0.75f, 14, tunic, true, 1.45f);
    for (Bone upper : {L_UPPERARM, R_UPPERARM}) {
        const Bone fore = static_cast<Bone>(upper + 1), hand = static_cast<Bone>(upper + 2);
        cloth.bone = upper;
        cloth.Ellipsoid(J(upper), {0.5f, 0.5f, 0.5f}, 10, 6, sleeve);
        cloth.Tube(J(upper, 0, 0.2f), J(fore, 0, -0.1f), 0.46f, 0.38f, 10, sleeve, false);
        cloth.bone = fore;
        cloth.Ellipsoid(J(fore), {0.39f, 0.39f, 0.39f}, 8, 6, sleeve);
        cloth.Tube(J(fore), J(hand, 0, 0.1f), 0.38f, 0.3f, 10, sleeve, true);
    }
    for (Bone thigh : {L_THIGH, R_THIGH}) {
        const Bone calf = static_cast<Bone>(thigh + 1), foot = static_cast<Bone>(thigh + 2);
        cloth.bone = thigh;
        cloth.Tube(J(thigh, 0, 0.3f), J(calf, 0, -0.1f), 0.68f, 0.5f, 12, trousers, false);
        cloth.bone = calf;
        cloth.Ellipsoid(J(calf), {0.5f, 0.5f, 0.5f}, 10, 6, trousers);
        cloth.Tube(J(calf), J(foot, 0, 0.4f), 0.5f, 0.34f, 12, trousers, false);
    }
    return {{"skin.bmp", skin}, {"cloth.tga", cloth}};
}

std::vector<PartObjectDef> Helmet() {
    Mesh dome, crest;
    dome.bone = crest.bone = HEAD;
    const Vec3 centre = J(HEAD, 0, 1.2f);
    dome.Ellipsoid(centre, {1.08f, 1.28f, 1.15f}, 16, 6, {0, 0, 1, 0.5f}, 0.0f, 0.5f);
    // The brim: a short flared band below the dome.
    dome.Tube(centre, centre + Vec3{0, -0.35f, 0}, 1.1f, 1.2f, 16, {0, 0.4f, 1, 0.5f}, false, 1.0f);
    // The crest stands on the dome's ridge, front to back; its texture cuts
    // feathers out with alpha.
    const float top = centre.y + 1.2f;
    crest.Panel({0, top - 0.25f, 1.1f}, {0, top - 0.1f, -0.9f}, {0, top + 1.3f, -0.5f},
                {0, top + 1.5f, 1.4f}, {1, 0, 0}, {0, 0.5f, 1, 1}, true);
    return {{"helmet.tga", dome}, {"helmet.tga", crest}};
}

std::vector<PartObjectDef> Armour() {
    Mesh plate;
    plate.bone = CHEST;
    plate.Tube(J(CHEST, 0, -0.25f), J(NECK, 0, 0.05f), 1.2f, 0.9f, 16, {0, 0, 1, 0.6f}, true,
               1.42f);
    for (Bone upper : {L_UPPERARM, R_UPPERARM}) {
        plate.bone = upper;
        const float out = upper == L_UPPERARM ? 0.15f : -0.15f;
        plate.Ellipsoid(J(upper, out, 0.1f), {0.78f, 0.6f, 0.78f}, 12, 5, {0, 0.6f, 1, 1}, 0.0f,
                        0.55f);
    }
    plate.bone = PELVIS;
    plate.Tube(J(PELVIS, 0, 0.05f), J(PELVIS, 0, 0.6f), 1.28f, 1.22f, 16, {0, 0.85f, 1, 1}, false,
               1.25f);
    return {{"armour.bmp", plate}};
}

std::vector<PartObjectDef> Weapon() {
    // Held in the right fist, the blade pointing forward.
    Mesh sword;
    sword.bone = R_HAND;
    const Vec3 fist = J(R_HAND, 0, -0.6f, -0.05f);
    const UvRect blade{0, 0, 1, 0.7f}, guard{0, 0.72f, 1, 0.8f}, grip{0, 0.82f, 1, 1};
    sword.Box(fist + Vec3{-0.12f, -0.12f, -0.45f}, fist + Vec3{0.12f, 0.12f, 0.75f}, grip);
    sword.Box(fist + Vec3{-0.16f, -0.75f, -0.7f}, fist + Vec3{0.16f, 0.75f, -0.45f}, guard);
    sword.Box(fist + Vec3{-0.05f, -0.3f, -6.3f}, fist + Vec3{0.05f, 0.3f, -0.7f}, blade);
    // The point.
    const Vec3 tip = fist + Vec3{0, 0, -7.3f};
    sword.Panel(fist + Vec3{0.05f, -0.3f, -6.3f}, tip, tip, fist + Vec3{0.05f, 0.3f, -6.3f},
                {1, 0, 0}, {0, 0, 1, 0.1f}, false);
    sword.Panel(tip, fist + Vec3{-0.05f, -0.3f, -6.3f}, fist + Vec3{-0.05f, 0.3f, -6.3f}, tip,
                {-1, 0, 0}, {0, 0, 1, 0.1f}, false);
    // Tilted down in the rest pose, so that it points forward once the arm
    // is bent.
    const Mat4 tilt = Translate(fist * -1.0f) * RotX(-0.9f) * Translate(fist);
    for (MeshVertex& v : sword.vertices) {
        v.p = TransformPoint(tilt, v.p);
        v.n = TransformDirection(tilt, v.n);
    }
    return {{"sword.tga", sword}};
}

std::vector<PartObjectDef> Shoes() {
    Mesh boots;
    for (Bone foot : {L_FOOT, R_FOOT}) {
        const Bone calf = static_cast<Bone>(foot - 1);
        boots.bone = foot;
        boots.Box(J(foot, -0.42f, -0.9f, -1.65f), J(foot, 0.42f, 0.15f, 0.5f), {0, 0, 1, 0.5f});
        boots.Ellipsoid(J(foot, 0, -0.4f, -1.6f), {0.42f, 0.5f, 0.35f}, 8, 6, {0, 0, 1, 0.5f}, 0.0f,
                        0.55f);
        boots.bone = calf;
        boots.Tube(J(foot, 0, 0.0f), J(foot, 0, 1.9f), 0.47f, 0.55f, 12, {0, 0.5f, 1, 1}, false);
    }
    return {{"leather.tga", boots}};
}

// ---------------------------------------------------------------------------
// Textures

Image SkinImage() {
    Image img(64, 64);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            const float n = Noise(static_cast<float>(x), static_cast<float>(y), 6, 11);
            int r = 222 + static_cast<int>(n * 14), g = 178 + static_cast<int>(n * 12),
                b = 140 + static_cast<int>(n * 10);
            // Hair on the crown and the back of the head.
            const float u = static_cast<float>(x) / 64, v = static_cast<float>(y) / 64;
            if (v < 0.32f || (v < 0.62f && std::fabs(u - 0.5f) > 0.2f)) {
                r = 70 + static_cast<int>(n * 30);
                g = 45 + static_cast<int>(n * 20);
                b = 25;
            }
            img.Set(x, y, Rgba(r, g, b));
        }
    }
    // Eyes, brows and mouth facing -z (u = 0.5).
    for (int side : {-1, 1}) {
        const int ex = 32 + side * 4;
        for (int dy = 0; dy < 2; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) img.Set(ex + dx, 29 + dy, Rgba(30, 40, 90));
            for (int dx = -2; dx <= 2; ++dx) img.Set(ex + dx, 26, Rgba(60, 40, 20));
        }
    }
    for (int dx = -3; dx <= 3; ++dx) img.Set(32 + dx, 41, Rgba(150, 60, 60));
    return img;
}

Image ClothImage() {
    Image img(128, 128);
    for (uint32_t y = 0; y < 128; ++y) {
        for (uint32_t x = 0; x < 128; ++x) {
            uint32_t p;
            if (y < 64) {
                // Tunic: broad red and gold bands with a dark hem.
                const bool band = (y / 8) % 2 == 0;
                p = band ? Rgba(150, 30, 35) : Rgba(190, 150, 50);
                if (y >= 58) p = Rgba(60, 25, 20);
            } else {
                // Trousers: dark blue with a seam.
                p = (x % 32 == 0) ? Rgba(20, 25, 45) : Rgba(40, 50, 85);
            }
            img.Set(x, y, p);
        }
    }
    return img;
}

Image HelmetImage() {
    Image img(64, 64);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            if (y < 32) {
                // Polished steel with rivets.
                const int shade =
                    150 + static_cast<int>(y) * 2 + static_cast<int>(Noise(x, y, 4, 5) * 20);
                const bool rivet = y == 28 && x % 8 == 4;
                img.Set(x, y, rivet ? Rgba(90, 90, 100) : Rgba(shade, shade, shade + 12));
            } else {
                // Crest feathers: plumes separated by see-through gaps.
                const float u = static_cast<float>(x) / 64, v = static_cast<float>(y - 32) / 32;
                const float feather = std::sin(u * 40.0f + v * 6.0f);
                const bool solid = feather > -0.3f && v > 0.05f;
                const int a = solid ? 255 : (feather > -0.6f ? 60 : 0);
                img.Set(x, y, Rgba(200 + static_cast<int>(v * 40), 30, 40, a));
            }
        }
    }
    return img;
}

std::vector<uint8_t> ArmourBitmap() {
    // 8-bit palette: a ramp of bronze tones and dark rivets.
    std::vector<uint32_t> palette(256);
    for (int i = 0; i < 256; ++i)
        palette[i] = Rgba(90 + i * 140 / 255, 65 + i * 110 / 255, 30 + i * 60 / 255);
    palette[0] = Rgba(40, 30, 20);
    std::vector<uint8_t> indices(64 * 64);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            int level =
                120 + static_cast<int>(Noise(x, y, 8, 3) * 90) - static_cast<int>(y % 16) * 3;
            if (y % 16 == 15) level = 60;               // plate edges
            if (y % 16 == 8 && x % 10 == 5) level = 0;  // rivets
            indices[y * 64 + x] = static_cast<uint8_t>(std::clamp(level, 0, 255));
        }
    }
    return EncodeBmp8(64, 64, indices, palette);
}

Image SwordImage() {
    Image img(32, 100);  // not a power of two: scaled to the texture size
    for (uint32_t y = 0; y < 100; ++y) {
        for (uint32_t x = 0; x < 32; ++x) {
            uint32_t p;
            if (y < 70) {
                const int edge =
                    180 + static_cast<int>(std::fabs(static_cast<float>(x) - 15.5f)) * 4;
                p = Rgba(edge, edge, edge + 15);
            } else if (y < 81) {
                p = Rgba(210, 170, 60);
            } else {
                p = (y % 3 == 0) ? Rgba(50, 30, 15) : Rgba(95, 60, 30);
            }
            img.Set(x, y, p);
        }
    }
    return img;
}

Image LeatherImage() {
    Image img(64, 64);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            const int n = static_cast<int>(Noise(x, y, 5, 9) * 30);
            const bool stitch = (y == 31 || y == 33) && x % 4 < 2;
            img.Set(x, y, stitch ? Rgba(200, 180, 140) : Rgba(85 + n, 55 + n / 2, 30));
        }
    }
    return img;
}

Image GrassImage() {
    Image img(128, 128);
    for (uint32_t y = 0; y < 128; ++y) {
        for (uint32_t x = 0; x < 128; ++x) {
            const float n = Noise(x, y, 16, 21) * 0.6f + Noise(x, y, 4, 22) * 0.4f;
            img.Set(x, y,
                    Rgba(60 + static_cast<int>(n * 50), 110 + static_cast<int>(n * 60),
                         40 + static_cast<int>(n * 20)));
        }
    }
    return img;
}

Image WallImage() {
    Image img(128, 128);
    for (uint32_t y = 0; y < 128; ++y) {
        for (uint32_t x = 0; x < 128; ++x) {
            const uint32_t row = y / 16, shift = (row % 2) * 16;
            const bool mortar = y % 16 == 0 || (x + shift) % 32 == 0;
            const int n = static_cast<int>(Hash((x + shift) / 32, row, 7) * 40);
            img.Set(x, y, mortar ? Rgba(200, 195, 180) : Rgba(160 + n, 75 + n / 2, 55));
        }
    }
    return img;
}

Image RoofImage() {
    Image img(128, 64);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 128; ++x) {
            const uint32_t shift = ((y / 8) % 2) * 8;
            const bool gap = y % 8 == 7 || (x + shift) % 16 == 0;
            const int shade = 140 - static_cast<int>(y % 8) * 6;
            img.Set(x, y, gap ? Rgba(60, 30, 25) : Rgba(shade + 30, shade / 2, shade / 3));
        }
    }
    return img;
}

Image WoodImage() {
    Image img(64, 64);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            const float grain = std::sin(static_cast<float>(x) * 0.9f + Noise(x, y, 8, 31) * 6.0f);
            const int n = static_cast<int>(grain * 15);
            img.Set(x, y, x % 16 == 0 ? Rgba(70, 45, 25) : Rgba(150 + n, 105 + n, 60 + n / 2));
        }
    }
    return img;
}

Image FlagImage() {
    Image img(64, 32);
    for (uint32_t y = 0; y < 32; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            // Swallowtail: the fly end is cut away through alpha.
            const float dy = std::fabs(static_cast<float>(y) - 15.5f);
            const bool cut = x > 44 && dy < (static_cast<float>(x) - 44.0f) * 0.8f;
            // A golden chevron pointing to the fly on a deep red field.
            const float d = static_cast<float>(x) * 0.5f - dy;
            const bool chevron = d > 4.0f && d < 9.0f;
            const uint32_t colour = chevron ? Rgba(235, 190, 60, 255) : Rgba(130, 20, 35, 255);
            img.Set(x, y, cut ? (colour & 0xFFFFFF00u) : colour);
        }
    }
    return img;
}

// ---------------------------------------------------------------------------
// The village Tessel model: positions in world units, the character stands
// at the origin facing the camera.

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

constexpr int kVillageFrames = 36;

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

    Out out;
    out.I32(kVillageFrames)
        .I32(static_cast<int32_t>(statics.size()))
        .I32(static_cast<int32_t>(animateds.size()));
    for (const auto* list : {&statics, &animateds}) {
        for (const TesselObjectDef& o : *list) {
            out.Name(o.texture);
            out.I32(static_cast<int32_t>(o.frames[0].size()));
            for (const auto& frame : o.frames) {
                for (const MeshVertex& v : frame) {
                    out.F32(v.p.x)
                        .F32(v.p.y)
                        .F32(v.p.z)
                        .F32(v.n.x)
                        .F32(v.n.y)
                        .F32(v.n.z)
                        .F32(v.u)
                        .F32(v.v);
                }
            }
            out.I32(static_cast<int32_t>(o.indices.size() / 3));
            for (int32_t i : o.indices) out.I32(i);
        }
    }
    return out.bytes;
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
