#include "start_finder.h"

#include <glib.h>

#include <algorithm>
#include <cstring>

#include "byte_order.h"

namespace {

constexpr uint32_t kNone = UINT32_MAX;
// Stretches shorter than this, per lane, are read in one lane.
constexpr size_t kShortestLane = 256;

// count Ts, or nullptr when memory runs out.
template <typename T>
T* try_new(size_t count) {
  return static_cast<T*>(g_try_malloc_n(count > 0 ? count : 1, sizeof(T)));
}

// A name reversed, and which it is.
struct Reversed {
  OrderedBytes bytes;
  uint32_t name;
};

// The bits of a row's index: a class for NUL, one for each byte used and
// one for all other bytes.
int class_shift(const bool used[256]) {
  int classes = 1;
  for (int b = 1; b < 256; b++)
    classes += used[b];
  if (classes < 256)
    classes++;
  int shift = 0;
  while ((1 << shift) < classes)
    shift++;
  return shift;
}

}  // namespace

size_t StartFinder::most_table_entries(const NameList& names) {
  bool used[256] = {};
  size_t total = 0;
  for (size_t i = 0; i < names.count(); i++) {
    for (size_t k = 0; k < names[i].size; k++)
      used[static_cast<unsigned char>(names[i].bytes[k])] = true;
    total += names[i].size;
  }
  // A node for every byte of the names at most, the root and the row after
  // a NUL.
  return (total + 2) << class_shift(used);
}

