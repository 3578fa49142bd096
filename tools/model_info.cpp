// model-info FILE: a readable summary of a biped (.bpd), character part (.mrv)
// or Tessel (.tsl) file; exits non-zero with the problem on a damaged file.
#include <cfloat>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Biped.h"
#include "ByteReader.h"
#include "CharacterPart.h"
#include "TesselModel.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: model-info FILE\n"
                 "\n"
                 "Prints a summary of a model file and checks it:\n"
                 "  .bpd  biped skeleton animation: bones, triangles, frames, bounds\n"
                 "  .mrv  character part: per object texture, vertices, faces, bones and\n"
                 "        bounds (in the space of the vertices' bones)\n"
                 "  .tsl  Tessel model: frames, and per object texture, vertices, faces and\n"
                 "        bounds (over all frames of an animated object)\n"
                 "\n"
                 "Exits with status 1 and a message naming the problem when the file is\n"
                 "damaged, 2 on a usage error.\n");
}

std::string LowerExtension(const std::string& path) {
    const std::string name = FileNameOnly(path);
    const size_t dot = name.find_last_of('.');
    std::string ext = dot == std::string::npos ? "" : name.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
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

int ShowBiped(const std::string& path, const std::vector<uint8_t>& bytes) {
    Biped biped;
    std::string error;
    if (!biped.LoadFromMemory(bytes.data(), bytes.size(), error)) {
        std::fprintf(stderr, "model-info: %s: %s\n", path.c_str(), error.c_str());
        return 1;
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
        std::printf("  bone %3zu: %4d triangles, %d frames, origin at frame 0 (%g, %g, %g), "
                    "mesh bounds %s\n",
                    b, bone.triangleCount, static_cast<int>(bone.matrices.size()), m0[12], m0[13],
                    m0[14], mesh.Text().c_str());
        all.Add(m0[12], m0[13], m0[14]);
    }
    std::printf("  bone origins at frame 0 span %s\n", all.Text().c_str());
    return 0;
}

std::string TextureText(const std::string& name, const char* whenEmpty) {
    return name.empty() ? std::string(whenEmpty) : "texture " + name;
}

int ShowPart(const std::string& path, const std::vector<uint8_t>& bytes) {
    PartFileData part;
    std::string error;
    if (!ParsePartFile(bytes.data(), bytes.size(), part, error)) {
        std::fprintf(stderr, "model-info: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    size_t vertices = 0;
    for (const PartObject& o : part.objects) vertices += o.sourceVertices.size();
    std::printf("%s: character part, %zu objects, %zu vertices, %d faces, bones %d..%d, "
                "%zu bytes\n",
                FileNameOnly(path).c_str(), part.objects.size(), vertices, part.faceTotal,
                part.lowestBone, part.highestBone, bytes.size());
    for (size_t i = 0; i < part.objects.size(); ++i) {
        const PartObject& o = part.objects[i];
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
    return 0;
}

int ShowTessel(const std::string& path, const std::vector<uint8_t>& bytes) {
    TesselFileData tessel;
    std::string error;
    if (!ParseTesselFile(bytes.data(), bytes.size(), tessel, error)) {
        std::fprintf(stderr, "model-info: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    std::printf("%s: Tessel model, %d frames, %zu static and %zu animated objects, %d faces, "
                "%zu bytes\n",
                FileNameOnly(path).c_str(), tessel.frameCount, tessel.statics.size(),
                tessel.animateds.size(), tessel.faceTotal, bytes.size());
    Bounds all;
    for (size_t i = 0; i < tessel.statics.size(); ++i) {
        const StaticObject& o = tessel.statics[i];
        Bounds bounds;
        for (const ModelVertex& v : o.vertices) bounds.Add(v.x, v.y, v.z);
        for (const ModelVertex& v : o.vertices) all.Add(v.x, v.y, v.z);
        std::printf("  static   %3zu: %s, %d vertices, %d faces, bounds %s\n", i,
                    TextureText(o.textureName, "no texture name (drawn with texture 0)").c_str(),
                    o.vertexCount, o.faceCount, bounds.Text().c_str());
    }
    for (size_t i = 0; i < tessel.animateds.size(); ++i) {
        const AnimatedObject& o = tessel.animateds[i];
        Bounds bounds;
        for (const ModelVertex& v : o.frames) bounds.Add(v.x, v.y, v.z);
        for (const ModelVertex& v : o.frames) all.Add(v.x, v.y, v.z);
        std::printf("  animated %3zu: %s, %d vertices per frame, %d faces, bounds over %d frames "
                    "%s\n",
                    i, TextureText(o.textureName, "no texture").c_str(), o.vertexCount,
                    o.faceCount, o.frameCount, bounds.Text().c_str());
    }
    std::printf("  all objects span %s\n", all.Text().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        PrintUsage(stdout);
        return 0;
    }
    if (argc != 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string path = argv[1];
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadRegularFile(path, bytes, error)) {
        std::fprintf(stderr, "model-info: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }

    const std::string ext = LowerExtension(path);
    if (ext == ".bpd") return ShowBiped(path, bytes);
    if (ext == ".mrv") return ShowPart(path, bytes);
    if (ext == ".tsl") return ShowTessel(path, bytes);
    std::fprintf(stderr, "model-info: %s: unknown file type '%s' (expected .bpd, .mrv or .tsl)\n",
                 path.c_str(), ext.c_str());
    return 1;
}
