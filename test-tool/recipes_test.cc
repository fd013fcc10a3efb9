// The recipes for plom-test in the README and plom-test(1), run as a user
// would run them: each test takes the recipe's text from the README.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "process.h"
#include "recipes.h"
#include "tempdir.h"

namespace {

using support::run_script;

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    n++;
  return n;
}

// Twelve tests under the README's Makefile. Tests 3, 7 and 9 fail (exit 1,
// exit 3, SIGTERM) until the file "fixed" exists; every test says so on both
// streams and notes in "runs" that it ran.
void lay_out_suite(const support::TempDir& dir) {
  support::write_file(dir / "Makefile", support::readme_recipe("make-suite"));
  support::write_file(dir / "myprog", "the program under test");
  ASSERT_EQ(mkdir((dir / "t").c_str(), 0777), 0);
  for (int i = 0; i < 12; i++) {
    const std::string n = std::to_string(i);
    std::string script = "echo test" + n + " >> runs\necho out-" + n + "\necho err-" + n + " >&2\n";
    if (i == 3)
      script += "[ -e fixed ] || exit 1\n";
    if (i == 7)
      script += "[ -e fixed ] || exit 3\n";
    if (i == 9)
      script += "[ -e fixed ] || kill -TERM $$\n";
    if (i == 11)
      script += "seq 1 2000 >/dev/null; printf 'no newline'\n";
    support::write_file(dir / ("t/test" + n + ".sh"), script);
  }
}

size_t runs(const support::TempDir& dir) {
  return count(support::read_file(dir / "runs").value_or(""), "\n");
}

TEST(Recipe, MakeSuiteNamesEachFailure) {
  support::TempDir dir;
  lay_out_suite(dir);
  support::Outcome got = run_script(dir, "make -s -j4");

  EXPECT_EQ(got.exit_code(), 2);  // make's own status for a failed recipe
  // Tests run in parallel, so their lines may come in any order.
  for (int i = 0; i < 12; i++) {
    const std::string n = std::to_string(i);
    EXPECT_NE(got.out.find("out-" + n + "\n"), std::string::npos) << n;
    EXPECT_NE(got.err.find("err-" + n + "\n"), std::string::npos) << n;
  }
  EXPECT_NE(got.out.find("no newline"), std::string::npos);
  for (const char* failed : {"t/test3.sh", "t/test7.sh", "t/test9.sh"})
    EXPECT_NE(got.out.find(std::string("FAIL: ") + failed + "\n"), std::string::npos) << failed;
  EXPECT_EQ(count(got.out, "FAIL: "), 3u);
  EXPECT_NE(got.err.find("\nFailed 3/12 tests\n"), std::string::npos) << got.err;
  EXPECT_EQ(runs(dir), 12u);

  // Nothing changed: no test runs, the verdict stands.
  got = run_script(dir, "make -s -j4");
  EXPECT_EQ(got.out, "");
  EXPECT_EQ(got.err.find("Failed 3/12 tests\n"), 0u) << got.err;
  EXPECT_EQ(runs(dir), 12u);

  // The program under test was rebuilt: every test runs again.
  support::write_file(dir / "myprog", "rebuilt");
  support::make_newer(dir / "myprog");
  got = run_script(dir, "make -s -j4");
  EXPECT_EQ(count(got.out, "FAIL: "), 3u);
  EXPECT_EQ(runs(dir), 24u);
}

