#include "expand.h"

#include <array>
#include <cstdint>
#include <cstring>

#include <sys/mman.h>

namespace {

struct Substitution {
  std::string_view name;
  std::string_view value;
  // The name's first (up to) eight bytes as a word, and which bytes count.
  uint64_t head = 0;
  uint64_t head_mask = 0;
};

// The usable arguments, and for every byte the ones whose name starts with
// it, still in command-line order.
struct Names {
  std::vector<Substitution> all;
  std::array<std::vector<const Substitution*>, 256> by_first{};
  int first_bytes = 0;  // distinct bytes that start a name
  unsigned char only_first = 0;
};

uint64_t load_word(const char* p) {
  uint64_t word;
  memcpy(&word, p, sizeof word);
  return word;
}

void index_names(const std::vector<std::string_view>& arguments, Names& names) {
  for (std::string_view argument : arguments) {
    argument = argument.substr(0, argument.find('\0'));
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

// The next position at or after p where some name could start.
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
  const std::vector<const Substitution*>& tries = names.by_first[static_cast<unsigned char>(*p)];
  if (left < 8) {
    for (const Substitution* s : tries) {
      if (s->name.size() <= left && memcmp(p, s->name.data(), s->name.size()) == 0)
        return s;
    }
    return nullptr;
  }
  // Compare eight bytes at once; only longer names need the rest compared.
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

// Asks for huge pages behind a large buffer that is about to be filled: it
// takes a fraction of the page faults. Only advice; nothing depends on it.
void advise_huge_pages(char* buffer, size_t size) {
  const uintptr_t page = 4096;
  if (size < (4u << 20))
    return;
  uintptr_t first = (reinterpret_cast<uintptr_t>(buffer) + page - 1) & ~(page - 1);
  uintptr_t last = (reinterpret_cast<uintptr_t>(buffer) + size) & ~(page - 1);
  madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace

GString* expand(std::string_view text, const std::vector<std::string_view>& arguments) {
  text = text.substr(0, text.find('\0'));
  Names names;
  index_names(arguments, names);
  // Sized for an output as long as the text; a larger one grows by
  // reallocation, so untouched capacity costs address space, not memory.
  GString* output = g_string_sized_new(text.size());
  advise_huge_pages(output->str, output->allocated_len);
  const char* p = text.data();
  const char* end = p + text.size();
  const char* literal = p;  // start of the bytes not yet copied
  while ((p = next_candidate(p, end, names)) < end) {
    const Substitution* s = match_at(p, end, names);
    if (!s) {
      p++;
      continue;
    }
    g_string_append_len(output, literal, p - literal);
    g_string_append_len(output, s->value.data(), s->value.size());
    p += s->name.size();
    literal = p;
  }
  g_string_append_len(output, literal, end - literal);
  return output;
}
