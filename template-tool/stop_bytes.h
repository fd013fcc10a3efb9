// Finding the bytes of a small set, 64 bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>

// PLOM_PORTABLE builds what machines without SSE2 run, for testing.
#if defined(__SSE2__) && !defined(PLOM_PORTABLE)
#define PLOM_SSE2 1
#include <emmintrin.h>
#else
#define PLOM_SSE2 0
#endif

class StopBytes {
 public:
  void add(unsigned char byte) {
    if (is_stop_[byte])
      return;
    is_stop_[byte] = true;
    if (count_ < kMost)
      bytes_[count_] = byte;
    count_++;
  }
  int count() const { return count_; }
  // The i-th byte added, for i below 16 and below count().
  unsigned char byte(int i) const { return bytes_[i]; }

  // Bit i is set when block[i] is in the set, for i below 64 and below
  // end - block.
  uint64_t mask(const char* block, const char* end) const {
    uint64_t bits = 0;
    const size_t size = end - block < 64 ? static_cast<size_t>(end - block) : 64;
    for (size_t i = 0; i < size; i++)
      bits |= static_cast<uint64_t>(is_stop_[static_cast<unsigned char>(block[i])]) << i;
    return bits;
  }

 private:
  static constexpr int kMost = 16;
  bool is_stop_[256] = {};
  unsigned char bytes_[kMost] = {};
  int count_ = 0;
};

// The same masks, byte by byte: for sets of any size.
class ScalarScan {
 public:
  static constexpr bool kCopies = false;
  explicit ScalarScan(const StopBytes& set) : set_(set) {}
  uint64_t mask(const char* block, const char* end) const { return set_.mask(block, end); }

 private:
  const StopBytes& set_;
};

#if PLOM_SSE2
// The same masks, sixteen bytes per comparison, for sets of at most N bytes.
// Held by value while scanning, so the comparands stay in registers.
template <int N>
class VectorScan {
 public:
  static constexpr bool kCopies = true;
  explicit VectorScan(const StopBytes& set) : set_(set) {
    for (int n = 0; n < N; n++)
      needles_[n] = _mm_set1_epi8(static_cast<char>(set.byte(n < set.count() ? n : 0)));
  }

  uint64_t mask(const char* block, const char* end) const { return set_.mask(block, end); }

  // The mask of 64 whole bytes, which are copied to out on the way.
  __attribute__((always_inline)) uint64_t copy_and_mask(const char* block, char* out) const {
    uint64_t bits = 0;
#pragma GCC unroll 4
    for (int i = 0; i < 4; i++) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * i), v);
      __m128i hits = _mm_cmpeq_epi8(v, needles_[0]);
      for (int n = 1; n < N; n++)
        hits = _mm_or_si128(hits, _mm_cmpeq_epi8(v, needles_[n]));
      bits |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits))) << (16 * i);
    }
    return bits;
  }

  // Copies 64 bytes.
  __attribute__((always_inline)) static void copy64(char* out, const char* from) {
#pragma GCC unroll 4
    for (int i = 0; i < 4; i++)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * i),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16 * i)));
  }

  // Copies size bytes in sixteen-byte steps: up to 15 bytes more are read
  // from from and written to out.
  __attribute__((always_inline)) static void copy_over(char* out, const char* from, size_t size) {
    for (size_t i = 0; i < size; i += 16)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
  }

 private:
  const StopBytes& set_;
  __m128i needles_[N];
};
#endif
