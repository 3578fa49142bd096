// The object records of a Tessel file as the exporter writes them from the
// 3D package's scene: the texture reference of each object, derived from its
// material (with the material warnings), and its mesh part, static or
// animated, in the file's y-up frame with computed normals, flipped texture
// v, split vertices and one vertex block per sampled frame.
//
// Every record is complete: an object that cannot become a mesh, or whose
// mesh does not fit the file's limits, gets an empty mesh part (0 vertices,
// 0 faces) and a message naming it; a material yields at most one texture
// reference. When asked to, an object above the vertex limit is written as
// several records instead (RecordSplit.h), each with the object's texture
// reference; the header's counts are then corrected at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "exporter/host/MaxScene.h"
#include "exporter/writer/MaterialTable.h"
#include "exporter/writer/TesselOutput.h"
#include "exporter/writer/VertexSplit.h"

// Captions and texts of the writers' message boxes.
extern const char* const kMaterialCaption;    // "에라!!"
extern const char* const kTextureNotEnabled;  // "Texture가 Enable 되어 있지 않습니다."
extern const char* const
    kSeveralTextures;  // "Texture가 Material 하나에 여러개가 지정되어 있습니다."
extern const char* const kNestedTexture;     // "Texture 가 이중 구조로 되어 있습니다."
extern const char* const kSubMaterialFound;  // "Sub Material이 발견되었습니다."
extern const char* const kExportCaption;     // "Export Message"

// Longest texture name the viewer keeps, in bytes.
constexpr int MAX_TEXTURE_NAME = 79;
// Most vertices one object may have: the viewer indexes them with 16 bits.
constexpr int MAX_OBJECT_VERTICES = 65536;

// The part of a path after its last backslash (the whole path without one).
CStr FileNameOnly(const CStr& path);
// The name with every double quote turned into an apostrophe and every
// control or non-ASCII character into underscores, in a buffer shared by all
// calls. Names are UTF-8; a non-ASCII character becomes two underscores, the
// two bytes it takes in the package's Korean code page; bytes that are not
// UTF-8 become one underscore each. The result is never longer than the name
// (cut at 259 bytes).
const char* SanitizeName(const char* name);
// True when the transform turns space inside out (negative determinant).
bool IsMirrored(const Matrix3& tm);
// The node's object at t as a triangle mesh, or null. deleteIt is set when
// the result is a new object the caller must delete (DeleteMe) after use.
TriObject* MeshFromNode(INode* node, TimeValue t, bool& deleteIt);

class TesselWriter {
public:
    explicit TesselWriter(TesselOutput& out) : out(out) {}

    // What the export dialog chose and the driver found.
    const MaterialTable* materials = nullptr;
    TimeValue startTime = 0;
    TimeValue endTime = 0;
    int frameStep = 1;
    INode* bipedRoot = nullptr;
    BOOL centreOnBiped = TRUE;
    // Memory for sampled frames kept between the two passes of the animated
    // writer; frames beyond it are evaluated again.
    size_t frameCacheBytes = size_t(256) << 20;
    // Objects above MAX_OBJECT_VERTICES become several records of at most
    // that many vertices instead of an empty mesh part.
    bool splitLarge = false;
    // Records written beyond one per object, by splitting.
    int32_t ExtraRecords() const { return extraRecords; }

    // Vertex blocks per animated object (the header's frame count).
    int32_t FrameCount() const;
    // The file's fields, for what the driver writes itself.
    TesselOutput& Output() { return out; }

    // Texture reference of one object.
    void WriteNodeTexture(INode* node);
    void WriteMaterialTexture(Mtl* material, INode* node);
    // Name record of one map (length 0 unless it is a bitmap map with a name
    // that fits the viewer).
    void WriteTextureName(Texmap* map, INode* node);

    // Mesh part of a static object sampled at t.
    void WriteStaticMesh(INode* node, TimeValue t);
    // Mesh part of an animated object: layout and mirroring at t, one vertex
    // block per sample from startTime to endTime.
    void WriteAnimatedMesh(INode* node, TimeValue t);
    // An empty mesh part (0 vertices, frame blocks of nothing, 0 faces) and a
    // message naming the object and the reason.
    void WriteEmptyMesh(INode* node, const std::string& reason);

private:
    struct Prepared;
    bool Prepare(INode* node, TimeValue t, bool animated, Prepared& mesh, std::string& why);
    // Evaluates the mesh at s into positions[0..layout.numVerts); false
    // when its vertex count differs from the layout's.
    bool Sample(INode* node, TimeValue s, const Prepared& layout, Point3* positions);
    void WriteBlock(const Point3* positions, const SplitLayout& layout,
                    const std::vector<int32_t>* subset = nullptr);
    // Starts record r of a split object: from the second on, the object's
    // texture reference again.
    void StartRecord(size_t r);
    void WriteTooManyVertices(INode* node, size_t count);

    TesselOutput& out;
    std::string objectTexture;  // name in the current object's texture reference
    int32_t extraRecords = 0;
    // Working tables, kept between objects to spare allocations.
    std::vector<Point3> normals;
    std::vector<int32_t> useCounts;
};
