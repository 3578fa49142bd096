#include "tools/model_convert.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "tools/model_convert_gltf.h"
#include "viewer/model/Biped.h"
#include "viewer/model/ByteReader.h"
#include "viewer/model/CharacterPart.h"
#include "viewer/model/TesselModel.h"
#include "viewer/model/TextureManager.h"
#include "viewer/platform/QtImageLoader.h"

const char* const kPartSlotNames[kPartSlots] = {"body", "helmet", "armour", "weapon", "shoes"};

namespace {

namespace fs = std::filesystem;

constexpr double kFramesPerSecond = 30.0;
// The weights animation of morph targets holds frames x frames weights; a
// Tessel model with more frames is refused rather than written at that size
// (2048 frames: 16 MB of weights).
constexpr int32_t kMaxMorphFrames = 2048;
// The viewer draws a texel when its alpha is above 0x40 (alpha test GREATER
// 64); glTF's mask keeps alpha at or above the cut-off.
constexpr double kAlphaCutoff = 64.5 / 255.0;
// z changes sign between the viewer's frame and glTF's.
constexpr double kMirror[3] = {1.0, 1.0, -1.0};

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::string why;
    const bool ok = ReadRegularFile(path, bytes, why);
    if (!ok) error = path + ": " + why;
    return ok;
}

std::string Stem(const std::string& path) {
    return fs::path(path).stem().string();
}

// The time of key k: frame k at 30 a second, as a float no later than the
// exact time, also once an importer has turned it into milliseconds in
// single precision (as Assimp does), so that sampling a stepped animation at
// a frame's exact time finds that frame's key and not the one before.
float KeyTime(size_t k) {
    const double exact = static_cast<double>(k) / kFramesPerSecond;
    float t = static_cast<float>(exact);
    while (t > 0.0f &&
           (static_cast<double>(t) > exact || static_cast<double>(t * 1000.0f) > exact * 1000.0))
        t = std::nextafter(t, 0.0f);
    return t;
}

bool Finite(const ModelVertex& v) {
    for (float f : {v.x, v.y, v.z, v.tu, v.tv})
        if (!std::isfinite(f)) return false;
    return true;
}

// A unit normal in glTF's frame from a viewer normal run through `linear`
// (row r, column c; null: none). False when it has no usable direction.
bool GltfNormal(const ModelVertex& v, const double (*linear)[3], float out[3]) {
    double n[3] = {v.nx * kMirror[0], v.ny * kMirror[1], v.nz * kMirror[2]};
    if (linear != nullptr) {
        double m[3];
        for (int r = 0; r < 3; ++r)
            m[r] = linear[r][0] * n[0] + linear[r][1] * n[1] + linear[r][2] * n[2];
        std::copy(m, m + 3, n);
    }
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (!std::isfinite(length) || length < 1e-12) {
        out[0] = 0.0f, out[1] = 1.0f, out[2] = 0.0f;
        return false;
    }
    for (int i = 0; i < 3; ++i) out[i] = static_cast<float>(n[i] / length);
    return true;
}

// Triangle corners as glTF wants them: the last two of each triangle exchanged.
std::vector<uint32_t> GltfCorners(const std::vector<uint16_t>& indices) {
    std::vector<uint32_t> out(indices.size());
    for (size_t i = 0; i + 2 < indices.size(); i += 3) {
        out[i] = indices[i];
        out[i + 1] = indices[i + 2];
        out[i + 2] = indices[i + 1];
    }
    return out;
}

// ---------------------------------------------------------------------------
// Bone matrices

// A transform in glTF's frame (column vectors): p' = a p + t.
struct Affine {
    double a[3][3];
    double t[3];
};

// A viewer bone matrix (row vectors) in glTF's frame: transposed, mirrored
// on both sides, its translation scaled.
Affine GltfAffine(const D3DMATRIX& m, double scale) {
    Affine g;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) g.a[r][c] = kMirror[r] * kMirror[c] * m.m[4 * c + r];
        g.t[r] = kMirror[r] * m.m[12 + r] * scale;
    }
    return g;
}

