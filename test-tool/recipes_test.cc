// The recipes for plom-test in the README and plom-test(1), run as a user
// would run them: each test takes the recipe's text from the README.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <csignal>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "expect.h"
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
// SIGTERM, hanging past the time limit) until the file "fixed" exists; every
// test says so on both streams and notes in "runs" that it ran.
void lay_out_suite(const support::TempDir& dir) {
  support::write_file(dir / "Makefile", support::doc_recipe("make-suite"));
  support::write_file(dir / "myprog", "the program under test");
  ASSERT_EQ(mkdir((dir / "t").c_str(), 0777), 0);
  for (int i = 0; i < 12; i++) {
    const std::string n = std::to_string(i);
    std::string script = "echo test" + n + " >> runs\necho out-" + n + "\necho err-" + n + " >&2\n";
    if (i == 3)
      script += "[ -e fixed ] || exit 1\n";
    if (i == 7)
      script += "[ -e fixed ] || kill -TERM $$\n";
    if (i == 9)
      script += "[ -e fixed ] || sleep 30\n";
    if (i == 11)
      script += "seq 1 2000 >/dev/null; printf 'no newline'\n";
    support::write_file(dir / ("t/test" + n + ".sh"), script);
  }
}

// make, with each test limited to a second rather than the recipe's minute.
const char kMake[] = "make -s -j4 LIMIT=1";

size_t runs(const support::TempDir& dir) {
  return count(support::read_file(dir / "runs").value_or(""), "\n");
}

TEST(Recipe, MakeSuiteNamesEachFailure) {
  support::TempDir dir;
  lay_out_suite(dir);
  support::Outcome got = run_script(dir, kMake);

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
  // Exit code 1, SIGTERM, and the time limit's kill (exit code 124).
  EXPECT_EQ(support::read_file(dir / "t/test3.result"), "[test-result]\nexit-status=256\n");
  EXPECT_EQ(support::read_file(dir / "t/test7.result"), "[test-result]\nexit-status=15\n");
  EXPECT_EQ(support::read_file(dir / "t/test9.result"), "[test-result]\nexit-status=31744\n");

  // Nothing changed: no test runs, the verdict stands.
  got = run_script(dir, kMake);
  EXPECT_EQ(got.out, "");
  EXPECT_EQ(got.err.find("Failed 3/12 tests\n"), 0u) << got.err;
  EXPECT_EQ(runs(dir), 12u);

  // The program under test was rebuilt: every test runs again.
  support::write_file(dir / "myprog", "rebuilt");
  support::make_newer(dir / "myprog");
  got = run_script(dir, kMake);
  EXPECT_EQ(count(got.out, "FAIL: "), 3u);
  EXPECT_EQ(runs(dir), 24u);
}

// The README shows what make prints for twelve quiet tests, three failing:
// the same lines, in any order, and nothing else.
TEST(Recipe, MakeSuitePrintsWhatTheReadmeShows) {
  support::TempDir dir;
  support::write_file(dir / "Makefile", support::doc_recipe("make-suite"));
  support::write_file(dir / "myprog", "");
  ASSERT_EQ(mkdir((dir / "t").c_str(), 0777), 0);
  for (int i = 0; i < 12; i++)
    support::write_file(dir / ("t/test" + std::to_string(i) + ".sh"),
                        i == 3 || i == 7 || i == 9 ? "exit 1\n" : "exit 0\n");
  const std::string shown = support::doc_block("output", "make-suite");
  const std::string command = shown.substr(0, shown.find('\n') + 1);
  ASSERT_EQ(command, "$ make -s -j4\n");
  support::Outcome got = run_script(dir, command.substr(2));
  EXPECT_EQ(got.exit_code(), 2);
  EXPECT_EQ(support::sorted_lines(got.out + got.err),
            support::sorted_lines(shown.substr(command.size())));
}

