#include "start_finder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace std::string_literals;

// Every position's first listed name, name by name.
std::vector<std::pair<size_t, size_t>> plainly(const NameList& names, const std::string& text,
                                               size_t begin, size_t end, size_t text_end) {
  std::vector<std::pair<size_t, size_t>> starts;
  for (size_t s = begin; s < end && text[s] != '\0'; s++) {
    for (size_t i = 0; i < names.count(); i++) {
      const std::string_view name(names[i].bytes, names[i].size);
      if (s + name.size() <= text_end && text.compare(s, name.size(), name) == 0) {
        starts.emplace_back(s, i);
        break;
      }
    }
  }
  return starts;
}

// The table and the tree it falls back on when the table would be too big,
// in one lane, four and eight, against looking at every name at every
// position: what starts where, and where the first NUL is.
TEST(StartFinder, AgreesWithLookingEverywhere) {
  std::mt19937 random(31);
  auto pick = [&random](size_t low, size_t high) {
    return std::uniform_int_distribution<size_t>(low, high)(random);
  };
  auto letters = [&](const std::string& alphabet, size_t size) {
    std::string w(size, ' ');
    for (char& c : w)
      c = alphabet[pick(0, alphabet.size() - 1)];
    return w;
  };
  for (int round = 0; round < 300; round++) {
    const std::string alphabet = round % 2 ? "ab" : "ab\xff@";
    std::vector<std::string> owned;
    for (size_t i = 0, count = pick(1, 60); i < count; i++)
      owned.push_back(letters(alphabet, pick(1, round % 3 ? 6 : 40)) + "=v");
    std::vector<const char*> argv;
    for (const std::string& a : owned)
      argv.push_back(a.c_str());
    NameList names(argv.data(), argv.size());
    std::string text = letters(alphabet + (round % 5 ? "" : "\0"s), pick(0, 3000));
    const size_t begin = pick(0, text.size());
    const size_t end = pick(begin, text.size());
    const size_t text_end = pick(end, text.size());
    const auto want = plainly(names, text, begin, end, text_end);
    const size_t nul = text.find('\0', begin);
    const std::pair<size_t, size_t> ways[] = {
        {StartFinder::kMostTableBytes, StartFinder::kEightLanesFromBytes},
        {StartFinder::kMostTableBytes, 0},
        {0, 0}};
    for (const auto& [most, eight_from] : ways) {
      StartFinder finder;
      ASSERT_TRUE(finder.build(names, most, eight_from));
      std::vector<Start> out(end - begin + 1);
      const char* found_nul = nullptr;
      const size_t n = finder.find(text.data() + begin, text.data() + end, text.data() + text_end,
                                   out.data(), &found_nul);
      std::vector<std::pair<size_t, size_t>> got;
      for (size_t i = 0; i < n && (!found_nul || begin + out[i].offset < nul); i++)
        got.emplace_back(begin + out[i].offset, out[i].name);
      EXPECT_EQ(got, want) << "round " << round
                           << (!most        ? " tree"
                               : eight_from ? " table"
                                            : " table, eight lanes");
      EXPECT_EQ(found_nul ? found_nul - text.data() : -1,
                nul < end ? static_cast<ptrdiff_t>(nul) : -1)
          << "round " << round;
    }
  }
}

}  // namespace