double Determinant(const double a[3][3]) {
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

// A bone's transform as glTF's translation, rotation and scale.
struct BonePose {
    double t[3];
    double r[3][3];  // rotation, column vectors
    double s[3];
    double q[4];  // the rotation as a quaternion x, y, z, w
    bool exact;   // false: the matrix has shear; this is the nearest decomposition
};

void QuaternionOf(const double m[3][3], double q[4]) {
    const double trace = m[0][0] + m[1][1] + m[2][2];
    double x, y, z, w;
    if (trace > 0) {
        const double s = std::sqrt(trace + 1.0) * 2;
        w = 0.25 * s, x = (m[2][1] - m[1][2]) / s, y = (m[0][2] - m[2][0]) / s,
        z = (m[1][0] - m[0][1]) / s;
    } else if (m[0][0] > m[1][1] && m[0][0] > m[2][2]) {
        const double s = std::sqrt(1.0 + m[0][0] - m[1][1] - m[2][2]) * 2;
        w = (m[2][1] - m[1][2]) / s, x = 0.25 * s, y = (m[0][1] + m[1][0]) / s,
        z = (m[0][2] + m[2][0]) / s;
    } else if (m[1][1] > m[2][2]) {
        const double s = std::sqrt(1.0 + m[1][1] - m[0][0] - m[2][2]) * 2;
        w = (m[0][2] - m[2][0]) / s, x = (m[0][1] + m[1][0]) / s, y = 0.25 * s,
        z = (m[1][2] + m[2][1]) / s;
    } else {
        const double s = std::sqrt(1.0 + m[2][2] - m[0][0] - m[1][1]) * 2;
        w = (m[1][0] - m[0][1]) / s, x = (m[0][2] + m[2][0]) / s, y = (m[1][2] + m[2][1]) / s,
        z = 0.25 * s;
    }
    const double n = std::sqrt(x * x + y * y + z * z + w * w);
    q[0] = x / n, q[1] = y / n, q[2] = z / n, q[3] = w / n;
}

// Translation, rotation and scale of `g`: the scales are the axes' lengths
// (the first negative for a mirroring matrix), the rotation the nearest
// rotation to the axes (polar decomposition), so a matrix with shear gets
// the nearest decomposition and `exact` false.
BonePose Decompose(const Affine& g) {
    BonePose p;
    std::copy(g.t, g.t + 3, p.t);
    double x[3][3];
    for (int c = 0; c < 3; ++c) {
        const double len =
            std::sqrt(g.a[0][c] * g.a[0][c] + g.a[1][c] * g.a[1][c] + g.a[2][c] * g.a[2][c]);
        for (int r = 0; r < 3; ++r) x[r][c] = len > 1e-30 ? g.a[r][c] / len : (r == c ? 1.0 : 0.0);
    }
    if (Determinant(x) < 0)
        for (int r = 0; r < 3; ++r) x[r][0] = -x[r][0];
    // Polar decomposition by averaging with the inverse transpose.
    for (int iteration = 0; iteration < 40; ++iteration) {
        const double det = Determinant(x);
        if (!(std::fabs(det) > 1e-12)) {
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) x[r][c] = r == c ? 1.0 : 0.0;
            break;
        }
        double inverseT[3][3];  // cofactors / det = inverse transposed
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
                inverseT[r][c] = (x[r1][c1] * x[r2][c2] - x[r1][c2] * x[r2][c1]) / det;
            }
        double change = 0;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                const double v = 0.5 * (x[r][c] + inverseT[r][c]);
                change = std::max(change, std::fabs(v - x[r][c]));
                x[r][c] = v;
            }
        if (change < 1e-15) break;
    }
    std::copy(&x[0][0], &x[0][0] + 9, &p.r[0][0]);
    double largest = 0;
    for (int c = 0; c < 3; ++c) {
        p.s[c] = x[0][c] * g.a[0][c] + x[1][c] * g.a[1][c] + x[2][c] * g.a[2][c];
        largest = std::max(largest, std::fabs(p.s[c]));
    }
    double error = 0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            error = std::max(error, std::fabs(x[r][c] * p.s[c] - g.a[r][c]));
    p.exact = error <= 1e-4 * std::max(1.0, largest);
    QuaternionOf(x, p.q);
    return p;
}

// ---------------------------------------------------------------------------
// Materials and textures

class MaterialTable {
public:
    MaterialTable(tinygltf::Model& model, GltfBuffer& buffer, std::vector<std::string>& notes,
                  std::string programTextureDir)
        : m_model(model),
          m_buffer(buffer),
          m_notes(notes),
          m_programDir(std::move(programTextureDir)) {}

