// Biped files built from hostile counts: bone and frame counts chosen so
// that sizes computed without a check wrap past 2^64, then a few bones with
// hostile position and triangle counts. The reader refuses with a reason or
// holds exactly what the counts say.
#include "fuzz/FuzzSupport.h"
#include "viewer/model/Biped.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::FileBytes file;
    const int32_t frames = fuzz::HostileCount(in);
    file.Int32(fuzz::CountFor(in, 8 + 48 * static_cast<uint64_t>(static_cast<uint32_t>(frames))));
    file.Int32(frames);
    for (int bone = in.ConsumeIntegralInRange<int>(0, 3); bone > 0; --bone) {
        const int32_t positions = fuzz::CountFor(in, 12);
        file.Int32(positions);
        file.Records(in, positions, 12);
        const int32_t triangles = fuzz::CountFor(in, 12);
        file.Int32(triangles);
        file.Indices(in, int64_t{triangles} * 3, positions);
        file.Records(in, frames, 48, 8);
    }
    file.Rest(in);

    Biped biped;
    std::string error;
    if (!biped.LoadFromMemory(file.bytes.data(), file.bytes.size(), error)) {
        if (error.empty()) fuzz::Broken("a refused biped without a reason");
        return 0;
    }
    if (biped.bones.size() != static_cast<size_t>(biped.boneCount))
        fuzz::Broken("bone count and bones differ");
    for (const BipedBone& bone : biped.bones)
        if (bone.matrices.size() != static_cast<size_t>(biped.frameCount) ||
            bone.bindVertices.size() != static_cast<size_t>(bone.triangleCount) * 3)
            fuzz::Broken("a bone holds other than its counts");
    return 0;
}
