// The first-byte prefilter's set: the bytes that begin a name (and NUL,
// where the text ends), and what the names allow at the places after them.
#pragma once

#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "names.h"
#include "owned.h"

class FirstBytes {
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

  // What may follow a byte that starts a name: at each of the next few
  // places that every name reaches, the bytes some name has there. A byte
  // of the set followed at such a place by none of them starts no name.
  // Places where those bytes make more than two ranges are not told, and
  // of the rest only the two that allow the fewest bytes, the later of two
  // alike (where near misses share a name's beginning, they part later):
  // each place told costs as much as finding the bytes of the set.
  static constexpr int kFollowing = 8;
  static constexpr int kMostRanges = 2;
  static constexpr int kMostPlaces = 2;
  struct Following {
    int offset;  // from the first byte
    int ranges;
    unsigned char low[kMostRanges], high[kMostRanges];
    int allowed() const {
      int bytes = 0;
      for (int r = 0; r < ranges; r++)
        bytes += high[r] - low[r] + 1;
      return bytes;
    }
  };
  void add_name(const char* bytes, size_t size) {
    for (int k = 1; k <= kFollowing; k++) {
      if (static_cast<size_t>(k) < size)
        at_[k - 1][static_cast<unsigned char>(bytes[k])] = true;
      else
        anything_at_[k - 1] = true;
    }
  }
  // Once every name is added: the places that tell.
  void find_following() {
    following_count_ = 0;
    for (int k = 0; k < kFollowing; k++) {
      if (anything_at_[k])
        break;
      Following f = {k + 1, 0, {}, {}};
      for (int b = 0; b < 256 && f.ranges <= kMostRanges; b++) {
        if (!at_[k][b] || (b > 0 && at_[k][b - 1]))
          continue;
        int last = b;
        while (last < 255 && at_[k][last + 1])
          last++;
        if (f.ranges < kMostRanges) {
          f.low[f.ranges] = static_cast<unsigned char>(b);
          f.high[f.ranges] = static_cast<unsigned char>(last);
        }
        f.ranges++;
      }
      if (f.ranges > kMostRanges)
        continue;
      // Kept sorted, fewest bytes first, later places first among equals.
      int i = following_count_ < kMostPlaces ? following_count_++ : kMostPlaces;
      for (; i > 0 && f.allowed() <= following_[i - 1].allowed(); i--) {
        if (i < kMostPlaces)
          following_[i] = following_[i - 1];
      }
      if (i < kMostPlaces)
        following_[i] = f;
    }
  }
  int following_count() const { return following_count_; }

  // Where too many bytes begin names to look for them, and every name has
  // two bytes or more: the pairs of bytes that begin names, 65,536 bits
  // (bit b0 | b1 << 8), every pair that begins with NUL among them. A
  // position can begin a name only where it and the next byte are in it.
  void keep_pairs(const NameList& names) {
    pairs_.reset(g_new0(uint64_t, kPairWords));
    for (int b = 0; b < 256; b++)
      add_pair(0, static_cast<unsigned char>(b));
    for (size_t i = 0; i < names.count(); i++)
      add_pair(static_cast<unsigned char>(names[i].bytes[0]),
               static_cast<unsigned char>(names[i].bytes[1]));
  }
  const uint64_t* pairs() const { return pairs_.get(); }

  // Where every name has four bytes or more, as well: a set of the names'
  // first four bytes, hashed to a table of bits about sixteen times as
  // many as the names (4 Ki to 512 Ki bits). A position can begin a name
  // only where its four bytes hash to a bit set; few others do.
  void keep_quads(const NameList& names) {
    int bits = 12;
    while (bits < 19 && (size_t{1} << bits) < 16 * names.count())
      bits++;
    quad_shift_ = 32 - bits;
    quads_.reset(g_new0(uint64_t, (size_t{1} << bits) / 64));
    for (size_t i = 0; i < names.count(); i++) {
      uint32_t quad;
      memcpy(&quad, names[i].bytes, 4);
      const uint32_t slot = quad_slot(quad);
      quads_[slot / 64] |= uint64_t{1} << slot % 64;
    }
  }
  const uint64_t* quads() const { return quads_.get(); }
  uint32_t quad_slot(uint32_t quad) const { return (quad * 0x9e3779b1u) >> quad_shift_; }
  bool has(unsigned char byte) const { return is_stop_[byte]; }
  const Following& following(int i) const { return following_[i]; }

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
  static constexpr size_t kPairWords = 65536 / 64;
  void add_pair(unsigned char first, unsigned char second) {
    const unsigned pair = first | second << 8;
    pairs_[pair / 64] |= uint64_t{1} << pair % 64;
  }
  Owned<uint64_t> pairs_;
  Owned<uint64_t> quads_;
  int quad_shift_ = 32;
  bool is_stop_[256] = {};
  bool at_[kFollowing][256] = {};
  bool anything_at_[kFollowing] = {};
  Following following_[kMostPlaces] = {};
  int following_count_ = 0;
  unsigned char bytes_[kMost] = {};
  int count_ = 0;
};
