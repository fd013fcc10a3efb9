// Both programs' files on real file systems stopped as a power cut stops
// them: the file system is shut down (its journal written first, or
// dropped), unmounted and mounted again. Once a program has exited 0 its
// file is there whole with the new content, whatever the path held before;
// a shutdown while it writes leaves the old content or the new, never zeros
// or a short file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cases.h"
#include "loop_mount.h"
#include "process.h"
#include "programs.h"
#include "tempdir.h"

namespace {

const support::FileSystem kFileSystems[] = {
    {"Ext4", "ext4", PLOM_MKFS_EXT4, {"-q", "-F"}, 96},
    {"Xfs", "xfs", PLOM_MKFS_XFS, {"-q", "-f"}, 300},  // XFS's smallest
};

constexpr int kRounds = 3;

struct Write {
  std::string what;
  std::string path;  // relative to the mount point
  std::vector<std::string> argv;
  std::string old_content;
  std::string new_content;
};

// About size bytes of lines, each naming name once.
std::string lines(size_t size, const std::string& name) {
  std::string text;
  for (int i = 0; text.size() < size; i++)
    text += "line " + std::to_string(i) + " " + name + " \xc3\xa9\xff\n";
  return text;
}

// Sets out the template: what the old output held, and its expansion with
// NAME=value.
void template_of(size_t size, const std::string& path, Write* w) {
  const std::string text = lines(size, "NAME");
  support::write_file(path, text);
  w->old_content = lines(size, "old");
  w->new_content.clear();
  for (size_t at = 0, name; at < text.size(); at = name + 4) {
    name = std::min(text.find("NAME", at), text.size());
    w->new_content.append(text, at, name - at);
    if (name < text.size())
      w->new_content += "value";
  }
}

std::vector<Write> writes(const support::TempDir& outside) {
  std::vector<Write> all;
  for (size_t size : {size_t{4} << 10, size_t{3} << 20}) {
    const std::string template_path = outside / ("template" + std::to_string(size));
    Write w = {"plom-template, " + std::to_string(size >> 10) + " KiB",
               "out\xc3\xa9",
               {PLOM_TEMPLATE_BIN, template_path, "out\xc3\xa9", "NAME=value"},
               "",
               ""};
    template_of(size, template_path, &w);
    all.push_back(w);
  }
  all.push_back({"plom-test run",
                 "r\xff",
                 {PLOM_TEST_BIN, "run", "r\xff", "sh", "-c", "exit 3"},
                 support::recorded(0),
                 support::recorded(768)});
  return all;
}

// What the file system holds besides its own directories.
std::vector<std::string> files_in(const support::LoopMount& mounted) {
  std::vector<std::string> names;
  for (const std::string& name : support::list_dir(mounted.point()))
    if (name != "lost+found")
      names.push_back(name);
  return names;
}

class PowerCut : public testing::TestWithParam<support::FileSystem> {
 protected:
  void SetUp() override {
    const support::FileSystem& fs = GetParam();
    if (geteuid() != 0)
      GTEST_SKIP() << "needs root to mount file systems";
    if (!*fs.mkfs)
      GTEST_SKIP() << "no mkfs for " << fs.type;
    const std::string why_not = mounted_.set_up(fs);
    if (!why_not.empty())
      GTEST_SKIP() << why_not;
    if (!mounted_.shut_down(false) || !mounted_.remount().empty())
      GTEST_SKIP() << fs.type << " cannot be shut down here";
  }

  // Lays down what the path held before (nothing when before is empty) on
  // an otherwise empty file system, on the disk for good.
  void lay(const Write& w, const std::optional<std::string>& before) {
    for (const std::string& name : files_in(mounted_))
      unlink(mounted_.path(name).c_str());
    if (before)
      support::write_file(mounted_.path(w.path), *before);
    mounted_.sync();
  }

  support::LoopMount mounted_{PLOM_MOUNT};
};

TEST_P(PowerCut, AfterExitNewFileWhole) {
  support::TempDir outside;
  for (int round = 0; round < kRounds; round++) {
    for (const Write& w : writes(outside)) {
      const std::optional<std::string> befores[] = {std::nullopt, "", w.old_content};
      for (const std::optional<std::string>& before : befores) {
        for (bool flush_log : {true, false}) {
          const std::string where =
              w.what +
              (before ? before->empty() ? " over an empty file" : " over an old one"
                      : " as a new file") +
              (flush_log ? ", journal written" : ", journal dropped");
          lay(w, before);
          support::Outcome got =
              support::run_in(mounted_.point(), w.argv[0], {w.argv.begin() + 1, w.argv.end()});
          ASSERT_EQ(got.exit_code(), 0) << where << ": " << got.err;
          ASSERT_TRUE(mounted_.shut_down(flush_log)) << where;
          ASSERT_EQ(mounted_.remount(), "") << where;
          const std::optional<std::string> after = support::read_file(mounted_.path(w.path));
          if (!after) {
            ADD_FAILURE() << where << ", round " << round << ": gone";
            continue;
          }
          EXPECT_TRUE(*after == w.new_content)
              << where << ", round " << round << ": " << after->size() << " bytes, "
              << std::count(after->begin(), after->end(), '\0') << " of them NUL, not the "
              << w.new_content.size() << " new ones";
          EXPECT_EQ(files_in(mounted_), std::vector<std::string>{w.path}) << where;
        }
      }
    }
  }
}

// Shut down while plom-template writes a few MiB, at several moments, over
// nothing, an empty file or an old one: the path holds what it held before
// or the new output, exactly. A temporary file may be left, as after any
// power cut during a write. Even a run that exits 0 may leave the old
// content, when the cut came between the rename and the directory's sync.
TEST_P(PowerCut, WhileWritingOldOrNew) {
  support::TempDir outside;
  const std::string template_path = outside / "template";
  Write w = {
      "plom-template", "out", {PLOM_TEMPLATE_BIN, template_path, "out", "NAME=value"}, "", ""};
  template_of(size_t{8} << 20, template_path, &w);
  const std::optional<std::string> befores[] = {std::nullopt, "", w.old_content};
  int cut_short = 0;
  for (int moment = 0; moment < 18; moment++) {
    const std::optional<std::string>& before = befores[moment % 3];
    const int ms = moment / 3 * 5;
    const bool flush_log = moment % 2 == 0;
    lay(w, before);
    support::Child child = support::start(
        support::launch_in(mounted_.point(), w.argv[0], {w.argv.begin() + 1, w.argv.end()}));
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    ASSERT_TRUE(mounted_.shut_down(flush_log));
    support::Outcome got = support::finish(child);
    if (got.exit_code() != 0)
      cut_short++;
    ASSERT_EQ(mounted_.remount(), "");
    const std::optional<std::string> after = support::read_file(mounted_.path(w.path));
    const std::string where = "shut down after " + std::to_string(ms) + " ms, " +
                              (before ? std::to_string(before->size()) + " bytes before"
                                      : std::string("no file before")) +
                              (flush_log ? ", journal written" : ", journal dropped");
    EXPECT_TRUE(after == before || after == w.new_content)
        << where << ": " << (after ? std::to_string(after->size()) : "no file") << " bytes, "
        << (after ? std::count(after->begin(), after->end(), '\0') : 0) << " of them NUL";
  }
  // Some moments fall inside the write, or the test tries nothing.
  EXPECT_GT(cut_short, 0);
}

INSTANTIATE_TEST_SUITE_P(, PowerCut, testing::ValuesIn(kFileSystems), support::CaseName());

}  // namespace