    // The material of an object whose texture is `name` in a model read from
    // `modelPath`: the texture as the viewer finds and decodes it, or a
    // plain material when there is no name or the image cannot be read.
    int For(const std::string& name, const std::string& modelPath) {
        if (name.empty()) return Plain();
        const fs::path besideModel = fs::path(modelPath).parent_path() / "textr";
        std::error_code ec;
        const std::string beside =
            fs::is_directory(besideModel, ec) ? besideModel.string() + "/" : std::string();
        std::string key = beside + "|" + name;
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const auto found = m_byTexture.find(key);
        if (found != m_byTexture.end()) return found->second;
        const int material = Load(name, beside, modelPath);
        m_byTexture[key] = material;
        return material;
    }

private:
    int Plain() {
        if (m_plain < 0) m_plain = Add("plain", -1, false);
        return m_plain;
    }

    int Add(const std::string& name, int texture, bool alphaTested) {
        tinygltf::Material m;
        m.name = name;
        m.pbrMetallicRoughness.metallicFactor = 0.0;
        m.pbrMetallicRoughness.roughnessFactor = 1.0;
        m.pbrMetallicRoughness.baseColorTexture.index = texture;
        if (alphaTested) {
            m.alphaMode = "MASK";
            m.alphaCutoff = kAlphaCutoff;
        }
        m_model.materials.push_back(m);
        return static_cast<int>(m_model.materials.size() - 1);
    }

    int Load(const std::string& name, const std::string& besideModel,
             const std::string& modelPath) {
        TextureEntry entry(name);
        if (FAILED(entry.LoadImageFile(m_programDir, &m_bitmaps, besideModel))) {
            m_notes.push_back(modelPath + ": texture '" + name + "': " + entry.error +
                              "; its objects get a plain material");
            return Plain();
        }
        const std::vector<uint32_t>& pixels = entry.bitmap ? entry.bitmap->pixels : entry.pixels;
        const std::vector<uint8_t> png =
            EncodePng(pixels, entry.width, entry.height, !entry.hasAlpha);
        if (png.empty()) {
            m_notes.push_back(modelPath + ": texture '" + name +
                              "' cannot be encoded as PNG; its objects get a plain material");
            return Plain();
        }
        if (m_model.samplers.empty()) {
            tinygltf::Sampler s;  // the viewer filters linearly, without mipmaps, and repeats
            s.magFilter = TINYGLTF_TEXTURE_FILTER_LINEAR;
            s.minFilter = TINYGLTF_TEXTURE_FILTER_LINEAR;
            m_model.samplers.push_back(s);
        }
        tinygltf::Texture texture;
        texture.name = name;
        texture.sampler = 0;
        texture.source = m_buffer.AddPngImage(png, name, entry.width, entry.height);
        m_model.textures.push_back(texture);
        return Add(name, static_cast<int>(m_model.textures.size() - 1), entry.hasAlpha);
    }

    tinygltf::Model& m_model;
    GltfBuffer& m_buffer;
    std::vector<std::string>& m_notes;
    std::string m_programDir;
    QtImageLoader m_bitmaps;
    std::map<std::string, int> m_byTexture;
    int m_plain = -1;
};

// ---------------------------------------------------------------------------
// The scene

class SceneBuilder {
public:
    SceneBuilder(const ConvertSources& sources, ConvertResult& result)
        : m_sources(sources),
          m_model(result.model),
          m_notes(result.notes),
          m_buffer(m_model),
          m_materials(m_model, m_buffer, m_notes, sources.programTextureDir) {
        m_model.asset.version = "2.0";
        m_model.asset.generator = "model-convert";
        m_model.scenes.emplace_back();
        m_model.defaultScene = 0;
    }

    bool AddTessel(const std::string& path, std::string& error);
    bool AddCharacter(std::string& error);

private:
    int AddNode(const std::string& name, int parent) {
        tinygltf::Node node;
        node.name = name;
        m_model.nodes.push_back(node);
        const int index = static_cast<int>(m_model.nodes.size() - 1);
        if (parent < 0) {
            m_model.scenes[0].nodes.push_back(index);
        } else {
            m_model.nodes[static_cast<size_t>(parent)].children.push_back(index);
        }
        return index;
    }

    int AddMesh(tinygltf::Mesh mesh) {
        m_model.meshes.push_back(std::move(mesh));
        return static_cast<int>(m_model.meshes.size() - 1);
    }

