#include "expander.h"

#include <glib.h>

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "bits.h"

namespace {

// Forwards is given up when the look-ups cost more than one step for this
// many bytes passed, beyond a little to begin with; the text is then read
// backwards for a while before forwards is tried again.
constexpr size_t kBytesPerStep = 4;
constexpr ptrdiff_t kFirstSteps = 1024;
constexpr size_t kBackwardsBytes = 256 << 10;
// Where the reversed names' table would have this many entries or more
// (16 MiB: some 20,000 names of a dozen letters), building it takes longer
// than a short template's whole expansion forwards: forwards goes first, and
// may take a step for every kTableEntriesPerStep of them beyond what bytes
// earn before the table is built (20,000 names of 8-16 letters on a template
// of a byte: 52 -> 19 ms).
constexpr size_t kDeferredTableEntries = size_t{4} << 20;
constexpr size_t kTableEntriesPerStep = 256;
// So does it, with a step for every kShortTableEntriesPerStep, where the
// template is known to hold fewer bytes than a kEntriesPerTemplateByte-th of
// the table's entries: on names that crowd the text, forwards costs about
// twice what backwards does a byte, and building the table as much as that
// difference over about half a byte for each of its entries (10,000 words on
// 2 KiB: 22 -> 12 ms; on 0.75 MiB, near the bound, 8% less).
constexpr uint64_t kEntriesPerTemplateByte = 3;
constexpr size_t kShortTableEntriesPerStep = 4;
// Backwards, the text is read in stretches of at least this many lanes of
// this many bytes (and twice the longest name); the start finder may split
// a stretch into more lanes.
constexpr size_t kLanes = 4;
constexpr size_t kLaneBytes = 16 << 10;
// Forwards, while look-ups often find nothing (a quarter of them or more:
// each miss adds three to a score, each find takes one off), a block of 64
// bytes with this many bytes that may start a name is worth a closer look
// at the bytes that follow them. Where names are found, as delimited names
// mostly are, the bytes that crowd are mostly inside them, passed over
// without a look-up anyway.
constexpr int kCrowd = 3;
// Where every name is one byte and they are few, blocks of 64 are copied
// whole, and the bytes to replace replaced in the copy; the table goes on
// alone for kDenseBytes once kDenseFound of them have been found within
// kDenseWindow blocks (one in 32 bytes: near one in 28, where a branch
// mispredicted for each byte found makes the two ways cost the same).
constexpr int kDenseWindow = 64;
constexpr int kDenseFound = kDenseWindow * 64 / 32;
constexpr size_t kDenseBytes = 256 << 10;
constexpr int kMissScore = 16;
constexpr int kMostMissScore = 64;
// The vector scan looks for sets of up to this many bytes.
constexpr int kMostVectorBytes = 16;
#if PLOM_SSE2
// Calls f with an integral_constant of the least of 2, 4, 8 and 16 that is
// at least count (at most kMostVectorBytes): the set size VectorScan is
// built for.
template <typename F>
auto by_set_size(int count, F f) {
  if (count <= 2)
    return f(std::integral_constant<int, 2>());
  if (count <= 4)
    return f(std::integral_constant<int, 4>());
  if (count <= 8)
    return f(std::integral_constant<int, 8>());
  return f(std::integral_constant<int, 16>());
}
#endif
// Each byte as its own value, padded like the names' values.
struct Identity {
  char bytes[256 + kValuePadding] = {};
  constexpr Identity() {
    for (int i = 0; i < 256; i++)
      bytes[i] = static_cast<char>(i);
  }
};
constexpr Identity kIdentity;

}  // namespace

