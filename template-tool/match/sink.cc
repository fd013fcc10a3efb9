#include "sink.h"

#include <glib.h>

Sink::Sink(size_t capacity, Flush hand_on, void* context)
    : buffer_(static_cast<char*>(g_malloc(capacity + kSlack))),
      capacity_(capacity),
      flush_(hand_on),
      context_(context) {}

void Sink::flush() {
  if (used_ > 0)
    flush_(context_, buffer_.get(), used_);
  used_ = 0;
}

void Sink::put_past_end(const char* data, size_t size) {
  flush();
  if (size >= capacity_) {
    flush_(context_, data, size);
    return;
  }
  memcpy(buffer_.get(), data, size);
  used_ = size;
}
