// Tessel models built from hostile counts: frame and object counts, and per
// object the name length, a vertex count chosen so that vertices times
// frames wraps past 2^64, and the face count. The reader refuses with a
// reason or holds exactly what the counts say.
#include "fuzz/FuzzSupport.h"
#include "viewer/model/TesselModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::FileBytes file;
    const int32_t frames = fuzz::HostileCount(in);
    const int32_t statics = fuzz::CountFor(in, 12), animateds = fuzz::CountFor(in, 12);
    file.Int32(frames);
    file.Int32(statics);
    file.Int32(animateds);
    for (int object = in.ConsumeIntegralInRange<int>(0, 4); object > 0; --object) {
        const int32_t name =
            in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(0, 12) : fuzz::HostileCount(in);
        file.Int32(name);
        file.Records(in, name, 1, 80);
        const bool animated = in.ConsumeBool();
        const uint64_t blocks = animated ? static_cast<uint32_t>(frames) : 1;
        const int32_t vertices = fuzz::CountFor(in, 32 * blocks);
        file.Int32(vertices);
        file.Records(in, int64_t{vertices} * static_cast<int64_t>(blocks), 32);
        const int32_t faces = fuzz::CountFor(in, 12);
        file.Int32(faces);
        file.Indices(in, int64_t{faces} * 3, vertices);
    }
    file.Rest(in);

    TesselFileData tessel;
    std::string error;
    if (!ParseTesselFile(file.bytes.data(), file.bytes.size(), tessel, error)) {
        if (error.empty()) fuzz::Broken("a refused model without a reason");
        return 0;
    }
    for (const StaticObject& object : tessel.statics)
        if (object.vertices.size() != static_cast<size_t>(object.vertexCount))
            fuzz::Broken("a static object holds other than its count");
    for (const AnimatedObject& object : tessel.animateds)
        if (object.frames.size() !=
            static_cast<size_t>(object.vertexCount) * static_cast<size_t>(tessel.frameCount))
            fuzz::Broken("an animated object holds other than its counts");
    return 0;
}
