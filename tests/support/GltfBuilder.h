// Writes small glTF 2.0 scenes (JSON with the binary data inline as a
// base64 data URI) for tests and benchmarks: nodes with transforms, box
// meshes with texture seams, materials with bitmap names, skins, morph
// targets and key-frame animations.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class GltfBuilder {
public:
    struct Node {
        std::string name;
        int mesh = -1;
        int skin = -1;
        std::vector<int> children;
        std::vector<float> translation, rotation, scale, matrix;  // empty: not written
    };

    // Adds a node; parent -1 makes it a scene root. Returns its index.
    int AddNode(const std::string& name, int parent = -1, int mesh = -1) {
        nodes.push_back({name, mesh, -1, {}, {}, {}, {}, {}});
        const int i = static_cast<int>(nodes.size()) - 1;
        if (parent < 0)
            roots.push_back(i);
        else
            nodes[static_cast<size_t>(parent)].children.push_back(i);
        return i;
    }
    Node& NodeAt(int i) { return nodes[static_cast<size_t>(i)]; }

    int AddMaterial(const std::string& name, const std::string& imageUri = "") {
        std::ostringstream m;
        m << "{\"name\":\"" << name << "\"";
        if (!imageUri.empty()) {
            images.push_back("{\"uri\":\"" + imageUri + "\"}");
            textures.push_back("{\"source\":" + std::to_string(images.size() - 1) + "}");
            m << ",\"pbrMetallicRoughness\":{\"baseColorTexture\":{\"index\":"
              << textures.size() - 1 << "}}";
        }
        m << "}";
        materials.push_back(m.str());
        return static_cast<int>(materials.size()) - 1;
    }

    struct Primitive {
        std::vector<float> positions;  // xyz
        std::vector<float> uvs;        // uv, empty for none
        std::vector<uint32_t> indices;
        std::vector<uint16_t> joints;             // 4 per vertex
        std::vector<float> weights;               // 4 per vertex
        std::vector<std::vector<float>> targets;  // position offsets per target
        int material = -1;
    };

    // A mesh of one or more primitives; returns its index.
    int AddMesh(const std::vector<Primitive>& prims,
                const std::vector<float>& defaultWeights = {}) {
        std::ostringstream m;
        m << "{\"primitives\":[";
        for (size_t p = 0; p < prims.size(); ++p) {
            const Primitive& pr = prims[p];
            const size_t n = pr.positions.size() / 3;
            if (p) m << ",";
            m << "{\"attributes\":{\"POSITION\":" << Accessor(pr.positions, "VEC3", true);
            if (!pr.uvs.empty()) m << ",\"TEXCOORD_0\":" << Accessor(pr.uvs, "VEC2");
            if (!pr.joints.empty()) {
                m << ",\"JOINTS_0\":" << AccessorU16(pr.joints, "VEC4");
                m << ",\"WEIGHTS_0\":" << Accessor(pr.weights, "VEC4");
            }
            m << "},\"indices\":" << AccessorU32(pr.indices);
            if (pr.material >= 0) m << ",\"material\":" << pr.material;
            if (!pr.targets.empty()) {
                m << ",\"targets\":[";
                for (size_t t = 0; t < pr.targets.size(); ++t)
                    m << (t ? "," : "") << "{\"POSITION\":" << Accessor(pr.targets[t], "VEC3", true)
                      << "}";
                m << "]";
            }
            m << "}";
            (void)n;
        }
        m << "]";
        if (!defaultWeights.empty()) m << ",\"weights\":" << List(defaultWeights);
        m << "}";
        meshes.push_back(m.str());
        return static_cast<int>(meshes.size()) - 1;
    }

    // An axis-aligned box of half size h centred at c: 24 vertices (4 per
    // side, texture seams), 12 triangles, counter-clockwise from outside.
    static Primitive Box(float h = 1.0f, bool withUvs = true, int material = -1, float cx = 0,
                         float cy = 0, float cz = 0) {
        Primitive p;
        p.material = material;
        const float n[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
        for (int f = 0; f < 6; ++f) {
            // Two axes spanning the side, right-handed with the normal.
            float u[3] = {n[f][1], n[f][2], n[f][0]};
            float v[3] = {n[f][1] * u[2] - n[f][2] * u[1], n[f][2] * u[0] - n[f][0] * u[2],
                          n[f][0] * u[1] - n[f][1] * u[0]};
            const float cs[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
            const uint32_t base = static_cast<uint32_t>(p.positions.size() / 3);
            for (auto& c : cs) {
                p.positions.push_back(cx + h * (n[f][0] + c[0] * u[0] + c[1] * v[0]));
                p.positions.push_back(cy + h * (n[f][1] + c[0] * u[1] + c[1] * v[1]));
                p.positions.push_back(cz + h * (n[f][2] + c[0] * u[2] + c[1] * v[2]));
                if (withUvs) {
                    p.uvs.push_back((c[0] + 1) * 0.5f);
                    p.uvs.push_back((c[1] + 1) * 0.5f);
                }
            }
            for (uint32_t i : {0u, 1u, 2u, 0u, 2u, 3u}) p.indices.push_back(base + i);
        }
        return p;
    }

    int AddSkin(const std::vector<int>& joints, const std::vector<float>& inverseBindMatrices) {
        std::ostringstream s;
        s << "{\"joints\":" << List(joints)
          << ",\"inverseBindMatrices\":" << Accessor(inverseBindMatrices, "MAT4") << "}";
        skins.push_back(s.str());
        return static_cast<int>(skins.size()) - 1;
    }

    // A key-frame channel. path: translation, rotation (x y z w), scale or
    // weights; times in seconds. Channels added before NewAnimation() belong
    // to the current animation.
    void Animate(int node, const std::string& path, const std::vector<float>& times,
                 const std::vector<float>& values, const std::string& interpolation = "LINEAR") {
        if (animations.empty()) animations.emplace_back();
        Anim& a = animations.back();
        const std::string type =
            path == "rotation" ? "VEC4" : (path == "weights" ? "SCALAR" : "VEC3");
        const int in = Accessor(times, "SCALAR", true);
        const int out = Accessor(values, type);
        a.samplers.push_back("{\"input\":" + std::to_string(in) + ",\"output\":" +
                             std::to_string(out) + ",\"interpolation\":\"" + interpolation + "\"}");
        a.channels.push_back("{\"sampler\":" + std::to_string(a.samplers.size() - 1) +
                             ",\"target\":{\"node\":" + std::to_string(node) + ",\"path\":\"" +
                             path + "\"}}");
    }
    void NewAnimation(const std::string& name) { animations.push_back({name, {}, {}}); }

    // The scene in the binary container: JSON chunk, then the data as the
    // binary chunk.
    std::string Glb() const {
        std::string json = Json(false);
        while (json.size() % 4) json += ' ';
        std::string bin(data.begin(), data.end());
        while (bin.size() % 4) bin += '\0';
        std::string out = "glTF";
        auto u32 = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
        };
        u32(2);
        u32(static_cast<uint32_t>(12 + 8 + json.size() + (bin.empty() ? 0 : 8 + bin.size())));
        u32(static_cast<uint32_t>(json.size()));
        out += "JSON";
        out += json;
        if (!bin.empty()) {
            u32(static_cast<uint32_t>(bin.size()));
            out += std::string("BIN\0", 4);
            out += bin;
        }
        return out;
    }

    std::string Json(bool inlineData = true) const {
        std::ostringstream j;
        j << "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":" << List(roots)
          << "}]";
        j << ",\"nodes\":[";
        for (size_t i = 0; i < nodes.size(); ++i) {
            const Node& n = nodes[i];
            j << (i ? "," : "") << "{\"name\":\"" << n.name << "\"";
            if (n.mesh >= 0) j << ",\"mesh\":" << n.mesh;
            if (n.skin >= 0) j << ",\"skin\":" << n.skin;
            if (!n.children.empty()) j << ",\"children\":" << List(n.children);
            if (!n.translation.empty()) j << ",\"translation\":" << List(n.translation);
            if (!n.rotation.empty()) j << ",\"rotation\":" << List(n.rotation);
            if (!n.scale.empty()) j << ",\"scale\":" << List(n.scale);
            if (!n.matrix.empty()) j << ",\"matrix\":" << List(n.matrix);
            j << "}";
        }
        j << "]";
        Section(j, "meshes", meshes);
        Section(j, "materials", materials);
        Section(j, "textures", textures);
        Section(j, "images", images);
        Section(j, "skins", skins);
        if (!animations.empty()) {
            j << ",\"animations\":[";
            for (size_t i = 0; i < animations.size(); ++i) {
                j << (i ? "," : "") << "{\"name\":\"" << animations[i].name << "\",\"channels\":[";
                for (size_t c = 0; c < animations[i].channels.size(); ++c)
                    j << (c ? "," : "") << animations[i].channels[c];
                j << "],\"samplers\":[";
                for (size_t c = 0; c < animations[i].samplers.size(); ++c)
                    j << (c ? "," : "") << animations[i].samplers[c];
                j << "]}";
            }
            j << "]";
        }
        j << ",\"accessors\":[";
        for (size_t i = 0; i < accessors.size(); ++i) j << (i ? "," : "") << accessors[i];
        j << "],\"bufferViews\":[";
        for (size_t i = 0; i < views.size(); ++i) j << (i ? "," : "") << views[i];
        j << "]";
        if (!data.empty() && inlineData)
            j << ",\"buffers\":[{\"byteLength\":" << data.size()
              << ",\"uri\":\"data:application/octet-stream;base64," << Base64(data) << "\"}]";
        else if (!data.empty())
            j << ",\"buffers\":[{\"byteLength\":" << data.size() << "}]";
        j << "}";
        return j.str();
    }

    // Writes JSON, or the binary container when the name ends in ".glb".
    bool Write(const std::string& path) const {
        std::ofstream f(path, std::ios::binary);
        const bool glb = path.size() > 4 && path.compare(path.size() - 4, 4, ".glb") == 0;
        f << (glb ? Glb() : Json());
        return static_cast<bool>(f);
    }

private:
    struct Anim {
        std::string name;
        std::vector<std::string> channels, samplers;
    };

    template <class T>
    static std::string List(const std::vector<T>& v) {
        std::ostringstream s;
        s.precision(9);
        s << "[";
        for (size_t i = 0; i < v.size(); ++i) s << (i ? "," : "") << v[i];
        s << "]";
        return s.str();
    }
    static void Section(std::ostringstream& j, const char* name,
                        const std::vector<std::string>& items) {
        if (items.empty()) return;
        j << ",\"" << name << "\":[";
        for (size_t i = 0; i < items.size(); ++i) j << (i ? "," : "") << items[i];
        j << "]";
    }
    int View(const void* bytes, size_t size) {
        while (data.size() % 4) data.push_back(0);
        const size_t offset = data.size();
        data.insert(data.end(), static_cast<const uint8_t*>(bytes),
                    static_cast<const uint8_t*>(bytes) + size);
        views.push_back("{\"buffer\":0,\"byteOffset\":" + std::to_string(offset) +
                        ",\"byteLength\":" + std::to_string(size) + "}");
        return static_cast<int>(views.size()) - 1;
    }
    static int Components(const std::string& type) {
        if (type == "SCALAR") return 1;
        if (type == "VEC2") return 2;
        if (type == "VEC3") return 3;
        if (type == "VEC4") return 4;
        return 16;
    }
    int Accessor(const std::vector<float>& v, const std::string& type, bool bounds = false) {
        const int view = View(v.data(), v.size() * sizeof(float));
        const int comps = Components(type);
        std::ostringstream a;
        a.precision(9);
        a << "{\"bufferView\":" << view
          << ",\"componentType\":5126,\"count\":" << v.size() / static_cast<size_t>(comps)
          << ",\"type\":\"" << type << "\"";
        if (bounds && !v.empty()) {
            std::vector<float> lo(v.begin(), v.begin() + comps), hi = lo;
            for (size_t i = 0; i < v.size(); ++i) {
                const size_t c = i % static_cast<size_t>(comps);
                lo[c] = std::min(lo[c], v[i]);
                hi[c] = std::max(hi[c], v[i]);
            }
            a << ",\"min\":" << List(lo) << ",\"max\":" << List(hi);
        }
        a << "}";
        accessors.push_back(a.str());
        return static_cast<int>(accessors.size()) - 1;
    }
    int AccessorU32(const std::vector<uint32_t>& v) {
        const int view = View(v.data(), v.size() * sizeof(uint32_t));
        accessors.push_back("{\"bufferView\":" + std::to_string(view) +
                            ",\"componentType\":5125,\"count\":" + std::to_string(v.size()) +
                            ",\"type\":\"SCALAR\"}");
        return static_cast<int>(accessors.size()) - 1;
    }
    int AccessorU16(const std::vector<uint16_t>& v, const std::string& type) {
        const int view = View(v.data(), v.size() * sizeof(uint16_t));
        accessors.push_back("{\"bufferView\":" + std::to_string(view) +
                            ",\"componentType\":5123,\"count\":" +
                            std::to_string(v.size() / static_cast<size_t>(Components(type))) +
                            ",\"type\":\"" + type + "\"}");
        return static_cast<int>(accessors.size()) - 1;
    }
    static std::string Base64(const std::vector<uint8_t>& in) {
        static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        size_t i = 0;
        for (; i + 2 < in.size(); i += 3) {
            const uint32_t v = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8) | in[i + 2];
            out += t[v >> 18];
            out += t[(v >> 12) & 63];
            out += t[(v >> 6) & 63];
            out += t[v & 63];
        }
        if (i + 1 == in.size()) {
            const uint32_t v = uint32_t(in[i]) << 16;
            out += t[v >> 18];
            out += t[(v >> 12) & 63];
            out += "==";
        } else if (i + 2 == in.size()) {
            const uint32_t v = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8);
            out += t[v >> 18];
            out += t[(v >> 12) & 63];
            out += t[(v >> 6) & 63];
            out += '=';
        }
        return out;
    }

    std::vector<Node> nodes;
    std::vector<int> roots;
    std::vector<std::string> meshes, materials, textures, images, skins, accessors, views;
    std::vector<Anim> animations;
    std::vector<uint8_t> data;
};
