// The names as a tree of their shared beginnings, each run of bytes without a
// branch on one edge: what name, if any, begins at a given position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "byte_order.h"
#include "names.h"
#include "owned.h"

class PrefixTree {
 public:
  PrefixTree() = default;
  PrefixTree(const PrefixTree&) = delete;
  PrefixTree& operator=(const PrefixTree&) = delete;

  // The names must outlive the tree.
  void build(const NameList& names);

  // Of the names that the text at p begins with and that end by end, the
  // one listed first, or nullptr. Adds to work what the look-up cost, in
  // steps of about one edge or eight bytes compared.
  //
  // Every name is at least first_ bytes long, so those bytes (up to eight)
  // are looked up at once: where the tree has them, or nowhere. For names of
  // one size up to eight bytes that one look-up is all.
  __attribute__((always_inline)) const Name* match(const char* p, const char* end,
                                                   size_t& work) const {
    const size_t available = static_cast<size_t>(end - p);
    if (available < first_)
      return nullptr;
    const uint64_t key = (available >= 8 ? load(p) : load_short(p, available)) & first_mask_;
    work++;
    const Entry* entry = enter(key);
    if (!entry)
      return nullptr;
    if (one_size_)
      return &entry->name;  // the first bytes are the whole name
    if (entry->whole) {
      // One name can begin so, and the entry holds the rest of it.
      const size_t left = available - first_;
      const char* rest = p + first_;
      if (left < entry->rest_size)
        return nullptr;
      const uint64_t* mask = kMasks[entry->rest_size];
      const uint64_t w0 = left >= 16 ? load(rest) : load_short(rest, left);
      const uint64_t w1 = left >= 16 ? load(rest + 8)
                          : left > 8 ? load_short(rest + 8, left - 8)
                                     : 0;
      if ((((w0 ^ entry->rest[0]) & mask[0]) | ((w1 ^ entry->rest[1]) & mask[1])) != 0)
        return nullptr;
      return &entry->name;
    }
    // Below a name are only names listed before it: the deepest wins.
    const Name* best = nullptr;
    const char* at = p + first_;
    uint32_t e = entry->edge;
    // The rest of the edge the first bytes end in.
    const Edge* edge = &edges_[e];
    size_t size = (edge->size & ~kBranches) - entry->into;
    for (;;) {
      const size_t left = static_cast<size_t>(end - at);
      const size_t full = edge->size & ~kBranches;
      const char* label = edge->label + full - size;
      if (edge->along) {
        // Names end on the way, or leave it by a byte and end: the deepest
        // the text reaches wins.
        const size_t reached = shared_prefix(at, label, size < left ? size : left);
        work += 1 + reached / 8;
        const size_t passed = full - size + reached;
        const int32_t found = edge->along[passed];
        if (found >= 0)
          best = &(*names_)[static_cast<size_t>(found)];
        if (reached < size) {
          if (reached < left && edge->side && edge->side[passed].name >= 0 &&
              static_cast<unsigned char>(at[reached]) == edge->side[passed].byte)
            best = &(*names_)[static_cast<size_t>(edge->side[passed].name)];
          break;
        }
        at += size;
      } else {
        if (size > left)
          break;
        work += 1 + size / 8;
        if (size > 0) {
          if (!same(at, label, size, left))
            break;
          at += size;
        }
        if (edge->name >= 0)
          best = &(*names_)[static_cast<size_t>(edge->name)];
      }
      if (!(edge->size & kBranches) || at == end)
        break;
      e = find(e, static_cast<unsigned char>(*at++));
      if (e == 0)
        break;
      edge = &edges_[e];
      size = edge->size & ~kBranches;
    }
    return best;
  }

