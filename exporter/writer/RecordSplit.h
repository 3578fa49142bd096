// Splitting an object above the viewer's vertex limit into several mesh
// records: faces are taken in their written order and a record is closed
// when the next face would bring it past the limit; each record numbers the
// vertices it uses in order of first use, so vertices shared by faces of two
// records are repeated in both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct MeshRecordPart {
    std::vector<int32_t> vertices;  // object vertex behind each record vertex
    std::vector<int32_t> corners;   // record vertex of each corner, three per face
};

// The records of an object of `vertexCount` vertices whose faces are the
// corner triples `corners` (indices below vertexCount). Every face lands in
// exactly one record, in order; every record has at most `maxVertices`
// vertices (at least 3). An object without faces gives no records.
std::vector<MeshRecordPart> SplitIntoRecords(const std::vector<int32_t>& corners,
                                             size_t vertexCount, size_t maxVertices);
