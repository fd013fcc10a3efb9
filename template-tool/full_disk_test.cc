// plom-template on real file systems that are nearly full. The output file
// is first given room for the whole template; ext4 may grant part of that
// before it gives up. Whatever each file system does, the output is exactly
// the expansion, or the write fails and the earlier output stays.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "loop_mount.h"
#include "nobody.h"
#include "process.h"
#include "tempdir.h"

namespace {

struct Case {
  support::FileSystem fs;
  bool unprivileged;  // run as nobody, for whom the reserved blocks are not free
};

const Case kFileSystems[] = {
    {{"Ext4", "ext4", PLOM_MKFS_EXT4, {"-q", "-F", "-m", "0"}, 64}, false},
    {{"Ext4WithReserve", "ext4", PLOM_MKFS_EXT4, {"-q", "-F"}, 64}, true},
    {{"Xfs", "xfs", PLOM_MKFS_XFS, {"-q", "-f"}, 300}, false},  // XFS's smallest
    {{"Btrfs", "btrfs", PLOM_MKFS_BTRFS, {"-q", "-f"}, 256}, false},
    {{"Tmpfs", "tmpfs", nullptr, {}, 16}, false},
};

// Room left for the output: from too little for any expansion to more than
// the growing one needs. The template takes 2,000 KiB.
const size_t kLevels[] = {384 << 10, 1 << 20, 3 << 19, 3 << 20, 10 << 20};

struct Expansion {
  const char* argument;
  std::string output;
};

const std::string kTemplate = [] {
  std::string text;
  for (int i = 0; i < 409600; i++)
    text += "NAMEx";
  return text;
}();

const Expansion kExpansions[] = {
    {"NAME=", std::string(409600, 'x')},  // a fifth of the template
    {"NAME=NAMExNAME",
     [] {  // twice the template
       std::string text;
       for (int i = 0; i < 409600; i++)
         text += "NAMExNAMEx";
       return text;
     }()},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.fs.name; }

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class NearlyFull : public testing::TestWithParam<Case> {};

TEST_P(NearlyFull, ExactOutputOrNone) {
  const support::FileSystem& fs = GetParam().fs;
  const bool unprivileged = GetParam().unprivileged;
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root to mount file systems";
  if (fs.mkfs && !*fs.mkfs)
    GTEST_SKIP() << "no mkfs for " << fs.type;
  support::LoopMount mounted(PLOM_MOUNT);
  const std::string why_not = mounted.set_up(fs);
  if (!why_not.empty())
    GTEST_SKIP() << why_not;
  support::TempDir bin;
  const std::string program =
      unprivileged ? support::runnable_by_all(bin, PLOM_TEMPLATE_BIN) : PLOM_TEMPLATE_BIN;
  const std::string template_path = mounted.dir() / "template";
  support::write_file(template_path, kTemplate);

  for (size_t level : kLevels) {
    ASSERT_TRUE(mounted.leave(level)) << level;
    for (const Expansion& e : kExpansions) {
      support::write_file(mounted.path("o"), "old");
      const std::vector<std::string> before = support::list_dir(mounted.point());
      const size_t available = mounted.available();
      const std::string where = std::to_string(available >> 10) + " KiB free, " + e.argument;
      support::Launch launch =
          support::launch_in(mounted.point(), program, {template_path, "o", e.argument});
      if (unprivileged)
        launch.in_child = support::become_nobody;
      support::Outcome got = support::run(launch);

      const std::string output = support::read_file(mounted.path("o")).value_or("(none)");
      if (got.exit_code() == 0) {
        EXPECT_TRUE(output == e.output)
            << where << ": " << output.size() << " bytes, not " << e.output.size();
      } else {
        EXPECT_EQ(got.exit_code(), 1) << where;
        EXPECT_EQ(got.err.rfind("Failed to write output o: Failed to ", 0), 0u) << got.err;
        EXPECT_TRUE(ends_with(got.err, ": No space left on device\n")) << got.err;
        EXPECT_EQ(output, "old") << where;
      }
      EXPECT_EQ(support::list_dir(mounted.point()), before) << where;  // no temporary file
      if (e.output.size() <= available / 2) {
        EXPECT_EQ(got.exit_code(), 0) << where << ": room enough, yet " << got.err;
      }
      unlink(mounted.path("o").c_str());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(, NearlyFull, testing::ValuesIn(kFileSystems),
                         [](const testing::TestParamInfo<Case>& tested) {
                           return std::string(tested.param.fs.name);
                         });

}  // namespace
