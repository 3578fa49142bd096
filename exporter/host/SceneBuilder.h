// What the scene host's builder shares between its files: the conversions
// from the importer's types and the builder that turns an imported scene
// into the package's nodes, animations, materials and meshes. Used only by
// the HostScene*.cpp and SceneBuilder*.cpp files.
#pragma once

#include <assimp/scene.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "exporter/host/GltfInterpolation.h"
#include "exporter/host/HostScene.h"

// Assimp matrices take column vectors with the translation in a4/b4/c4; the
// SDK's take row vectors: the row-vector form is the transpose.
inline Matrix3 FromAi(const aiMatrix4x4& m) {
    return Matrix3(Point3(m.a1, m.b1, m.c1), Point3(m.a2, m.b2, m.c2), Point3(m.a3, m.b3, m.c3),
                   Point3(m.a4, m.b4, m.c4));
}

// The turn from a file's axes to the package's: file axis `up` (times
// upSign) becomes z, axis `coord` (times coordSign) x, and the third axis
// follows as for a right-handed turn. Y up with x across: x stays, y becomes
// z, z becomes -y.
inline Matrix3 AxesToZUp(int up, float upSign, int coord, float coordSign) {
    Point3 rows[3];
    rows[up] = Point3(0.0f, 0.0f, upSign);
    rows[coord] = Point3(coordSign, 0.0f, 0.0f);
    const int third = 3 - up - coord;
    rows[third] = CrossProd(rows[(third + 1) % 3], rows[(third + 2) % 3]);
    return Matrix3(rows[0], rows[1], rows[2], Point3(0.0f, 0.0f, 0.0f));
}

// Bits of a float for exact comparison and hashing: -0 equals 0, every NaN
// equals every other.
inline uint32_t KeyBits(float f) {
    if (std::isnan(f)) return 0x7fc00000u;
    if (f == 0.0f) return 0u;
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

inline void AppendBits(std::string& key, uint32_t v) {
    key.append(reinterpret_cast<const char*>(&v), sizeof v);
}

inline bool IsBipedName(const std::string& name) {
    if (name.size() < 4 || name.compare(0, 3, "Bip") != 0) return false;
    size_t i = 3;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9') ++i;
    return i > 3 && (i == name.size() || name[i] == ' ');
}

inline bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

inline double FbxFrameRate(int mode, double custom) {
    switch (mode) {
        case 1:
            return 120;
        case 2:
            return 100;
        case 3:
            return 60;
        case 4:
            return 50;
        case 5:
            return 48;
        case 6:
        case 7:
            return 30;
        case 8:
        case 9:
            return 29.97;
        case 10:
            return 25;
        case 11:
            return 24;
        case 12:
            return 1000;
        case 13:
            return 23.976;
        case 14:
            return custom > 0 ? custom : 30;
        case 15:
            return 96;
        case 16:
            return 72;
        case 17:
            return 59.94;
        case 18:
            return 119.88;
        default:
            return 30;
    }
}

// True when m's 3x3 part is a rotation times a positive uniform scale and it
// has no translation: a change of frame rather than a placement.
inline bool IsFrameChange(const Matrix3& m) {
    if (m.GetTrans().LengthSquared() > 1e-12f) return false;
    const Point3 r0 = m.GetRow(0), r1 = m.GetRow(1), r2 = m.GetRow(2);
    const float l0 = r0.Length(), l1 = r1.Length(), l2 = r2.Length();
    if (!(l0 > 1e-6f)) return false;
    const float tol = 1e-4f * l0;
    if (std::fabs(l0 - l1) > tol || std::fabs(l0 - l2) > tol) return false;
    if (std::fabs(DotProd(r0, r1)) > tol * l0 || std::fabs(DotProd(r0, r2)) > tol * l0 ||
        std::fabs(DotProd(r1, r2)) > tol * l0)
        return false;
    return m.Determinant() > 0;
}

inline Matrix3 WithoutScale(const Matrix3& m) {
    Matrix3 out = m;
    for (int r = 0; r < 3; ++r) out.SetRow(r, m.GetRow(r).Normalize());
    return out;
}

inline std::string Str(const aiString& s) {
    return std::string(s.C_Str(), s.length);
}

class SceneBuilder {
public:
    SceneBuilder(HostScene& scene, const aiScene& ai, std::string path, const SceneSize& size)
        : s(scene), ai(ai), path(std::move(path)), size(size) {}
    bool Build(const std::string& animation, std::string& error);

private:
    // An animation as a clip: the nodes it drives and the ticks it spans.
    struct Candidate {
        std::string name;
        const aiAnimation* ai = nullptr;      // importer's animation, or
        const GltfAnimation* gltf = nullptr;  // the file's own
        std::set<HostNode*> driven;
        double low = std::numeric_limits<double>::infinity(), high = -low;
    };

    void ReadFrameRate();
    void DecideFrame();
    double ReadDeclaredUnit();
    HostNode* AddNode(const aiNode* an, HostNode* parent);
    void ReadGltf();
    void ResolveBones();
    HostNode* ChannelNode(const std::string& name, const std::string& animation);
    bool ChooseAnimations(const std::string& animation, std::string& error);
    void ReadAnimations();
    void ReadImportedAnimation(const aiAnimation* anim);
    void TakeGltfAnimation(const GltfAnimation& anim);
    void ClassifyNodes();
    void ReadImages();
    void BuildMaterials();
    Mtl* NodeMaterial(const std::vector<unsigned>& meshIndices, const std::string& nodeName);
    void BuildMesh(HostNode* node, const aiNode* an);
    HostNode* NodeByName(const std::string& name) {
        auto it = byName.find(name);
        return it == byName.end() ? nullptr : it->second.front();
    }
    const std::vector<HostNode*>& NodesByName(const std::string& name) {
        static const std::vector<HostNode*> none;
        auto it = byName.find(name);
        return it == byName.end() ? none : it->second;
    }
    double ToTicks(double keyTime, double tps) const {
        const double seconds = tps > 0 ? keyTime / tps : keyTime / s.frameRate;
        return seconds * TIME_TICKSPERSEC;
    }
    void Extend(double ticks) {
        if (!std::isfinite(ticks)) return;
        rangeMin = std::min(rangeMin, ticks);
        rangeMax = std::max(rangeMax, ticks);
        haveKeys = true;
    }

    HostScene& s;
    const aiScene& ai;
    std::vector<Candidate> candidates;
    std::vector<const Candidate*> taken;
    std::string path;
    SceneSize size;
    std::set<std::string> animatedNames;
    bool foldRoot = false;
    GltfFileAnimation gltf;
    bool gltfMatched = false;  // the file's nodes are the scene's, in depth-first order
    std::unordered_map<std::string, std::vector<HostNode*>>
        byName;                                         // nodes of each name, depth-first
    std::unordered_map<const HostNode*, int> position;  // depth-first position
    std::map<std::pair<const HostNode*, const aiBone*>, HostNode*> boneNodes;  // per mesh node
    std::vector<std::pair<HostNode*, const aiNode*>> order;                    // depth-first
    std::vector<Mtl*> aiMaterials;                                             // per aiMaterial
    std::map<std::vector<unsigned>, Mtl*> multis;
    double rangeMin = std::numeric_limits<double>::infinity();
    double rangeMax = -std::numeric_limits<double>::infinity();
    bool haveKeys = false;
};