bool StartFinder::build(const NameList& names, size_t most_table_bytes,
                        size_t eight_lanes_from_bytes) {
  const size_t count = names.count();
  size_t total = 0;
  for (size_t i = 0; i < count; i++)
    total += names[i].size;
  // The names reversed, in byte order.
  g_autofree char* reversed = try_new<char>(total);
  g_autofree Reversed* order = try_new<Reversed>(count);
  // The tree: a node for every distinct ending of a name.
  const size_t most = total + 1;
  g_autofree uint32_t* parent = try_new<uint32_t>(most);
  g_autofree unsigned char* byte = try_new<unsigned char>(most);
  g_autofree uint32_t* own = try_new<uint32_t>(most);
  g_autofree uint32_t* path = try_new<uint32_t>(names.longest() + 1);
  if (!reversed || !order || !parent || !byte || !own || !path)
    return false;
  size_t next = 0;
  for (size_t i = 0; i < count; i++) {
    char* r = reversed + next;
    for (size_t k = names[i].size; k-- > 0;)
      reversed[next++] = names[i].bytes[k];
    order[i] = {OrderedBytes(r, names[i].size), static_cast<uint32_t>(i)};
  }
  std::sort(order, order + count,
            [](const Reversed& a, const Reversed& b) { return compare(a.bytes, b.bytes) < 0; });
  // Sorted, each reversed name shares a beginning with the one before it
  // and adds nodes for the rest; so a node's children come in byte order.
  uint32_t nodes = 1;
  parent[0] = 0;
  own[0] = kNone;
  path[0] = 0;
  for (size_t i = 0; i < count; i++) {
    const char* r = order[i].bytes.bytes;
    const size_t size = order[i].bytes.size;
    size_t shared = 0;
    if (i > 0) {
      const OrderedBytes& before = order[i - 1].bytes;
      shared = shared_prefix(before.bytes, r, std::min(before.size, size));
    }
    for (size_t k = shared; k < size; k++) {
      parent[nodes] = path[k];
      byte[nodes] = static_cast<unsigned char>(r[k]);
      own[nodes] = kNone;
      path[k + 1] = nodes++;
    }
    own[path[size]] = order[i].name;
  }

  // Children by node, in byte order.
  first_child_.reset(try_new<uint32_t>(nodes + 1));
  child_byte_.reset(try_new<unsigned char>(nodes));
  child_node_.reset(try_new<uint32_t>(nodes));
  fail_.reset(try_new<uint32_t>(nodes));
  node_name_.reset(try_new<uint32_t>(nodes));
  g_autofree uint32_t* queue = try_new<uint32_t>(nodes);
  if (!first_child_ || !child_byte_ || !child_node_ || !fail_ || !node_name_ || !queue)
    return false;
  memset(first_child_.get(), 0, (nodes + 1) * sizeof(uint32_t));
  for (uint32_t v = 1; v < nodes; v++)
    first_child_[parent[v] + 1]++;
  for (uint32_t v = 0; v < nodes; v++)
    first_child_[v + 1] += first_child_[v];
  {
    g_autofree uint32_t* filled = try_new<uint32_t>(nodes);
    if (!filled)
      return false;
    memcpy(filled, first_child_.get(), nodes * sizeof(uint32_t));
    for (uint32_t v = 1; v < nodes; v++) {
      const uint32_t slot = filled[parent[v]]++;
      child_byte_[slot] = byte[v];
      child_node_[slot] = v;
    }
  }
  nodes_ = nodes;

  // Breadth first, each node's failure link is the longest proper ending of
  // its bytes that is in the tree, and the name that starts where it is
  // reached is the first listed among its own and its failure link's.
  size_t head = 0, tail = 0;
  queue[tail++] = 0;
  fail_[0] = 0;
  node_name_[0] = kNone;
  while (head < tail) {
    const uint32_t u = queue[head++];
    for (uint32_t slot = first_child_[u]; slot < first_child_[u + 1]; slot++) {
      const uint32_t v = child_node_[slot];
      uint32_t f = 0;
      if (u != 0) {
        f = next_slowly(fail_[u], child_byte_[slot]);
      }
      fail_[v] = f;
      node_name_[v] = std::min(own[v], node_name_[f]);
      queue[tail++] = v;
    }
  }
  longest_ = names.longest();

  // The table, when it fits: the rows where a name starts first, so that one
  // comparison tells a state that needs a look from one that does not.
  bool used[256] = {};
  for (uint32_t v = 1; v < nodes; v++)
    used[byte[v]] = true;
  int classes = 1;  // NUL is 0
  for (int b = 1; b < 256; b++) {
    if (used[b])
      classes_[b] = static_cast<uint8_t>(classes++);
  }
  if (classes < 256) {
    for (int b = 1; b < 256; b++) {
      if (!used[b])
        classes_[b] = static_cast<uint8_t>(classes);
    }
  }
  shift_ = class_shift(used);
  // Rows where no name starts come first, the root's at 0; then, from the
  // first power of two past them, a row for after a NUL and the rows where
  // names start. So a state at or past special_ needs a look: for a few
  // states at once, one OR and one test tell.
  const size_t stride = size_t{1} << shift_;
  size_t plain = 0;
  for (size_t i = 0; i < nodes; i++)
    plain += node_name_[queue[i]] == kNone;
  const size_t matches = nodes - plain;
  uint64_t special = stride;
  while (special < uint64_t{plain} << shift_)
    special *= 2;
  if ((uint64_t{plain + 1 + matches} << shift_) * sizeof(uint32_t) > most_table_bytes ||
      special + (uint64_t{1 + matches} << shift_) > UINT32_MAX)
    return true;
  const size_t entries = special + ((1 + matches) << shift_);
  g_autofree uint32_t* row_of = try_new<uint32_t>(nodes);  // premultiplied
  g_autofree uint32_t* table = try_new<uint32_t>(entries);
  g_autofree uint32_t* names_of = try_new<uint32_t>(1 + matches);
  if (!row_of || !table || !names_of)
    return true;
  special_ = static_cast<uint32_t>(special);
  eight_lanes_ = entries * sizeof(uint32_t) >= eight_lanes_from_bytes;
  size_t next_plain = 0, next_special = 1;
  for (size_t i = 0; i < nodes; i++) {
    const uint32_t u = queue[i];
    if (node_name_[u] == kNone) {
      row_of[u] = static_cast<uint32_t>(next_plain++ << shift_);
    } else {
      names_of[next_special] = node_name_[u];
      row_of[u] = static_cast<uint32_t>(special + (next_special++ << shift_));
    }
  }
  names_of[0] = kNone;
  for (size_t i = 0; i < nodes; i++) {
    const uint32_t u = queue[i];
    uint32_t* row = table + row_of[u];
    if (u == 0) {
      for (size_t c = 0; c < stride; c++)
        row[c] = 0;
      row[0] = special_;  // NUL
    } else {
      memcpy(row, table + row_of[fail_[u]], stride * sizeof(uint32_t));
    }
    for (uint32_t slot = first_child_[u]; slot < first_child_[u + 1]; slot++)
      row[classes_[child_byte_[slot]]] = row_of[child_node_[slot]];
  }
  // After a NUL all is as at the root.
  memcpy(table + special, table, stride * sizeof(uint32_t));
  table_.reset(static_cast<uint32_t*>(g_steal_pointer(&table)));
  special_name_.reset(static_cast<uint32_t*>(g_steal_pointer(&names_of)));
  // The tree is no longer needed.
  first_child_.reset();
  child_byte_.reset();
  child_node_.reset();
  fail_.reset();
  node_name_.reset();
  return true;
}

