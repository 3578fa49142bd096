// Measures the largest amount of heap memory held at once while a piece of
// code runs. A test binary that uses it links AllocationMeter.cpp, which
// replaces the global operator new and delete with counting versions.
#pragma once

#include <cstddef>

namespace AllocationMeter {
// Starts a measurement: the peak is reset to the bytes held now.
void Start();
// Peak bytes held above the level at Start().
size_t PeakSinceStart();
}  // namespace AllocationMeter