Expander::Expander(const char* const* arguments, size_t count, Way way, uint64_t template_size)
    : names_(arguments, count) {
  longest_ = names_.longest() > 0 ? names_.longest() : 1;
  spare_steps_ = kFirstSteps;
  most_spare_steps_ = kFirstSteps;
  // At rest fewer than longest_ bytes are held; a piece adds fewer again.
  held_.reset(static_cast<char*>(g_malloc(2 * longest_)));
  if (way == Way::kEither && names_.longest() == 1) {
    // Every name is one byte: a table of what each byte becomes is all.
    build_byte_table();
    for (size_t i = 0; i < names_.count(); i++)
      first_bytes_.add(static_cast<unsigned char>(names_[i].bytes[0]));
    // Too many bytes, or no vectors, to scan for: the table alone.
    if (!PLOM_SSE2 || first_bytes_.count() > kMostVectorBytes)
      dense_left_ = SIZE_MAX;
    return;
  }
  first_bytes_.add('\0');
  for (int byte = 1; byte < 256; byte++) {
    if (names_.starts_with(static_cast<unsigned char>(byte)))
      first_bytes_.add(static_cast<unsigned char>(byte));
  }
  for (size_t i = 0; i < names_.count(); i++)
    first_bytes_.add_name(names_[i].bytes, names_[i].size);
  first_bytes_.find_following();
  scalar_ = way == Way::kForwardsScalar;
  never_backwards_ = scalar_;
  try_forwards_ = scalar_ || (way == Way::kEither && first_bytes_.count() <= kMostVectorBytes);
  if (!try_forwards_ && way == Way::kEither) {
    // Too many bytes begin names for the prefilter to pay, but the table
    // goes backwards only once it has been built.
    const size_t entries = StartFinder::most_table_entries(names_);
    const bool short_template =
        template_size > 0 && template_size < entries / kEntriesPerTemplateByte;
    if ((entries >= kDeferredTableEntries || short_template) &&
        entries <= StartFinder::kMostTableBytes / sizeof(uint32_t)) {
      try_forwards_ = true;
      forwards_until_built_ = true;
      const size_t per_step = short_template ? kShortTableEntriesPerStep : kTableEntriesPerStep;
      most_spare_steps_ = kFirstSteps + static_cast<ptrdiff_t>(entries / per_step);
      spare_steps_ = most_spare_steps_;
    }
  }
  // Backwards is built now when it is the way to go, and otherwise only
  // when going forwards turns out costly.
  if (!try_forwards_ && !can_go_backwards())
    try_forwards_ = true;
  // Backwards without a table of transitions costs some 200 instructions a
  // byte. Where every name has two bytes or more, forwards is tried first,
  // at the positions whose byte and the next begin a name (or whose four
  // bytes may, where every name has four or more).
  const bool pairs_asked = way == Way::kForwardsPairs;
  if ((pairs_asked || (!try_forwards_ && way == Way::kEither && !starts_.has_table())) &&
      names_.count() > 0) {
    size_t shortest = names_.longest();
    for (size_t i = 0; i < names_.count(); i++)
      shortest = std::min(shortest, names_[i].size);
    if (shortest >= 2) {
      first_bytes_.keep_pairs(names_);
      if (shortest >= 4)
        first_bytes_.keep_quads(names_);
      try_forwards_ = true;
      never_backwards_ = pairs_asked;
    }
  }
  if (try_forwards_)
    tree_.build(names_);
}

void Expander::build_byte_table() {
  by_byte_.reset(g_new(ByteValue, 256));
  for (int b = 0; b < 256; b++) {
    ByteValue& v = by_byte_[b];
    memcpy(v.first, &kIdentity.bytes[b], kValuePadding);
    v.bytes = &kIdentity.bytes[b];
    v.size = 1;
  }
  widest_byte_value_ = kValuePadding;
  for (size_t i = 0; i < names_.count(); i++) {
    const Name& name = names_[i];
    ByteValue& v = by_byte_[static_cast<unsigned char>(name.bytes[0])];
    memcpy(v.first, name.value, kValuePadding);
    v.bytes = name.value;
    v.size = name.value_size;
    if (name.value_size <= Sink::kSlack)
      widest_byte_value_ = std::max(widest_byte_value_, name.value_size);
    else
      large_byte_values_ = true;
  }
}

// Builds what going backwards needs, once; false when memory ran out for it.
bool Expander::can_go_backwards() {
  if (found_)
    return true;
  if (never_backwards_)
    return false;
  stretch_ = kLanes * std::max(kLaneBytes, 2 * longest_);
  found_.reset(static_cast<Start*>(g_try_malloc_n(stretch_, sizeof(Start))));
  if (found_ && starts_.build(names_)) {
    if (forwards_until_built_)
      try_forwards_ = false;
    return true;
  }
  found_.reset();
  never_backwards_ = true;
  return false;
}

