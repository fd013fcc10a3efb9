// Bit tricks that stay inline on every architecture.
#pragma once

#include <cstdint>

// The index of the lowest set bit of bits, which must not be 0. Where long is
// narrower than 64 bits, __builtin_ctzll becomes a call into libgcc_s; two
// 32-bit counts do the same work inline.
inline int lowest_set_bit(uint64_t bits) {
  if constexpr (sizeof(long) >= 8) {
    return __builtin_ctzll(bits);
  } else {
    const uint32_t low = static_cast<uint32_t>(bits);
    return low != 0 ? __builtin_ctz(low) : 32 + __builtin_ctz(static_cast<uint32_t>(bits >> 32));
  }
}
