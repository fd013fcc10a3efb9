// plom-test run, end to end through the built program.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

#include <glib.h>

#include <optional>
#include <string>
#include <vector>

#include "cases.h"
#include "expect.h"
#include "nodes.h"
#include "process.h"
#include "programs.h"
#include "recipes.h"
#include "tempdir.h"

namespace {

using support::recorded;

const char kUsage[] =
    "Usage:\n"
    "  plom run result-file command\n"
    "  plom check result-files...\n";

// GLib's message for a program that cannot be started.
std::string not_started(const std::string& program, const char* reason) {
  return "Failed to run command: Failed to execute child process \xe2\x80\x9c" + program +
         "\xe2\x80\x9d (" + reason + ")\n";
}

const char kNoEntry[] = "No such file or directory";

struct RunCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string err;                                    // XXXXXX matches a temporary name
  std::optional<std::string> result;                  // content of "r" afterwards, or absent
  std::optional<std::string> earlier = std::nullopt;  // "r" before the run
  std::string stdin_text = "";
  bool ignore_sigchld = false;
};

const RunCase kCases[] = {
    {"NoCommandWord", {}, 1, "", kUsage, std::nullopt},
    {"UpperCaseWord", {"RUN", "r", "true"}, 1, "", kUsage, std::nullopt},
    {"LongerWord", {"runs", "r", "true"}, 1, "", kUsage, std::nullopt},
    {"EmptyWord", {"", "r", "true"}, 1, "", kUsage, std::nullopt},
    {"RunAlone", {"run"}, 1, "", kUsage, std::nullopt},
    {"RunWithoutCommand", {"run", "r"}, 1, "", kUsage, std::nullopt},
    {"CheckAlone", {"check"}, 1, "", kUsage, std::nullopt},
    {"Passes", {"run", "r", "true"}, 0, "", "", recorded(0)},
    {"FailsWithCodeOne", {"run", "r", "false"}, 0, "", "", recorded(256)},
    {"FailsWithCodeThree", {"run", "r", "sh", "-c", "exit 3"}, 0, "", "", recorded(768)},
    {"KilledBySignal", {"run", "r", "sh", "-c", "kill -TERM $$"}, 0, "", "", recorded(15)},
    {"ReplacesEarlierResult", {"run", "r", "false"}, 0, "", "", recorded(256), recorded(0)},
    {"HelpIsATestCommand",
     {"run", "r", "--help"},
     1,
     "",
     not_started("--help", kNoEntry),
     std::nullopt},
    {"StartFailureKeepsEarlierResult",
     {"run", "r", "no-such-plom-program"},
     1,
     "",
     not_started("no-such-plom-program", kNoEntry),
     recorded(0),
     recorded(0)},
    {"NotExecutable",
     {"run", "r", "/etc/passwd"},
     1,
     "",
     not_started("/etc/passwd", "Permission denied"),
     std::nullopt},
    {"InvalidUtf8ProgramName",
     {"run", "r", "no-such-\xff\xc3\xa9-program"},
     1,
     "",
     not_started("no-such-\xff\xc3\xa9-program", kNoEntry),
     std::nullopt},
    {"WriteFailureAfterTheTestRan",
     {"run", "missing/r", "sh", "-c", "echo ran"},
     1,
     "ran\n",
     "Failed to write results: Failed to create file "
     "\xe2\x80\x9cmissing/r.XXXXXX\xe2\x80\x9d: No such file or directory\n",
     std::nullopt},
    {"FormatDirectivesInFailedPath",
     {"run", "no-%s%n-\xff/r", "true"},
     1,
     "",
     "Failed to write results: Failed to create file "
     "\xe2\x80\x9cno-%s%n-\xef\xbf\xbd/r.XXXXXX\xe2\x80\x9d: No such file or directory\n",
     std::nullopt},
    {"TestClosesItsOutput",
     {"run", "r", "sh", "-c", "exec >&- 2>&-; exit 4"},
     0,
     "",
     "",
     recorded(1024)},
    {"TestKillsItselfWithCore",
     {"run", "r", "sh", "-c", "ulimit -c 0; kill -SEGV $$"},
     0,
     "",
     "",
     recorded(11)},
    {"WordsReachTheProgramUnchanged",
     {"run", "r", "sh", "-c", "printf '<%s>' \"$@\"", "sh", "a b", "\"q\"", "'s'", "$HOME", "*", "",
      "-x", "\xff\xfe"},
     0,
     "<a b><\"q\"><'s'><$HOME><*><><-x><\xff\xfe>",
     "",
     recorded(0)},
    {"OutputGoesStraightThrough",
     {"run", "r", "sh", "-c", "echo out; echo err >&2; exit 1"},
     0,
     "out\n",
     "err\n",
     recorded(256)},
    {"StdinIsAtEndOfFile",
     {"run", "r", "sh", "-c", "cat; echo end"},
     0,
     "end\n",
     "",
     recorded(0),
     std::nullopt,
     "data the test must not see\n"},
    // Descriptor 3 is the directory the shell reads to list them.
    {"OnlyStandardDescriptorsInherited",
     {"run", "r", "sh", "-c", "cd /proc/$$/fd && echo *"},
     0,
     "0 1 2 3\n",
     "",
     recorded(0)},
    {"IgnoredSigchldStillRecordsFailure",
     {"run", "r", "false"},
     0,
     "",
     "",
     recorded(256),
     std::nullopt,
     "",
     true},
    {"IgnoredSigchldStillRecordsSignal",
     {"run", "r", "sh", "-c", "kill -KILL $$"},
     0,
     "",
     "",
     recorded(9),
     std::nullopt,
     "",
     true},
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

class RunTest : public testing::TestWithParam<RunCase> {};

TEST_P(RunTest, Behaves) {
  const RunCase& c = GetParam();
  support::TempDir dir;
  if (c.earlier)
    support::write_file(dir / "r", *c.earlier);
  support::Launch launch = support::launch_in(dir.path(), PLOM_TEST_BIN, c.args);
  launch.stdin_text = c.stdin_text;
  launch.ignore_sigchld = c.ignore_sigchld;
  support::Outcome got = support::run(launch);

  EXPECT_EQ(got.exit_code(), c.status);
  EXPECT_EQ(got.out, c.out);
  EXPECT_TRUE(support::matches(c.err, got.err)) << "stderr: " << got.err;
  EXPECT_EQ(support::read_file(dir / "r"), c.result);
  // Nothing but the result file (and what the case put there) is left.
  std::vector<std::string> left = dir.entries();
  std::vector<std::string> expected_left;
  if (c.result)
    expected_left.push_back("r");
  EXPECT_EQ(left, expected_left);
}

INSTANTIATE_TEST_SUITE_P(, RunTest, testing::ValuesIn(kCases), support::CaseName());

TEST(Run, WaitsForItsChildOnly) {
  support::TempDir dir;
  gint64 start = g_get_monotonic_time();
  support::Outcome got = support::run_plom_test(dir, {"run", "r", "sh", "-c", "sleep 5 & exit 3"});
  EXPECT_LT(g_get_monotonic_time() - start, 4 * G_USEC_PER_SEC);
  EXPECT_EQ(got.exit_code(), 0);
  EXPECT_EQ(support::read_file(dir / "r"), recorded(768));
}

TEST(Run, ResultPathIsADirectory) {
  support::TempDir dir;
  ASSERT_EQ(mkdir((dir / "d").c_str(), 0777), 0);
  support::Outcome got = support::run_plom_test(dir, {"run", "d", "true"});
  EXPECT_EQ(got.exit_code(), 1);
  EXPECT_TRUE(
      support::matches("Failed to write results: Failed to rename file \xe2\x80\x9c"
                       "d.XXXXXX\xe2\x80\x9d to "
                       "\xe2\x80\x9c"
                       "d\xe2\x80\x9d: g_rename() failed: Is a directory\n",
                       got.err))
      << got.err;
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"d"});
}

