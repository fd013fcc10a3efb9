#include "expand.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "expand_model.h"

namespace {

using namespace std::string_literals;

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

std::string expanded(std::string_view text, const std::vector<std::string_view>& arguments) {
  g_autoptr(GString) output = expand(text, arguments);
  return std::string(output->str, output->len);
}

void PrintTo(const ExpandCase& c, std::ostream* os) { *os << c.name; }

class ExpandTest : public testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandTest, GivesOutput) {
  const ExpandCase& c = GetParam();
  EXPECT_EQ(expanded(c.text, c.arguments), c.output);
  EXPECT_EQ(expand_model(c.text, c.arguments), c.output);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExpandTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ExpandCase>& info) {
                           return std::string(info.param.name);
                         });

// Small alphabets, so that names overlap, collide, repeat and run past the end.
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
    ASSERT_EQ(expanded(text, arguments), expand_model(text, arguments))
        << "round " << round << " text " << testing::PrintToString(text) << " arguments "
        << testing::PrintToString(owned);
  }
}

}  // namespace
