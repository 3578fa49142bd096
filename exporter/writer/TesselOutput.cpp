#include "exporter/writer/TesselOutput.h"

#include <sys/types.h>

#include <cstdio>
#include <cstring>

namespace {
void StoreLittleEndian32(uint32_t value, unsigned char bytes[4]) {
    bytes[0] = static_cast<unsigned char>(value & 0xFF);
    bytes[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
    bytes[2] = static_cast<unsigned char>((value >> 16) & 0xFF);
    bytes[3] = static_cast<unsigned char>((value >> 24) & 0xFF);
}
}  // namespace

void TesselOutput::Flush() {
    if (m_used == 0) return;
    if (m_stream == nullptr) {
        m_failed = true;
    } else {
        const size_t done = std::fwrite(m_buffer, 1, m_used, m_stream);
        m_written += done;
        if (done != m_used) m_failed = true;
    }
    m_used = 0;
}

void TesselOutput::RewriteInt32(uint64_t offset, int32_t value) {
    Flush();
    unsigned char bytes[4];
    StoreLittleEndian32(static_cast<uint32_t>(value), bytes);
    if (m_stream == nullptr || offset + 4 > m_written ||
        ::fseeko(m_stream, static_cast<off_t>(offset), SEEK_SET) != 0 ||
        std::fwrite(bytes, 1, 4, m_stream) != 4 || ::fseeko(m_stream, 0, SEEK_END) != 0)
        m_failed = true;
}

void TesselOutput::WriteBytes(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        if (m_used == kBufferSize) Flush();
        const size_t n = size < kBufferSize - m_used ? size : kBufferSize - m_used;
        std::memcpy(m_buffer + m_used, bytes, n);
        m_used += n;
        bytes += n;
        size -= n;
    }
}

void TesselOutput::WriteInt32(int32_t value) {
    unsigned char bytes[4];
    StoreLittleEndian32(static_cast<uint32_t>(value), bytes);
    WriteBytes(bytes, 4);
}

void TesselOutput::WriteFloat(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    unsigned char bytes[4];
    StoreLittleEndian32(bits, bytes);
    WriteBytes(bytes, 4);
}

void TesselOutput::WriteVertexBytes(const TesselVertex& v) {
    const float fields[8] = {v.x, v.y, v.z, v.nx, v.ny, v.nz, v.tu, v.tv};
    unsigned char bytes[32];
    for (int i = 0; i < 8; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &fields[i], sizeof bits);
        StoreLittleEndian32(bits, bytes + 4 * i);
    }
    WriteBytes(bytes, sizeof bytes);
}

int32_t FrameCountFor(int32_t animCount, int32_t startTime, int32_t endTime, int32_t ticksPerFrame,
                      int32_t frameStep) {
    if (animCount <= 0) return 1;
    const int64_t ticksPerSample = static_cast<int64_t>(ticksPerFrame) * frameStep;
    if (ticksPerSample <= 0 || endTime < startTime) return 1;
    const int64_t span = static_cast<int64_t>(endTime) - startTime;
    return static_cast<int32_t>(span / ticksPerSample + 1);
}

int32_t WriteFrameCount(TesselOutput& out, int32_t animCount, int32_t startTime, int32_t endTime,
                        int32_t ticksPerFrame, int32_t frameStep) {
    const int32_t frameCount =
        FrameCountFor(animCount, startTime, endTime, ticksPerFrame, frameStep);
    out.WriteInt32(frameCount);
    return frameCount;
}
