// model-info FILE...: a readable summary of biped (.bpd), character part (.mrv)
// and Tessel (.tsl) files with their textures, optionally checked against a
// skeleton; exits non-zero with the problem on a damaged or unfitting file.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "viewer/model/Biped.h"
#include "viewer/model/ByteReader.h"
#include "viewer/model/CharacterPart.h"
#include "viewer/model/ModelKind.h"
#include "viewer/model/TesselModel.h"
#include "viewer/model/TextureManager.h"
#include "viewer/platform/QtImageLoader.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: model-info FILE... [--biped SKELETON.bpd]\n"
                 "\n"
                 "Prints a summary of each model file and checks it:\n"
                 "  .bpd  biped skeleton animation: bones, triangles, frames, bounds\n"
                 "  .mrv  character part: per object texture, vertices, faces, bones and\n"
                 "        bounds (in the space of the vertices' bones)\n"
                 "  .tsl  Tessel model: frames, and per object texture, vertices, faces and\n"
                 "        bounds (over all frames of an animated object)\n"
                 "A file with another extension is read as the kind its content shows.\n"
                 "Textures are looked up as the viewer does (\"textr\" beside the file, else\n"
                 "beside the programs, then $ZINTARO_MEDIA_DIR, then the current folder);\n"
                 "those missing or unreadable are listed.\n"
                 "\n"
                 "  --biped SKELETON.bpd  check character parts against this skeleton: a part\n"
                 "                        whose vertices follow bones it lacks is an error\n"
                 "  --help                this text\n"
                 "\n"
                 "Exits with status 1 and a message naming the file and the problem when a\n"
                 "file is damaged, is not a model file or does not fit the skeleton, 2 on a\n"
                 "usage error.\n");
}

struct Bounds {
    float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX};
    float hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    bool empty = true;
    void Add(float x, float y, float z) {
        const float p[3] = {x, y, z};
        for (int i = 0; i < 3; ++i) {
            if (p[i] < lo[i]) lo[i] = p[i];
            if (p[i] > hi[i]) hi[i] = p[i];
        }
        empty = false;
    }
    std::string Text() const {
        if (empty) return "(empty)";
        char buf[160];
        std::snprintf(buf, sizeof buf, "(%g, %g, %g) - (%g, %g, %g)", lo[0], lo[1], lo[2], hi[0],
                      hi[1], hi[2]);
        return buf;
    }
};

namespace fs = std::filesystem;

int Fail(const std::string& path, const std::string& problem) {
    std::fprintf(stderr, "model-info: %s: %s\n", path.c_str(), problem.c_str());
    return 1;
}

// The first vertex with a coordinate, normal or texture coordinate that is
// not a finite number: the formats hold plain numbers, and an infinity or NaN
// only makes the model vanish or fly apart when drawn. Empty when all are.
std::string NonFinite(const std::vector<ModelVertex>& vertices, const std::string& where) {
    for (size_t i = 0; i < vertices.size(); ++i) {
        const ModelVertex& v = vertices[i];
        for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz, v.tu, v.tv})
            if (!std::isfinite(f))
                return where + " vertex " + std::to_string(i) +
                       " holds a value that is not a finite number";
    }
    return std::string();
}

// What the file is checked against, and where the viewer would look for textures.
struct Context {
    const Biped* biped = nullptr;
    std::string bipedPath;
    std::string programTextures;  // "textr/" beside the programs
    QtImageLoader bitmaps;
};

// Looks up each texture as the viewer does and lists those it would miss or
// not read; the count of them.
int ReportTextures(const std::set<std::string>& names, const std::string& modelPath,
                   Context& context) {
    if (names.empty()) return 0;
    std::error_code ec;
    const fs::path beside = fs::path(modelPath).parent_path() / "textr";
    const std::string searchPath =
        fs::is_directory(beside, ec) ? beside.string() + "/" : context.programTextures;
    int missing = 0;
    for (const std::string& name : names) {
        TextureEntry entry(name);
        if (FAILED(entry.LoadImageFile(searchPath, &context.bitmaps))) {
            std::printf("  texture %s: %s\n", name.c_str(), entry.error.c_str());
            ++missing;
        }
    }
    if (missing == 0) std::printf("  textures: all %zu found and readable\n", names.size());
    return missing;
}

