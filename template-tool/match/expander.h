// Literal substitution, fed a template piece by piece.
#pragma once

#include <cstddef>
#include <cstdint>

#include "block_scan.h"
#include "names.h"
#include "owned.h"
#include "prefix_tree.h"
#include "sink.h"
#include "start_finder.h"

// Copies a template to a sink, replacing every occurrence of a name by its
// value. At each position the arguments are tried in the order given and the
// first whose name matches wins; scanning resumes after the name, and a value
// is never scanned again. The template ends at its first NUL byte. A name may
// straddle two pieces: the bytes that could begin one are held back until the
// next piece, or finish(), settles them.
//
// Two ways. Forwards: the bytes that begin a name are found 64 at a time
// (where they crowd, with a look at the bytes after them) and the names
// looked up in a tree at each; for names that begin with few different
// bytes, most text is only copied. Backwards: an automaton of the
// reversed names tells at every position which name starts there, reading
// every byte a bounded number of times whatever the names. The expansion goes
// forwards only while the look-ups cost little for the bytes they pass, so
// that the whole stays linear in the template's size.
class Expander {
 public:
  // kEither goes whichever way costs less; for tests, kBackwards goes
  // backwards all the time, kForwardsScalar forwards with the byte-by-byte
  // scan, which machines without SSE2 run, and kForwardsPairs forwards at
  // the positions whose two bytes begin a name (where every name has two
  // bytes or more; as kEither otherwise), which names too many to read
  // backwards by a table take.
  enum class Way { kEither, kBackwards, kForwardsScalar, kForwardsPairs };
  // NAME=VALUE arguments in command-line order; they must outlive the
  // expander. template_size, when not 0, is what the template is expected
  // to hold: a short one is not worth a large table.
  Expander(const char* const* arguments, size_t count, Way way = Way::kEither,
           uint64_t template_size = 0);
  Expander(const Expander&) = delete;
  Expander& operator=(const Expander&) = delete;

  // Expands the next piece. False once the template has ended at a NUL byte:
  // nothing after it is wanted.
  bool feed(const char* data, size_t size, Sink& sink);
  // The template is over: settles the bytes held back.
  void finish(Sink& sink);
  // The longest name, at least 1.
  size_t longest() const { return longest_; }

 private:
  // What one settling works on: the candidates in [begin, until), the text
  // readable as far as end, and whether the template ends there (a name
  // running past end then does not match, rather than waits for more).
  struct Range {
    const char* begin;
    const char* until;
    const char* end;
    bool at_end;
    // Candidates before this have every name fit before end.
    const char* settled_end(size_t longest) const {
      if (at_end)
        return end;
      return static_cast<size_t>(end - begin) >= longest ? end - longest + 1 : begin;
    }
  };
  class Steps;

  const char* expand_range(const Range& range, Sink& sink);
  // The scanner comes by value: kept apart from the output, its fields stay
  // in registers.
  template <typename Scan>
  const char* settle_forwards(Scan scan, const Range& range, Sink& sink);
  template <typename Scan>
  const char* copy_blocks(Scan scan, const Range& range, Steps& steps, int& misses, bool& stopped,
                          Sink& sink);
  const char* stop_forwards(const char* q, const Range& range, const Steps& steps, int misses);
  const char* settle_backwards(const Range& range, Sink& sink);
  bool can_go_backwards();
  const char* expand_bytes(const char* begin, const char* until, Sink& sink);
  template <typename Scan>
  const char* copy_sparse_bytes(Scan scan, const char* p, const char* stop, Sink& sink);
  void replace_bytes(const char* p, const char* stop, Sink& sink);

  // Where every name is one byte: what each byte becomes, itself or a value.
  struct ByteValue {
    char first[kValuePadding];  // the value's first bytes: all of it, when that short
    const char* bytes;          // followed by kValuePadding bytes that may be read
    size_t size;
  };
  void build_byte_table();

  NameList names_;
  Owned<ByteValue> by_byte_;        // 256 entries, when every name is one byte
  size_t widest_byte_value_ = 0;    // of those up to the sink's slack, at least kValuePadding
  bool large_byte_values_ = false;  // some are larger
  size_t dense_left_ = 0;           // bytes to go through the table alone, SIZE_MAX for all
  PrefixTree tree_;                 // when going forwards
  StartFinder starts_;              // when going backwards
  Owned<Start> found_;
  size_t stretch_ = 0;      // read backwards at once, at most
  FirstBytes first_bytes_;  // bytes that start a name, and NUL (for one-byte names, theirs alone)
  bool try_forwards_ = false;          // whether forwards is worth trying
  bool scalar_ = false;                // forwards byte by byte, whatever the machine has
  bool never_backwards_ = false;       // memory ran out, or a test asks: forwards at any cost
  bool too_costly_ = false;            // the last forward settling gave up
  ptrdiff_t spare_steps_;              // steps forwards may take beyond what bytes earn
  ptrdiff_t most_spare_steps_;         // at most
  bool forwards_until_built_ = false;  // only until backwards is built
  size_t backwards_left_ = 0;          // bytes to go backwards before forwards again
  int miss_score_ = 0;                 // how often look-ups forwards found nothing, lately
  size_t longest_;                     // the longest name, at least 1
  Owned<char> held_;                   // bytes that might begin a name continued in the next piece
  size_t held_size_ = 0;
  bool ended_ = false;
};