TEST(Recipe, ListAndRerunTheFailedTests) {
  support::TempDir dir;
  lay_out_suite(dir);
  run_script(dir, kMake);
  const std::string failed = "t/test3.result\nt/test7.result\nt/test9.result\n";
  support::Outcome listed = run_script(dir, support::doc_recipe("list-failed"));
  EXPECT_EQ(listed.out, failed);
  EXPECT_EQ(listed.err, "");
  EXPECT_EQ(run_script(dir, support::doc_recipe("list-failed-by-text")).out, failed);
  // A result that is missing is a failure too; the text match cannot see it.
  ASSERT_EQ(unlink((dir / "t/test5.result").c_str()), 0);
  EXPECT_EQ(run_script(dir, support::doc_recipe("list-failed")).out,
            "t/test3.result\nt/test5.result\nt/test7.result\nt/test9.result\n");
  EXPECT_EQ(run_script(dir, support::doc_recipe("list-failed-by-text")).out, failed);

  // Without plom-test on PATH no test is listed: the shell's message, once.
  support::Launch launch =
      support::launch_in(dir.path(), "/bin/sh", {"-c", support::doc_recipe("list-failed")});
  launch.env = {"PATH=" + (dir / "no-such-dir")};
  support::Outcome missing = support::run(launch);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(count(missing.err, "\n"), 1u) << missing.err;
  EXPECT_NE(missing.err.find(": plom-test: not found\n"), std::string::npos) << missing.err;

  // Fixed, and run again: only the four without a passing result run.
  support::write_file(dir / "fixed", "");
  support::Outcome rerun = run_script(dir, support::doc_recipe("rerun-failed"));
  EXPECT_EQ(rerun.exit_code(), 0) << rerun.err;
  EXPECT_EQ(rerun.err.substr(rerun.err.size() - 20), "Passed all 12 tests\n");
  EXPECT_EQ(runs(dir), 16u);
  EXPECT_EQ(run_script(dir, support::doc_recipe("list-failed")).out, "");

  // A file that check reads as passed but whose text differs: the text
  // match is not enough for files not written by run.
  support::write_file(dir / "t/test0.result", "[test-result]\nexit-status = 0\n");
  EXPECT_EQ(run_script(dir, support::doc_recipe("list-failed")).out, "");
  EXPECT_EQ(run_script(dir, support::doc_recipe("list-failed-by-text")).out, "t/test0.result\n");
}

// Tests whose names hold what XML or TAP reads specially. Each: the script's
// name less ".sh", its text, its name in the JUnit XML, its failure message
// there (empty when it passed), and its description in the TAP. They are
// listed in the order of their names' bytes, the shell's order under LC_ALL=C.
struct Awkward {
  std::string stem, script, xml_name, failure, tap_name;
};
const std::vector<Awkward> kAwkward = {
    {"# TODO later", "exit 1\n", "t/# TODO later", "exit code 1", "t/\\# TODO later"},
    {"a<b&c>d", "exit 0\n", "t/a<b&c>d", "", "t/a<b&c>d"},
    {"back\\nslash", "exit 1\n", "t/back\\nslash", "exit code 1", "t/back\\\\nslash"},
    {"bad\xff\xc0\xaf\xed\xa0\x80 end", "exit 2\n", "t/bad?????? end", "exit code 2",
     "t/bad\xff\xc0\xaf\xed\xa0\x80 end"},
    {"ctl\x01\t\r\nx", "kill -TERM $$\n", "t/ctl????x", "killed by signal 15", "t/ctl????x"},
    {"gone", "exit 0\n", "t/gone",
     "Failed to load results t/gone.result: No such file or directory", "t/gone"},
    {"hangs", "sleep 30\n", "t/hangs", "exit code 124", "t/hangs"},
    {"it's \"quoted\"", "exit 0\n", "t/it's \"quoted\"", "", "t/it's \"quoted\""},
    {"skips", "exit 77\n", "t/skips", "exit code 77", "t/skips"},
    {"x # SKIP y", "exit 1\n", "t/x # SKIP y", "exit code 1", "t/x \\# SKIP y"},
    {"\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80", "exit 0\n", "t/\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80", "",
     "t/\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80"},
};

// Runs the awkward suite with the README's xargs recipe (a second for each
// test, not a minute), then loses the result of "gone", as when its run is
// killed; returns what the recipe printed.
support::Outcome run_awkward_suite(const support::TempDir& dir) {
  mkdir((dir / "t").c_str(), 0777);  // there already when a test left a stale result
  for (const Awkward& test : kAwkward)
    support::write_file(dir / ("t/" + test.stem + ".sh"), test.script);
  std::string recipe = support::doc_recipe("xargs");
  recipe.replace(recipe.find("timeout 60"), 10, "timeout 1");
  support::Outcome got = run_script(dir, "LC_ALL=C; export LC_ALL\n" + recipe);
  EXPECT_EQ(unlink((dir / "t/gone.result").c_str()), 0);
  return got;
}