int ShowBiped(const std::string& path, const std::vector<uint8_t>& bytes, Context&) {
    Biped biped;
    std::string error;
    if (!biped.LoadFromMemory(bytes.data(), bytes.size(), error)) return Fail(path, error);
    for (size_t b = 0; b < biped.bones.size(); ++b) {
        const std::string bad = NonFinite(biped.bones[b].bindVertices, "bone " + std::to_string(b));
        if (!bad.empty()) return Fail(path, bad);
        for (size_t f = 0; f < biped.bones[b].matrices.size(); ++f)
            for (int k = 0; k < 16; ++k)
                if (!std::isfinite(biped.bones[b].matrices[f][k]))
                    return Fail(path, "bone " + std::to_string(b) + " frame " + std::to_string(f) +
                                          " has a matrix value that is not a finite number");
    }
    std::printf("%s: biped, %d bones, %d frames, %zu bytes\n", FileNameOnly(path).c_str(),
                biped.boneCount, biped.frameCount, bytes.size());
    Bounds all;
    for (size_t b = 0; b < biped.bones.size(); ++b) {
        const BipedBone& bone = biped.bones[b];
        Bounds mesh;
        for (const ModelVertex& v : bone.bindVertices) mesh.Add(v.x, v.y, v.z);
        const D3DMATRIX& m0 = bone.matrices.front();
        // The bone's origin at frame 0 is the translation row of its matrix.
        std::printf(
            "  bone %3zu: %4d triangles, %d frames, origin at frame 0 (%g, %g, %g), "
            "mesh bounds %s\n",
            b, bone.triangleCount, static_cast<int>(bone.matrices.size()), m0[12], m0[13], m0[14],
            mesh.Text().c_str());
        all.Add(m0[12], m0[13], m0[14]);
    }
    std::printf("  bone origins at frame 0 span %s\n", all.Text().c_str());
    return 0;
}

std::string TextureText(const std::string& name, const char* whenEmpty) {
    return name.empty() ? std::string(whenEmpty) : "texture " + name;
}

int ShowPart(const std::string& path, const std::vector<uint8_t>& bytes, Context& context) {
    PartFileData part;
    std::string error;
    if (!ParsePartFile(bytes.data(), bytes.size(), part, error)) return Fail(path, error);
    for (size_t i = 0; i < part.objects.size(); ++i) {
        const std::string bad =
            NonFinite(part.objects[i].sourceVertices, "object " + std::to_string(i));
        if (!bad.empty()) return Fail(path, bad);
    }
    size_t vertices = 0;
    for (const PartObject& o : part.objects) vertices += o.sourceVertices.size();
    std::printf(
        "%s: character part, %zu objects, %zu vertices, %d faces, bones %d..%d, "
        "%zu bytes\n",
        FileNameOnly(path).c_str(), part.objects.size(), vertices, part.faceTotal, part.lowestBone,
        part.highestBone, bytes.size());
    std::set<std::string> textures;
    for (size_t i = 0; i < part.objects.size(); ++i) {
        const PartObject& o = part.objects[i];
        if (!o.textureName.empty()) textures.insert(o.textureName);
        Bounds bounds;
        int lo = 0, hi = -1;
        for (size_t j = 0; j < o.sourceVertices.size(); ++j) {
            const ModelVertex& v = o.sourceVertices[j];
            bounds.Add(v.x, v.y, v.z);
            const int b = o.boneIndices[j];
            if (hi < lo) {
                lo = hi = b;
            } else {
                lo = b < lo ? b : lo;
                hi = b > hi ? b : hi;
            }
        }
        std::printf("  object %2zu: %s, %d vertices, %d faces, bones %d..%d, bounds %s\n", i,
                    TextureText(o.textureName, "no texture").c_str(), o.vertexCount, o.faceCount,
                    lo, hi, bounds.Text().c_str());
    }
    ReportTextures(textures, path, context);
    if (context.biped == nullptr) return 0;
    const int32_t bones = context.biped->boneCount;
    if (part.highestBone >= bones || part.lowestBone < 0) {
        std::printf(
            "  skeleton %s: does not fit, the vertices follow bones %d..%d, the skeleton has "
            "bones 0..%d\n",
            context.bipedPath.c_str(), part.lowestBone, part.highestBone, bones - 1);
        return Fail(path, "made for another skeleton than " + context.bipedPath + " (bones up to " +
                              std::to_string(part.highestBone) + ", the skeleton has " +
                              std::to_string(bones) + ")");
    }
    std::printf("  skeleton %s: fits (%d bones)\n", context.bipedPath.c_str(), bones);
    return 0;
}