    // Positions, normals and texture coordinates of one primitive; `points` and `normals` are in
    // glTF's frame already.
    tinygltf::Primitive Primitive(const std::vector<float>& points,
                                  const std::vector<float>& normals,
                                  const std::vector<ModelVertex>& source,
                                  const std::vector<uint16_t>& indices, int material) {
        tinygltf::Primitive p;
        p.mode = TINYGLTF_MODE_TRIANGLES;
        p.material = material;
        p.attributes["POSITION"] =
            m_buffer.AddFloats(points, TINYGLTF_TYPE_VEC3, true, TINYGLTF_TARGET_ARRAY_BUFFER);
        p.attributes["NORMAL"] =
            m_buffer.AddFloats(normals, TINYGLTF_TYPE_VEC3, false, TINYGLTF_TARGET_ARRAY_BUFFER);
        // Texture coordinates are kept also for objects drawn without a
        // texture: they are part of the model.
        std::vector<float> uv;
        uv.reserve(source.size() * 2);
        for (const ModelVertex& v : source) uv.insert(uv.end(), {v.tu, v.tv});
        p.attributes["TEXCOORD_0"] =
            m_buffer.AddFloats(uv, TINYGLTF_TYPE_VEC2, false, TINYGLTF_TARGET_ARRAY_BUFFER);
        p.indices = m_buffer.AddIndices(GltfCorners(indices));
        return p;
    }

    // Static points and normals of a vertex block in glTF's frame.
    void Points(const ModelVertex* v, size_t n, std::vector<float>& points,
                std::vector<float>& normals) {
        points.resize(n * 3);
        normals.resize(n * 3);
        for (size_t i = 0; i < n; ++i) {
            points[3 * i] = static_cast<float>(v[i].x * m_sources.scale);
            points[3 * i + 1] = static_cast<float>(v[i].y * m_sources.scale);
            points[3 * i + 2] = static_cast<float>(-v[i].z * m_sources.scale);
            if (!GltfNormal(v[i], nullptr, &normals[3 * i])) ++m_badNormals;
        }
    }

    // The input accessor of an animation of `frames` keys at 30 a second.
    int KeyTimes(size_t frames) {
        std::vector<float> times(frames);
        for (size_t k = 0; k < frames; ++k) times[k] = KeyTime(k);
        return m_buffer.AddFloats(times, TINYGLTF_TYPE_SCALAR, true, 0);
    }

    static void AddChannel(tinygltf::Animation& animation, int node, const char* path, int input,
                           int output, const char* interpolation) {
        tinygltf::AnimationSampler sampler;
        sampler.input = input;
        sampler.output = output;
        sampler.interpolation = interpolation;
        animation.samplers.push_back(sampler);
        tinygltf::AnimationChannel channel;
        channel.sampler = static_cast<int>(animation.samplers.size() - 1);
        channel.target_node = node;
        channel.target_path = path;
        animation.channels.push_back(channel);
    }

    void NoteBadNormals(const std::string& path) {
        if (m_badNormals > 0)
            m_notes.push_back(path + ": " + std::to_string(m_badNormals) +
                              " vertices have no usable normal; they get (0, 1, 0)");
        m_badNormals = 0;
    }

    const ConvertSources& m_sources;
    tinygltf::Model& m_model;
    std::vector<std::string>& m_notes;
    GltfBuffer m_buffer;
    MaterialTable m_materials;
    size_t m_badNormals = 0;
};

