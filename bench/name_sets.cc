#include "name_sets.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace {

const char* const kWords[] = {
    "the",    "build",  "of",      "a",       "test",   "runs",    "when",   "its",
    "input",  "file",   "changes", "and",     "every",  "line",    "is",     "copied",
    "into",   "place",  "without", "delay",   "system", "value",   "name",   "output",
    "for",    "with",   "from",    "this",    "that",   "which",   "source", "make",
    "target", "config", "install", "library", "header", "path",    "user",   "should",
    "never",  "always", "before",  "after",   "under",  "project", "script", "option",
};

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t below(uint64_t n) {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_ % n;
  }
  std::string letters(size_t low, size_t high, const char* alphabet) {
    std::string word(low + below(high - low + 1), ' ');
    for (char& c : word)
      c = alphabet[below(strlen(alphabet))];
    return word;
  }

 private:
  uint64_t state_;
};

const char kLower[] = "abcdefghijklmnopqrstuvwxyz";

// Lines of real text to put the names in instead of lines of kWords, when
// one was given: make_name_set's caller owns it.
const std::string* real_text = nullptr;

// Ordinary lines of words, each holding one name drawn by pick(): made of
// kWords, or the lines of real_text in turn, the name put at a random word's
// start.
template <typename Pick>
std::string lines(size_t bytes, Random& random, Pick pick) {
  std::string text;
  text.reserve(bytes + 4096);
  const size_t word_count = sizeof kWords / sizeof kWords[0];
  size_t line_at = 0;
  while (text.size() < bytes) {
    if (real_text && !real_text->empty()) {
      size_t end = real_text->find('\n', line_at);
      if (end == std::string::npos)
        end = real_text->size();
      const std::string line = real_text->substr(line_at, end - line_at);
      line_at = end + 1 < real_text->size() ? end + 1 : 0;
      std::vector<size_t> starts = {0};
      for (size_t i = 1; i < line.size(); i++)
        if (line[i - 1] == ' ' && line[i] != ' ')
          starts.push_back(i);
      const size_t at = starts[random.below(starts.size())];
      text.append(line, 0, at);
      text += pick();
      text += at < line.size() ? " " : "";
      text.append(line, at, std::string::npos);
      text += '\n';
      continue;
    }
    const int words = 5 + static_cast<int>(random.below(8));
    const int name_at = static_cast<int>(random.below(words));
    for (int w = 0; w < words; w++) {
      if (w > 0)
        text += ' ';
      text += w == name_at ? pick() : kWords[random.below(word_count)];
    }
    text += '\n';
  }
  text.resize(bytes);
  return text;
}

std::vector<std::string> unique(Random& random, size_t count, std::string (*make)(Random&)) {
  std::vector<std::string> names;
  std::set<std::string> seen;
  while (names.size() < count) {
    std::string name = make(random);
    if (seen.insert(name).second)
      names.push_back(name);
  }
  return names;
}

std::vector<std::string> with_values(const std::vector<std::string>& names) {
  std::vector<std::string> arguments;
  for (size_t i = 0; i < names.size(); i++)
    arguments.push_back(names[i] + "=v" + std::to_string(i));
  return arguments;
}

NameSet var_names(size_t bytes, size_t count, int digits) {
  Random random(11);
  std::vector<std::string> names;
  for (size_t i = 0; i < count; i++) {
    char name[32];
    snprintf(name, sizeof name, "@VAR%0*zu@", digits, i);
    names.push_back(name);
  }
  return {lines(bytes, random, [&] { return names[random.below(count)]; }), with_values(names)};
}

NameSet diverse(size_t bytes) {
  Random random(12);
  const std::vector<std::string> names = {
      "alpha",  "Bravo", "charlie_x", "$DELTA", "%echo%",  "{{foxtrot}}", "golf",
      "#hotel", "India", "juliet.",   "KILO",   "<lima>",  "mike",        "[november]",
      "oscar",  "Papa",  "quebec",    "romeo",  "~sierra", "tango"};
  return {lines(bytes, random, [&] { return names[random.below(names.size())]; }),
          with_values(names)};
}

