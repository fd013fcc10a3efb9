// Bit tricks that compile to one instruction where there is one, without a
// call into the compiler's runtime on 32-bit machines.
#pragma once

#include <cstdint>

// The index of the lowest set bit; bits must not be 0.
inline int lowest_set_bit(uint64_t bits) {
  if (sizeof(long) >= sizeof(uint64_t))
    return __builtin_ctzl(static_cast<unsigned long>(bits));
  const uint32_t low = static_cast<uint32_t>(bits);
  return low != 0 ? __builtin_ctz(low) : 32 + __builtin_ctz(static_cast<uint32_t>(bits >> 32));
}

// Whether at least n bits are set: the lowest set bit cleared n - 1 times
// leaves some. Two instructions a bit, and none that old machines lack.
template <int n>
inline bool has_bits(uint64_t bits) {
  for (int i = 1; i < n; i++)
    bits &= bits - 1;
  return bits != 0;
}
