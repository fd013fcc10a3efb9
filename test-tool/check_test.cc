// plom-test check, end to end through the built program.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <optional>

#include <glib.h>
#include <string>
#include <utility>
#include <vector>

#include "cases.h"
#include "process.h"
#include "programs.h"
#include "tempdir.h"

namespace {

using namespace std::string_literals;
using support::recorded;

// GLib's message for a line it cannot parse (it shows bad bytes as U+FFFD).
std::string bad_line(const std::string& path, const std::string& shown) {
  return "Failed to load results " + path + ": Key file contains line \xe2\x80\x9c" + shown +
         "\xe2\x80\x9d which is not a key-value pair, group, or comment\n";
}

const std::string kBad = "\xef\xbf\xbd";
const std::string kHead = "[test-result]\nexit-status=";

struct CheckCase {
  const char* name;
  // Files to lay out first: a name ending in "/" is made a directory.
  std::vector<std::pair<std::string, std::string>> files;
  std::vector<std::string> args;  // result files, in order
  int status;
  std::string err;
};

const CheckCase kCases[] = {
    {"TwoPass", {{"a", recorded(0)}, {"b", recorded(0)}}, {"a", "b"}, 0, "Passed all 2 tests\n"},
    {"OnePassIsStillPlural", {{"a", recorded(0)}}, {"a"}, 0, "Passed all 1 tests\n"},
    {"OneOfThreeFails",
     {{"a", recorded(0)}, {"b", recorded(256)}, {"c", recorded(0)}},
     {"a", "b", "c"},
     1,
     "Failed 1/3 tests\n"},
    {"SignalAndNegativeFail",
     {{"a", recorded(15)}, {"b", recorded(-1)}, {"c", recorded(0)}},
     {"a", "b", "c"},
     1,
     "Failed 2/3 tests\n"},
    {"MissingKeyIsAFailedTest",
     {{"a", recorded(0)}, {"b", "[test-result]\n"}},
     {"a", "b"},
     1,
     "Failed 1/2 tests\n"},
    {"BrokenValueIsAFailedTest",
     {{"a", "[test-result]\nexit-status=abc\n"},
      {"b", "[test-result]\nexit-status=12abc\n"},
      {"c", "[test-result]\nexit-status=99999999999\n"},
      {"d", "[test-result]\nexit-status=\n"}},
     {"a", "b", "c", "d"},
     1,
     "Failed 4/4 tests\n"},
    {"EmptyFileIsAFailedTest", {{"a", ""}}, {"a"}, 1, "Failed 1/1 tests\n"},
    {"NumbersAsGLibReadsThem",
     {{"a", "[test-result]\nexit-status= 7 \n"},
      {"b", "[test-result]\nexit-status=+0\n"},
      {"c", "# note\n[test-result]\r\nexit-status=0 abc\r\nother=1\n"}},
     {"a", "b", "c"},
     1,
     "Failed 1/3 tests\n"},
    {"SamePathCountsTwice", {{"a", recorded(256)}}, {"a", "a"}, 1, "Failed 2/2 tests\n"},
    {"MissingFirstFileStopsEverything",
     {{"b", recorded(256)}},
     {"missing", "b"},
     1,
     "Failed to load results missing: No such file or directory\n"},
    {"LoadFailureAfterOtherFiles",
     {{"a", recorded(256)}, {"bad", "passed\n"}, {"c", recorded(0)}},
     {"a", "bad", "c"},
     1,
     "Failed to load results bad: Key file contains line \xe2\x80\x9cpassed\xe2\x80\x9d which is "
     "not a key-value pair, group, or comment\n"},
    {"DirectoryIsALoadFailure",
     {{"d/", ""}},
     {"d"},
     1,
     "Failed to load results d: Not a regular file\n"},
    {"PathWithFormatDirectives",
     {},
     {"%s%n%d"},
     1,
     "Failed to load results %s%n%d: No such file or directory\n"},
    {"PathWithInvalidUtf8",
     {},
     {"r-\xff\xc3\xa9"},
     1,
     "Failed to load results r-\xff\xc3\xa9: No such file or directory\n"},
    {"BinaryJunk",
     {{"a",
       "\x7f"
       "ELF\x02\x01\x01\0\0\0\xff\xfe\n\x01"s}},
     {"a"},
     1,
     bad_line("a",
              "\x7f"
              "ELF\x02\x01\x01" +
                  kBad + kBad + kBad + kBad + kBad)},
    {"ByteOrderMark",
     {{"a", "\xef\xbb\xbf" + kHead + "0\n"}},
     {"a"},
     1,
     bad_line("a", "\xef\xbb\xbf[test-result]")},
    {"Utf16",
     {{"a", "\xff\xfe[\0t\0"s}},
     {"a"},
     1,
     bad_line("a", kBad + kBad + "[" + kBad + "t" + kBad)},
    {"LongJunkLine",
     {{"a", std::string(1 << 20, 'x')}},
     {"a"},
     1,
     bad_line("a", std::string(1 << 20, 'x'))},
    {"HugeValue", {{"a", kHead + std::string(100000, '9') + "\n"}}, {"a"}, 1, "Failed 1/1 tests\n"},
    {"InvalidUtf8GroupOrKey",
     {{"a", "[test-\xff]\nexit-status=0\n"}, {"b", "[test-result]\nexit-\xffstatus=0\n"}},
     {"a", "b"},
     1,
     "Failed 2/2 tests\n"},
    {"ValueWithInvalidUtf8",
     {{"a", "[test-result]\nexit-status=0\xff\n"}},
     {"a"},
     1,
     "Failed 1/1 tests\n"},
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class CheckTest : public testing::TestWithParam<CheckCase> {};

TEST_P(CheckTest, Behaves) {
  const CheckCase& c = GetParam();
  support::TempDir dir;
  for (const auto& [name, text] : c.files) {
    if (name.back() == '/')
      ASSERT_EQ(mkdir((dir / name).c_str(), 0777), 0);
    else
      support::write_file(dir / name, text);
  }
  std::vector<std::string> args = {"check"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  support::Outcome got = support::run_plom_test(dir, args);
  EXPECT_EQ(got.exit_code(), c.status);
  EXPECT_EQ(got.out, "");
  EXPECT_EQ(got.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(, CheckTest, testing::ValuesIn(kCases), support::CaseName());

}  // namespace
