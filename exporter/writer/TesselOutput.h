// Field-by-field writing of a Tessel file: little-endian int32 and float32
// values, texture-name bytes and 32-byte vertex records, in file order.
// Fields are gathered in a buffer and handed to the stream in large writes.
// Write failures are remembered, so that the export driver can tell a
// complete file from a truncated one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

// The 32-byte vertex record of the Tessel file: position, normal, texture
// coordinates, eight float32 values in this order.
struct TesselVertex {
    float x, y, z;
    float nx, ny, nz;
    float tu, tv;
};
static_assert(sizeof(TesselVertex) == 32, "a Tessel vertex record is 32 bytes");

class TesselOutput {
public:
    explicit TesselOutput(std::FILE* stream) : m_stream(stream) {}
    ~TesselOutput() { Flush(); }
    TesselOutput(const TesselOutput&) = delete;
    TesselOutput& operator=(const TesselOutput&) = delete;

    void WriteInt32(int32_t value);
    void WriteFloat(float value);
    void WriteBytes(const void* data, size_t size);
    void WriteVertex(const TesselVertex& vertex) {
        if (kLittleEndian && kBufferSize - m_used >= sizeof vertex) {
            std::memcpy(m_buffer + m_used, &vertex, sizeof vertex);  // the file's byte order
            m_used += sizeof vertex;
        } else {
            WriteVertexBytes(vertex);
        }
    }

    // Replaces the int32 field at byte `offset` of the file (one already
    // written, such as a header count) and goes on at the end. Needs a
    // stream that can seek; a failure counts as a failed write.
    void RewriteInt32(uint64_t offset, int32_t value);
    // Hands the gathered fields to the stream.
    void Flush();
    // True once any write came up short (disk full, closed stream, ...);
    // gathered fields are handed to the stream first.
    bool Failed() {
        Flush();
        return m_failed;
    }
    // Bytes written so far.
    uint64_t BytesWritten() const { return m_written; }

private:
    static constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
    void WriteVertexBytes(const TesselVertex& vertex);
    static constexpr size_t kBufferSize = 1 << 16;
    std::FILE* m_stream;
    bool m_failed = false;
    uint64_t m_written = 0;
    size_t m_used = 0;
    unsigned char m_buffer[kBufferSize];
};

// Number of vertex blocks per animated object: the sample times
// startTime + k * ticksPerFrame * frameStep (k = 0, 1, ...) that do not pass
// endTime, or 1 when there are no animated objects. Times are host ticks,
// frameStep is in frames and must be at least 1; a range that ends before it
// starts is sampled once, at startTime.
int32_t FrameCountFor(int32_t animCount, int32_t startTime, int32_t endTime, int32_t ticksPerFrame,
                      int32_t frameStep);

// Writes header field 1 (the frame count) and returns the value written.
int32_t WriteFrameCount(TesselOutput& out, int32_t animCount, int32_t startTime, int32_t endTime,
                        int32_t ticksPerFrame, int32_t frameStep);
