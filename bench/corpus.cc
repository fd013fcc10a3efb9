#include "corpus.h"

#include <cstdint>
#include <cstdio>

namespace {

const char* const kWords[] = {
    "the",   "build", "of",      "a",     "test",   "runs",  "when", "its",
    "input", "file",  "changes", "and",   "every",  "line",  "is",   "copied",
    "into",  "place", "without", "delay", "system", "value", "name", "output",
};

}  // namespace

std::vector<std::string> corpus_arguments() {
  std::vector<std::string> arguments;
  for (int i = 0; i < 20; i++) {
    char argument[64];
    snprintf(argument, sizeof argument, "@VAR%02d@=value-%d", i, i * 37);
    arguments.push_back(argument);
  }
  return arguments;
}

std::string make_corpus(size_t bytes) {
  uint64_t state = 88172645463325252ull;
  auto next = [&state](uint64_t n) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state % n;
  };
  const size_t word_count = sizeof kWords / sizeof kWords[0];
  std::string text;
  text.reserve(bytes + 128);
  while (text.size() < bytes) {
    int words = 5 + static_cast<int>(next(8));
    int name_at = next(2) == 0 ? static_cast<int>(next(words)) : -1;
    for (int w = 0; w < words; w++) {
      if (w > 0)
        text += ' ';
      if (w == name_at) {
        char name[16];
        snprintf(name, sizeof name, "@VAR%02d@", static_cast<int>(next(20)));
        text += name;
      } else {
        text += kWords[next(word_count)];
      }
    }
    text += '\n';
  }
  text.resize(bytes);
  return text;
}
