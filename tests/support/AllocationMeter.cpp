#include "tests/support/AllocationMeter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> g_current{0};
std::atomic<size_t> g_peak{0};
size_t g_base = 0;

// Each block carries its size in a header so delete can subtract it.
constexpr size_t kHeader = alignof(std::max_align_t);

void* CountedAlloc(size_t size) {
    void* raw = std::malloc(size + kHeader);
    if (raw == nullptr) throw std::bad_alloc();
    *static_cast<size_t*>(raw) = size;
    const size_t now = g_current.fetch_add(size) + size;
    size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(raw) + kHeader;
}

void CountedFree(void* p) {
    if (p == nullptr) return;
    void* raw = static_cast<char*>(p) - kHeader;
    g_current.fetch_sub(*static_cast<size_t*>(raw));
    std::free(raw);
}
}  // namespace

void* operator new(size_t size) {
    return CountedAlloc(size);
}
void* operator new[](size_t size) {
    return CountedAlloc(size);
}
void operator delete(void* p) noexcept {
    CountedFree(p);
}
void operator delete[](void* p) noexcept {
    CountedFree(p);
}
void operator delete(void* p, size_t) noexcept {
    CountedFree(p);
}
void operator delete[](void* p, size_t) noexcept {
    CountedFree(p);
}

namespace AllocationMeter {
void Start() {
    g_base = g_current.load();
    g_peak.store(g_base);
}
size_t PeakSinceStart() {
    return g_peak.load() - g_base;
}
}  // namespace AllocationMeter
