#include "viewer/platform/Clock.h"

#include <chrono>

namespace {
long long SteadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

SteadyClock::SteadyClock() : m_startNanoseconds(SteadyNanoseconds()) {}

double SteadyClock::NowSeconds() {
    return static_cast<double>(SteadyNanoseconds() - m_startNanoseconds) * 1e-9;
}
