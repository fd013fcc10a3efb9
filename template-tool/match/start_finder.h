// Which name starts at each position of a stretch of text, found by reading
// it backwards: the names reversed make an automaton whose state at a
// position tells, in one step, every name that starts there. Every byte is
// read a bounded number of times, whatever the names.
#pragma once

#include <cstddef>
#include <cstdint>

#include "names.h"
#include "owned.h"

struct Start {
  uint32_t offset;  // from the beginning of the stretch
  uint32_t name;    // the first listed name that starts there
};

class StartFinder {
 public:
  StartFinder() = default;
  StartFinder(const StartFinder&) = delete;
  StartFinder& operator=(const StartFinder&) = delete;

  // False, with nothing built, when memory runs out. A table of transitions
  // is made when it takes at most most_table_bytes; from
  // eight_lanes_from_bytes on, where most lookups miss the caches nearest,
  // it is read in eight lanes rather than four.
  static constexpr size_t kMostTableBytes = size_t{32} << 20;
  static constexpr size_t kEightLanesFromBytes = size_t{2} << 20;
  bool build(const NameList& names, size_t most_table_bytes = kMostTableBytes,
             size_t eight_lanes_from_bytes = kEightLanesFromBytes);
  bool built() const { return nodes_ > 0; }
  // At most how many entries the table of these names would have: it may
  // then be refused only when memory runs out.
  static size_t most_table_entries(const NameList& names);
  // Whether it reads through a table of transitions, or the slow way.
  bool has_table() const { return table_ != nullptr; }

  // Lists in out, in order, the positions s in [begin, end) at which a name
  // starts that ends by text_end (at least end), with that name, and
  // returns their count; out has room for one per position. The text ends
  // at its first NUL: *nul is set to it, or nullptr when there is none
  // before end.
  size_t find(const char* begin, const char* end, const char* text_end, Start* out,
              const char** nul) const;

 private:
  template <int kLanes>
  size_t find_in_lanes(const char* begin, const char* end, const char* text_end, Start* out,
                       const char** nul) const;
  size_t find_slowly(const char* begin, const char* end, const char* text_end, Start* out,
                     const char** nul) const;
  uint32_t next_slowly(uint32_t node, unsigned char byte) const;

  size_t longest_ = 0;
  uint32_t nodes_ = 0;  // of the reversed names' tree, the root 0
  // A table of transitions when it fits: rows of 1 << shift_ entries,
  // indexed by state + class, each entry the next state, that is a row's
  // offset. The root's row is at 0. From special_ on come the row for after
  // a NUL and the rows at which some name starts.
  Owned<uint32_t> table_;
  Owned<uint32_t> special_name_;  // by row from special_: the name that starts
  uint8_t classes_[256] = {};
  int shift_ = 0;
  uint32_t special_ = 0;
  bool eight_lanes_ = false;
  // Otherwise, the tree itself: each node's children (bytes sorted), its
  // failure link and the name that starts where it is reached.
  Owned<uint32_t> first_child_;  // nodes_ + 1 entries into child_*
  Owned<unsigned char> child_byte_;
  Owned<uint32_t> child_node_;
  Owned<uint32_t> fail_;
  Owned<uint32_t> node_name_;
};