TEST(Run, ReplacesSymlinkAndLeavesItsTarget) {
  for (const char* target : {"target", "dangling"}) {
    support::TempDir dir;
    support::write_file(dir / "target", "kept");
    ASSERT_EQ(symlink(target, (dir / "r").c_str()), 0);
    support::Outcome got = support::run_plom_test(dir, {"run", "r", "false"});
    EXPECT_EQ(got.exit_code(), 0);
    struct stat st;
    ASSERT_EQ(lstat((dir / "r").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << target;
    EXPECT_EQ(support::read_file(dir / "r"), recorded(256));
    EXPECT_EQ(support::read_file(dir / "target"), "kept");
  }
}

TEST(Run, ResultPathWithNonAsciiBytes) {
  support::TempDir dir;
  const std::string name = "r-\xc3\xa9-\xff";
  support::Outcome got = support::run_plom_test(dir, {"run", name, "sh", "-c", "exit 2"});
  EXPECT_EQ(got.exit_code(), 0);
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(support::read_file(dir / name), recorded(512));
}

// Past a file-size limit the result cannot be written: that is reported,
// the earlier result stays, and no temporary file is left.
TEST(Run, FileSizeLimit) {
  support::TempDir dir;
  support::write_file(dir / "r", recorded(0));
  // The messages go through a pipe, which the limit does not apply to.
  support::Outcome got = support::run_script(
      dir, "(ulimit -f 0; plom-test run r true; echo \"status $?\") 2>&1 | cat >&2");
  EXPECT_TRUE(
      support::matches("Failed to write results: Failed to write file \xe2\x80\x9c"
                       "r.XXXXXX\xe2\x80\x9d: write() failed: File too large\n"
                       "status 1\n",
                       got.err))
      << got.err;
  EXPECT_EQ(support::read_file(dir / "r"), recorded(0));
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"r"});
}