TEST(Recipe, ListAndRerunTheFailedTests) {
  support::TempDir dir;
  lay_out_suite(dir);
  run_script(dir, "make -s -j4");
  const std::string failed = "t/test3.result\nt/test7.result\nt/test9.result\n";
  support::Outcome listed = run_script(dir, support::readme_recipe("list-failed"));
  EXPECT_EQ(listed.out, failed);
  EXPECT_EQ(listed.err, "");
  EXPECT_EQ(run_script(dir, support::readme_recipe("list-failed-by-text")).out, failed);
  // A result that is missing is a failure too; the text match cannot see it.
  ASSERT_EQ(unlink((dir / "t/test5.result").c_str()), 0);
  EXPECT_EQ(run_script(dir, support::readme_recipe("list-failed")).out,
            "t/test3.result\nt/test5.result\nt/test7.result\nt/test9.result\n");
  EXPECT_EQ(run_script(dir, support::readme_recipe("list-failed-by-text")).out, failed);

  // Fixed, and run again: only the four without a passing result run.
  support::write_file(dir / "fixed", "");
  support::Outcome rerun = run_script(dir, support::readme_recipe("rerun-failed"));
  EXPECT_EQ(rerun.exit_code(), 0) << rerun.err;
  EXPECT_EQ(rerun.err.substr(rerun.err.size() - 20), "Passed all 12 tests\n");
  EXPECT_EQ(runs(dir), 16u);
  EXPECT_EQ(run_script(dir, support::readme_recipe("list-failed")).out, "");

  // A file that check reads as passed but whose text differs: the text
  // match is not enough for files not written by run.
  support::write_file(dir / "t/test0.result", "[test-result]\nexit-status = 0\n");
  EXPECT_EQ(run_script(dir, support::readme_recipe("list-failed")).out, "");
  EXPECT_EQ(run_script(dir, support::readme_recipe("list-failed-by-text")).out, "t/test0.result\n");
}

// A test that cannot start must not leave an earlier pass to be read.
TEST(Recipe, XargsReadsNoStalePass) {
  support::TempDir dir;
  ASSERT_EQ(mkdir((dir / "t").c_str(), 0777), 0);
  support::write_file(dir / "t/a.sh", "#!/bin/sh\nexit 0\n");
  support::write_file(dir / "t/b.sh", "#!/bin/sh\nexit 1\n");
  support::write_file(dir / "t/c.sh", "#!/bin/sh\nexit 0\n");
  chmod((dir / "t/a.sh").c_str(), 0755);
  chmod((dir / "t/b.sh").c_str(), 0755);
  chmod((dir / "t/c.sh").c_str(), 0644);  // cannot be started
  support::write_file(dir / "t/c.sh.result", "[test-result]\nexit-status=0\n");
  support::Outcome got = run_script(dir, support::readme_recipe("xargs"));
  EXPECT_EQ(got.exit_code(), 1);
  EXPECT_NE(got.err.find("Failed to run command: Failed to execute child process "
                         "\xe2\x80\x9ct/c.sh\xe2\x80\x9d (Permission denied)\n"),
            std::string::npos)
      << got.err;
  EXPECT_EQ(got.err.substr(got.err.find("Failed to load")),
            "Failed to load results t/c.sh.result: No such file or directory\n");
}

TEST(Recipe, TimeLimitRecordsTheKill) {
  support::TempDir dir;
  support::write_file(dir / "t", "#!/bin/sh\nsleep 5\n");
  chmod((dir / "t").c_str(), 0755);
  std::string script = support::readme_recipe("time-limit");
  script.replace(script.find("timeout 60"), 10, "timeout 1");  // a shorter wait here
  auto start = std::chrono::steady_clock::now();
  support::Outcome got = run_script(dir, script);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(got.exit_code(), 0);
  EXPECT_EQ(support::read_file(dir / "t.result"), "[test-result]\nexit-status=31744\n");
}

TEST(Recipe, KilledRunLeavesNoResult) {
  support::TempDir dir;
  support::Launch launch =
      support::launch_in(dir.path(), PLOM_TEST_BIN, {"run", "t.result", "sleep", "2"});
  support::Child child = support::start(launch);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  kill(child.pid, SIGTERM);
  support::finish(child);
  support::Outcome got = run_script(dir, "plom-test check t.result");
  EXPECT_EQ(got.exit_code(), 1);
  EXPECT_EQ(got.err, "Failed to load results t.result: No such file or directory\n");
}

