// Sizes computed from counts a file gives: a product or sum that does not fit
// in 64 bits is refused instead of wrapping to a small number. A count whose
// size cannot be computed describes a damaged file.
#pragma once

#include <cstdint>

inline bool CheckedMul(uint64_t a, uint64_t b, uint64_t& product) {
    return !__builtin_mul_overflow(a, b, &product);
}
inline bool CheckedAdd(uint64_t a, uint64_t b, uint64_t& sum) {
    return !__builtin_add_overflow(a, b, &sum);
}

// Model and image files larger than this (1 GiB) are refused before they are read.
constexpr uint64_t kMaxModelFileBytes = uint64_t{1} << 30;
