#include "names.h"

#include <glib.h>

#include "bits.h"

NameTable::NameTable(const char* const* arguments, size_t count) {
  for (size_t size = 0; size < 8; size++) {
    unsigned char mask[8] = {};
    memset(mask, 0xff, size);
    memcpy(&head_masks_[size], mask, sizeof mask);
  }
  // Mostly empty, so that a lookup seldom probes more than one slot.
  size_t slots = 64;
  while (slots < 4 * count)
    slots *= 2;
  slots_ = g_new0(Slot, slots);
  lookup_.slots_ = slots_;
  lookup_.slot_mask_ = slots - 1;
  lookup_.slot_shift_ = 64 - lowest_set_bit(slots);
  lookup_.head_masks_ = head_masks_;

  names_ = g_new(Name, count > 0 ? count : 1);
  size_t values_size = 0;
  for (size_t i = 0; i < count; i++)
    values_size += strlen(arguments[i]) + 16;
  values_ = static_cast<char*>(g_malloc0(values_size > 0 ? values_size : 1));
  char* next_value = values_;
  for (size_t i = 0; i < count; i++) {
    const char* equals = strchr(arguments[i], '=');
    if (!equals || equals == arguments[i])
      continue;
    const size_t size = static_cast<size_t>(equals - arguments[i]);
    const uint64_t head = load_short(arguments[i], size);
    if (lookup_.find(arguments[i], size, size >= 8 ? load(arguments[i]) : head))
      continue;  // an earlier argument has the same name and always wins
    Name& name = names_[count_];
    name.bytes = arguments[i];
    name.size = size;
    name.value_size = strlen(equals + 1);
    name.value = static_cast<const char*>(memcpy(next_value, equals + 1, name.value_size));
    next_value += name.value_size + 16;
    name.order = count_++;
    size_t slot = lookup_.slot_of(name.bytes, size, head);
    while (slots_[slot].name.size != 0)
      slot = (slot + 1) & lookup_.slot_mask_;
    slots_[slot] = {head, name};
    if (size > longest_)
      longest_ = size;
  }

  // The distinct sizes, shortest first, each with the lowest order among
  // the names at least that long: a match can stop looking once it has a
  // name listed before all of them.
  lengths_ = g_new(Length, count_ > 0 ? count_ : 1);
  size_t length_count = 0;
  for (size_t i = 0; i < count_; i++) {
    size_t at = 0;
    while (at < length_count && lengths_[at].size < names_[i].size)
      at++;
    if (at < length_count && lengths_[at].size == names_[i].size)
      continue;  // names_[i] comes later than the first of its size
    memmove(&lengths_[at + 1], &lengths_[at], (length_count - at) * sizeof(Length));
    lengths_[at] = {names_[i].size, names_[i].order};
    length_count++;
  }
  for (size_t i = length_count; i-- > 1;) {
    if (lengths_[i].lowest_order < lengths_[i - 1].lowest_order)
      lengths_[i - 1].lowest_order = lengths_[i].lowest_order;
  }
  lookup_.lengths_ = lengths_;
  lookup_.length_count_ = length_count;
}

NameTable::~NameTable() {
  g_free(names_);
  g_free(values_);
  g_free(slots_);
  g_free(lengths_);
}