TEST(Recipe, LogKeepsBothStreams) {
  support::TempDir dir;
  support::write_file(dir / "t", "#!/bin/sh\necho out\necho err >&2\nexit 2\n");
  chmod((dir / "t").c_str(), 0755);
  support::Outcome got = run_script(dir, support::readme_recipe("log"));
  EXPECT_EQ(got.exit_code(), 0);
  EXPECT_EQ(got.out + got.err, "");
  EXPECT_EQ(support::read_file(dir / "t.log"), "out\nerr\n");
  EXPECT_EQ(support::read_file(dir / "t.result"), "[test-result]\nexit-status=512\n");
}

// The hosts are this machine alone here (":"), the form parallel runs
// without ssh.
TEST(Recipe, ParallelBringsEveryResultBack) {
  if (std::string(PLOM_PARALLEL).empty())
    GTEST_SKIP() << "GNU parallel is not installed";
  support::TempDir dir;
  ASSERT_EQ(mkdir((dir / "t").c_str(), 0777), 0);
  for (int i = 0; i < 6; i++)
    support::write_file(dir / ("t/test" + std::to_string(i) + ".sh"),
                        i == 4 ? "exit 1\n" : "exit 0\n");
  support::write_file(dir / "t/test5.result", "[test-result]\nexit-status=256\n");  // stale
  std::string script = support::readme_recipe("parallel");
  script.replace(script.find("--sshlogin :,host1,host2"), 24, "--sshlogin :");
  support::Outcome got = run_script(dir, script);
  EXPECT_EQ(got.exit_code(), 1);
  EXPECT_EQ(got.err.substr(got.err.rfind("Failed")), "Failed 1/6 tests\n") << got.err;
  for (int i = 0; i < 6; i++)
    EXPECT_TRUE(support::read_file(dir / ("t/test" + std::to_string(i) + ".sh"))) << i;
}

// At scale: every result read, the verdict and the per-test lines right,
// and nothing run again while nothing changed. Each test starts two
// programs, several times slower under the sanitizers: a smaller suite
// there keeps well inside the time limit on a loaded machine.
TEST(Recipe, MakeSuiteOfThousands) {
  const int tests = support::sanitized() ? 500 : 2000;
  support::TempDir dir;
  support::write_file(dir / "Makefile", support::readme_recipe("make-suite"));
  support::write_file(dir / "myprog", "");
  ASSERT_EQ(mkdir((dir / "t").c_str(), 0777), 0);
  for (int i = 0; i < tests; i++)
    support::write_file(dir / ("t/" + std::to_string(i) + ".sh"),
                        i % 100 == 42 ? "echo >> runs\nexit 1\n" : "echo >> runs\n");
  const std::string verdict =
      "Failed " + std::to_string(tests / 100) + "/" + std::to_string(tests) + " tests\n";
  auto start = std::chrono::steady_clock::now();
  support::Outcome got = run_script(dir, "make -s -j4");
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  EXPECT_EQ(got.exit_code(), 2);
  EXPECT_EQ(got.err.substr(0, got.err.find('\n') + 1), verdict);
  EXPECT_EQ(count(got.out, "FAIL: t/"), static_cast<size_t>(tests / 100));
  EXPECT_NE(got.out.find("FAIL: t/442.sh\n"), std::string::npos);
  EXPECT_EQ(runs(dir), static_cast<size_t>(tests));

  got = run_script(dir, "make -s -j4");
  EXPECT_EQ(got.out, "");
  EXPECT_EQ(got.err.substr(0, got.err.find('\n') + 1), verdict);
  EXPECT_EQ(runs(dir), static_cast<size_t>(tests));
  RecordProperty("milliseconds", static_cast<int>(ms.count()));
  std::printf("%d tests under make -j4: %lld ms\n", tests, static_cast<long long>(ms.count()));
}

}  // namespace
