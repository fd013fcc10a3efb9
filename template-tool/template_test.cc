// plom-template, end to end through the built program.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "cases.h"
#include "expect.h"
#include "nodes.h"
#include "process.h"
#include "programs.h"
#include "tempdir.h"

namespace {

using namespace std::string_literals;
using support::Files;
using support::run_template;

const char kUsage[] = "Usage: plom-template [TEMPLATE] [OUTPUT] [NAME=VALUE] ...\n";

struct TemplateCase {
  const char* name;
  Files before;
  std::vector<std::string> args;
  int status;
  std::string err;  // XXXXXX matches a temporary name
  Files after;      // the whole directory afterwards, sorted by name
};

const TemplateCase kCases[] = {
    {"NoArguments", {}, {}, 1, kUsage, {}},
    {"OnlyTemplate", {{"t", "x"}}, {"t"}, 1, kUsage, {{"t", "x"}}},
    {"CopiesWithoutArguments",
     {{"t", "a\r\nb\xff\xc3\xa9\n"}},
     {"t", "o"},
     0,
     "",
     {{"o", "a\r\nb\xff\xc3\xa9\n"}, {"t", "a\r\nb\xff\xc3\xa9\n"}}},
    {"StopsAtNul", {{"t", "ab\0cd"s}}, {"t", "o", "c=x"}, 0, "", {{"o", "ab"}, {"t", "ab\0cd"s}}},
    {"Substitutes",
     {{"t", "Version %V% of %V%"}},
     {"t", "o", "%V%=1.2"},
     0,
     "",
     {{"o", "Version 1.2 of 1.2"}, {"t", "Version %V% of %V%"}}},
    {"EmptyNameAndNoEqualsIgnored",
     {{"t", "FOO a"}},
     {"t", "o", "=x", "FOO", "a=1"},
     0,
     "",
     {{"o", "FOO 1"}, {"t", "FOO a"}}},
    {"BytesOfNamesAndValues",
     {{"t", "\xff@\xc3\xa9@\r\n"}},
     {"t", "o", "@\xc3\xa9@=\xfe"},
     0,
     "",
     {{"o", "\xff\xfe\r\n"}, {"t", "\xff@\xc3\xa9@\r\n"}}},
    {"ReplacesExistingOutput",
     {{"o", "old"}, {"t", "new"}},
     {"t", "o"},
     0,
     "",
     {{"o", "new"}, {"t", "new"}}},
    {"SameFileInAndOut", {{"t", "A-A"}}, {"t", "t", "A=1"}, 0, "", {{"t", "1-1"}}},
    {"MissingTemplateKeepsOutput",
     {{"o", "old"}},
     {"missing", "o"},
     1,
     "Failed to load template missing: Failed to open file \xe2\x80\x9cmissing\xe2\x80\x9d: "
     "No such file or directory\n",
     {{"o", "old"}}},
    {"TemplatePathKeptByteForByte",
     {},
     {"%s%n-\xff", "o"},
     1,
     "Failed to load template %s%n-\xff: Failed to open file "
     "\xe2\x80\x9c%s%n-\xef\xbf\xbd\xe2\x80\x9d: "
     "No such file or directory\n",
     {}},
    {"TemplateIsDirectory",
     {{"d/", ""}},
     {"d", "o"},
     1,
     "Failed to load template d: Error reading file \xe2\x80\x9c"
     "d\xe2\x80\x9d: "
     "Is a directory\n",
     {{"d/", ""}}},
    {"OutputInMissingDirectory",
     {{"t", "x"}},
     {"t", "missing/o"},
     1,
     "Failed to write output missing/o: Failed to create file "
     "\xe2\x80\x9cmissing/o.XXXXXX\xe2\x80\x9d: No such file or directory\n",
     {{"t", "x"}}},
    {"OutputIsDirectory",
     {{"d/", ""}, {"t", "x"}},
     {"t", "d"},
     1,
     "Failed to write output d: Failed to rename file \xe2\x80\x9c"
     "d.XXXXXX\xe2\x80\x9d to "
     "\xe2\x80\x9c"
     "d\xe2\x80\x9d: g_rename() failed: Is a directory\n",
     {{"d/", ""}, {"t", "x"}}},
};

void PrintTo(const TemplateCase& c, std::ostream* os) { *os << c.name; }

class TemplateTest : public testing::TestWithParam<TemplateCase> {};

TEST_P(TemplateTest, Behaves) {
  const TemplateCase& c = GetParam();
  support::TempDir dir;
  support::lay_out(dir, c.before);
  support::Outcome got = run_template(dir, c.args);
  EXPECT_EQ(got.exit_code(), c.status);
  EXPECT_EQ(got.out, "");
  EXPECT_TRUE(support::matches(c.err, got.err)) << "stderr: " << got.err;
  EXPECT_EQ(support::contents(dir), c.after);
}

INSTANTIATE_TEST_SUITE_P(, TemplateTest, testing::ValuesIn(kCases), support::CaseName());

TEST(Template, ReplacesSymlinkAndLeavesItsTarget) {
  support::TempDir dir;
  support::write_file(dir / "t", "A");
  support::write_file(dir / "target", "kept");
  ASSERT_EQ(symlink("target", (dir / "o").c_str()), 0);
  support::Outcome got = run_template(dir, {"t", "o", "A=1"});
  EXPECT_EQ(got.exit_code(), 0);
  struct stat st;
  ASSERT_EQ(lstat((dir / "o").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(support::read_file(dir / "o"), "1");
  EXPECT_EQ(support::read_file(dir / "target"), "kept");
}

TEST(Template, OutputModeIsUmaskedAndNotKept) {
  for (int mask : {022, 077, 0}) {
    support::TempDir dir;
    support::write_file(dir / "t", "x");
    support::write_file(dir / "o", "old");
    ASSERT_EQ(chmod((dir / "o").c_str(), 0700), 0);
    support::Launch launch = support::launch_in(dir.path(), PLOM_TEMPLATE_BIN, {"t", "o"});
    launch.umask = mask;
    EXPECT_EQ(support::run(launch).exit_code(), 0);
    struct stat st;
    ASSERT_EQ(stat((dir / "o").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u & ~static_cast<unsigned>(mask)) << mask;
  }
}

// A device, FIFO or socket at the output is left alone, even for root.
TEST(Template, NeverReplacesASpecialNode) {
  using support::Node;
  for (Node kind : {Node::kFifo, Node::kSocket, Node::kCharacterDevice, Node::kBlockDevice}) {
    support::TempDir dir;
    support::write_file(dir / "t", "A");
    if (!support::make_node(dir / "o", kind))
      continue;  // device nodes need root
    support::Outcome got = run_template(dir, {"t", "o", "A=1"});
    const std::string words = support::node_words(kind);
    EXPECT_EQ(got.exit_code(), 1) << words;
    EXPECT_EQ(got.err,
              "Failed to write output o: Refusing to replace \xe2\x80\x9co\xe2\x80\x9d: it is " +
                  words + "\n");
    EXPECT_TRUE(support::is_node(dir / "o", kind)) << words;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"o", "t"}));
  }
}

}  // namespace
