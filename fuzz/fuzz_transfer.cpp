// The bytes the host reads from the importing child, which it must not
// trust: a scene's header followed by fields chosen among hostile counts,
// counts that wrap past 2^64 with the sizes of the transferred records,
// presence flags, short names and raw bytes. The reader refuses with a
// reason or rebuilds a scene the host can build on.
#include <assimp/scene.h>

#include "exporter/host/HostScene.h"
#include "exporter/host/SceneTransfer.h"
#include "fuzz/FuzzSupport.h"

// The rebuilt scene is held to this, as the host holds it to the importer's
// memory limit; well inside the run's -malloc_limit_mb.
constexpr uint64_t kMemoryLimit = 32 << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::FileBytes bytes;
    bytes.Int32(0x4E435354);  // the scene's mark
    bytes.Int32(in.ConsumeIntegralInRange<int>(0, 15) == 0 ? in.ConsumeIntegral<int32_t>() : 1);
    const uint64_t units[] = {1, 4, 8, 12, 16, 20, 24, 64, sizeof(aiString), sizeof(aiMesh)};
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange<int>(0, 7)) {
            case 0:
                bytes.Int32(fuzz::HostileCount(in));
                break;
            case 1:
                bytes.Int32(fuzz::WrappingCount(in, in.PickValueInArray(units)));
                break;
            case 2:
                bytes.Uint64(in.ConsumeBool()
                                 ? in.ConsumeIntegral<uint64_t>()
                                 : uint64_t{1} << in.ConsumeIntegralInRange<int>(0, 63));
                break;
            case 3:
                bytes.bytes.push_back(in.ConsumeIntegralInRange<uint8_t>(0, 1));
                break;
            case 4: {
                const int32_t length = in.ConsumeIntegralInRange<int32_t>(0, 8);
                bytes.Int32(length);
                bytes.Records(in, length, 1);
                break;
            }
            case 5:
                bytes.Int32(in.ConsumeIntegralInRange<int32_t>(0, 3));
                break;
            default:
                bytes.Records(in, in.ConsumeIntegralInRange<int>(1, 16), 1);
                break;
        }
    }
    std::string why;
    std::unique_ptr<aiScene> scene =
        ReadSceneBytes(bytes.bytes.data(), bytes.bytes.size(), why, kMemoryLimit);
    if (!scene) {
        if (why.empty()) fuzz::Broken("refused scene bytes without a reason");
        return 0;
    }
    if (scene->mRootNode != nullptr) {
        std::string error;
        HostScene::FromImported(*scene, "transfer", error);
    }
    return 0;
}
