// plom-template reads and writes in pieces, yet fails in the words GLib's
// whole-file calls use. Each case runs GLib's calls (glib-template) and
// plom-template under the same conditions, each in a fresh directory laid out
// alike, and compares status, messages and what is left behind.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

#include <string>
#include <utility>
#include <vector>

#include "cases.h"
#include "expect.h"
#include "nobody.h"
#include "process.h"
#include "tempdir.h"

namespace {

using support::Files;

enum class Condition {
  kNone,
  kUnprivileged,  // run as nobody when root, so that permissions hold
  kFullDisk,      // the output directory "m" is a 64 KiB tmpfs (root only)
  kReadOnly,      // "m" is a read-only tmpfs (root only)
  kSizeLimit,     // RLIMIT_FSIZE of 64 KiB, SIGXFSZ ignored
};

struct ErrorCase {
  const char* name;
  Files before;
  std::vector<std::pair<std::string, mode_t>> modes;
  std::vector<std::string> args;
  Condition condition = Condition::kNone;
};

const std::string kBig(1 << 20, 'x');
const std::string kLong(300, 'n');
// A valid name whose temporary file name (six more bytes) is too long.
const std::string kAlmostTooLong(250, 'n');

const ErrorCase kCases[] = {
    {"MissingTemplate", {{"o", "old"}}, {}, {"missing", "o"}},
    {"TemplateIsDirectory", {{"d/", ""}}, {}, {"d", "o"}},
    {"TemplateErrorComesFirst", {{"d/", ""}}, {}, {"d", "missing/o"}},
    {"TemplateNameTooLong", {}, {}, {kLong, "o"}},
    {"UnreadableTemplate", {{"t", "x"}}, {{"t", 0}}, {"t", "o"}, Condition::kUnprivileged},
    {"OutputInMissingDirectory", {{"t", "x"}}, {}, {"t", "missing/o"}},
    {"OutputIsDirectory", {{"t", "x"}, {"d/", ""}}, {}, {"t", "d"}},
    {"OutputNameTooLong", {{"t", "x"}}, {}, {"t", kLong}},
    {"TemporaryNameTooLong", {{"t", "x"}}, {}, {"t", kAlmostTooLong}},
    {"UnwritableDirectory",
     {{"t", "x"}, {"d/", ""}},
     {{"d", 0555}},
     {"t", "d/o"},
     Condition::kUnprivileged},
    {"FileSizeLimit", {{"t", kBig}, {"o", "old"}}, {}, {"t", "o"}, Condition::kSizeLimit},
    {"FullDisk", {{"t", kBig}, {"m/", ""}}, {}, {"t", "m/o"}, Condition::kFullDisk},
    {"ReadOnlyFileSystem", {{"t", "x"}, {"m/", ""}}, {}, {"t", "m/o"}, Condition::kReadOnly},
};

bool needs_root(Condition condition) {
  return condition == Condition::kFullDisk || condition == Condition::kReadOnly;
}

// Set up in the child, after it has moved into the case's directory.
bool enter(Condition condition) {
  switch (condition) {
    case Condition::kNone: return true;
    case Condition::kUnprivileged: return support::become_nobody();
    case Condition::kFullDisk:
    case Condition::kReadOnly: {
      // A mount of our own, seen by this process only.
      const unsigned long flags = condition == Condition::kReadOnly ? MS_RDONLY : 0;
      return unshare(CLONE_NEWNS) == 0 &&
             mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
             mount("plom-test", "m", "tmpfs", flags, "size=64k") == 0;
    }
    case Condition::kSizeLimit: {
      const struct rlimit limit = {64 << 10, 64 << 10};
      signal(SIGXFSZ, SIG_IGN);
      return setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
  }
  return false;
}

struct Result {
  support::Outcome outcome;
  Files left;
};

Result run_case(const ErrorCase& c, const char* program) {
  support::TempDir bin;
  const std::string runnable =
      c.condition == Condition::kUnprivileged ? support::runnable_by_all(bin, program) : program;
  support::TempDir dir;
  chmod(dir.path().c_str(), 0777);
  support::lay_out(dir, c.before);
  for (const auto& [name, mode] : c.modes)
    chmod((dir / name).c_str(), mode);
  support::Launch launch = support::launch_in(dir.path(), runnable, c.args);
  const Condition condition = c.condition;
  launch.in_child = [condition] { return enter(condition); };
  Result result{support::run(launch), {}};
  for (const auto& [name, mode] : c.modes)
    chmod((dir / name).c_str(), 0755);
  if (!needs_root(c.condition))
    result.left = support::contents(dir);
  return result;
}

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class FileError : public testing::TestWithParam<ErrorCase> {};

TEST_P(FileError, AsGLib) {
  const ErrorCase& c = GetParam();
  if (needs_root(c.condition) && geteuid() != 0)
    GTEST_SKIP() << "needs root to mount a small or read-only file system";
  Result glib = run_case(c, PLOM_GLIB_TEMPLATE_BIN);
  if (glib.outcome.exit_code() == 125)
    GTEST_SKIP() << "this machine does not let the case be set up";
  Result ours = run_case(c, PLOM_TEMPLATE_BIN);

  ASSERT_EQ(glib.outcome.exit_code(), 1) << "GLib's calls did not fail: " << glib.outcome.err;
  ASSERT_EQ(glib.outcome.err.rfind("Failed to ", 0), 0u) << glib.outcome.err;
  EXPECT_EQ(ours.outcome.exit_code(), 1);
  EXPECT_EQ(ours.outcome.out, "");
  EXPECT_EQ(support::normalise_temp_names(ours.outcome.err),
            support::normalise_temp_names(glib.outcome.err));
  EXPECT_EQ(ours.left, glib.left);  // the earlier output kept, no temporary file
}

INSTANTIATE_TEST_SUITE_P(, FileError, testing::ValuesIn(kCases), support::CaseName());

}  // namespace
