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

// How many bits are set, by adding neighbours: no instruction the oldest
// machines lack.
inline int set_bits(uint64_t bits) {
  bits -= (bits >> 1) & 0x5555555555555555ull;
  bits = (bits & 0x3333333333333333ull) + ((bits >> 2) & 0x3333333333333333ull);
  bits = (bits + (bits >> 4)) & 0x0f0f0f0f0f0f0f0full;
  return static_cast<int>((bits * 0x0101010101010101ull) >> 56);
}
