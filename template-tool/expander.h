// Literal substitution, fed a template piece by piece.
#pragma once

#include <cstddef>
#include <cstring>

#include "names.h"
#include "stop_bytes.h"

// Where expanded bytes go: a fixed buffer, handed to flush whenever it fills
// up, so that output never piles up in memory.
class Sink {
 public:
  // Writing straight into the buffer may go this far past limit().
  static constexpr size_t kSlack = 64;
  using Flush = void (*)(void* context, const char* data, size_t size);
  Sink(size_t capacity, Flush flush, void* context);
  ~Sink();
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  void put(const char* data, size_t size) {
    if (size <= capacity_ - used_) {
      memcpy(buffer_ + used_, data, size);
      used_ += size;
    } else {
      put_past_end(data, size);
    }
  }
  // Hands on whatever the buffer holds.
  void flush();

  // For writing straight into the buffer: the next byte's place, and where
  // the buffer's capacity ends.
  char* cursor() const { return buffer_ + used_; }
  char* limit() const { return buffer_ + capacity_; }
  // The buffer now holds everything before end (at most kSlack past limit()).
  void finish_at(char* end) {
    used_ = static_cast<size_t>(end - buffer_);
    if (used_ > capacity_)
      flush();
  }
  // Hands on everything before end; the new cursor.
  char* flush_at(char* end) {
    used_ = static_cast<size_t>(end - buffer_);
    flush();
    return buffer_;
  }

 private:
  void put_past_end(const char* data, size_t size);

  char* buffer_;
  size_t capacity_;
  size_t used_ = 0;
  Flush flush_;
  void* context_;
};

// Copies a template to a sink, replacing every occurrence of a name by its
// value. At each position the arguments are tried in the order given and the
// first whose name matches wins; scanning resumes after the name, and a value
// is never scanned again. The template ends at its first NUL byte. A name may
// straddle two pieces: the bytes that could begin one are held back until the
// next piece, or finish(), settles them.
class Expander {
 public:
  // NAME=VALUE arguments in command-line order; they must outlive the expander.
  Expander(const char* const* arguments, size_t count);
  ~Expander();
  Expander(const Expander&) = delete;
  Expander& operator=(const Expander&) = delete;

  // Expands the next piece. False once the template has ended at a NUL byte:
  // nothing after it is wanted.
  bool feed(const char* data, size_t size, Sink& sink);
  // The template is over: settles the bytes held back.
  void finish(Sink& sink);

 private:
  const char* settle(const char* begin, const char* until, const char* end, bool at_end,
                     Sink& sink);
  // The scanner and the lookup come by value: kept apart from the output,
  // their fields stay in registers.
  template <typename Scan>
  const char* settle_scanning(Scan scan, const char* begin, const char* until, const char* end,
                              bool at_end, Sink& sink);
  template <typename Scan, typename Names>
  const char* settle_with(Scan scan, Names names, const char* begin, const char* until,
                          const char* end, bool at_end, Sink& sink);

  NameTable names_;
  StopBytes stops_;  // bytes that start a name, and NUL
  size_t longest_;   // the longest name, at least 1
  char* held_;       // bytes that might begin a name continued in the next piece
  size_t held_size_ = 0;
  bool ended_ = false;
};