// Expands the candidates in [begin, until), looking ahead as far as end, and
// returns where it stopped: everything before that has gone to the sink. It
// stops early at a candidate too close to end to be settled (unless at_end,
// when a name running past end simply does not match), and at a NUL byte.
const char* Expander::expand_range(const Range& range, Sink& sink) {
  if (by_byte_)
    return expand_bytes(range.begin, range.until, sink);
  const char* p = range.begin;
  if (try_forwards_ && backwards_left_ == 0) {
    too_costly_ = false;
#if PLOM_SSE2
    auto forwards = [&](auto scan) { return settle_forwards(scan, range, sink); };
    // Sets of up to N bytes, and whether the bytes after them can tell.
    auto vector = [&](auto n) {
      constexpr int kN = decltype(n)::value;
      if (first_bytes_.following_count() > 0)
        return forwards(VectorScan<kN, true>(first_bytes_));
      return forwards(VectorScan<kN, false>(first_bytes_));
    };
    if (scalar_)
      p = forwards(ScalarScan(first_bytes_));
    else if (first_bytes_.pairs())
      p = forwards(PairScan(first_bytes_));
    else if (first_bytes_.count() <= kMostVectorBytes)
      p = by_set_size(first_bytes_.count(), vector);
    else
      p = forwards(ScalarScan(first_bytes_));
#else
    if (first_bytes_.pairs() && !scalar_)
      p = settle_forwards(PairScan(first_bytes_), range, sink);
    else
      p = settle_forwards(ScalarScan(first_bytes_), range, sink);
#endif
    if (!too_costly_)
      return p;
    backwards_left_ = kBackwardsBytes;
  }
  const char* stop = settle_backwards({p, range.until, range.end, range.at_end}, sink);
  if (try_forwards_) {
    const size_t done = static_cast<size_t>(stop - p);
    backwards_left_ = done < backwards_left_ ? backwards_left_ - done : 0;
    if (backwards_left_ == 0)
      spare_steps_ = kFirstSteps;
  }
  return stop;
}

// The steps the look-ups forwards take, against what they may take by a
// position: what was left from before, and one for every kBytesPerStep
// bytes passed since the settling began.
class Expander::Steps {
 public:
  Steps(const char* begin, ptrdiff_t spare) : begin_(begin), spare_(spare) {}
  size_t& taken() { return taken_; }
  ptrdiff_t allowed(const char* q) const {
    return spare_ + static_cast<ptrdiff_t>(static_cast<size_t>(q - begin_) / kBytesPerStep);
  }
  bool over(ptrdiff_t allowed) const { return static_cast<ptrdiff_t>(taken_) > allowed; }
  // What is left at stop for the next settling, at most most.
  ptrdiff_t spare_at(const char* stop, ptrdiff_t most) const {
    return std::min(most, allowed(stop) - static_cast<ptrdiff_t>(taken_));
  }

 private:
  const char* begin_;
  ptrdiff_t spare_;
  size_t taken_ = 0;
};

// Where forwards stops at candidate q: at a NUL, at a candidate too close to
// the end of the text to settle, or where the look-ups cost too much (then
// backwards takes over from q). Everything before q is in the sink.
const char* Expander::stop_forwards(const char* q, const Range& range, const Steps& steps,
                                    int misses) {
  ended_ = *q == '\0';
  too_costly_ = !ended_ && q < range.settled_end(longest_);
  spare_steps_ = steps.spare_at(q, most_spare_steps_);
  miss_score_ = misses;
  return q;
}

