#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "expand_model.h"
#include "expand_pieces.h"

namespace {

using namespace std::string_literals;

// Sizes and indices drawn from a seeded generator, so that a failing round
// comes back the same.
class Picker {
 public:
  explicit Picker(unsigned seed) : random_(seed) {}
  size_t operator()(size_t low, size_t high) {
    return std::uniform_int_distribution<size_t>(low, high)(random_);
  }
  // low to high bytes drawn from alphabet.
  std::string word(const std::string& alphabet, size_t low, size_t high) {
    std::string w((*this)(low, high), ' ');
    for (char& c : w)
      c = alphabet[(*this)(0, alphabet.size() - 1)];
    return w;
  }

 private:
  std::mt19937 random_;
};

struct ExpandCase {
  const char* name;
  std::string text;
  std::vector<std::string_view> arguments;
  std::string output;
};

const ExpandCase kCases[] = {
    // The worked examples users rely on.
    {"Version", "Version %V% of %V%", {"%V%=1.2"}, "Version 1.2 of 1.2"},
    {"FirstListedWinsShorter", "AB", {"A=1", "AB=2"}, "1B"},
    {"FirstListedWinsLonger", "AB", {"AB=2", "A=1"}, "2"},
    {"MatchesNeverOverlap", "aaa", {"aa=b"}, "ba"},
    {"FirstOfSameNameWins", "X", {"X=1", "X=2"}, "1"},
    {"ValueKeepsLaterEquals", "KEY", {"KEY=a=b"}, "a=b"},
    {"EmptyValueDeletes", "a-NAME-b", {"NAME="}, "a--b"},
    {"NameRunningPastEnd", "NAM", {"NAME=x"}, "NAM"},
    {"ValueNotScannedAgain", "A", {"A=AA"}, "AA"},
    {"NoEqualsIgnored", "FOO", {"FOO"}, "FOO"},
    // Further behaviour.
    {"EmptyTemplate", "", {"A=1"}, ""},
    {"NoArguments", "a\r\nb\xff\xc3\xa9\n", {}, "a\r\nb\xff\xc3\xa9\n"},
    {"TextEndsAtNul", "A\0A"s, {"A=1"}, "1"},
    {"NulFirst", "\0abc"s, {}, ""},
    {"EmptyNameNeverMatches", "abc", {"=x", "b=2"}, "a2c"},
    {"OnlyEmptyName", "abc", {"=x"}, "abc"},
    {"JustEquals", "a=b", {"="}, "a=b"},
    {"WhatFollowsPlaysNoPart", "x=y", {"x=1"}, "1=y"},
    {"CaseSensitive", "name NAME", {"NAME=v"}, "name v"},
    {"NoWordBoundaries", "xNAMEy", {"NAME=v"}, "xvy"},
    {"NameAtVeryEnd", "abNAME", {"NAME=v"}, "abv"},
    {"MultibyteName", "caf\xc3\xa9 \xc3\xa9", {"\xc3\xa9=e"}, "cafe e"},
    {"InvalidUtf8NameAndValue", "a\xff\xfe b", {"\xff\xfe=\x80\x81"}, "a\x80\x81 b"},
    {"CrlfKept", "A\r\nA\r\n", {"A=1"}, "1\r\n1\r\n"},
    {"ValueContainingOtherName", "AB", {"A=B", "B=A"}, "BA"},
    {"ManyNamesSameFirstByte", "@A@ @B@ @C@ @D", {"@A@=1", "@B@=2", "@C@=3"}, "1 2 3 @D"},
    {"ShorterLaterNameStillTried", "@AB @A", {"@ABC=1", "@A=2"}, "2B 2"},
};

std::string expanded(std::string_view text, const std::vector<std::string_view>& arguments,
                     const std::function<size_t()>& next_piece, size_t capacity) {
  return expand_in_pieces(text, std::vector<std::string>(arguments.begin(), arguments.end()),
                          next_piece, capacity);
}

std::string expanded(std::string_view text, const std::vector<std::string_view>& arguments) {
  return expanded(
      text, arguments, [] { return size_t{1} << 20; }, 1 << 16);
}

void PrintTo(const ExpandCase& c, std::ostream* os) { *os << c.name; }

class ExpandTest : public testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandTest, GivesOutput) {
  const ExpandCase& c = GetParam();
  EXPECT_EQ(expand_model(c.text, c.arguments), c.output);
  EXPECT_EQ(expanded(c.text, c.arguments), c.output) << "whole";
  for (size_t piece : {1, 2, 3}) {
    for (size_t capacity : {1, 4}) {
      EXPECT_EQ(expanded(
                    c.text, c.arguments, [piece] { return piece; }, capacity),
                c.output)
          << "pieces of " << piece << ", sink of " << capacity;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(, ExpandTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ExpandCase>& param_info) {
                           return std::string(param_info.param.name);
                         });

// Small alphabets, so that names overlap, collide, repeat, run past the end
// and straddle pieces of every size down to one byte.
TEST(Expand, AgreesWithPlainMethodOnRandomCases) {
  std::mt19937 random(20261208);
  auto word = [&random](const std::string& alphabet, int longest) {
    std::string w(std::uniform_int_distribution<int>(0, longest)(random), ' ');
    for (char& c : w)
      c = alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(random)];
    return w;
  };
  for (int round = 0; round < 5000; round++) {
    const std::string alphabet = round % 3 == 0 ? "ab" : round % 3 == 1 ? "ab=c" : "a\xff\0="s;
    std::string text = word(round % 7 == 0 ? alphabet : "abc\xff", 40);
    std::vector<std::string> owned;
    int count = std::uniform_int_distribution<int>(0, 6)(random);
    for (int i = 0; i < count; i++)
      owned.push_back(word(alphabet, 4) + (i % 4 == 3 ? "" : "=") + word("ab=", 3));
    std::vector<std::string_view> arguments(owned.begin(), owned.end());
    const size_t largest_piece = std::uniform_int_distribution<size_t>(1, 12)(random);
    auto next_piece = [&random, largest_piece] {
      return std::uniform_int_distribution<size_t>(1, largest_piece)(random);
    };
    const size_t capacity = std::uniform_int_distribution<size_t>(1, 16)(random);
    ASSERT_EQ(expanded(text, arguments, next_piece, capacity), expand_model(text, arguments))
        << "round " << round << " text " << testing::PrintToString(text) << " arguments "
        << testing::PrintToString(owned) << " pieces up to " << largest_piece;
  }
}

// Names of one byte each, every byte a name or not, with values from empty
// to longer than the sink's slack: each byte is looked up in a table. Texts
// of any bytes, a NUL now and then, in pieces into sinks small and large.
TEST(Expand, OneByteNamesAgreeWithPlainMethod) {
  Picker pick(1);
  const size_t kValueSizes[] = {0, 1, 2, 15, 16, 17, 64, 65, 300};
  for (int round = 0; round < 400; round++) {
    std::vector<std::string> owned;
    for (size_t i = 0, count = pick(1, round % 2 ? 8 : 300); i < count; i++) {
      const char byte = static_cast<char>(pick(round % 3 ? 1 : 0, 255));
      const size_t value_size = kValueSizes[pick(0, round % 4 ? 4 : 8)];
      owned.push_back(std::string(1, byte) + "=" + std::string(value_size, "vw\xff"[pick(0, 2)]));
    }
    std::string text(pick(0, 5000), ' ');
    for (char& c : text)
      c = static_cast<char>(pick(1, 255));
    if (round % 7 == 0 && !text.empty())
      text[pick(0, text.size() - 1)] = '\0';
    std::vector<std::string_view> arguments(owned.begin(), owned.end());
    const size_t largest_piece = pick(1, 2000);
    auto next_piece = [&] { return pick(1, largest_piece); };
    const size_t capacity = pick(1, 400);
    ASSERT_EQ(expanded(text, arguments, next_piece, capacity), expand_model(text, arguments))
        << "round " << round << ", " << owned.size() << " names, pieces up to " << largest_piece
        << ", sink of " << capacity;
  }
}

// A few one-byte names, in text where they are sparse for a while and then
// crowd, and back: blocks copied whole and the table alone take turns, in
// pieces up to larger than a turn and into sinks small and large, values of
// every length the copies treat apart.
TEST(Expand, OneByteNamesSparseAndCrowded) {
  Picker pick(32);
  const size_t kValueSizes[] = {0, 1, 15, 16, 17, 63, 64, 65, 300};
  for (int round = 0; round < 24; round++) {
    std::string names, others;
    for (size_t i = 0, count = pick(1, 15); i < count; i++)
      names += static_cast<char>(pick(1, 255));
    for (int b = 1; b < 256; b++) {
      if (names.find(static_cast<char>(b)) == std::string::npos)
        others += static_cast<char>(b);
    }
    std::vector<std::string> owned;
    for (char name : names) {
      const size_t value_size = kValueSizes[pick(0, round % 3 ? 5 : 8)];
      owned.push_back(std::string(1, name) + "=" + std::string(value_size, "vw\xff"[pick(0, 2)]));
    }
    std::string text;
    const size_t size = pick(0, round % 4 ? 20000 : 700000);
    while (text.size() < size) {
      const size_t one_in = pick(0, 1) ? pick(1, 8) : pick(40, 2000);
      for (size_t i = 0, stretch = pick(1, 300000); i < stretch; i++)
        text += pick(1, one_in) == 1 ? names[pick(0, names.size() - 1)]
                                     : others[pick(0, others.size() - 1)];
    }
    std::vector<std::string_view> arguments(owned.begin(), owned.end());
    const size_t largest_piece = pick(0, 1) ? pick(1, 300) : pick(60000, 300000);
    auto next_piece = [&] { return pick(1, largest_piece); };
    const size_t capacity = pick(0, 1) ? pick(1, 5000) : 1 << 16;
    ASSERT_EQ(expand_in_pieces(text, owned, next_piece, capacity), expand_model(text, arguments))
        << "round " << round << ", " << names.size() << " names, pieces up to " << largest_piece
        << ", sink of " << capacity;
  }
}

// Texts long enough to be scanned 64 bytes at a time, fed in pieces of up to
// a few hundred bytes into sinks small and large: names at block edges, values
// past the sink's end, names all of one size (looked up the short way up to
// eight bytes) or of several, longer than a machine word, sharing prefixes.
TEST(Expand, LongTextsAgreeWithPlainMethod) {
  Picker pick(64);
  for (int round = 0; round < 3000; round++) {
    const bool one_size = round % 2 == 0;
    // Every third round, names start with any of many letters, so that up
    // to twenty different bytes are looked for.
    const std::string firsts = round % 3 == 2 ? "abcdefghijklmnopqrst" : "@";
    const size_t size = pick(1, round % 4 == 1 ? 24 : 10);
    std::vector<std::string> owned;
    for (size_t i = 0, count = pick(0, firsts.size() > 1 ? 24 : 5); i < count; i++) {
      std::string name(one_size ? size : pick(1, size), firsts[pick(0, firsts.size() - 1)]);
      for (size_t k = 1; k < name.size(); k++)
        name[k] = "ab@"[pick(0, 2)];
      owned.push_back(name + "=" + std::string(pick(0, 40), 'v'));
    }
    std::string text(pick(0, 3000), ' ');
    for (char& c : text)
      c = round % 5 == 0 ? "ab@\n"[pick(0, 3)] : (firsts + "ab@ xyz\n")[pick(0, firsts.size() + 7)];
    if (round % 11 == 0 && !text.empty())
      text[pick(0, text.size() - 1)] = '\0';
    std::vector<std::string_view> arguments(owned.begin(), owned.end());
    const size_t largest_piece = pick(1, 500);
    auto next_piece = [&] { return pick(1, largest_piece); };
    const size_t capacity = pick(1, 300);
    ASSERT_EQ(expanded(text, arguments, next_piece, capacity), expand_model(text, arguments))
        << "round " << round << " arguments " << testing::PrintToString(owned) << " pieces up to "
        << largest_piece << ", sink of " << capacity;
  }
}

// Hundreds to thousands of names of every shape users bring, and some they
// should not: delimited, bare words from a few letters (prefixes and
// suffixes of each other by the hundred), chains of names beginning each
// other in any order, names thousands of bytes long, bytes of 0x80 and up.
// Texts are cut from the names themselves, so that they match, nearly
// match and overlap; pieces are large enough to be read in lanes backwards
// and small enough to cut names. Both ways must give the plain method's
// output, and so must the choice between them.
TEST(Expand, ManyNamesAgreeWithPlainMethod) {
  Picker pick(1500);
  for (int round = 0; round < 48; round++) {
    std::vector<std::string> names;
    const size_t count = pick(1, round % 4 == 0 ? 3000 : 400);
    for (size_t i = 0; i < count; i++) {
      switch ((round + i % 3) % 5) {
        case 0: names.push_back("@" + pick.word("ABCDEFGHIJ_0123", 1, 12) + "@"); break;
        case 1: names.push_back(pick.word("abc", 1, 8)); break;
        case 2:
          names.push_back(std::string(pick(1, 60), "ab"[round % 2]) + pick.word("ab", 0, 2));
          break;
        case 3:
          names.push_back(pick(0, 1) ? pick.word("ab", 1, 6) : pick.word("ab", 500, 3000));
          break;
        default: names.push_back(pick.word("\x80\xc3\xa9\xff@", 1, 7)); break;
      }
    }
    std::vector<std::string> owned;
    for (size_t i = 0; i < names.size(); i++)
      owned.push_back(names[i] + "=" + std::to_string(i % 100));
    std::string text;
    const size_t size = pick(0, 12000);
    while (text.size() < size) {
      if (pick(0, 2) == 0) {
        const std::string& name = names[pick(0, names.size() - 1)];
        text += name.substr(0, pick(name.size() / 2, name.size()));
      } else {
        text += pick.word("abc@ \x80\xff\n", 1, 30);
      }
    }
    if (round % 6 == 5 && !text.empty())
      text[pick(0, text.size() - 1)] = '\0';
    std::vector<std::string_view> arguments(owned.begin(), owned.end());
    const std::string want = expand_model(text, arguments);
    for (Expander::Way way : {Expander::Way::kEither, Expander::Way::kBackwards,
                              Expander::Way::kForwardsScalar, Expander::Way::kForwardsPairs}) {
      const size_t largest_piece = pick(0, 1) ? pick(1, 300) : pick(4000, 20000);
      auto next_piece = [&] { return pick(1, largest_piece); };
      ASSERT_EQ(expand_in_pieces(text, owned, next_piece, pick(1, 5000), way), want)
          << "round " << round
          << (way == Expander::Way::kEither           ? " either way"
              : way == Expander::Way::kBackwards      ? " backwards"
              : way == Expander::Way::kForwardsScalar ? " forwards, byte by byte"
                                                      : " forwards, by pairs")
          << ", pieces up to " << largest_piece;
    }
  }
}

// Names of four bytes or more, where forwards looks only at the positions
// whose four bytes hash into the names' set of them: names from a few bytes
// (high ones among them), sharing their first four or not, by the few or the
// thousand, in texts of their pieces, near misses and NULs, cut into pieces
// that split names and end within a name's first four bytes.
TEST(Expand, NamesOfFourBytesOrMoreAgreeWithPlainMethod) {
  Picker pick(4444);
  const std::string alphabets[] = {"ab", "\x01\x80\xff", "abcdefghij", "@VAR0123456789"};
  for (int round = 0; round < 40; round++) {
    const std::string& alphabet = alphabets[round % 4];
    std::vector<std::string> names;
    for (size_t i = 0, count = pick(1, round % 5 == 0 ? 3000 : 200); i < count; i++) {
      names.push_back(pick.word(alphabet, 4, 9));
    }
    std::vector<std::string> owned;
    for (size_t i = 0; i < names.size(); i++)
      owned.push_back(names[i] + "=" + std::to_string(i % 100));
    std::string text;
    const size_t size = pick(0, 20000);
    while (text.size() < size) {
      const std::string& name = names[pick(0, names.size() - 1)];
      text += pick(0, 3) == 0 ? name.substr(0, pick(1, name.size())) : name;
      if (pick(0, 1) == 0)
        text += alphabet[pick(0, alphabet.size() - 1)];
    }
    if (round % 4 == 3 && !text.empty())
      text[pick(0, text.size() - 1)] = '\0';
    std::vector<std::string_view> arguments(owned.begin(), owned.end());
    const std::string want = expand_model(text, arguments);
    for (Expander::Way way : {Expander::Way::kEither, Expander::Way::kForwardsPairs}) {
      const size_t largest_piece = pick(0, 1) ? pick(1, 70) : pick(100, 5000);
      auto next_piece = [&] { return pick(1, largest_piece); };
      ASSERT_EQ(expand_in_pieces(text, owned, next_piece, pick(1, 5000), way), want)
          << "round " << round << (way == Expander::Way::kEither ? " either way" : " by quads")
          << ", pieces up to " << largest_piece;
    }
  }
}

// Names that begin with a few bytes and go on within a range or two of
// bytes (0x80 and up among them), in texts crowded with their near misses:
// each a name with one byte changed, inside those ranges or out of them, or
// cut short by a NUL or by the end of a piece. Where the first bytes crowd,
// the bytes after them are looked at; the output must stay the plain
// method's wherever the blocks fall.
TEST(Expand, CrowdedNearMissesAgreeWithPlainMethod) {
  Picker pick(2026);
  const std::string alphabets[] = {"0123456789", "VAR", "\x80\x81\xfe\xff", "AZaz_"};
  for (int round = 0; round < 60; round++) {
    const std::string& alphabet = alphabets[round % 4];
    const std::string firsts = round % 3 == 0 ? "@" : "@$%";
    std::vector<std::string> names;
    for (size_t i = 0, count = pick(1, 300); i < count; i++) {
      std::string name(1, firsts[pick(0, firsts.size() - 1)]);
      for (size_t k = 0, size = pick(round % 5 == 0 ? 0 : 3, 10); k < size; k++)
        name += alphabet[pick(0, alphabet.size() - 1)];
      names.push_back(name);
    }
    std::vector<std::string> owned;
    for (size_t i = 0; i < names.size(); i++)
      owned.push_back(names[i] + "=" + std::string(i % 3, 'v'));
    std::string text;
    const size_t size = pick(0, 20000);
    while (text.size() < size) {
      std::string near = names[pick(0, names.size() - 1)];
      const size_t at = pick(0, near.size());
      if (at < near.size())
        near[at] = pick(0, 1) ? alphabet[pick(0, alphabet.size() - 1)] : "@ \x7f\xff"[pick(0, 3)];
      text += near;
      if (pick(0, 3) == 0)
        text += " ";
    }
    if (round % 7 == 6 && !text.empty())
      text[pick(0, text.size() - 1)] = '\0';
    std::vector<std::string_view> arguments(owned.begin(), owned.end());
    const std::string want = expand_model(text, arguments);
    const size_t largest_piece = round % 2 ? pick(1, 300) : pick(4000, 70000);
    auto next_piece = [&] { return pick(1, largest_piece); };
    ASSERT_EQ(expand_in_pieces(text, owned, next_piece, pick(1, 5000)), want)
        << "round " << round << ", pieces up to " << largest_piece;
  }
}

// Stretches where looking names up forwards costs little alternate with
// stretches where it costs much, so that the expansion turns backwards in
// the middle of pieces and forwards again later.
TEST(Expand, TurningBackwardsAndForwardsAgain) {
  Picker pick(7);
  std::vector<std::string> owned;
  for (int i = 0; i < 40; i++)
    owned.push_back("@N" + std::to_string(i * 7) + "@=" + std::string(i % 5, 'v'));
  std::string text;
  while (text.size() < (3 << 19)) {
    const bool costly = pick(0, 1) == 0;
    const size_t stretch_end = text.size() + pick(1, 200000);
    while (text.size() < stretch_end) {
      if (costly)
        text += std::string(pick(1, 40), '@') + "N" + std::to_string(pick(0, 300));
      else
        text += "plain words and @N" + std::to_string(pick(0, 300)) + "@ more\n";
    }
  }
  std::vector<std::string_view> arguments(owned.begin(), owned.end());
  const std::string want = expand_model(text, arguments);
  for (size_t largest_piece : {size_t{100}, size_t{70000}, size_t{300000}}) {
    auto next_piece = [&] { return pick(1, largest_piece); };
    EXPECT_EQ(expand_in_pieces(text, owned, next_piece, 1 << 16), want)
        << "pieces up to " << largest_piece;
  }
}

// So many names beginning with so many bytes that their reversed table is
// large: forwards goes first, and backwards takes over once the look-ups
// have cost about what building the table does. The plain method would take
// minutes here; going backwards all the time is checked against it above.
TEST(Expand, ForwardsUntilALargeTableIsBuilt) {
  Picker pick(20000);
  auto letters = [&](size_t low, size_t high) {
    return pick.word("abcdefghijklmnopqrstuvwxyz", low, high);
  };
  std::vector<std::string> names, owned;
  for (size_t i = 0; i < 20000; i++) {
    names.push_back(letters(8, 16));
    owned.push_back(names.back() + "=" + std::to_string(i % 1000));
  }
  std::string text;
  while (text.size() < (1 << 19)) {
    const std::string& name = names[pick(0, names.size() - 1)];
    text += pick(0, 1) ? name : name.substr(0, pick(1, name.size()));
    text += letters(0, 40) + (pick(0, 9) == 0 ? "\n" : " ");
  }
  auto pieces = [&] { return pick(1, 70000); };
  const std::string want =
      expand_in_pieces(text, owned, pieces, 1 << 16, Expander::Way::kBackwards);
  for (size_t size : {size_t{3000}, text.size()}) {
    const std::string part = text.substr(0, size);
    EXPECT_EQ(expand_in_pieces(part, owned, pieces, 1 << 16),
              size == text.size()
                  ? want
                  : expand_in_pieces(part, owned, pieces, 1 << 16, Expander::Way::kBackwards))
        << size << " bytes";
  }
}

// Names beginning with more bytes than the prefilter takes: on a template
// known to be short forwards goes first, and backwards takes over once the
// look-ups cost too much, which dense names make them do mid-way. What the
// expander is told of the size only steers it: told wrong, the output is the
// same.
TEST(Expand, ShortTemplatesGoForwardsFirst) {
  Picker pick(17);
  for (int round = 0; round < 40; round++) {
    std::vector<std::string> names, owned;
    for (size_t i = 0, count = pick(1, 400); i < count; i++) {
      names.push_back(pick.word("abcdefghijklmnopqrstuvwxyz@", 1, round % 2 ? 4 : 14));
      owned.push_back(names.back() + "=" + std::to_string(i % 100));
    }
    std::string text;
    const size_t size = pick(0, 12000);
    const size_t one_in = pick(1, 200);
    while (text.size() < size) {
      if (pick(1, one_in) == 1) {
        const std::string& name = names[pick(0, names.size() - 1)];
        text += name.substr(0, pick(1, name.size()));
      } else {
        text += pick.word("abcdefghijklmnopqrstuvwxyz@ \n\xff", 1, 12);
      }
    }
    std::vector<std::string_view> arguments(owned.begin(), owned.end());
    const std::string want = expand_model(text, arguments);
    for (uint64_t told : {uint64_t{text.size()}, uint64_t{1}, uint64_t{text.size()} << 20}) {
      auto next_piece = [&] { return pick(1, round % 3 ? 20000 : 200); };
      ASSERT_EQ(
          expand_in_pieces(text, owned, next_piece, pick(1, 5000), Expander::Way::kEither, told),
          want)
          << "round " << round << ", told " << told << " bytes";
    }
  }
}

TEST(Expand, ValueLargerThanTheSink) {
  const std::string value(1000, 'v');
  const std::string argument = "@=" + value;
  EXPECT_EQ(expanded(
                "a@b@", {argument}, [] { return size_t{3}; }, 16),
            "a" + value + "b" + value);
}

}  // namespace