// The node reached from node with byte, following failure links while node
// has no such child; the root's "no child" is itself.
uint32_t StartFinder::next_slowly(uint32_t node, unsigned char byte) const {
  for (;;) {
    const unsigned char* bytes = child_byte_.get() + first_child_[node];
    const unsigned char* end = child_byte_.get() + first_child_[node + 1];
    const unsigned char* found = std::lower_bound(bytes, end, byte);
    if (found != end && *found == byte)
      return child_node_[found - child_byte_.get()];
    if (node == 0)
      return 0;
    node = fail_[node];
  }
}

size_t StartFinder::find(const char* begin, const char* end, const char* text_end, Start* out,
                         const char** nul) const {
  if (!table_)
    return find_slowly(begin, end, text_end, out, nul);
  // Each lane reads up to a longest name past its end first: lanes are
  // worth it only when they are longer than that.
  const size_t lane = std::max(kShortestLane, 2 * longest_);
  if (eight_lanes_ && static_cast<size_t>(end - begin) >= 8 * lane)
    return find_in_lanes<8>(begin, end, text_end, out, nul);
  if (static_cast<size_t>(end - begin) >= 4 * lane)
    return find_in_lanes<4>(begin, end, text_end, out, nul);
  return find_in_lanes<1>(begin, end, text_end, out, nul);
}

