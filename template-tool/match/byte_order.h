// Byte strings without NUL bytes put in byte order (a string before those it
// begins) mostly by their first eight bytes read as one number, so that a
// sort of thousands of names compares numbers rather than calling memcmp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bits.h"

struct OrderedBytes {
  uint64_t head;  // the first eight bytes, the first most significant, zeros past the end
  const char* bytes;
  size_t size;

  OrderedBytes() = default;
  OrderedBytes(const char* b, size_t n) : head(0), bytes(b), size(n) {
    const size_t in_head = n < 8 ? n : 8;
    for (size_t k = 0; k < in_head; k++)
      head = head << 8 | static_cast<unsigned char>(b[k]);
    if (in_head > 0 && in_head < 8)
      head <<= 8 * (8 - in_head);
  }
};

// Negative, zero or positive as a comes before, is, or comes after b. Equal
// heads mean equal first eight bytes, or the same string of fewer: a NUL in
// the head is always past a string's end.
inline int compare(const OrderedBytes& a, const OrderedBytes& b) {
  if (a.head != b.head)
    return a.head < b.head ? -1 : 1;
  const size_t shorter = a.size < b.size ? a.size : b.size;
  if (shorter > 8) {
    const int c = memcmp(a.bytes + 8, b.bytes + 8, shorter - 8);
    if (c != 0)
      return c;
  }
  return a.size < b.size ? -1 : a.size > b.size ? 1 : 0;
}

// How many of the first size bytes of a and b are the same, found eight at a
// time.
inline size_t shared_prefix(const char* a, const char* b, size_t size) {
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t x, y;
    memcpy(&x, a + i, 8);
    memcpy(&y, b + i, 8);
    if (x != y) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
      return i + static_cast<size_t>(__builtin_clzll(x ^ y)) / 8;
#else
      return i + static_cast<size_t>(lowest_set_bit(x ^ y)) / 8;
#endif
    }
  }
  while (i < size && a[i] == b[i])
    i++;
  return i;
}
