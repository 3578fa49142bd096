// Character import tests: scenes read through the host, exported into a
// temporary folder, read back with the viewer's own readers and skinned with
// the viewer's own skinning, then compared with the host's evaluation.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "exporter/host/HostScene.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TempDir.h"
#include "tests/support/ThirdPartyScenes.h"
#include "tools/character_export.h"
#include "viewer/model/Biped.h"
#include "viewer/model/CharacterPart.h"
#include "viewer/model/TextureManager.h"
#include "viewer/model/VertexMath.h"
#include "viewer/platform/QtImageLoader.h"

inline std::unique_ptr<HostScene> LoadHostScene(const std::string& path) {
    std::string error;
    std::unique_ptr<HostScene> scene = HostScene::Load(path, error);
    EXPECT_TRUE(scene) << error;
    if (scene) SetTicksPerFrame(scene->TicksPerFrame());
    return scene;
}

// The exported files as the viewer reads them.
struct ViewerCharacter {
    QtImageLoader bitmaps;
    TextureManager textures{1000, &bitmaps};
    RecordingUiServices ui;
    Biped biped;
    std::vector<std::unique_ptr<CharacterPart>> parts;

    // Reads the biped and every part of `result` (textures from OUTDIR/textr).
    bool Load(const CharacterExportResult& result, const std::string& outDir) {
        textures.SetSearchPath(outDir + "/textr/");
        std::string error;
        std::FILE* f = std::fopen(result.bipedFile.c_str(), "rb");
        if (f == nullptr) {
            ADD_FAILURE() << "no biped file " << result.bipedFile;
            return false;
        }
        const bool ok = biped.Load(f, error);
        std::fclose(f);
        if (!ok) {
            ADD_FAILURE() << result.bipedFile << ": " << error;
            return false;
        }
        for (const ExportedPart& p : result.parts) {
            f = std::fopen(p.file.c_str(), "rb");
            if (f == nullptr) {
                ADD_FAILURE() << "no part file " << p.file;
                return false;
            }
            auto part = std::make_unique<CharacterPart>(textures);
            const int32_t faces = part->Load(f, nullptr, ui, error);
            std::fclose(f);
            if (faces == 0) {
                ADD_FAILURE() << p.file << ": " << error;
                return false;
            }
            parts.push_back(std::move(part));
        }
        return true;
    }
};

inline bool Export(HostScene& scene, const CharacterExportOptions& options,
                   CharacterExportResult& result) {
    std::string error;
    const bool ok = ExportCharacter(scene, options, result, error);
    EXPECT_TRUE(ok) << error;
    return ok;
}

// A host point (z up) as the files hold it: y and z exchanged, scaled.
inline Point3 FilePoint(const Point3& p, double scale) {
    return Point3(p.x * scale, p.z * scale, p.y * scale);
}

inline float Distance(const ModelVertex& v, const Point3& p) {
    return std::sqrt((v.x - p.x) * (v.x - p.x) + (v.y - p.y) * (v.y - p.y) +
                     (v.z - p.z) * (v.z - p.z));
}

struct SkinComparison {
    double size = 0;         // diagonal of the model at the first frame, file units
    double worstSingle = 0;  // largest error of a vertex with one influence
    double meanSingle = 0;
    double meanAll = 0;  // mean error over every vertex
    size_t singleCount = 0, allCount = 0;
};

// Skins every part with the viewer's code at each frame in `frames` and
// compares each vertex with the host's own skinning of the mesh vertex
// behind it at that frame's tick.
inline SkinComparison CompareSkinning(HostScene& scene, const CharacterExportResult& result,
                                      ViewerCharacter& viewer, const std::vector<int32_t>& frames) {
    SkinComparison c;
    double sumSingle = 0, sumAll = 0;
    for (size_t p = 0; p < result.parts.size(); ++p) {
        HostNode* node = scene.FindNode(result.parts[p].meshName);
        if (node == nullptr || node->meshObject == nullptr) {
            ADD_FAILURE() << "no mesh " << result.parts[p].meshName;
            continue;
        }
        const MeshDeformation& def = node->meshObject->deform;
        // Size of the model: the host's mesh at the first frame.
        node->EvalWorldState(result.sampleTicks.front());
        const Matrix3 tm0 = node->GetObjTMAfterWSM(result.sampleTicks.front());
        Point3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
        const Mesh& m0 = node->meshObject->mesh;
        for (int i = 0; i < m0.numVerts; ++i) {
            const Point3 q = FilePoint(m0.verts[i] * tm0, result.scale);
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], q[k]);
                hi[k] = std::max(hi[k], q[k]);
            }
        }
        c.size = std::max<double>(c.size, (hi - lo).Length());
        CharacterPart& part = *viewer.parts[p];
        for (int32_t frame : frames) {
            const TimeValue t = result.sampleTicks[static_cast<size_t>(frame)];
            node->EvalWorldState(t);
            const Matrix3 tm = node->GetObjTMAfterWSM(t);
            const Mesh& mesh = node->meshObject->mesh;
            part.Skin(viewer.biped, frame);
            for (size_t o = 0; o < part.objects.size(); ++o) {
                const ExportedObject& info = result.parts[p].objects[o];
                const PartObject& obj = part.objects[o];
                for (size_t j = 0; j < obj.skinnedVertices.size(); ++j) {
                    const int32_t h = info.sourceVertex[j];
                    const Point3 host = FilePoint(mesh.verts[h] * tm, result.scale);
                    const double e = Distance(obj.skinnedVertices[j], host);
                    sumAll += e;
                    ++c.allCount;
                    const bool single =
                        !def.skinned || def.influences[static_cast<size_t>(h)].size() <= 1;
                    if (single) {
                        sumSingle += e;
                        ++c.singleCount;
                        c.worstSingle = std::max(c.worstSingle, e);
                    }
                }
            }
        }
    }
    c.meanAll = c.allCount ? sumAll / double(c.allCount) : 0;
    c.meanSingle = c.singleCount ? sumSingle / double(c.singleCount) : 0;
    return c;
}

// The biped's matrix of bone `b` at `frame`, as the viewer read it, applied to a point.
inline Point3 BonePoint(const Biped& biped, int b, int frame, const Point3& p) {
    float in[3] = {p.x, p.y, p.z}, out[3] = {0, 0, 0};
    TransformPoint(out, in,
                   biped.bones[static_cast<size_t>(b)].matrices[static_cast<size_t>(frame)]);
    return Point3(out[0], out[1], out[2]);
}

inline void ExpectNearPoint(const Point3& a, const Point3& b, float tol,
                            const std::string& what = "") {
    EXPECT_NEAR(a.x, b.x, tol) << what;
    EXPECT_NEAR(a.y, b.y, tol) << what;
    EXPECT_NEAR(a.z, b.z, tol) << what;
}
