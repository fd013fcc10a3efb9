// The names of NAME=VALUE arguments, looked up by length and bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct Name {
  const char* bytes;
  size_t size;
  const char* value;  // followed by at least 16 bytes that may be read
  size_t value_size;
  size_t order;  // position among the usable arguments: the lowest wins
};

class NameTable {
  // A name's place in the open-addressing table, with what rules most
  // candidates out without looking at the name itself.
  struct Slot {
    uint64_t head;  // the first (up to) eight bytes, the rest zero
    Name name;      // a copy, so that a match reads one place; size 0 when free
  };
  struct Length {
    size_t size;
    size_t lowest_order;  // among the names of this size or longer
  };

 public:
  // Arguments are divided at their first '='; one without '=', or with
  // nothing before it, never matches, and of two equal names the first wins.
  NameTable(const char* const* arguments, size_t count);
  ~NameTable();
  NameTable(const NameTable&) = delete;
  NameTable& operator=(const NameTable&) = delete;

  size_t longest() const { return longest_; }
  // Calls add(byte) for every byte that starts a name.
  template <typename F>
  void each_first_byte(F add) const {
    for (size_t i = 0; i < count_; i++)
      add(static_cast<unsigned char>(names_[i].bytes[0]));
  }

  // The lookup itself, a small value: held in a local while scanning, its
  // fields stay in registers however much output is written meanwhile.
  class Lookup {
   public:
    // Of the names that the text at p begins with, the one listed first, or
    // nullptr. Only names of at most avail bytes are considered.
    __attribute__((always_inline)) const Name* match(const char* p, size_t avail) const {
      const uint64_t word = avail >= 8 ? load(p) : load_short(p, avail);
      const Name* best = nullptr;
      for (size_t i = 0; i < length_count_; i++) {
        const Length& length = lengths_[i];
        if (length.size > avail || (best && best->order <= length.lowest_order))
          break;
        const Name* found = find(p, length.size, word);
        if (found && (!best || found->order < best->order))
          best = found;
      }
      return best;
    }

   private:
    friend class NameTable;

    const Name* find(const char* p, size_t size, uint64_t word) const {
      const uint64_t head = size >= 8 ? word : word & head_masks_[size];
      for (size_t i = slot_of(p, size, head);; i = (i + 1) & slot_mask_) {
        const Slot& slot = slots_[i];
        if (slot.name.size == size && slot.head == head &&
            (size <= 8 || memcmp(p + 8, slot.name.bytes + 8, size - 8) == 0))
          return &slot.name;
        if (slot.name.size == 0)
          return nullptr;
      }
    }
    size_t slot_of(const char* p, size_t size, uint64_t head) const {
      uint64_t key = head ^ size;
      if (size > 8)
        key ^= load(p + size - 8) * 0xff51afd7ed558ccdull;
      // The product's top bits depend on every bit of the key.
      return static_cast<size_t>((key * 0x9e3779b97f4a7c15ull) >> slot_shift_);
    }

    const Slot* slots_ = nullptr;
    size_t slot_mask_ = 0;
    int slot_shift_ = 64;  // 64 less the bits of a slot index
    const Length* lengths_ = nullptr;  // the distinct sizes, shortest first
    size_t length_count_ = 0;
    const uint64_t* head_masks_ = nullptr;
  };
  const Lookup& lookup() const { return lookup_; }

  // The lookup when every name has one size, at most eight bytes: the usual
  // case, with no loop over sizes and no comparison past the first word.
  class ShortLookup {
   public:
    explicit ShortLookup(const Lookup& all)
        : slots_(all.slots_),
          slot_mask_(all.slot_mask_),
          slot_shift_(all.slot_shift_),
          size_(all.lengths_[0].size),
          head_mask_(all.head_masks_[all.lengths_[0].size % 8] | -uint64_t{size_ >= 8}) {}

    __attribute__((always_inline)) const Name* match(const char* p, size_t avail) const {
      if (avail < size_)
        return nullptr;
      const uint64_t head = (avail >= 8 ? load(p) : load_short(p, avail)) & head_mask_;
      const uint64_t key = head ^ size_;
      for (size_t i = static_cast<size_t>((key * 0x9e3779b97f4a7c15ull) >> slot_shift_);;
           i = (i + 1) & slot_mask_) {
        const Slot& slot = slots_[i];
        if (slot.head == head && slot.name.size == size_)
          return &slot.name;
        if (slot.name.size == 0)
          return nullptr;
      }
    }

   private:
    const Slot* slots_;
    size_t slot_mask_;
    int slot_shift_;
    size_t size_;
    uint64_t head_mask_;
  };
  // Whether ShortLookup serves.
  bool one_short_size() const { return lookup_.length_count_ == 1 && longest_ <= 8; }

 private:
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

  Name* names_ = nullptr;
  size_t count_ = 0;
  char* values_ = nullptr;  // the values, each padded
  Slot* slots_ = nullptr;
  Length* lengths_ = nullptr;
  size_t longest_ = 0;
  uint64_t head_masks_[8];  // the first i bytes of a word
  Lookup lookup_;
};