// Forwards, in three steps at each candidate: the prefilter (the scanner's
// mask of the bytes that begin names, or may), the walk (the names looked up
// in the tree), and the replacement. The look-ups are counted: forwards
// gives up where they cost more than the bytes passed earn.
template <typename Scan>
const char* Expander::settle_forwards(Scan scan, const Range& range, Sink& sink) {
  const char* const settled_end = range.settled_end(longest_);
  Steps steps(range.begin, spare_steps_);
  int misses = miss_score_;
  const bool may_give_up = !never_backwards_;
  const char* literal = range.begin;  // bytes before it are in the sink
  if constexpr (Scan::kCopies) {
    bool stopped = false;
    literal = copy_blocks(scan, range, steps, misses, stopped, sink);
    if (stopped)
      return literal;
  }
  // The rest: a candidate mask at a time, literal bytes copied as they go.
  const char* p = literal;  // bytes before p are settled
  const char* block = literal;
  const char* const until = range.until;
  uint64_t bits = block < until ? scan.mask(block, until) : 0;
  for (;;) {
    while (bits == 0) {
      block += 64;
      if (block >= until)
        break;
      bits = scan.mask(block, until);
    }
    if (bits == 0)
      break;
    const char* q = block + lowest_set_bit(bits);
    bits &= bits - 1;
    if (q < p)
      continue;  // inside a name already replaced
    if (*q == '\0' || q >= settled_end ||
        (may_give_up && steps.over(steps.allowed(q)) && can_go_backwards())) {
      sink.put(literal, q - literal);
      return stop_forwards(q, range, steps, misses);
    }
    const Name* name = tree_.match(q, range.end, steps.taken());
    if (!name)
      continue;
    sink.put(literal, q - literal);
    sink.put(name->value, name->value_size);
    p = literal = q + name->size;
  }
  const char* stop = p >= until ? p : until;  // a name may end at or beyond until
  if (p < until)
    sink.put(literal, until - literal);
  spare_steps_ = steps.spare_at(stop, most_spare_steps_);
  miss_score_ = misses;
  return stop;
}

namespace {
// A value written over the copy at at, straight into the sink's buffer where
// it fits with its padding; returns where the bytes after it go.
template <typename Scan>
__attribute__((always_inline)) inline char* copy_value(char* at, const char* value, size_t size,
                                                       Sink& sink) {
  if (at + size + kValuePadding <= sink.limit() + Sink::kSlack) {
    Scan::copy_over(at, value, size);
    return at + size;
  }
  sink.finish_at(at);
  sink.put(value, size);
  return sink.cursor();
}
}  // namespace

// The first of the two loops forwards: whole blocks of 64 bytes are copied
// to the sink as they are scanned. A name's value overwrites the copy from
// the name's first byte on, and the bytes after the name are copied again,
// 64 at once, to follow it; no copy depends on the distance between names.
// Returns where whole blocks run out, for the second loop to go on from, or
// with stopped set where forwards stops.
template <typename Scan>
__attribute__((always_inline)) inline const char* Expander::copy_blocks(Scan scan,
                                                                        const Range& range,
                                                                        Steps& steps, int& misses,
                                                                        bool& stopped, Sink& sink) {
  const char* const begin = range.begin;
  const char* const until = range.until;
  const char* const settled_end = range.settled_end(longest_);
  const bool may_give_up = !never_backwards_;
  const char* block = begin;
  // Where the block's first byte goes, so that text at x goes to
  // out + (x - block) (once a value of another size has replaced a name,
  // out is where that byte would have gone): one pointer for the text copied
  // and the output written.
  char* out = sink.cursor();
  char* const limit = sink.limit();  // the same after a flush
  // Where the bytes that start names crowd, those not followed as some
  // name goes on are dropped: that reads a few bytes past the block.
  const ptrdiff_t reach = 64 + (Scan::kFollowing ? FirstBytes::kFollowing : 0);
  // Blocks start at most this far from begin: whole before until, and the
  // look past them before end.
  const ptrdiff_t last_block = std::min(until - begin - 64, range.end - begin - reach);
  while (block - begin <= last_block) {
    if (out + 64 > limit)
      out = sink.flush_at(out);
    // Far enough ahead for the memory to answer in time at copying speed,
    // near enough to stay within the piece most of the time.
    __builtin_prefetch(block + 2048);
    // The prefilter.
    uint64_t bits = scan.copy_and_mask(block, out);
    if constexpr (Scan::kFollowing) {
      if (misses >= kMissScore && has_bits<kCrowd>(bits))
        bits &= scan.followed(block);
    }
    const char* next = block + 64;
    // What the look-ups may have cost by the end of this block: within it,
    // only a look-up past that needs the closer reckoning.
    const ptrdiff_t block_allowed = steps.allowed(next);
    while (bits != 0) {
      const ptrdiff_t offset = lowest_set_bit(bits);
      const char* q = block + offset;
      bits &= bits - 1;
      if (*q == '\0' || q >= settled_end ||
          (steps.over(block_allowed) && may_give_up && steps.over(steps.allowed(q)) &&
           can_go_backwards())) {
        sink.finish_at(out + offset);
        stopped = true;
        return stop_forwards(q, range, steps, misses);
      }
      // The walk.
      const Name* name = tree_.match(q, range.end, steps.taken());
      if (!name) {
        misses = std::min(misses + 3, kMostMissScore);
        continue;
      }
      misses = std::max(misses - 1, 0);
      // The replacement.
      char* at = out + offset;
      char* const after = copy_value<Scan>(at, name->value, name->value_size, sink);
      const char* const rest = q + name->size;
      const size_t into_block = static_cast<size_t>(rest - block);
      out = after - into_block;
      if (into_block >= 64 || until - rest < 64 || after + 64 > limit + Sink::kSlack) {
        next = rest;  // start afresh after the name
        break;
      }
      Scan::copy64(after, rest);
      bits &= ~uint64_t{0} << into_block;
    }
    out += next - block;
    block = next;
  }
  sink.finish_at(out);
  return block;
}