// Reads the stretch as kLanes lanes side by side, each from a little past
// its end (where the names starting in it end) down to its beginning: the
// lanes' lookups do not wait for each other.
template <int kLanes>
size_t StartFinder::find_in_lanes(const char* begin, const char* end, const char* text_end,
                                  Start* out, const char** nul) const {
  static_assert(kLanes == 1 || kLanes == 4 || kLanes == 8, "one lane, four or eight");
  const uint32_t* const table = table_.get();
  const uint8_t* const classes = classes_;
  const size_t special = special_;
  const size_t lane_size = static_cast<size_t>(end - begin) / kLanes;
  auto reach = [&](const char* lane_end) {
    return static_cast<size_t>(text_end - lane_end) > longest_ ? lane_end + longest_ : text_end;
  };
  // States are kept as size_t: the sum indexes the table as it is.
  auto step = [table, classes](size_t state, const char* p) -> size_t {
    return table[state + classes[static_cast<unsigned char>(*p)]];
  };

  // Lane i covers [lanes[i], lanes[i] + lane_size); the last lane also the
  // rest up to end, read first.
  const char* lanes[kLanes];
  size_t state[kLanes] = {};
  Start* found[kLanes];  // each lane's finds, highest position first
  const char* nuls[kLanes] = {};
  for (int i = 0; i < kLanes; i++) {
    lanes[i] = begin + i * lane_size;
    found[i] = out + i * lane_size;
  }
  auto note = [&](int i, size_t s, const char* p) {
    if (s == special)
      nuls[i] = p;
    else
      *found[i]++ = {static_cast<uint32_t>(p - begin), special_name_[(s - special) >> shift_]};
  };
  for (int i = 0; i < kLanes - 1; i++) {
    const char* lane_end = lanes[i] + lane_size;
    for (const char* p = reach(lane_end); p-- > lane_end;)
      state[i] = step(state[i], p);
  }
  const char* rest = lanes[kLanes - 1] + lane_size;
  for (const char* p = reach(end); p-- > rest;) {
    state[kLanes - 1] = step(state[kLanes - 1], p);
    if (p < end && state[kLanes - 1] >= special)
      note(kLanes - 1, state[kLanes - 1], p);
  }
  if constexpr (kLanes == 1) {
    size_t s0 = state[0];
    for (const char* p = rest; p-- > begin;) {
      s0 = step(s0, p);
      if (__builtin_expect(s0 >= special, 0))
        note(0, s0, p);
    }
  } else if constexpr (kLanes == 8) {
    // Eight lanes keep more misses of a large table under way at once.
    const size_t high = ~(special - 1);
    size_t s[kLanes];
    for (int i = 0; i < kLanes; i++)
      s[i] = state[i];
    for (size_t k = lane_size; k-- > 0;) {
      size_t any = 0;
#pragma GCC unroll 8
      for (int i = 0; i < kLanes; i++) {
        s[i] = step(s[i], lanes[i] + k);
        any |= s[i];
      }
      if (__builtin_expect((any & high) != 0, 0)) {
#pragma GCC unroll 8
        for (int i = 0; i < kLanes; i++) {
          if (s[i] >= special)
            note(i, s[i], lanes[i] + k);
        }
      }
    }
  } else {
    // The states in registers, not in an array: each lane's next lookup
    // waits only for its own last. No state before special has a bit of
    // special or above.
    const char* const p0 = lanes[0];
    const char* const p1 = lanes[1];
    const char* const p2 = lanes[2];
    const char* const p3 = lanes[3];
    const size_t high = ~(special - 1);
    size_t s0 = state[0], s1 = state[1], s2 = state[2], s3 = state[3];
    for (size_t k = lane_size; k-- > 0;) {
      s0 = step(s0, p0 + k);
      s1 = step(s1, p1 + k);
      s2 = step(s2, p2 + k);
      s3 = step(s3, p3 + k);
      if (__builtin_expect(((s0 | s1 | s2 | s3) & high) != 0, 0)) {
        if (s0 >= special)
          note(0, s0, p0 + k);
        if (s1 >= special)
          note(1, s1, p1 + k);
        if (s2 >= special)
          note(2, s2, p2 + k);
        if (s3 >= special)
          note(3, s3, p3 + k);
      }
    }
  }

  // Each lane's finds in place, lowest position first, one lane after another.
  size_t count = 0;
  *nul = nullptr;
  for (int i = 0; i < kLanes; i++) {
    Start* first = out + i * lane_size;
    const size_t n = static_cast<size_t>(found[i] - first);
    std::reverse(first, found[i]);
    memmove(out + count, first, n * sizeof(Start));
    count += n;
    if (nuls[i] && !*nul)
      *nul = nuls[i];
  }
  return count;
}

size_t StartFinder::find_slowly(const char* begin, const char* end, const char* text_end,
                                Start* out, const char** nul) const {
  *nul = nullptr;
  const char* from = static_cast<size_t>(text_end - end) > longest_ ? end + longest_ : text_end;
  uint32_t node = 0;
  Start* found = out;
  for (const char* p = from; p-- > begin;) {
    if (*p == '\0') {
      node = 0;
      if (p < end)
        *nul = p;
      continue;
    }
    node = next_slowly(node, static_cast<unsigned char>(*p));
    if (p < end && node_name_[node] != kNone)
      *found++ = {static_cast<uint32_t>(p - begin), node_name_[node]};
  }
  std::reverse(out, found);
  return static_cast<size_t>(found - out);
}
