#include "prefix_tree.h"

#include <glib.h>

#include <algorithm>
#include <cstring>

#include "bits.h"

namespace {

// A node while the tree is built: where it hangs and which name spells the
// bytes that lead to it.
struct Building {
  uint32_t parent;
  uint32_t depth;
  uint32_t spelt_by;  // a name that passes through it
  int32_t name;
};

}  // namespace

const uint64_t PrefixTree::kMasks[kMostRest + 1][2] = {
    {0, 0},
    {0xff, 0},
    {0xffff, 0},
    {0xffffff, 0},
    {0xffffffff, 0},
    {0xffffffffff, 0},
    {0xffffffffffff, 0},
    {0xffffffffffffff, 0},
    {~uint64_t{0}, 0},
    {~uint64_t{0}, 0xff},
    {~uint64_t{0}, 0xffff},
    {~uint64_t{0}, 0xffffff},
    {~uint64_t{0}, 0xffffffff},
    {~uint64_t{0}, 0xffffffffff},
    {~uint64_t{0}, 0xffffffffffff},
    {~uint64_t{0}, 0xffffffffffffff},
    {~uint64_t{0}, ~uint64_t{0}},
};

void PrefixTree::build(const NameList& names) {
  names_ = &names;
  const size_t count = names.count();
  const uint32_t* order = names.in_byte_order();

  // In byte order each name shares its beginning with the one before it:
  // the stack holds the nodes on the way to that one, and a node is made
  // where the two part (splitting an edge) and where the new one ends.
  g_autofree Building* built = g_new(Building, 2 * count + 1);
  g_autofree uint32_t* stack = g_new(uint32_t, count + 1);
  uint32_t nodes = 1;
  built[0] = {0, 0, 0, -1};
  size_t depth = 1;
  stack[0] = 0;
  for (size_t i = 0; i < count; i++) {
    const Name& name = names[order[i]];
    size_t shared = 0;
    if (i > 0) {
      const Name& before = names[order[i - 1]];
      shared = shared_prefix(before.bytes, name.bytes, std::min(before.size, name.size));
    }
    uint32_t popped = 0;
    bool any = false;
    while (built[stack[depth - 1]].depth > shared) {
      popped = stack[--depth];
      any = true;
    }
    if (any && built[stack[depth - 1]].depth < shared) {
      const uint32_t split = nodes++;
      built[split] = {stack[depth - 1], static_cast<uint32_t>(shared), built[popped].spelt_by, -1};
      built[popped].parent = split;
      stack[depth++] = split;
    }
    const uint32_t leaf = nodes++;
    built[leaf] = {stack[depth - 1], static_cast<uint32_t>(name.size), order[i],
                   static_cast<int32_t>(order[i])};
    stack[depth++] = leaf;
  }

  size_t shortest = count > 0 ? names[0].size : 0;
  for (size_t i = 1; i < count; i++)
    shortest = std::min(shortest, names[i].size);
  first_ = std::min<size_t>(shortest, 8);

  // A node with one child is passed through, but for the root; so is a node
  // past the first bytes with two children, one of them a name one byte
  // longer with nothing below it (@A@ beside @AA@), which leaves the way
  // there. Each node kept hangs below its nearest kept ancestor, its top.
  g_autofree uint32_t* children = g_new0(uint32_t, nodes);
  // Such a child, 0 for none, UINT32_MAX for more than one.
  g_autofree uint32_t* leaving = g_new0(uint32_t, nodes);
  for (uint32_t v = 1; v < nodes; v++)
    children[built[v].parent]++;
  for (uint32_t v = 1; v < nodes; v++) {
    const uint32_t u = built[v].parent;
    if (children[v] == 0 && built[v].depth == built[u].depth + 1 && built[u].depth >= first_)
      leaving[u] = leaving[u] == 0 ? v : UINT32_MAX;
  }
  auto left = [&](uint32_t v) {
    return children[v] == 2 && leaving[v] != 0 && leaving[v] != UINT32_MAX;
  };
  g_autofree bool* kept = g_new(bool, nodes);
  for (uint32_t v = 0; v < nodes; v++) {
    const uint32_t u = built[v].parent;
    kept[v] = v == 0 || (children[v] != 1 && !left(v) && !(left(u) && leaving[u] == v));
  }
  g_autofree uint32_t* top = g_new(uint32_t, nodes);
  g_autofree uint32_t* waiting = g_new(uint32_t, nodes);
  for (uint32_t v = 0; v < nodes; v++)
    top[v] = UINT32_MAX;
  for (uint32_t v = 1; v < nodes; v++) {
    size_t count_waiting = 0;
    uint32_t u = built[v].parent;
    while (!kept[u] && top[u] == UINT32_MAX) {
      waiting[count_waiting++] = u;
      u = built[u].parent;
    }
    const uint32_t t = kept[u] ? u : top[u];
    top[v] = t;
    while (count_waiting > 0)
      top[waiting[--count_waiting]] = t;
  }
  // Whether the edge into a kept node passes the ends of names, or names
  // leaving it, and room for them.
  g_autofree bool* passes = g_new0(bool, nodes);
  g_autofree bool* left_by = g_new0(bool, nodes);
  size_t along_size = 0, side_size = 0;
  for (uint32_t v = 1; v < nodes; v++) {
    if (!kept[v])
      continue;
    for (uint32_t w = built[v].parent; w != top[v]; w = built[w].parent) {
      passes[v] = passes[v] || built[w].name >= 0 || left(w);
      left_by[v] = left_by[v] || left(w);
    }
    if (passes[v])
      along_size += built[v].depth - built[top[v]].depth;
    if (left_by[v])
      side_size += built[v].depth - built[top[v]].depth;
  }

  // Every node kept but the root is the target of one edge.
  edges_.reset(g_new0(Edge, nodes));
  along_.reset(g_new(int32_t, along_size + 1));
  sides_.reset(g_new(Side, side_size + 1));
  size_t label_bytes = 0;
  one_size_ = count > 0 && names.longest() == first_;
  first_mask_ = first_ == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * first_)) - 1;
  size_t crossings = 0;  // edges on which the first bytes end
  for (uint32_t v = 1; v < nodes; v++) {
    if (!kept[v])
      continue;
    label_bytes += built[v].depth - built[top[v]].depth + 8;
    crossings += built[top[v]].depth < first_ && first_ <= built[v].depth;
  }
  labels_.reset(static_cast<char*>(g_malloc0(label_bytes + 1)));
  size_t slots = 64;
  while (slots < 2 * static_cast<size_t>(nodes))
    slots *= 2;
  slots_.reset(g_new0(uint64_t, slots));
  slot_mask_ = slots - 1;
  slot_shift_ = 64 - lowest_set_bit(slots);
  size_t entries = 16;
  while (entries < 2 * crossings || (entries < 16 * crossings && entries < 256))
    entries *= 2;
  // Aligned as Entry asks (g_malloc aligns less).
  entry_memory_.reset(static_cast<char*>(g_malloc(entries * sizeof(Entry) + alignof(Entry))));
  const size_t misaligned = reinterpret_cast<uintptr_t>(entry_memory_.get()) % alignof(Entry);
  entries_ = reinterpret_cast<Entry*>(entry_memory_.get() +
                                      (misaligned ? alignof(Entry) - misaligned : 0));
  keys_.reset(g_new0(uint64_t, entries));
  entry_mask_ = entries - 1;
  entry_shift_ = 64 - lowest_set_bit(entries);
  char* next_label = labels_.get();
  int32_t* next_along = along_.get();
  Side* next_side = sides_.get();
  for (uint32_t v = 1; v < nodes; v++) {
    if (!kept[v])
      continue;
    const uint32_t u = top[v];
    const char* spelling = names[built[v].spelt_by].bytes;
    const uint32_t from = built[u].depth;
    const uint32_t size = built[v].depth - from - 1;
    memcpy(next_label, spelling + from + 1, size);
    Edge& edge = edges_[v];
    edge.label = next_label;
    edge.size |= size;
    edge.name = built[v].name;
    next_label += size + 8;
    if (passes[v]) {
      // Label bytes passed to reach depth d: d - from - 1.
      int32_t* along = next_along;
      next_along += size + 1;
      for (uint32_t k = 0; k <= size; k++)
        along[k] = -1;
      along[size] = built[v].name;
      for (uint32_t w = built[v].parent; w != u; w = built[w].parent)
        along[built[w].depth - from - 1] = built[w].name;
      for (uint32_t k = 1; k <= size; k++) {
        if (along[k] < 0)
          along[k] = along[k - 1];
      }
      edge.along = along;
    }
    if (left_by[v]) {
      Side* side = next_side;
      next_side += size + 1;
      for (uint32_t k = 0; k <= size; k++)
        side[k] = {-1, 0};
      for (uint32_t w = built[v].parent; w != u; w = built[w].parent) {
        if (!left(w))
          continue;
        const uint32_t c = leaving[w];
        side[built[w].depth - from - 1] = {
            built[c].name,
            static_cast<unsigned char>(names[built[c].spelt_by].bytes[built[w].depth])};
      }
      edge.side = side;
    }
    edges_[u].size |= kBranches;
    const uint32_t key = u << 8 | static_cast<unsigned char>(spelling[from]);
    size_t slot = spread(key, slot_shift_);
    while (slots_[slot] != 0)
      slot = (slot + 1) & slot_mask_;
    slots_[slot] = static_cast<uint64_t>(key) << 32 | v;
  }
  // The edges on which the first bytes end, now that it is known which
  // nodes edges leave.
  for (uint32_t v = 1; v < nodes; v++) {
    if (!kept[v])
      continue;
    const uint32_t from = built[top[v]].depth;
    if (from >= first_ || first_ > built[v].depth)
      continue;
    const char* spelling = names[built[v].spelt_by].bytes;
    const uint64_t key = load_short(spelling, first_) & first_mask_;
    size_t i = spread(key, entry_shift_);
    while (keys_[i] != 0)
      i = (i + 1) & entry_mask_;
    keys_[i] = key;
    Entry& entry = entries_[i];
    entry = Entry{};  // only the entries used are written
    entry.edge = v;
    entry.into = static_cast<uint8_t>(first_ - from - 1);
    const size_t rest = built[v].depth - first_;
    if (!(edges_[v].size & kBranches) && !edges_[v].along && rest <= kMostRest) {
      memcpy(entry.rest, spelling + first_, rest);
      entry.rest_size = static_cast<uint16_t>(rest);
      entry.name = names[static_cast<size_t>(built[v].name)];
      entry.whole = true;
    }
  }
}