bool SceneBuilder::AddTessel(const std::string& path, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, error)) return false;
    TesselFileData tessel;
    std::string why;
    if (!ParseTesselFile(bytes.data(), bytes.size(), tessel, why)) {
        error = path + ": " + why;
        return false;
    }
    auto finite = [&](const std::vector<ModelVertex>& vertices, int32_t perFrame, const char* kind,
                      size_t object) {
        for (size_t i = 0; i < vertices.size(); ++i)
            if (!Finite(vertices[i])) {
                error = path + ": " + kind + " object " + std::to_string(object) + ", vertex " +
                        std::to_string(i % static_cast<size_t>(perFrame)) +
                        ": a coordinate is not a finite number";
                return false;
            }
        return true;
    };
    for (size_t i = 0; i < tessel.statics.size(); ++i)
        if (!finite(tessel.statics[i].vertices, tessel.statics[i].vertexCount, "static", i))
            return false;
    for (size_t i = 0; i < tessel.animateds.size(); ++i)
        if (!finite(tessel.animateds[i].frames, tessel.animateds[i].vertexCount, "animated", i))
            return false;

    if (!tessel.animateds.empty() && tessel.frameCount > kMaxMorphFrames) {
        error = path + ": " + std::to_string(tessel.frameCount) +
                " frames; animated objects of more than " + std::to_string(kMaxMorphFrames) +
                " frames are not converted";
        return false;
    }

    const std::string stem = Stem(path);
    const int group = AddNode(stem, -1);
    auto skipped = [&](const char* kind, size_t i, int32_t faces) {
        if (faces > 0) return false;
        m_notes.push_back(path + ": " + kind + " object " + std::to_string(i) +
                          " has no faces; it is left out");
        return true;
    };
    std::vector<float> points, normals;
    for (size_t i = 0; i < tessel.statics.size(); ++i) {
        const StaticObject& o = tessel.statics[i];
        if (skipped("static", i, o.faceCount)) continue;
        Points(o.vertices.data(), o.vertices.size(), points, normals);
        tinygltf::Mesh mesh;
        mesh.name = stem + " static " + std::to_string(i);
        mesh.primitives.push_back(Primitive(points, normals, o.vertices, o.indices,
                                            m_materials.For(o.textureName, path)));
        const int node = AddNode(mesh.name, group);
        m_model.nodes[static_cast<size_t>(node)].mesh = AddMesh(std::move(mesh));
    }

    // Animated objects: frame 0 is the base, frame k the morph target k
    // (the difference to frame 0), switched on alone at key k.
    tinygltf::Animation animation;
    animation.name = stem;
    int times = -1, weights = -1;
    const size_t frames = static_cast<size_t>(tessel.frameCount);
    for (size_t i = 0; i < tessel.animateds.size(); ++i) {
        const AnimatedObject& o = tessel.animateds[i];
        if (skipped("animated", i, o.faceCount)) continue;
        const size_t n = static_cast<size_t>(o.vertexCount);
        const std::vector<ModelVertex> first(o.Frame(0), o.Frame(0) + n);
        std::vector<float> basePoints, baseNormals;
        Points(first.data(), n, basePoints, baseNormals);
        tinygltf::Primitive p = Primitive(basePoints, baseNormals, first, o.indices,
                                          m_materials.For(o.textureName, path));
        for (size_t k = 0; k < frames; ++k) {
            Points(o.Frame(static_cast<int32_t>(k)), n, points, normals);
            for (size_t j = 0; j < points.size(); ++j) {
                points[j] -= basePoints[j];
                normals[j] -= baseNormals[j];
            }
            p.targets.push_back({{"POSITION", m_buffer.AddFloats(points, TINYGLTF_TYPE_VEC3, true,
                                                                 TINYGLTF_TARGET_ARRAY_BUFFER)},
                                 {"NORMAL", m_buffer.AddFloats(normals, TINYGLTF_TYPE_VEC3, false,
                                                               TINYGLTF_TARGET_ARRAY_BUFFER)}});
        }
        tinygltf::Mesh mesh;
        mesh.name = stem + " animated " + std::to_string(i);
        mesh.primitives.push_back(std::move(p));
        mesh.weights.assign(frames, 0.0);
        const int node = AddNode(mesh.name, group);
        m_model.nodes[static_cast<size_t>(node)].mesh = AddMesh(std::move(mesh));
        if (times < 0) {
            times = KeyTimes(frames);
            std::vector<float> oneHot(frames * frames, 0.0f);
            for (size_t k = 0; k < frames; ++k) oneHot[k * frames + k] = 1.0f;
            weights = m_buffer.AddFloats(oneHot, TINYGLTF_TYPE_SCALAR, false, 0);
        }
        AddChannel(animation, node, "weights", times, weights, "STEP");
    }
    if (!animation.channels.empty()) m_model.animations.push_back(std::move(animation));
    NoteBadNormals(path);
    return true;
}

