#include "first_byte_matcher.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

struct Substitution {
  std::string_view name;
  std::string_view value;
  uint64_t head = 0;  // the first (up to) eight bytes, and which of them count
  uint64_t head_mask = 0;
};

struct Names {
  std::vector<Substitution> all;
  std::array<std::vector<const Substitution*>, 256> by_first{};
  int first_bytes = 0;
  unsigned char only_first = 0;
};

uint64_t load_word(const char* p) {
  uint64_t word;
  memcpy(&word, p, sizeof word);
  return word;
}

void index_names(const std::vector<std::string_view>& arguments, Names& names) {
  for (std::string_view argument : arguments) {
    size_t equals = argument.find('=');
    if (equals == std::string_view::npos || equals == 0)
      continue;
    Substitution s;
    s.name = argument.substr(0, equals);
    s.value = argument.substr(equals + 1);
    char head[8] = {};
    char mask[8] = {};
    for (size_t i = 0; i < 8 && i < s.name.size(); i++) {
      head[i] = s.name[i];
      mask[i] = '\xff';
    }
    s.head = load_word(head);
    s.head_mask = load_word(mask);
    names.all.push_back(s);
  }
  for (const Substitution& s : names.all) {
    unsigned char first = s.name[0];
    if (names.by_first[first].empty()) {
      names.first_bytes++;
      names.only_first = first;
    }
    names.by_first[first].push_back(&s);
  }
}

const char* next_candidate(const char* p, const char* end, const Names& names) {
  if (names.first_bytes == 0)
    return end;
  if (names.first_bytes == 1) {
    const void* hit = memchr(p, names.only_first, end - p);
    return hit ? static_cast<const char*>(hit) : end;
  }
  while (p < end && names.by_first[static_cast<unsigned char>(*p)].empty())
    p++;
  return p;
}

const Substitution* match_at(const char* p, const char* end, const Names& names) {
  const size_t left = end - p;
  const auto& tries = names.by_first[static_cast<unsigned char>(*p)];
  if (left < 8) {
    for (const Substitution* s : tries) {
      if (s->name.size() <= left && memcmp(p, s->name.data(), s->name.size()) == 0)
        return s;
    }
    return nullptr;
  }
  const uint64_t word = load_word(p);
  for (const Substitution* s : tries) {
    if ((word & s->head_mask) != s->head)
      continue;
    const size_t size = s->name.size();
    if (size <= 8 || (size <= left && memcmp(p + 8, s->name.data() + 8, size - 8) == 0))
      return s;
  }
  return nullptr;
}

}  // namespace

void first_byte_expand(std::string_view text, const std::vector<std::string_view>& arguments,
                       Sink& sink) {
  text = text.substr(0, text.find('\0'));
  Names names;
  index_names(arguments, names);
  const char* p = text.data();
  const char* end = p + text.size();
  const char* literal = p;
  while ((p = next_candidate(p, end, names)) < end) {
    const Substitution* s = match_at(p, end, names);
    if (!s) {
      p++;
      continue;
    }
    sink.put(literal, p - literal);
    sink.put(s->value.data(), s->value.size());
    p += s->name.size();
    literal = p;
  }
  sink.put(literal, end - literal);
}