// A JUnit or TAP recipe, with its script from the examples copied into the
// project as the README says.
std::string with_example(const support::TempDir& dir, const std::string& recipe,
                         const std::string& example) {
  support::write_file(dir / example, support::source_text("examples/" + example));
  return "LC_ALL=C; export LC_ALL\n" + support::doc_recipe(recipe);
}

TEST(Recipe, XargsNamesEachFailure) {
  support::TempDir dir;
  ASSERT_EQ(mkdir((dir / "t").c_str(), 0777), 0);
  support::write_file(dir / "t/skips.result", "[test-result]\nexit-status=0\n");  // stale
  support::Outcome got = run_awkward_suite(dir);
  EXPECT_EQ(got.exit_code(), 1);
  std::string out = got.out;  // in the order the tests ended
  std::vector<std::string> lines;
  for (const Awkward& test : kAwkward) {
    const std::string line = "FAIL: t/" + test.stem + ".sh\n";
    size_t at = out.find(line);
    EXPECT_EQ(at != std::string::npos, !test.failure.empty() && test.stem != "gone") << test.stem;
    if (at != std::string::npos)
      out.erase(at, line.size());
  }
  EXPECT_EQ(out, "");
  EXPECT_EQ(got.err, "Failed 7/11 tests\n");
  for (const Awkward& test : kAwkward) {
    if (test.stem == "gone")
      continue;
    EXPECT_TRUE(support::read_file(dir / ("t/" + test.stem + ".result"))) << test.stem;
  }
  EXPECT_EQ(support::read_file(dir / "t/hangs.result"), "[test-result]\nexit-status=31744\n");
  EXPECT_EQ(support::read_file(dir / "t/skips.result"), "[test-result]\nexit-status=19712\n");
}

TEST(Recipe, JUnitNamesEachFailure) {
  if (!support::has_python())
    GTEST_SKIP() << "python3 is not installed";
  support::TempDir dir;
  run_awkward_suite(dir);
  support::Outcome got = run_script(dir, with_example(dir, "junit", "results-to-junit.sh"));
  EXPECT_EQ(got.exit_code(), 0) << got.err;
  EXPECT_EQ(got.out + got.err, "");
  std::string cases;
  for (const Awkward& test : kAwkward)
    cases += test.xml_name + (test.failure.empty() ? "" : "\t" + test.failure) + "\n";
  support::Outcome parsed = support::junit_cases(dir, "junit.xml");
  EXPECT_EQ(parsed.err, "");
  EXPECT_EQ(parsed.out, cases);
  EXPECT_NE(support::read_file(dir / "junit.xml")
                .value_or("")
                .find("<testsuite name=\"plom\" tests=\"11\" failures=\"8\">\n"),
            std::string::npos);
}

TEST(Recipe, TapCountsEachFailure) {
  if (std::string(PLOM_PROVE).empty())
    GTEST_SKIP() << "prove is not installed";
  support::TempDir dir;
  run_awkward_suite(dir);
  support::Outcome got = run_script(dir, with_example(dir, "tap", "results-to-tap.sh"));
  EXPECT_EQ(got.exit_code(), 1);  // prove's verdict
  std::string tap = "1..11\n";
  for (size_t i = 0; i < kAwkward.size(); i++) {
    const Awkward& test = kAwkward[i];
    tap += (test.failure.empty() ? "ok " : "not ok ") + std::to_string(i + 1) + " - " +
           test.tap_name + "\n" + (test.failure.empty() ? "" : "# " + test.failure + "\n");
  }
  EXPECT_EQ(support::read_file(dir / "results.tap"), tap);
  // prove counts each failure as one: none is taken for a TODO or a skip.
  EXPECT_NE(got.out.find("(Wstat: 0 Tests: 11 Failed: 8)\n  Failed tests:  1, 3-7, 9-10\n"),
            std::string::npos)
      << got.out;
}

