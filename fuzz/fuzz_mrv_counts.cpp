// Character parts built from hostile counts: the object count, and per
// object the name length, vertex count and face count. The reader refuses
// with a reason or holds exactly what the counts say.
#include "fuzz/FuzzSupport.h"
#include "viewer/model/CharacterPart.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::FileBytes file;
    file.Int32(fuzz::CountFor(in, 12));
    for (int object = in.ConsumeIntegralInRange<int>(0, 4); object > 0; --object) {
        const int32_t name =
            in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(0, 12) : fuzz::HostileCount(in);
        file.Int32(name);
        file.Records(in, name, 1, 80);
        const int32_t vertices = fuzz::CountFor(in, 34);
        file.Int32(vertices);
        file.Records(in, vertices, 34);
        const int32_t faces = fuzz::CountFor(in, 12);
        file.Int32(faces);
        file.Indices(in, int64_t{faces} * 3, vertices);
    }
    file.Rest(in);

    PartFileData part;
    std::string error;
    if (!ParsePartFile(file.bytes.data(), file.bytes.size(), part, error)) {
        if (error.empty()) fuzz::Broken("a refused part without a reason");
        return 0;
    }
    int64_t faces = 0;
    for (const PartObject& object : part.objects) {
        if (object.sourceVertices.size() != static_cast<size_t>(object.vertexCount) ||
            object.indices.size() != static_cast<size_t>(object.faceCount) * 3)
            fuzz::Broken("an object holds other than its counts");
        faces += object.faceCount;
    }
    if (faces != part.faceTotal)
        fuzz::Broken("the face total is not the sum of the objects' faces");
    return 0;
}
