// The names as a tree of their shared beginnings, each run of bytes without a
// branch on one edge: what name, if any, begins at a given position.
#pragma once

#include <cstddef>
#include <cstdint>

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
  const Name* match(const char* p, const char* end, size_t& work) const {
    uint32_t e = root_[static_cast<unsigned char>(*p)];
    const Name* best = nullptr;
    const char* at = p + 1;
    while (e != 0) {
      const Edge& edge = edges_[e];
      if (edge.size > static_cast<size_t>(end - at) || !same(at, edge.label, edge.size, end))
        break;
      at += edge.size;
      work += 1 + edge.size / 8;
      const Node& node = nodes_[edge.target];
      // Below a name are only names listed before it: the deepest wins.
      if (node.name >= 0)
        best = &(*names_)[static_cast<size_t>(node.name)];
      if (!node.branches || at == end)
        break;
      e = find(edge.target, static_cast<unsigned char>(*at++));
    }
    return best;
  }

 private:
  struct Node {
    int32_t name;       // the name ending here, or -1
    uint32_t branches;  // whether edges leave it
  };
  struct Edge {
    const char* label;  // the bytes after the first, padded with eight more
    uint32_t size;
    uint32_t target;
  };

  static uint64_t load(const char* p) {
    uint64_t word;
    __builtin_memcpy(&word, p, sizeof word);
    return word;
  }
  // Whether the size bytes at at are label's; the text ends at end.
  static bool same(const char* at, const char* label, size_t size, const char* end) {
    if (size <= 8 && end - at >= 8) {
      const uint64_t mask = size == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * size)) - 1;
      return ((load(at) ^ load(label)) & mask) == 0;
    }
    if (size < 8) {
      for (size_t i = 0; i < size; i++) {
        if (at[i] != label[i])
          return false;
      }
      return true;
    }
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
  Node* nodes_ = nullptr;
  Edge* edges_ = nullptr;  // from 1
  char* labels_ = nullptr;
  uint32_t root_[256] = {};  // the edge leaving the root with each byte
  // The other edges: (node << 8 | byte) << 32 | edge, 0 when free.
  uint64_t* slots_ = nullptr;
  size_t slot_mask_ = 0;
  int slot_shift_ = 64;
};