// The same backwards: stretch by stretch, the positions at which names start
// are listed, and the first of them not inside a name replaced is taken.
const char* Expander::settle_backwards(const Range& range, Sink& sink) {
  const char* const begin = range.begin;
  const char* const end = range.end;
  const char* limit = std::min(range.until, range.settled_end(longest_));
  const char* p = begin;  // bytes before p are settled or in the sink
  for (const char* from = begin; from < limit;) {
    const char* to = static_cast<size_t>(limit - from) > stretch_ ? from + stretch_ : limit;
    const char* nul = nullptr;
    const size_t count = starts_.find(from, to, end, found_.get(), &nul);
    for (size_t i = 0; i < count; i++) {
      const char* s = from + found_[i].offset;
      if (nul && s >= nul)
        break;
      if (s < p)
        continue;
      const Name& name = names_[found_[i].name];
      sink.put(p, s - p);
      sink.put(name.value, name.value_size);
      p = s + name.size;
    }
    if (nul) {
      sink.put(p, nul - p);
      ended_ = true;
      return nul;
    }
    from = std::max(to, p);
  }
  if (p < limit) {
    sink.put(p, limit - p);
    p = limit;
  }
  return p;
}

// Every name is one byte: each byte becomes what the table says, copied in
// one step of kValuePadding bytes (or the value's size, up to the sink's
// slack), so that nothing depends on which bytes are replaced. Larger
// values go through put(). Where the names are few bytes and the text holds
// them sparsely, whole blocks without one are only copied.
const char* Expander::expand_bytes(const char* begin, const char* until, Sink& sink) {
  const char* nul =
      static_cast<const char*>(memchr(begin, '\0', static_cast<size_t>(until - begin)));
  const char* const stop = nul ? nul : until;
  const char* p = begin;
  while (p < stop) {
#if PLOM_SSE2
    if (dense_left_ == 0 && stop - p >= 64) {
      p = by_set_size(first_bytes_.count(), [&](auto n) {
        return copy_sparse_bytes(VectorScan<decltype(n)::value, false>(first_bytes_), p, stop,
                                 sink);
      });
      continue;
    }
#endif
    // Crowded, or fewer than 64 bytes left.
    const char* const to =
        dense_left_ > 0 && static_cast<size_t>(stop - p) > dense_left_ ? p + dense_left_ : stop;
    replace_bytes(p, to, sink);
    if (dense_left_ != SIZE_MAX)
      dense_left_ -= std::min(dense_left_, static_cast<size_t>(to - p));
    p = to;
  }
  if (nul)
    ended_ = true;
  return stop;
}