int ShowTessel(const std::string& path, const std::vector<uint8_t>& bytes, Context& context) {
    TesselFileData tessel;
    std::string error;
    if (!ParseTesselFile(bytes.data(), bytes.size(), tessel, error)) return Fail(path, error);
    for (size_t i = 0; i < tessel.statics.size(); ++i) {
        const std::string bad =
            NonFinite(tessel.statics[i].vertices, "static object " + std::to_string(i));
        if (!bad.empty()) return Fail(path, bad);
    }
    for (size_t i = 0; i < tessel.animateds.size(); ++i) {
        const std::string bad =
            NonFinite(tessel.animateds[i].frames, "animated object " + std::to_string(i));
        if (!bad.empty()) return Fail(path, bad);
    }
    std::printf(
        "%s: Tessel model, %d frames, %zu static and %zu animated objects, %d faces, "
        "%zu bytes\n",
        FileNameOnly(path).c_str(), tessel.frameCount, tessel.statics.size(),
        tessel.animateds.size(), tessel.faceTotal, bytes.size());
    Bounds all;
    std::set<std::string> textures;
    for (size_t i = 0; i < tessel.statics.size(); ++i) {
        const StaticObject& o = tessel.statics[i];
        if (!o.textureName.empty()) textures.insert(o.textureName);
        Bounds bounds;
        for (const ModelVertex& v : o.vertices) bounds.Add(v.x, v.y, v.z);
        for (const ModelVertex& v : o.vertices) all.Add(v.x, v.y, v.z);
        std::printf("  static   %3zu: %s, %d vertices, %d faces, bounds %s\n", i,
                    TextureText(o.textureName, "no texture name (drawn with texture 0)").c_str(),
                    o.vertexCount, o.faceCount, bounds.Text().c_str());
    }
    for (size_t i = 0; i < tessel.animateds.size(); ++i) {
        const AnimatedObject& o = tessel.animateds[i];
        if (!o.textureName.empty()) textures.insert(o.textureName);
        Bounds bounds;
        for (const ModelVertex& v : o.frames) bounds.Add(v.x, v.y, v.z);
        for (const ModelVertex& v : o.frames) all.Add(v.x, v.y, v.z);
        std::printf(
            "  animated %3zu: %s, %d vertices per frame, %d faces, bounds over %d frames "
            "%s\n",
            i, TextureText(o.textureName, "no texture").c_str(), o.vertexCount, o.faceCount,
            o.frameCount, bounds.Text().c_str());
    }
    std::printf("  all objects span %s\n", all.Text().c_str());
    ReportTextures(textures, path, context);
    return 0;
}

// Reads a whole regular file; false with the reason given on standard error.
bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::string error;
    if (ReadRegularFile(path, bytes, error)) return true;
    Fail(path, error);
    return false;
}

int ShowFile(const std::string& path, Context& context) {
    std::vector<uint8_t> bytes;
    if (!ReadFile(path, bytes)) return 1;
    ModelKind kind = ModelKindOfName(path);
    if (kind == ModelKind::Unknown) {
        kind = ModelKindOfContent(bytes.data(), bytes.size());
        if (kind == ModelKind::Unknown)
            return Fail(path,
                        "not a model file its content shows (expected a .bpd, .mrv or .tsl file)");
    }
    const std::string wrongKind = WrongKindNote(bytes.data(), bytes.size(), path, kind);
    int status = 0;
    // A file of another kind fails its reader: the note says what it is.
    if (kind == ModelKind::Biped) status = wrongKind.empty() ? ShowBiped(path, bytes, context) : 1;
    if (kind == ModelKind::Part) status = wrongKind.empty() ? ShowPart(path, bytes, context) : 1;
    if (kind == ModelKind::Tessel)
        status = wrongKind.empty() ? ShowTessel(path, bytes, context) : 1;
    if (!wrongKind.empty()) std::fprintf(stderr, "model-info: %s\n", wrongKind.c_str());
    return status;
}

std::string ProgramTextures() {
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("textr/") : (program.parent_path() / "textr").string() + "/";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    std::string bipedPath;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            PrintUsage(stdout);
            return 0;
        }
        if (a == "--biped") {
            if (i + 1 >= argc || !bipedPath.empty()) {
                std::fprintf(stderr, "model-info: --biped needs one skeleton file\n");
                return 2;
            }
            bipedPath = argv[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "model-info: unknown option '%s'\n", a.c_str());
            PrintUsage(stderr);
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "model-info: no file given\n");
        PrintUsage(stderr);
        return 2;
    }
    Context context;
    context.programTextures = ProgramTextures();
    Biped biped;
    if (!bipedPath.empty()) {
        std::vector<uint8_t> bytes;
        if (!ReadFile(bipedPath, bytes)) return 1;
        std::string error;
        if (!biped.LoadFromMemory(bytes.data(), bytes.size(), error)) {
            const std::string wrongKind =
                WrongKindNote(bytes.data(), bytes.size(), bipedPath, ModelKind::Biped);
            return Fail(bipedPath,
                        wrongKind.empty() ? error : wrongKind.substr(bipedPath.size() + 2));
        }
        context.biped = &biped;
        context.bipedPath = bipedPath;
    }
    int status = 0;
    for (const std::string& path : files)
        if (ShowFile(path, context) != 0) status = 1;
    return status;
}
