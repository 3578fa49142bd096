// Character import: turns a rigged scene, read through the host, into the
// viewer's character files. A skeleton becomes a biped file (.bpd): one bone
// per joint in depth-first order, each with a small mesh in its own space and
// its world transform at every sampled frame. Each mesh skinned to that
// skeleton (or attached to one of its joints) becomes a Morvane part (.mrv)
// whose every vertex follows its strongest joint, given in that joint's space
// at the bind pose. Texture images go into the "textr" folder beside them in
// a form the viewer reads (BMP or TGA).
//
// Frames: the host's world is right-handed and z up; the files are y up.
// Points and matrices go over with y and z exchanged (on both sides of a
// matrix), and triangle corners are reordered so that the viewer's clockwise
// front faces face outwards.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "exporter/host/HostScene.h"

// A skeleton of the scene: its top node and its bones in depth-first order.
// The top node is the lowest node above every joint its skinned meshes use
// (a helper above two joint chains, for example), or a top joint.
// A rig of rigid parts (a robot: meshes hanging from animated nodes, no skin)
// is a skeleton too: its top is the node directly below the scene's root that
// holds it, its bones the top and every node on the way down to a node with
// keys that moves a mesh; each mesh below it is a part on its nearest bone.
struct CharacterSkeleton {
    HostNode* root = nullptr;
    bool rigid = false;  // a rig of rigid parts: no skin, its meshes are its parts
    // The name that tells it apart: its top node's name, or where several
    // skeletons share that name, the names of the nodes above it
    // ("Armature.001/Hips"), or the name and its place among them ("Hips#2");
    // for an unnamed top, its place among all skeletons ("skeleton 2").
    std::string label;
    std::vector<HostNode*> bones;  // root first, then depth-first
    int BoneIndex(const HostNode* node) const;
};

// A mesh that can dress a skeleton: skinned to its joints, or a rigid mesh
// below one of its bones.
struct CharacterMesh {
    HostNode* node = nullptr;
    int skeleton = -1;  // index into SceneCharacters::skeletons
    bool skinned = false;
    HostNode* attachedTo = nullptr;  // rigid meshes: the bone they follow
};

struct SceneCharacters {
    std::vector<CharacterSkeleton> skeletons;  // skinned and jointed ones, then rigs of rigid
                                               // parts, each in depth-first order of their tops
    std::vector<CharacterMesh> meshes;         // depth-first; the joints of one skinned mesh are
                                               // always in one skeleton
    // The mesh of that name; with several, the one of `skeleton` (-1: any,
    // then null when the name is ambiguous).
    const CharacterMesh* FindMesh(const std::string& name, int skeleton = -1) const;
    // The skeleton of that label, top node name or bone name; -1 when none
    // has it, -2 when several have it and no label says which.
    int FindSkeleton(const std::string& name) const;
};

// The skeletons and dressable meshes of a scene.
SceneCharacters FindCharacters(HostScene& scene);

struct CharacterExportOptions {
    std::string outDir;
    std::optional<int32_t> startFrame, endFrame;  // default: the scene's animation range
    int32_t frameStep = 1;
    double framesPerSecond = 30.0;  // frames are sampled at this rate (the viewer plays 30)
    std::string skeleton;           // top node name; empty: the first
    std::vector<std::pair<std::string, std::string>>
        parts;                     // mesh name, part name; empty: all skinned (every part of a
                                   // rig of rigid parts)
    double scale = 1.0;            // world units to file units
    std::optional<double> height;  // scale so the character is this tall
};

// What one written part holds, for reports and checks.
struct ExportedObject {
    std::string textureName;  // empty: no texture
    int32_t vertexCount = 0;
    int32_t faceCount = 0;
    std::vector<int32_t> sourceVertex;  // per written vertex: the host mesh vertex behind it
    std::vector<int16_t> bones;         // per written vertex
};

struct ExportedPart {
    std::string meshName;
    std::string file;  // full path of the .mrv
    std::vector<ExportedObject> objects;
    int32_t unweightedVertices = 0;  // vertices that follow the mesh's node instead of a skin
};

struct ExportedTexture {
    std::string source;      // file path, or the scene's embedded texture name
    std::string name;        // the name the parts use
    bool converted = false;  // false: copied byte for byte
};

struct CharacterExportResult {
    std::string bipedFile;
    std::string skeletonName;
    std::vector<std::string> boneNames;
    int32_t startFrame = 0, endFrame = 0, frameStep = 1, frameCount = 0;
    double framesPerSecond = 30.0;
    std::vector<TimeValue> sampleTicks;  // one per frame
    double scale = 1.0;                  // applied to world units
    double height = 0.0;                 // of the character at the first frame, in file units
    std::vector<ExportedPart> parts;
    std::vector<ExportedTexture> textures;
    std::vector<std::string>
        notes;  // things the user should know (skipped meshes, missing textures)
};

// Writes the biped, the parts and the textures into options.outDir (created
// when missing). The whole set is written into a staging folder inside it
// (CharacterExportStaging) and moved into place once complete, so a failure
// leaves earlier files as they were and no temporaries. False with the
// problem in `error` (naming the scene, mesh or file) when nothing sensible
// can be written.
bool ExportCharacter(HostScene& scene, const CharacterExportOptions& options,
                     CharacterExportResult& result, std::string& error);

// The folder this process stages an export to `outDir` in.
std::string CharacterExportStaging(const std::string& outDir);
// Removes staging folders in `outDir` left by processes that no longer run.
void RemoveAbandonedStaging(const std::string& outDir);

// The host frame (z up) to the file frame (y up) for a point or direction.
inline Point3 ToFileFrame(const Point3& p) {
    return Point3(p.x, p.z, p.y);
}
// A host transform (row-vector, z up) as the file frame's 4x3 rows, y and z
// exchanged on both sides, then scaled by `scale` in world units. Rows 0-2
// the axes, row 3 the translation.
void ToFileMatrix(const Matrix3& m, double scale, float out[12]);
