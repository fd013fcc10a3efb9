// The names as a tree of their shared beginnings, each run of bytes without a
// branch on one edge: what name, if any, begins at a given position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "names.h"

class PrefixTree {
 public:
  PrefixTree() = default;
  ~PrefixTree();
  PrefixTree(const PrefixTree&) = delete;
  PrefixTree& operator=(const PrefixTree&) = delete;

  // The names must outlive the tree.
  void build(const NameList& names);

  // Of the names that the text at p begins with and that end by end, the
  // one listed first, or nullptr. Adds to work what the look-up cost, in
  // steps of about one edge or eight bytes compared.
  __attribute__((always_inline)) const Name* match(const char* p, const char* end,
                                                  size_t& work) const {
    uint32_t e = root_[static_cast<unsigned char>(*p)];
    const Name* best = nullptr;
    const char* at = p + 1;
    while (e != 0) {
      const Edge& edge = edges_[e];
      const size_t size = edge.size & ~kBranches;
      const size_t left = static_cast<size_t>(end - at);
      if (size > left)
        break;
      work += 1 + size / 8;
      if (left >= 8 && size <= 8 ? ((load(at) ^ edge.head) & edge.mask) != 0
                                 : !same(at, edge.label, size))
        break;
      at += size;
      // Below a name are only names listed before it: the deepest wins.
      if (edge.name >= 0)
        best = &(*names_)[static_cast<size_t>(edge.name)];
      if (!(edge.size & kBranches) || at == end)
        break;
      e = find(e, static_cast<unsigned char>(*at++));
    }
    return best;
  }

 private:
  // The edge into a node other than the root, numbered as the node.
  struct Edge {
    uint64_t head;      // the label's first eight bytes, zero past its end
    uint64_t mask;      // the bits of those that are the label's
    const char* label;  // the bytes after the first
    uint32_t size;      // the label's, | kBranches when edges leave the node
    int32_t name;       // the name ending at the node, or -1
  };
  static constexpr uint32_t kBranches = 1u << 31;

  static uint64_t load(const char* p) {
    uint64_t word;
    __builtin_memcpy(&word, p, sizeof word);
    return word;
  }
  // Whether the size bytes at at are label's.
  static bool same(const char* at, const char* label, size_t size) {
    if (size < 8)
      return memcmp(at, label, size) == 0;
    for (size_t i = 0; i + 8 < size; i += 8) {
      if (load(at + i) != load(label + i))
        return false;
    }
    return load(at + size - 8) == load(label + size - 8);
  }
  // The edge leaving node with byte, or 0.
  uint32_t find(uint32_t node, unsigned char byte) const {
    const uint32_t key = node << 8 | byte;
    for (size_t i = slot_of(key);; i = (i + 1) & slot_mask_) {
      const uint64_t slot = slots_[i];
      if (slot == 0 || static_cast<uint32_t>(slot >> 32) == key)
        return static_cast<uint32_t>(slot);
    }
  }
  size_t slot_of(uint32_t key) const {
    return static_cast<size_t>((key * 0x9e3779b97f4a7c15ull) >> slot_shift_);
  }

  const NameList* names_ = nullptr;
  Edge* edges_ = nullptr;
  char* labels_ = nullptr;
  uint32_t root_[256] = {};  // the edge leaving the root with each byte
  // The other edges: (node << 8 | byte) << 32 | edge, 0 when free.
  uint64_t* slots_ = nullptr;
  size_t slot_mask_ = 0;
  int slot_shift_ = 64;
};
