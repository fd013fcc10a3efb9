// Finding the bytes of a FirstBytes set in blocks of 64, byte by byte or
// sixteen bytes per comparison.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "first_bytes.h"

// PLOM_PORTABLE builds what machines without SSE2 run, for testing.
#if defined(__SSE2__) && !defined(PLOM_PORTABLE)
#define PLOM_SSE2 1
#include <emmintrin.h>
#else
#define PLOM_SSE2 0
#endif

// The same masks, byte by byte: for sets of any size.
class ScalarScan {
 public:
  static constexpr bool kCopies = false;
  static constexpr bool kFollowing = false;
  explicit ScalarScan(const FirstBytes& set) : set_(set) {}
  uint64_t mask(const char* block, const char* end) const { return set_.mask(block, end); }

 private:
  const FirstBytes& set_;
};

// Masks of the positions whose byte and the next begin some name (see
// FirstBytes::keep_pairs), for sets too large to look for byte by byte.
// The last position before end, whose next byte is not to be read, is
// told by its byte alone.
// Where every name has four bytes or more, the positions whose four bytes
// are in the names' hashed set of them (FirstBytes::keep_quads), and NULs;
// the last three before end by their byte alone.
class PairScan {
 public:
  static constexpr bool kCopies = false;
  static constexpr bool kFollowing = false;
  explicit PairScan(const FirstBytes& set) : set_(set), pairs_(set.pairs()), quads_(set.quads()) {}
  uint64_t mask(const char* block, const char* end) const {
    const size_t size = end - block < 64 ? static_cast<size_t>(end - block) : 64;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(block);
    uint64_t bits = 0;
    size_t i = 0;
    if (quads_) {
      if (end - block >= 64 + 3) {  // every position's four bytes readable
        for (; i < 64; i++)
          bits |= static_cast<uint64_t>(has_quad(bytes + i)) << i;
        return bits | nul_mask(bytes);
      }
      for (; i + 3 < size; i++)
        bits |= static_cast<uint64_t>(has_quad(bytes + i) | (bytes[i] == 0)) << i;
      for (; i < size; i++)
        bits |= static_cast<uint64_t>(set_.has(bytes[i])) << i;
      return bits;
    }
    for (; i + 1 < size; i++) {
      const unsigned pair = bytes[i] | bytes[i + 1] << 8;
      bits |= ((pairs_[pair / 64] >> pair % 64) & 1) << i;
    }
    if (i < size)
      bits |= static_cast<uint64_t>(set_.has(bytes[i])) << i;
    return bits;
  }

 private:
  bool has_quad(const unsigned char* at) const {
    uint32_t quad;
    memcpy(&quad, at, 4);
    const uint32_t slot = set_.quad_slot(quad);
    return (quads_[slot / 64] >> slot % 64) & 1;
  }
  // Bit i set where block[i] is NUL, for 64 bytes.
  static uint64_t nul_mask(const unsigned char* block) {
    uint64_t bits = 0;
#if PLOM_SSE2
    const __m128i zero = _mm_setzero_si128();
    for (int k = 0; k < 4; k++) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * k));
      bits |=
          static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero))))
          << (16 * k);
    }
#else
    for (int i = 0; i < 64; i++)
      bits |= static_cast<uint64_t>(block[i] == 0) << i;
#endif
    return bits;
  }

  const FirstBytes& set_;
  const uint64_t* pairs_;
  const uint64_t* quads_;
};

#if PLOM_SSE2
// The same masks, sixteen bytes per comparison, for sets of at most N bytes.
// Held by value while scanning, so the comparands stay in registers.
template <int N, bool kTellsFollowing>
class VectorScan {
 public:
  static constexpr bool kCopies = true;
  static constexpr bool kFollowing = kTellsFollowing;
  explicit VectorScan(const FirstBytes& set) : set_(set) {
    for (int n = 0; n < N; n++)
      needles_[n] = _mm_set1_epi8(static_cast<char>(set.byte(n < set.count() ? n : 0)));
    if constexpr (kTellsFollowing) {
      for (int i = 0; i < set.following_count(); i++) {
        const FirstBytes::Following& f = set.following(i);
        for (int r = 0; r < f.ranges; r++) {
          low_[i][r] = _mm_set1_epi8(static_cast<char>(f.low[r]));
          width_[i][r] = _mm_set1_epi8(static_cast<char>(f.high[r] - f.low[r]));
        }
      }
    }
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

  // With kFollowing, the mask of the 64 bytes that are followed as some
  // name goes on, or are NUL: where a name may start, or the text ends. It
  // reads up to FirstBytes::kFollowing bytes past the block.
  __attribute__((always_inline)) uint64_t followed(const char* block) const {
    __m128i kept[4];
    for (int i = 0; i < 4; i++)
      kept[i] = _mm_set1_epi8(-1);
    // In a range when the byte less its low end, unsigned, is at most its width.
    auto in_range = [](__m128i next, __m128i low, __m128i width) {
      const __m128i above = _mm_sub_epi8(next, low);
      return _mm_cmpeq_epi8(_mm_min_epu8(above, width), above);
    };
    for (int k = 0; k < set_.following_count(); k++) {
      const char* at = block + set_.following(k).offset;
      const bool two = set_.following(k).ranges > 1;
#pragma GCC unroll 4
      for (int i = 0; i < 4; i++) {
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * i));
        __m128i in = in_range(next, low_[k][0], width_[k][0]);
        if (two)
          in = _mm_or_si128(in, in_range(next, low_[k][1], width_[k][1]));
        kept[i] = _mm_and_si128(kept[i], in);
      }
    }
    uint64_t bits = 0;
#pragma GCC unroll 4
    for (int i = 0; i < 4; i++) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
      const __m128i hits = _mm_or_si128(kept[i], _mm_cmpeq_epi8(v, _mm_setzero_si128()));
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
  const FirstBytes& set_;
  __m128i needles_[N];
  static constexpr int kPlaces = kTellsFollowing ? FirstBytes::kMostPlaces : 1;
  __m128i low_[kPlaces][FirstBytes::kMostRanges];
  __m128i width_[kPlaces][FirstBytes::kMostRanges];
};
#endif
