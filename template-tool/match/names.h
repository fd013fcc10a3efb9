// The names of NAME=VALUE arguments that can ever be replaced, in the order
// they are tried.
#pragma once

#include <cstddef>
#include <cstdint>

#include "owned.h"

// Each value is followed by this many bytes that may be read, so that it
// can be copied in whole 16-byte steps.
constexpr size_t kValuePadding = 16;

struct Name {
  const char* bytes;
  size_t size;
  const char* value;  // followed by kValuePadding bytes that may be read
  size_t value_size;
};

class NameList {
 public:
  // Arguments are divided at their first '='. One without '=', or with
  // nothing before it, never matches; nor does a name that begins with a
  // name listed before it (an equal name included), since wherever it
  // matches the earlier one matches and wins. What is left keeps the order
  // of the command line: at a position the lowest index that matches wins.
  NameList(const char* const* arguments, size_t count);
  NameList(const NameList&) = delete;
  NameList& operator=(const NameList&) = delete;

  size_t count() const { return count_; }
  const Name& operator[](size_t i) const { return names_[i]; }
  size_t longest() const { return longest_; }
  // The indices of the names with the names in byte order (a name before
  // those it begins).
  const uint32_t* in_byte_order() const { return in_byte_order_.get(); }
  // Whether some name starts with byte.
  bool starts_with(unsigned char byte) const { return (first_bytes_[byte / 64] >> byte % 64) & 1; }

 private:
  Owned<Name> names_;
  size_t count_ = 0;
  Owned<char> values_;  // the values, each padded
  Owned<uint32_t> in_byte_order_;
  size_t longest_ = 0;
  uint64_t first_bytes_[4] = {};
};