 private:
  // A name that leaves an edge by one byte and ends there.
  struct Side {
    int32_t name;
    unsigned char byte;
  };
  // The edge into a node other than the root, numbered as the node.
  // A node with one child is passed through (unless it is the root), and so
  // is one past the first bytes whose other child is a name one byte longer:
  // an edge may pass the ends of names and names that leave it, so that a
  // chain of names each beginning the next (@a, @aa, @aaa) or nearly so
  // (@A@, @AA@, @AAA@) is compared a word at a time.
  struct Edge {
    const char* label;  // the bytes after the first, padded with eight more
    uint32_t size;      // the label's, | kBranches when edges leave the node
    int32_t name;       // the name ending at the node, or -1
    // When names end on the way: by label bytes passed (0 to size), the
    // deepest name ending by then, or -1.
    const int32_t* along;
    // When names leave the way by one byte and end there: by label bytes
    // passed (below size), that byte and name, or -1.
    const Side* side;
  };
  static constexpr uint32_t kBranches = 1u << 31;
  // Where the tree has a name's first bytes: on the edge into edge, into
  // bytes of its label consumed. When that edge leads to a name with at most
  // sixteen more bytes and no edge leaves it, those bytes are here too.
  // An entry fills a cache line: one look-up, one line.
  static constexpr size_t kMostRest = 16;
  struct alignas(64) Entry {
    uint32_t edge;
    uint8_t into;  // below eight
    bool whole;    // whether one name can begin so
    uint16_t rest_size;
    uint64_t rest[2];  // zero past the name's end
    Name name;         // a copy of that one name
  };
  static_assert(sizeof(Entry) == 64, "an entry fills one cache line");
  // The bits of two words that hold the first n bytes, for n up to 16.
  static const uint64_t kMasks[kMostRest + 1][2];

  static uint64_t load(const char* p) {
    uint64_t word;
    memcpy(&word, p, sizeof word);
    return word;
  }
  static uint64_t load_short(const char* p, size_t size) {
    uint64_t word = 0;
    memcpy(&word, p, size < 8 ? size : 8);
    return word;
  }
  // Whether the size bytes at at are label's; left bytes may be read at at.
  static bool same(const char* at, const char* label, size_t size, size_t left) {
    if (size <= 8) {
      if (left < 8)
        return memcmp(at, label, size) == 0;
      const uint64_t mask = size == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * size)) - 1;
      return ((load(at) ^ load(label)) & mask) == 0;
    }
    for (size_t i = 0; i + 8 < size; i += 8) {
      if (load(at + i) != load(label + i))
        return false;
    }
    return load(at + size - 8) == load(label + size - 8);
  }
  // The product's top bits depend on every bit of the key.
  static size_t spread(uint64_t key, int shift) {
    return static_cast<size_t>((key * 0x9e3779b97f4a7c15ull) >> shift);
  }
  // The keys are apart from the entries, eight to a cache line: a miss
  // reads no entry.
  const Entry* enter(uint64_t key) const {
    for (size_t i = spread(key, entry_shift_);; i = (i + 1) & entry_mask_) {
      const uint64_t found = keys_[i];
      if (found == key)
        return &entries_[i];
      if (found == 0)  // no name holds a NUL, so no key is 0
        return nullptr;
    }
  }
  // The edge leaving node with byte, or 0.
  uint32_t find(uint32_t node, unsigned char byte) const {
    const uint32_t key = node << 8 | byte;
    for (size_t i = spread(key, slot_shift_);; i = (i + 1) & slot_mask_) {
      const uint64_t slot = slots_[i];
      if (slot == 0 || static_cast<uint32_t>(slot >> 32) == key)
        return static_cast<uint32_t>(slot);
    }
  }

  const NameList* names_ = nullptr;
  Owned<Edge> edges_;
  Owned<char> labels_;
  Owned<int32_t> along_;   // every edge's along
  Owned<Side> sides_;      // every edge's side
  size_t first_ = 0;       // how many first bytes are looked up at once
  bool one_size_ = false;  // every name is first_ bytes long
  uint64_t first_mask_ = 0;
  Owned<char> entry_memory_;
  Entry* entries_ = nullptr;  // in entry_memory_
  Owned<uint64_t> keys_;      // each entry's key, 0 when free
  size_t entry_mask_ = 0;
  int entry_shift_ = 64;
  // The edges below: (node << 8 | byte) << 32 | edge, 0 when free.
  Owned<uint64_t> slots_;
  size_t slot_mask_ = 0;
  int slot_shift_ = 64;
};