// The test starts with the signal dispositions and mask it would have had if
// its caller had started it: ignored stays ignored, blocked stays blocked,
// even for the signals that spawning sets back to their defaults and for
// SIGXFSZ, which run ignores once the test has ended.
TEST(Run, TestStartsAsIfStartedDirectly) {
  struct Caller {
    const char* name;
    int ignored;  // 0 for none
    int blocked;
  };
  const Caller kCallers[] = {
      {"nothing", 0, 0},
      {"HUP", SIGHUP, 0},
      {"INT", SIGINT, 0},
      {"PIPE", SIGPIPE, 0},
      {"TERM", SIGTERM, 0},
      {"CHLD", SIGCHLD, 0},
      {"QUIT", SIGQUIT, 0},
      {"USR1", SIGUSR1, 0},
      {"XFSZ", SIGXFSZ, 0},
      {"blocked USR2", 0, SIGUSR2},
      {"HUP, blocked TERM", SIGHUP, SIGTERM},
  };
  for (const Caller& c : kCallers) {
    support::TempDir dir;
    auto run_as_caller = [&](const std::string& program, const std::vector<std::string>& args) {
      support::Launch launch = support::launch_in(dir.path(), program, args);
      launch.in_child = [c] {
        sigset_t set;
        sigemptyset(&set);
        if (c.blocked)
          sigaddset(&set, c.blocked);
        return (c.ignored == 0 || signal(c.ignored, SIG_IGN) != SIG_ERR) &&
               sigprocmask(SIG_BLOCK, &set, nullptr) == 0;
      };
      return support::run(launch);
    };
    const std::vector<std::string> show = {"/bin/grep", "-E", "^Sig(Blk|Ign)", "/proc/self/status"};
    support::Outcome direct = run_as_caller(show[0], {show.begin() + 1, show.end()});
    ASSERT_EQ(direct.exit_code(), 0) << direct.err;
    std::vector<std::string> through = {"run", "r"};
    through.insert(through.end(), show.begin(), show.end());
    support::Outcome got = run_as_caller(PLOM_TEST_BIN, through);
    EXPECT_EQ(got.exit_code(), 0) << got.err;
    EXPECT_EQ(got.out, direct.out) << "caller ignores or blocks " << c.name;
    EXPECT_EQ(support::read_file(dir / "r"), recorded(0)) << c.name;
  }
}

// A suite started under nohup: the test that sends itself SIGHUP survives,
// as it does when started directly, and a caller ignoring SIGCHLD still
// has the test's own status recorded.
TEST(Run, NohupTestSurvivesHangUp) {
  support::TempDir dir;
  support::Launch launch = support::launch_in(
      dir.path(), PLOM_TEST_BIN, {"run", "r", "sh", "-c", "kill -HUP $$; echo survived; exit 3"});
  launch.ignore_sigchld = true;
  launch.in_child = [] { return signal(SIGHUP, SIG_IGN) != SIG_ERR; };
  support::Outcome got = support::run(launch);
  EXPECT_EQ(got.exit_code(), 0) << got.err;
  EXPECT_EQ(got.out, "survived\n");
  EXPECT_EQ(support::read_file(dir / "r"), recorded(768));
}

// A device, FIFO or socket at the result path is left alone, even for root;
// the test has run by then.
TEST(Run, NeverReplacesASpecialNode) {
  using support::Node;
  for (Node kind : {Node::kFifo, Node::kSocket, Node::kCharacterDevice, Node::kBlockDevice}) {
    support::TempDir dir;
    if (!support::make_node(dir / "r", kind))
      continue;  // device nodes need root
    support::Outcome got = support::run_plom_test(dir, {"run", "r", "sh", "-c", "echo ran"});
    const std::string words = support::node_words(kind);
    EXPECT_EQ(got.exit_code(), 1) << words;
    EXPECT_EQ(got.out, "ran\n");
    EXPECT_EQ(got.err,
              "Failed to write results: Refusing to replace \xe2\x80\x9cr\xe2\x80\x9d: it is " +
                  words + "\n");
    EXPECT_TRUE(support::is_node(dir / "r", kind)) << words;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"r"});
  }
}

}  // namespace