// Asked to, the scripts show a test that exited with code 77 as skipped;
// every other test is shown as without the option.
TEST(Recipe, SkipsShownAsSkippedWhenAsked) {
  support::TempDir dir;
  run_awkward_suite(dir);
  for (const char* script : {"results-to-junit.sh", "results-to-tap.sh"})
    support::write_file(dir / script, support::source_text(std::string("examples/") + script));
  const std::string files = "set --; for t in t/*.sh; do set -- \"$@\" \"${t%.sh}.result\"; done; ";
  for (const char* script : {"results-to-junit.sh", "results-to-tap.sh"}) {
    support::Outcome plain = run_script(dir, files + "sh " + script + " -- \"$@\"");
    support::Outcome skips = run_script(dir, files + "sh " + script + " --skip-77 \"$@\"");
    EXPECT_EQ(plain.exit_code(), 0) << script << plain.err;
    EXPECT_EQ(skips.exit_code(), 0) << script << skips.err;
    std::string want = plain.out;
    const bool xml = std::string(script) == "results-to-junit.sh";
    for (const auto& [from, to] :
         xml ? std::vector<std::pair<std::string, std::string>>{{"failures=\"8\">",
                                                                 "failures=\"7\" skipped=\"1\">"},
                                                                {"\"t/skips\"><failure ",
                                                                 "\"t/skips\"><skipped "}}
             : std::vector<std::pair<std::string, std::string>>{
                   {"not ok 9 - t/skips\n# exit code 77\n",
                    "ok 9 - t/skips # SKIP exit code 77\n"}}) {
      ASSERT_NE(want.find(from), std::string::npos) << script << want;
      want.replace(want.find(from), from.size(), to);
    }
    EXPECT_EQ(skips.out, want) << script;
  }
}

// Without plom-test on PATH the scripts say so, and write nothing.
TEST(Recipe, ResultScriptsNeedPlomTest) {
  for (const char* script : {"results-to-junit.sh", "results-to-tap.sh"}) {
    support::TempDir dir;
    support::write_file(dir / script, support::source_text(std::string("examples/") + script));
    support::Launch launch = support::launch_in(dir.path(), "/bin/sh", {script, "t/a.result"});
    launch.env = {"PATH=" + (dir / "no-such-dir")};
    support::Outcome got = support::run(launch);
    EXPECT_EQ(got.exit_code(), 2) << script;
    EXPECT_EQ(got.out, "") << script;
    EXPECT_EQ(got.err, std::string(script) + ": plom-test is not on PATH\n");
  }
}

TEST(Recipe, TimeLimitRecordsTheKill) {
  support::TempDir dir;
  support::write_file(dir / "t", "#!/bin/sh\nsleep 5\n");
  chmod((dir / "t").c_str(), 0755);
  std::string script = support::doc_recipe("time-limit");
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
  support::Outcome got = run_script(dir, support::doc_recipe("log"));
  EXPECT_EQ(got.exit_code(), 0);
  EXPECT_EQ(got.out + got.err, "");
  EXPECT_EQ(support::read_file(dir / "t.log"), "out\nerr\n");
  EXPECT_EQ(support::read_file(dir / "t.result"), "[test-result]\nexit-status=512\n");
}

// The hosts are this machine alone here (":"), the form parallel runs
// without ssh, and so without a directory of each test's own on its host.
TEST(Recipe, ParallelBringsEveryResultBack) {
  if (std::string(PLOM_PARALLEL).empty())
    GTEST_SKIP() << "GNU parallel is not installed";
  support::TempDir dir;
  ASSERT_EQ(mkdir((dir / "t").c_str(), 0777), 0);
  for (int i = 0; i < 6; i++)
    support::write_file(dir / ("t/test" + std::to_string(i) + ".sh"), i == 4   ? "exit 1\n"
                                                                      : i == 2 ? "sleep 30\n"
                                                                               : "exit 0\n");
  support::write_file(dir / "t/test4.result", "[test-result]\nexit-status=0\n");  // stale
  std::string script = support::doc_recipe("parallel");
  const std::string hosts = "--sshlogin host1,host2 --workdir plom-$(uname -n)-$$-{#}";
  ASSERT_NE(script.find(hosts), std::string::npos) << script;
  script.replace(script.find(hosts), hosts.size(), "--sshlogin :");
  script.replace(script.find("timeout 60"), 10, "timeout 1");
  support::Outcome got = run_script(dir, script);
  EXPECT_EQ(got.exit_code(), 1);
  EXPECT_TRUE(got.out == "FAIL: t/test2.sh\nFAIL: t/test4.sh\n" ||
              got.out == "FAIL: t/test4.sh\nFAIL: t/test2.sh\n")
      << got.out;
  EXPECT_EQ(got.err.substr(got.err.rfind("Failed")), "Failed 2/6 tests\n") << got.err;
  EXPECT_EQ(support::read_file(dir / "t/test2.result"), "[test-result]\nexit-status=31744\n");
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
  support::write_file(dir / "Makefile", support::doc_recipe("make-suite"));
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