bool SceneBuilder::AddCharacter(std::string& error) {
    const std::string& bipedPath = m_sources.bipedPath;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(bipedPath, bytes, error)) return false;
    Biped biped;
    std::string why;
    if (!biped.LoadFromMemory(bytes.data(), bytes.size(), why)) {
        error = bipedPath + ": " + why;
        return false;
    }
    const size_t frames = static_cast<size_t>(biped.frameCount);
    const size_t boneCount = biped.bones.size();
    for (const BipedBone& bone : biped.bones)
        for (const D3DMATRIX& m : bone.matrices)
            for (float f : m.m)
                if (!std::isfinite(f)) {
                    error = bipedPath + ": a bone matrix holds a value that is not a finite number";
                    return false;
                }

    // Every bone's pose at every frame; frame 0 is the bind pose.
    std::vector<BonePose> poses(boneCount * frames);
    size_t sheared = 0;
    std::string firstSheared;
    for (size_t b = 0; b < boneCount; ++b)
        for (size_t k = 0; k < frames; ++k) {
            BonePose& p = poses[b * frames + k] =
                Decompose(GltfAffine(biped.bones[b].matrices[k], m_sources.scale));
            if (!p.exact && sheared++ == 0)
                firstSheared = "bone " + std::to_string(b) + " at frame " + std::to_string(k);
            if (k > 0) {  // the shorter way from the previous key
                const double* q0 = poses[b * frames + k - 1].q;
                if (q0[0] * p.q[0] + q0[1] * p.q[1] + q0[2] * p.q[2] + q0[3] * p.q[3] < 0)
                    for (double& c : p.q) c = -c;
            }
        }
    if (sheared > 0)
        m_notes.push_back(bipedPath + ": " + std::to_string(sheared) +
                          " bone matrices are not translation x rotation x scale (the first: " +
                          firstSheared + "); the nearest rotation and scale are used");

    const std::string stem = Stem(bipedPath);
    const int root = AddNode(stem, -1);
    tinygltf::Skin skin;
    skin.name = stem;
    skin.skeleton = root;
    std::vector<float> inverseBinds(boneCount * 16, 0.0f);
    std::vector<bool> invertible(boneCount, true);
    for (size_t b = 0; b < boneCount; ++b) {
        const BonePose& p = poses[b * frames];
        const int node = AddNode("bone " + std::to_string(b), root);
        tinygltf::Node& n = m_model.nodes[static_cast<size_t>(node)];
        n.translation.assign(p.t, p.t + 3);
        n.rotation.assign(p.q, p.q + 4);
        n.scale.assign(p.s, p.s + 3);
        skin.joints.push_back(node);
        // The inverse of the bind pose: diag(1/s) R^T, then the translation.
        float* m = &inverseBinds[b * 16];
        m[15] = 1.0f;
        for (int i = 0; i < 3; ++i) invertible[b] = invertible[b] && std::fabs(p.s[i]) > 1e-12;
        if (!invertible[b]) {
            m[0] = m[5] = m[10] = 1.0f;
            continue;
        }
        double inv[3][3];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) inv[r][c] = p.r[c][r] / p.s[r];
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) m[4 * c + r] = static_cast<float>(inv[r][c]);
            m[12 + r] =
                static_cast<float>(-(inv[r][0] * p.t[0] + inv[r][1] * p.t[1] + inv[r][2] * p.t[2]));
        }
    }
    if (boneCount > 0) {
        skin.inverseBindMatrices = m_buffer.AddFloats(inverseBinds, TINYGLTF_TYPE_MAT4, false, 0);
        m_model.skins.push_back(skin);
    }
    const int skinIndex = static_cast<int>(m_model.skins.size()) - 1;

    // The animation: every bone's translation, rotation and scale per frame.
    if (boneCount > 0) {
        tinygltf::Animation animation;
        animation.name = stem;
        const int times = KeyTimes(frames);
        std::vector<float> t(frames * 3), r(frames * 4), s(frames * 3);
        for (size_t b = 0; b < boneCount; ++b) {
            for (size_t k = 0; k < frames; ++k) {
                const BonePose& p = poses[b * frames + k];
                for (int i = 0; i < 3; ++i) t[k * 3 + i] = static_cast<float>(p.t[i]);
                for (int i = 0; i < 4; ++i) r[k * 4 + i] = static_cast<float>(p.q[i]);
                for (int i = 0; i < 3; ++i) s[k * 3 + i] = static_cast<float>(p.s[i]);
            }
            const int node = skin.joints[b];
            AddChannel(animation, node, "translation", times,
                       m_buffer.AddFloats(t, TINYGLTF_TYPE_VEC3, false, 0), "LINEAR");
            AddChannel(animation, node, "rotation", times,
                       m_buffer.AddFloats(r, TINYGLTF_TYPE_VEC4, false, 0), "LINEAR");
            AddChannel(animation, node, "scale", times,
                       m_buffer.AddFloats(s, TINYGLTF_TYPE_VEC3, false, 0), "LINEAR");
        }
        m_model.animations.push_back(std::move(animation));
    }

    // The parts: each vertex at the bind pose of its bone, weight 1 to it.
    for (int slot = 0; slot < kPartSlots; ++slot) {
        const std::string& path = m_sources.parts[static_cast<size_t>(slot)];
        if (path.empty()) continue;
        if (!ReadWholeFile(path, bytes, error)) return false;
        PartFileData part;
        if (!ParsePartFile(bytes.data(), bytes.size(), part, why)) {
            error = path + ": " + why;
            return false;
        }
        tinygltf::Mesh mesh;
        mesh.name = kPartSlotNames[slot];
        for (size_t o = 0; o < part.objects.size(); ++o) {
            const PartObject& object = part.objects[o];
            const std::string where = path + ": object " + std::to_string(o);
            if (object.faceCount == 0) {
                m_notes.push_back(where + " has no faces; it is left out");
                continue;
            }
            const size_t n = object.sourceVertices.size();
            std::vector<float> points(n * 3), normals(n * 3);
            std::vector<uint16_t> joints(n * 4, 0);
            std::vector<float> weights(n * 4, 0.0f);
            for (size_t j = 0; j < n; ++j) {
                const ModelVertex& v = object.sourceVertices[j];
                const int bone = object.boneIndices[j];
                if (bone < 0 || static_cast<size_t>(bone) >= boneCount) {
                    error = where + ", vertex " + std::to_string(j) + " follows bone " +
                            std::to_string(bone) + ", but " + bipedPath + " has " +
                            std::to_string(boneCount) + " bones";
                    return false;
                }
                if (!invertible[static_cast<size_t>(bone)]) {
                    error = where + ", vertex " + std::to_string(j) + " follows bone " +
                            std::to_string(bone) + ", whose matrix at frame 0 in " + bipedPath +
                            " has a zero scale";
                    return false;
                }
                if (!Finite(v)) {
                    error = where + ", vertex " + std::to_string(j) +
                            ": a coordinate is not a finite number";
                    return false;
                }
                const BonePose& p = poses[static_cast<size_t>(bone) * frames];
                double a[3][3];
                for (int r = 0; r < 3; ++r)
                    for (int c = 0; c < 3; ++c) a[r][c] = p.r[r][c] * p.s[c];
                const double q[3] = {v.x * m_sources.scale, v.y * m_sources.scale,
                                     -v.z * m_sources.scale};
                for (int r = 0; r < 3; ++r)
                    points[3 * j + r] = static_cast<float>(a[r][0] * q[0] + a[r][1] * q[1] +
                                                           a[r][2] * q[2] + p.t[r]);
                if (!GltfNormal(v, a, &normals[3 * j])) ++m_badNormals;
                joints[4 * j] = static_cast<uint16_t>(bone);
                weights[4 * j] = 1.0f;
            }
            tinygltf::Primitive primitive =
                Primitive(points, normals, object.sourceVertices, object.indices,
                          m_materials.For(object.textureName, path));
            primitive.attributes["JOINTS_0"] = m_buffer.AddJoints(joints, boneCount);
            primitive.attributes["WEIGHTS_0"] = m_buffer.AddFloats(
                weights, TINYGLTF_TYPE_VEC4, false, TINYGLTF_TARGET_ARRAY_BUFFER);
            mesh.primitives.push_back(std::move(primitive));
        }
        NoteBadNormals(path);
        if (mesh.primitives.empty()) continue;
        const int node = AddNode(mesh.name, -1);
        m_model.nodes[static_cast<size_t>(node)].mesh = AddMesh(std::move(mesh));
        m_model.nodes[static_cast<size_t>(node)].skin = skinIndex;
    }
    return true;
}

}  // namespace

bool ConvertModels(const ConvertSources& sources, ConvertResult& result, std::string& error) {
    result = ConvertResult();
    SceneBuilder builder(sources, result);
    if (!sources.bipedPath.empty() && !builder.AddCharacter(error)) return false;
    if (!sources.tesselPath.empty() && !builder.AddTessel(sources.tesselPath, error)) return false;
    // A scene without any geometry or animation (a biped of no bones) has no buffer.
    if (result.model.buffers[0].data.empty()) result.model.buffers.clear();
    return true;
}
