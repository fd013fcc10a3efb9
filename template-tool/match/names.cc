#include "names.h"

#include <glib.h>

#include <algorithm>
#include <cstring>

#include "byte_order.h"

namespace {

struct Candidate {
  OrderedBytes name;
  size_t argument;  // its place on the command line
};

bool is_prefix(const Candidate& a, const Candidate& b) {
  return a.name.size <= b.name.size && memcmp(a.name.bytes, b.name.bytes, a.name.size) == 0;
}

}  // namespace

NameList::NameList(const char* const* arguments, size_t count) {
  g_autofree Candidate* candidates = g_new(Candidate, count > 0 ? count : 1);
  size_t usable = 0;
  for (size_t i = 0; i < count; i++) {
    const char* equals = strchr(arguments[i], '=');
    if (equals && equals != arguments[i])
      candidates[usable++] = {{arguments[i], static_cast<size_t>(equals - arguments[i])}, i};
  }
  // In byte order a name comes after every name that begins it. The stack
  // holds those that begin the current one, with the earliest argument
  // among them: a name listed after one that begins it can never match.
  std::sort(candidates, candidates + usable, [](const Candidate& a, const Candidate& b) {
    const int c = compare(a.name, b.name);
    return c != 0 ? c < 0 : a.argument < b.argument;
  });
  g_autofree bool* kept = g_new0(bool, count > 0 ? count : 1);
  g_autofree size_t* stack = g_new(size_t, usable > 0 ? usable : 1);     // into candidates
  g_autofree size_t* earliest = g_new(size_t, usable > 0 ? usable : 1);  // argument
  size_t depth = 0;
  for (size_t i = 0; i < usable; i++) {
    while (depth > 0 && !is_prefix(candidates[stack[depth - 1]], candidates[i]))
      depth--;
    if (depth > 0 && earliest[depth - 1] < candidates[i].argument)
      continue;
    kept[candidates[i].argument] = true;
    stack[depth] = i;
    earliest[depth] = candidates[i].argument;
    depth++;
  }

  names_.reset(g_new(Name, usable > 0 ? usable : 1));
  size_t values_size = 0;
  for (size_t i = 0; i < count; i++) {
    if (kept[i])
      values_size += strlen(arguments[i]) + kValuePadding;
  }
  values_.reset(static_cast<char*>(g_malloc0(values_size > 0 ? values_size : 1)));
  char* next_value = values_.get();
  g_autofree uint32_t* index = g_new(uint32_t, count > 0 ? count : 1);  // by argument
  for (size_t i = 0; i < count; i++) {
    if (!kept[i])
      continue;
    const char* equals = strchr(arguments[i], '=');
    index[i] = static_cast<uint32_t>(count_);
    Name& name = names_[count_++];
    name.bytes = arguments[i];
    name.size = static_cast<size_t>(equals - arguments[i]);
    name.value_size = strlen(equals + 1);
    name.value = static_cast<const char*>(memcpy(next_value, equals + 1, name.value_size));
    next_value += name.value_size + kValuePadding;
    longest_ = std::max(longest_, name.size);
    const unsigned char first = static_cast<unsigned char>(name.bytes[0]);
    first_bytes_[first / 64] |= uint64_t{1} << first % 64;
  }
  in_byte_order_.reset(g_new(uint32_t, count_ > 0 ? count_ : 1));
  size_t next = 0;
  for (size_t i = 0; i < usable; i++) {
    if (kept[candidates[i].argument])
      in_byte_order_[next++] = index[candidates[i].argument];
  }
}
