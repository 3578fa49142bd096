#include "viewer/model/Biped.h"

#include <utility>

#include "viewer/model/ByteReader.h"
#include "viewer/model/VertexMath.h"
#include "viewer/platform/UiServices.h"

namespace {
constexpr size_t kPointBytes = 12;
constexpr size_t kTriangleBytes = 12;
constexpr size_t kFrameBytes = 48;
// Element indices of the 12 stored floats of a frame matrix.
constexpr int kStoredElements[12] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14};

}  // namespace

bool Biped::Load(std::FILE* file, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadStream(file, bytes, error)) return false;
    return LoadFromMemory(bytes.data(), bytes.size(), error);
}

bool Biped::LoadFromMemory(const uint8_t* data, size_t size, std::string& error) {
    ByteReader r(data, size);
    int32_t nBones = 0, nFrames = 0;
    if (!r.ReadInt32(nBones) || !r.ReadInt32(nFrames)) {
        error = "file is too short for the header (" + std::to_string(size) + " bytes, 8 needed)";
        return false;
    }
    if (nBones < 0) {
        error = "bone count is negative (" + std::to_string(nBones) + ")";
        return false;
    }
    if (nFrames < 1) {
        error = "frame count is " + std::to_string(nFrames) + ", at least 1 is needed";
        return false;
    }
    // Smallest possible bone: two counts and its frames; a bone's own record
    // in memory is less than twice that.
    const uint64_t minimumBone = 8 + kFrameBytes * static_cast<uint64_t>(nFrames);
    if (!r.Holds(static_cast<uint64_t>(nBones), minimumBone)) {
        error = std::to_string(nBones) + " bones of " + std::to_string(nFrames) +
                " frames need at least " + std::to_string(minimumBone) +
                " bytes each, the file has " + std::to_string(r.Remaining()) + " after the header";
        return false;
    }

    std::vector<BipedBone> loaded(static_cast<size_t>(nBones));
    std::vector<float> table;
    for (int32_t b = 0; b < nBones; ++b) {
        BipedBone& bone = loaded[static_cast<size_t>(b)];
        const std::string where = "bone " + std::to_string(b);
        int32_t positionCount = 0;
        if (!r.ReadInt32(positionCount)) {
            error = where + ": file ends before its position count";
            return false;
        }
        if (positionCount < 0 || !r.Holds(static_cast<uint64_t>(positionCount), kPointBytes)) {
            error = where + ": position count " + std::to_string(positionCount) +
                    " does not fit the " + std::to_string(r.Remaining()) + " bytes left" +
                    r.AtByte();
            return false;
        }
        table.resize(static_cast<size_t>(positionCount) * 3);
        for (float& f : table) r.ReadFloat(f);

        int32_t triangleCount = 0;
        if (!r.ReadInt32(triangleCount)) {
            error = where + ": file ends before its triangle count";
            return false;
        }
        if (triangleCount < 0 || !r.Holds(static_cast<uint64_t>(triangleCount), kTriangleBytes)) {
            error = where + ": triangle count " + std::to_string(triangleCount) +
                    " does not fit the " + std::to_string(r.Remaining()) + " bytes left" +
                    r.AtByte();
            return false;
        }
        bone.triangleCount = triangleCount;
        const size_t corners = static_cast<size_t>(triangleCount) * 3;
        bone.bindVertices.resize(corners);
        for (size_t k = 0; k < corners; ++k) {
            int32_t index = 0;
            r.ReadInt32(index);
            if (index < 0 || index >= positionCount) {
                error = where + ": corner " + std::to_string(k) + " names position " +
                        std::to_string(index) + " but the bone has " +
                        std::to_string(positionCount) + " positions";
                return false;
            }
            ModelVertex v{};
            v.x = table[3 * static_cast<size_t>(index)];
            v.y = table[3 * static_cast<size_t>(index) + 1];
            v.z = table[3 * static_cast<size_t>(index) + 2];
            bone.bindVertices[k] = v;
        }
        bone.posedVertices = bone.bindVertices;

        if (!r.Holds(static_cast<uint64_t>(nFrames), kFrameBytes)) {
            error = where + ": file ends inside its " + std::to_string(nFrames) +
                    " frame matrices" + r.AtByte();
            return false;
        }
        bone.matrices.resize(static_cast<size_t>(nFrames));
        for (D3DMATRIX& m : bone.matrices) {
            m = D3DMATRIX{};
            for (int e : kStoredElements) r.ReadFloat(m[e]);
            m[3] = 0.0f;
            m[7] = 0.0f;
            m[11] = 0.0f;
            m[15] = 1.0f;
        }
    }
    if (!r.AtEnd()) {
        error =
            std::to_string(r.Remaining()) + " unexpected bytes after the last bone" + r.AtByte();
        return false;
    }

    frameCount = nFrames;
    boneCount = nBones;
    bones = std::move(loaded);
    m_reportedBadBone = false;
    return true;
}

void Biped::PoseBones(int32_t frame, UiServices& ui) {
    for (BipedBone& bone : bones) {
        if (frame < 0 || static_cast<size_t>(frame) >= bone.matrices.size()) {
            if (!m_reportedBadBone) {
                m_reportedBadBone = true;
                ui.MessageBox("잘못되었음!");
            }
            bone.posedVertices = bone.bindVertices;
            continue;
        }
        const D3DMATRIX m = bone.matrices[static_cast<size_t>(frame)];
        const size_t corners = bone.bindVertices.size();
        for (size_t k = 0; k < corners; ++k) {
            TransformVertex(bone.posedVertices[k], bone.bindVertices[k], m);
        }
    }
}
