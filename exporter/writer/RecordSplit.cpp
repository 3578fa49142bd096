#include "exporter/writer/RecordSplit.h"

#include <cassert>

std::vector<MeshRecordPart> SplitIntoRecords(const std::vector<int32_t>& corners,
                                             size_t vertexCount, size_t maxVertices) {
    assert(maxVertices >= 3);
    std::vector<MeshRecordPart> parts;
    std::vector<int32_t> local(vertexCount,
                               -1);  // record vertex of each object vertex, -1: not in it
    MeshRecordPart current;
    auto close = [&] {
        for (int32_t v : current.vertices) local[static_cast<size_t>(v)] = -1;
        parts.push_back(std::move(current));
        current = MeshRecordPart();
    };
    for (size_t k = 0; k + 2 < corners.size(); k += 3) {
        size_t added = 0;
        for (size_t c = 0; c < 3; ++c) {
            const int32_t v = corners[k + c];
            assert(v >= 0 && static_cast<size_t>(v) < vertexCount);
            bool seen = local[static_cast<size_t>(v)] >= 0;
            for (size_t e = 0; e < c && !seen; ++e) seen = corners[k + e] == v;
            if (!seen) ++added;
        }
        if (current.vertices.size() + added > maxVertices) close();
        for (size_t c = 0; c < 3; ++c) {
            int32_t& slot = local[static_cast<size_t>(corners[k + c])];
            if (slot < 0) {
                slot = static_cast<int32_t>(current.vertices.size());
                current.vertices.push_back(corners[k + c]);
            }
            current.corners.push_back(slot);
        }
    }
    if (!current.corners.empty()) close();
    return parts;
}
