// The output buffer the expander writes into.
#pragma once

#include <cstddef>
#include <cstring>

#include "owned.h"

// Where expanded bytes go: a fixed buffer, handed to flush whenever it fills
// up, so that output never piles up in memory.
//
// Bytes go in through put(), or straight into the buffer: take cursor(),
// write, and hand the new end back with finish_at() (or flush_at() to have
// it all handed on). Between cursor() and limit() there is room for what
// the capacity holds; past limit() there are kSlack bytes more, so that a
// writer may copy in whole 16- or 64-byte steps and look at the limit only
// once a step. finish_at() flushes whatever went past limit().
class Sink {
 public:
  // Writing straight into the buffer may go this far past limit().
  static constexpr size_t kSlack = 64;
  using Flush = void (*)(void* context, const char* data, size_t size);
  Sink(size_t capacity, Flush hand_on, void* context);
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  void put(const char* data, size_t size) {
    if (size <= capacity_ - used_) {
      memcpy(buffer_.get() + used_, data, size);
      used_ += size;
    } else {
      put_past_end(data, size);
    }
  }
  // Hands on whatever the buffer holds.
  void flush();

  // For writing straight into the buffer: the next byte's place, and where
  // the buffer's capacity ends.
  char* cursor() const { return buffer_.get() + used_; }
  char* limit() const { return buffer_.get() + capacity_; }
  // The buffer now holds everything before end (at most kSlack past limit()).
  void finish_at(char* end) {
    used_ = static_cast<size_t>(end - buffer_.get());
    if (used_ > capacity_)
      flush();
  }
  // Hands on everything before end; the new cursor.
  char* flush_at(char* end) {
    used_ = static_cast<size_t>(end - buffer_.get());
    flush();
    return buffer_.get();
  }

 private:
  void put_past_end(const char* data, size_t size);

  Owned<char> buffer_;
  size_t capacity_;
  size_t used_ = 0;
  Flush flush_;
  void* context_;
};
