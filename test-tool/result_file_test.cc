#include "result_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

#include "cases.h"
#include "programs.h"
#include "tempdir.h"

namespace {

TEST(ResultFile, WritesExactlyTwoLines) {
  support::TempDir dir;
  const std::string path = dir / "r";
  for (int status : {0, 768, 15, -1, INT_MAX, INT_MIN}) {
    g_autoptr(GError) error = nullptr;
    ASSERT_TRUE(result_file_write(path.c_str(), status, &error));
    EXPECT_EQ(support::read_file(path), support::recorded(status));
    g_autoptr(GKeyFile) results = result_file_load(path.c_str(), &error);
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(result_file_read_status(results), status);
  }
}

struct ReadCase {
  const char* name;
  std::string text;
  bool loads;
  std::optional<int> status;
};

const std::string kHead = "[test-result]\nexit-status=";

const ReadCase kReadCases[] = {
    {"AsWritten", kHead + "0\n", true, 0},
    {"CommentsOtherGroupsAndKeys",
     "# made by hand\n\n[other]\nexit-status=5\n[test-result]\nnote=x\nexit-status=0\nmore=1\n",
     true, 0},
    {"NoTrailingLineFeed", kHead + "256", true, 256},
    {"Crlf", "[test-result]\r\nexit-status=3\r\n", true, 3},
    {"LastOfRepeatedKeyWins", kHead + "0\nexit-status=256\n", true, 256},
    {"RepeatedGroupMerges", kHead + "0\n[test-result]\nexit-status=9\n", true, 9},
    {"BlanksAroundNumber", kHead + " 7 \n", true, 7},
    {"LeadingPlus", kHead + "+0\n", true, 0},
    {"TextAfterBlank", kHead + "0 abc\n", true, 0},
    {"LeadingZeros", kHead + "00012\n", true, 12},
    {"SmallestInteger", kHead + "-2147483648\n", true, INT_MIN},
    {"LargestInteger", kHead + "2147483647\n", true, INT_MAX},
    {"EmptyFile", "", true, std::nullopt},
    {"GroupOnly", "[test-result]\n", true, std::nullopt},
    {"OtherGroupOnly", "[results]\nexit-status=0\n", true, std::nullopt},
    {"EmptyValue", kHead + "\n", true, std::nullopt},
    {"Letters", kHead + "abc\n", true, std::nullopt},
    {"LettersAfterDigits", kHead + "12abc\n", true, std::nullopt},
    {"Hexadecimal", kHead + "0x10\n", true, std::nullopt},
    {"TooLarge", kHead + "2147483648\n", true, std::nullopt},
    {"TooSmall", kHead + "-2147483649\n", true, std::nullopt},
    {"Huge", kHead + std::string(400, '9') + "\n", true, std::nullopt},
    {"TranslatedKeyOnly", "[test-result]\nexit-status[de]=0\n", true, std::nullopt},
    {"BareWord", "passed\n", false, std::nullopt},
    {"KeyOutsideGroup", "exit-status=0\n", false, std::nullopt},
    {"ByteOrderMark", "\xef\xbb\xbf" + kHead + "0\n", false, std::nullopt},
    {"UnclosedGroup", "[test-result\nexit-status=0\n", false, std::nullopt},
};

class ResultFileRead : public testing::TestWithParam<ReadCase> {};

TEST_P(ResultFileRead, Reads) {
  const ReadCase& c = GetParam();
  support::TempDir dir;
  const std::string path = dir / "r";
  support::write_file(path, c.text);
  g_autoptr(GError) error = nullptr;
  g_autoptr(GKeyFile) results = result_file_load(path.c_str(), &error);
  ASSERT_EQ(results != nullptr, c.loads) << (error ? error->message : "");
  if (results) {
    EXPECT_EQ(result_file_read_status(results), c.status);
  }
}

INSTANTIATE_TEST_SUITE_P(, ResultFileRead, testing::ValuesIn(kReadCases), support::CaseName());

}  // namespace