#if PLOM_SSE2
// Blocks of 64 bytes copied whole as they are scanned, as forwards does: a
// byte's value overwrites the copy from the byte on, and the bytes after it
// are copied again to follow. Returns where fewer than 64 bytes are left, or
// where the bytes to replace have crowded (the table then costs less, with
// no branch a byte): dense_left_ then says how far the table goes on alone.
template <typename Scan>
const char* Expander::copy_sparse_bytes(Scan scan, const char* p, const char* stop, Sink& sink) {
  const ByteValue* const by_byte = by_byte_.get();
  // Where p's byte goes, as in copy_blocks.
  char* out = sink.cursor();
  char* const limit = sink.limit();  // the same after a flush
  int blocks = 0, found = 0;
  while (stop - p >= 64) {
    if (out + 64 > limit)
      out = sink.flush_at(out);
    uint64_t bits = scan.copy_and_mask(p, out);
    const char* next = p + 64;
    while (bits != 0) {
      const ptrdiff_t offset = lowest_set_bit(bits);
      bits &= bits - 1;
      found++;
      const ByteValue& v = by_byte[static_cast<unsigned char>(p[offset])];
      char* at = out + offset;
      char* const after = copy_value<Scan>(at, v.bytes, v.size, sink);
      const char* const rest = p + offset + 1;
      const size_t into_block = static_cast<size_t>(offset) + 1;
      out = after - into_block;
      if (into_block >= 64 || stop - rest < 64 || after + 64 > limit + Sink::kSlack) {
        next = rest;  // start afresh after it
        break;
      }
      Scan::copy64(after, rest);
    }
    out += next - p;
    p = next;
    if (found >= kDenseFound) {
      dense_left_ = kDenseBytes;
      break;
    }
    if (++blocks == kDenseWindow)
      blocks = found = 0;
  }
  sink.finish_at(out);
  return p;
}
#endif

// Each byte of [p, stop) through the table.
void Expander::replace_bytes(const char* p, const char* stop, Sink& sink) {
  char* out = sink.cursor();
  const ByteValue* const by_byte = by_byte_.get();  // held apart from what out may alias
  const size_t widest = widest_byte_value_;
  while (p < stop) {
    // As many bytes as surely fit: each writes at most widest bytes at its place.
    const size_t room = static_cast<size_t>(sink.limit() + Sink::kSlack - out);
    if (room < widest) {
      out = sink.flush_at(out);
      continue;
    }
    const size_t fit = (room - widest) / widest + 1;
    const char* const chunk_end = p + std::min(fit, static_cast<size_t>(stop - p));
    if (widest == kValuePadding && !large_byte_values_) {
      for (; p < chunk_end; p++) {
        const ByteValue& v = by_byte[static_cast<unsigned char>(*p)];
        memcpy(out, v.first, kValuePadding);  // one 16-byte move, inlined
        out += v.size;
      }
    }
    while (p < chunk_end) {
      const ByteValue& v = by_byte[static_cast<unsigned char>(*p++)];
      if (v.size <= kValuePadding) {
        memcpy(out, v.first, kValuePadding);
      } else if (v.size <= Sink::kSlack) {
        memcpy(out, v.bytes, v.size);
      } else {
        sink.finish_at(out);
        sink.put(v.bytes, v.size);
        out = sink.cursor();
        break;
      }
      out += v.size;
    }
  }
  sink.finish_at(out);
}

bool Expander::feed(const char* data, size_t size, Sink& sink) {
  if (ended_)
    return false;
  char* const held_bytes = held_.get();
  const char* p = data;
  const char* end = data + size;
  if (held_size_ > 0) {
    // Enough of the new piece to settle every held byte, if it has that much.
    const size_t held = held_size_;
    const size_t take = size < longest_ - 1 ? size : longest_ - 1;
    memcpy(held_bytes + held, data, take);
    const char* joined_end = held_bytes + held + take;
    const char* stop = expand_range({held_bytes, held_bytes + held, joined_end, false}, sink);
    if (ended_)
      return false;
    if (stop < held_bytes + held || take == size) {
      // The piece is used up: what was not settled waits for the next one.
      held_size_ = joined_end - stop;
      memmove(held_bytes, stop, held_size_);
      return true;
    }
    p = data + (stop - (held_bytes + held));
    held_size_ = 0;
  }
  const char* stop = expand_range({p, end, end, false}, sink);
  if (ended_)
    return false;
  held_size_ = end - stop;
  memcpy(held_bytes, stop, held_size_);
  return true;
}

void Expander::finish(Sink& sink) {
  char* const held_bytes = held_.get();
  if (!ended_ && held_size_ > 0)
    expand_range({held_bytes, held_bytes + held_size_, held_bytes + held_size_, true}, sink);
  held_size_ = 0;
  ended_ = true;
}