std::string identifier(Random& random) {
  return "@" + random.letters(1, 1, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") +
         random.letters(1, 17, "ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz0123456789") +
         "@";
}

NameSet identifiers(size_t bytes, bool all_at) {
  Random random(13);
  const std::vector<std::string> names = unique(random, 1500, identifier);
  if (all_at)
    return {std::string(bytes, '@'), with_values(names)};
  return {lines(bytes, random, [&] { return names[random.below(names.size())]; }),
          with_values(names)};
}

std::string bare_word(Random& random) { return random.letters(3, 12, kLower); }

NameSet bare_words(size_t bytes, size_t count) {
  Random random(14);
  const std::vector<std::string> names = unique(random, count, bare_word);
  return {lines(bytes, random, [&] { return names[random.below(names.size())]; }),
          with_values(names)};
}

// 1,000 names @VAR0000@...@VAR0999@ in lines whose names mostly miss:
// another number, a letter where a digit goes, a missing closing @.
NameSet near_misses(size_t bytes) {
  Random random(15);
  std::vector<std::string> names;
  for (int i = 0; i < 1000; i++) {
    char name[32];
    snprintf(name, sizeof name, "@VAR%04d@", i);
    names.push_back(name);
  }
  return {
      lines(bytes, random,
            [&] {
              std::string s;
              for (int k = 0; k < 4; k++) {
                char name[32];
                switch (random.below(4)) {
                  case 0:
                    snprintf(name, sizeof name, "@VAR%04d@", static_cast<int>(random.below(1000)));
                    break;
                  case 1:
                    snprintf(name, sizeof name, "@VAR%04d@",
                             1000 + static_cast<int>(random.below(9000)));
                    break;
                  case 2:
                    snprintf(name, sizeof name, "@VAR%03dx@", static_cast<int>(random.below(1000)));
                    break;
                  default:
                    snprintf(name, sizeof name, "@VAR%04d", static_cast<int>(random.below(1000)));
                    break;
                }
                s += name;
                s += ' ';
              }
              return s;
            }),
      with_values(names)};
}

// @a...a with 1,000 down to 1 letters, longest first, in lines holding one
// of them.
NameSet prefixes(size_t bytes) {
  Random random(16);
  std::vector<std::string> names;
  for (int n = 1000; n >= 1; n--)
    names.push_back("@" + std::string(n, 'a'));
  return {lines(bytes, random, [&] { return names[random.below(names.size())]; }),
          with_values(names)};
}

// Names @VAR then 1 to `lengths` digits and @, text full of @VAR.
NameSet lengths(size_t bytes, size_t count) {
  Random random(17);
  std::vector<std::string> names;
  for (size_t n = 1; n <= count; n++)
    names.push_back("@VAR" + std::string(n, '7') + "@");
  return {lines(bytes, random, [&] { return names[random.below(names.size())]; }),
          with_values(names)};
}

// One name of 64 KiB: 65,535 letters a and a b; the text is all a.
NameSet long_name(size_t bytes) {
  return {std::string(bytes, 'a'), {std::string(65535, 'a') + "b=x"}};
}

// The same long name listed before a, which it begins with: at every
// position a matches, and whether the long name does too is known only
// 64 KiB later.
NameSet long_name_and_prefix(size_t bytes) {
  return {std::string(bytes, 'a'), {std::string(65535, 'a') + "b=x", "a=y"}};
}

// 20 names @VAR00@...@VAR19@ in ordinary lines, each holding
// a @VARnn@ five times in twelve (one of 24, four of them not listed): a
// listed name every ~144 bytes.
NameSet sparse(size_t bytes) {
  Random random(18);
  std::vector<std::string> names;
  for (int i = 0; i < 24; i++) {
    char name[16];
    snprintf(name, sizeof name, "@VAR%02d@", i);
    names.push_back(name);
  }
  const size_t word_count = sizeof kWords / sizeof kWords[0];
  std::string text = lines(bytes, random, [&] {
    return random.below(12) < 5 ? names[random.below(24)] : kWords[random.below(word_count)];
  });
  names.resize(20);
  return {text, with_values(names)};
}

// The 26 lower-case letters as names on lines of words: nearly every byte
// is replaced.
NameSet letters(size_t bytes) {
  Random random(19);
  std::vector<std::string> names;
  for (const char* c = kLower; *c; c++)
    names.push_back(std::string(1, *c));
  const size_t word_count = sizeof kWords / sizeof kWords[0];
  return {lines(bytes, random, [&] { return std::string(kWords[random.below(word_count)]); }),
          with_values(names)};
}

// Any byte but NUL, which ends a template, and the equals sign, which ends
// a name.
char binary_byte(Random& random) {
  char c;
  do
    c = static_cast<char>(1 + random.below(255));
  while (c == '=');
  return c;
}

std::string binary_text(Random& random, size_t bytes) {
  std::string text(bytes, ' ');
  for (char& c : text)
    c = binary_byte(random);
  return text;
}

std::string binary_name(Random& random) {
  std::string name(4 + random.below(5), ' ');
  for (char& c : name)
    c = binary_byte(random);
  return name;
}

// 10,000 names of 4 to 8 random bytes on random bytes.
NameSet binary(size_t bytes) {
  Random random(20);
  const std::vector<std::string> names = unique(random, 10000, binary_name);
  return {binary_text(random, bytes), with_values(names)};
}

// Every byte that can be a name, each a name of its own, on random bytes.
NameSet single_bytes(size_t bytes) {
  Random random(21);
  std::vector<std::string> names;
  for (int c = 1; c < 256; c++)
    if (c != '=')
      names.push_back(std::string(1, static_cast<char>(c)));
  return {binary_text(random, bytes), with_values(names)};
}

// Five names of four letters on random letters, most of them cut short: a
// fifth of the positions begin a name, and most look-ups find none.
NameSet few_short(size_t bytes) {
  Random random(22);
  const std::vector<std::string> names =
      unique(random, 5, [](Random& r) { return r.letters(4, 4, kLower); });
  std::string text;
  while (text.size() < bytes) {
    text += random.letters(0, 100, kLower);
    const std::string& name = names[random.below(names.size())];
    text += random.below(5) == 0 ? name : name.substr(0, 1 + random.below(3));
  }
  text.resize(bytes);
  return {text, with_values(names)};
}

// 20,000 names of 8 to 16 letters, so many that their reversed table would
// take 16 MiB or more, on lines of words (the cost guard runs it on 2 KiB).
NameSet many_letters(size_t bytes) {
  Random random(23);
  const std::vector<std::string> names =
      unique(random, 20000, [](Random& r) { return r.letters(8, 16, kLower); });
  return {lines(bytes, random, [&] { return names[random.below(names.size())]; }),
          with_values(names)};
}

// Three one-byte names escaped, as for markup: one in some 200 bytes of lines
// of words is one of them.
NameSet escapes(size_t bytes) {
  Random random(24);
  const char kEscaped[] = "&<>";
  const size_t word_count = sizeof kWords / sizeof kWords[0];
  return {lines(bytes, random,
                [&] {
                  std::string word = kWords[random.below(word_count)];
                  return random.below(4) == 0 ? word + kEscaped[random.below(3)] : word;
                }),
          {"&=&amp;", "<=&lt;", ">=&gt;"}};
}

struct Shape {
  const char* name;
  NameSet (*make)(size_t bytes);
};

const Shape kShapes[] = {
    {"var20", [](size_t bytes) { return var_names(bytes, 20, 2); }},
    {"diverse20", diverse},
    {"ident1500", [](size_t bytes) { return identifiers(bytes, false); }},
    {"words1000", [](size_t bytes) { return bare_words(bytes, 1000); }},
    {"words10000", [](size_t bytes) { return bare_words(bytes, 10000); }},
    {"near1000", near_misses},
    {"prefix1000", prefixes},
    {"all-at", [](size_t bytes) { return identifiers(bytes, true); }},
    {"lengths10", [](size_t bytes) { return lengths(bytes, 10); }},
    {"lengths100", [](size_t bytes) { return lengths(bytes, 100); }},
    {"lengths1000", [](size_t bytes) { return lengths(bytes, 1000); }},
    {"long64k", long_name},
    {"long64k-prefix", long_name_and_prefix},
};

// Known by name but not listed: the shapes only the cost guard runs.
const Shape kMoreShapes[] = {
    {"sparse20", sparse},
    {"letters26", letters},
    {"binary10000", binary},
    {"bytes254", single_bytes},
    {"few4", few_short},
    {"many20000", many_letters},
    {"escape3", escapes},
};

}  // namespace

std::vector<std::string> name_set_shapes() {
  std::vector<std::string> names;
  for (const Shape& shape : kShapes)
    names.push_back(shape.name);
  return names;
}

bool make_name_set(const std::string& shape, size_t bytes, NameSet* set, const std::string* text) {
  real_text = text;
  for (const Shape& known : kShapes) {
    if (shape == known.name) {
      *set = known.make(bytes);
      return true;
    }
  }
  for (const Shape& known : kMoreShapes) {
    if (shape == known.name) {
      *set = known.make(bytes);
      return true;
    }
  }
  if (shape.rfind("var", 0) != 0 || shape.size() <= 3)
    return false;
  *set = var_names(bytes, strtoul(shape.c_str() + 3, nullptr, 10), 5);
  return true;
}
