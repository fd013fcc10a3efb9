#include "replace_check.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "cases.h"
#include "nodes.h"
#include "tempdir.h"

namespace {

using support::Node;

struct PathCase {
  const char* name;
  // Makes what is at path; false when it cannot be made here (skipped).
  std::function<bool(const std::string& path)> make;
  const char* refused_as;  // nullptr when the path may be replaced
};

auto node(Node kind) {
  return [kind](const std::string& path) { return support::make_node(path, kind); };
}

const PathCase kCases[] = {
    {"Missing", [](const std::string&) { return true; }, nullptr},
    {"RegularFile",
     [](const std::string& p) {
       support::write_file(p, "x");
       return true;
     },
     nullptr},
    {"Directory", [](const std::string& p) { return mkdir(p.c_str(), 0777) == 0; }, nullptr},
    {"SymlinkToDevice", [](const std::string& p) { return symlink("/dev/null", p.c_str()) == 0; },
     nullptr},
    {"DanglingSymlink", [](const std::string& p) { return symlink("gone", p.c_str()) == 0; },
     nullptr},
    {"Fifo", node(Node::kFifo), "a FIFO"},
    {"Socket", node(Node::kSocket), "a socket"},
    {"CharacterDevice", node(Node::kCharacterDevice), "a character device"},
    {"BlockDevice", node(Node::kBlockDevice), "a block device"},
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

class ReplaceCheck : public testing::TestWithParam<PathCase> {};

TEST_P(ReplaceCheck, Node) {
  const PathCase& c = GetParam();
  support::TempDir dir;
  const std::string path = dir / "n-\xc3\xa9-\xff";
  if (!c.make(path))
    GTEST_SKIP() << "cannot make this node here (device nodes need root)";
  g_autoptr(GError) error = nullptr;
  EXPECT_EQ(check_replaceable(path.c_str(), &error), c.refused_as == nullptr);
  if (c.refused_as) {
    ASSERT_NE(error, nullptr);
    // GLib shows the invalid byte as U+FFFD, as in its own messages.
    EXPECT_EQ(std::string(error->message), "Refusing to replace \xe2\x80\x9c" + dir.path() +
                                               "/n-\xc3\xa9-\xef\xbf\xbd\xe2\x80\x9d: it is " +
                                               c.refused_as);
  } else {
    EXPECT_EQ(error, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(, ReplaceCheck, testing::ValuesIn(kCases), support::CaseName());

}  // namespace
