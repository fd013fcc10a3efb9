// The README's guide for projects coming from an automake test suite, run
// end to end with make and sh.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "expect.h"
#include "process.h"
#include "recipes.h"
#include "tempdir.h"

namespace {

using support::run_script;

// The recipe with a project's variables filled in: each line that assigns
// one of them gets the project's value instead.
std::string ported(std::string recipe,
                   const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [name, value] : values) {
    size_t at = recipe.find("\n" + name + " ");
    EXPECT_NE(at, std::string::npos) << name;
    if (at == std::string::npos)
      continue;
    size_t start = recipe.find("= ", at) + 2, end = recipe.find('\n', start);
    recipe.replace(start, end - start, value);
  }
  return recipe;
}

// The tests of a small automake-style suite, the scripts not executable: one
// that reads its environment and writes to descriptor 9, a skip, a failure,
// three expected failures (one fails, one passes, one skips), one that
// hangs, a Perl test, and two programs without extension, one of them named
// without a directory, as automake's tests often are.
const char kTests[] =
    "t/env.sh t/skip.sh t/fail.sh t/known-bug.sh t/xpass.sh t/xskip.sh t/hang.sh t/name.pl "
    "t/prog plain";

// TESTS_ENVIRONMENT as projects write it: quotes of both kinds, automake's
// $$tst, and the descriptor 9 redirection before the compiler.
const char kEnvironment[] =
    "with_values () { export \"$$@\"; }; with_values GREETING='it'\\''s \"so\"' "
    "NAME=`echo $$tst | sed 's,^\\./,,;s,/,-,g'` LC_ALL=C ; 9>&2";

void lay_out_automake_suite(const support::TempDir& dir) {
  ASSERT_EQ(mkdir((dir / "t").c_str(), 0777), 0);
  support::write_file(dir / "t/env.sh",
                      "echo \"$GREETING $NAME srcdir=$srcdir LC_ALL=$LC_ALL\"\n"
                      "echo 'Gr\xc3\xbc\xc3\x9f"
                      "e \xff to descriptor 9' >&9\n");
  support::write_file(dir / "t/skip.sh", "exit 77\n");
  support::write_file(dir / "t/fail.sh", "exit 1\n");
  support::write_file(dir / "t/known-bug.sh", "exit 1\n");
  support::write_file(dir / "t/xpass.sh", "exit 0\n");
  support::write_file(dir / "t/xskip.sh", "exit 77\n");
  support::write_file(dir / "t/hang.sh", "sleep 30\n");
  support::write_file(dir / "t/name.pl", "print \"perl: $ENV{TEST}\\n\"; exit 0;\n");
  for (const char* program : {"t/prog", "plain", "myprog"}) {
    support::write_file(dir / program, std::string("#!/bin/sh\necho ") + program + "\n");
    ASSERT_EQ(chmod((dir / program).c_str(), 0755), 0);
  }
}

std::string automake_makefile() {
  return ported(support::doc_recipe("automake-suite") + support::doc_recipe("automake-reports"),
                {{"TESTS", kTests},
                 {"TESTS_ENVIRONMENT", kEnvironment},
                 {"PL_LOG_COMPILER", "env TEST=\"$$f\" perl -w"},
                 {"XFAIL_TESTS", "t/known-bug.sh t/xpass.sh t/xskip.sh"}});
}

TEST(Porting, AutomakeSuite) {
  support::TempDir dir;
  lay_out_automake_suite(dir);
  const std::string makefile = automake_makefile();
  support::write_file(dir / "Makefile", makefile);

  support::Outcome got = run_script(dir, "make -s -j4 LIMIT=1");
  EXPECT_EQ(got.exit_code(), 2);
  // Tests run in parallel: their lines may come in any order.
  EXPECT_EQ(support::sorted_lines(got.out),
            (std::vector<std::string>{"FAIL: t/fail.sh", "FAIL: t/hang.sh", "FAIL: t/xpass.sh",
                                      "SKIP: t/skip.sh", "SKIP: t/xskip.sh",
                                      "it's \"so\" t-env.sh srcdir=. LC_ALL=C", "perl: t/name.pl",
                                      "plain", "t/prog"}));
  EXPECT_NE(got.err.find("Gr\xc3\xbc\xc3\x9f"
                         "e \xff to descriptor 9\n"),
            std::string::npos)
      << got.err;
  EXPECT_EQ(got.err.find("Bad file descriptor"), std::string::npos) << got.err;
  EXPECT_NE(got.err.find("Failed 5/10 tests\n"), std::string::npos) << got.err;
  for (const auto& [test, status] : {std::pair{"t/env", "0"},
                                     {"t/skip", "19712"},
                                     {"t/fail", "256"},
                                     {"t/known-bug", "0"},
                                     {"t/xpass", "256"},
                                     {"t/xskip", "19712"},
                                     {"t/hang", "31744"},
                                     {"t/name", "0"},
                                     {"t/prog", "0"},
                                     {"plain", "0"}})
    EXPECT_EQ(support::read_file(dir / (std::string(test) + ".result")),
              "[test-result]\nexit-status=" + std::string(status) + "\n")
        << test;

  got = run_script(dir, support::doc_recipe("list-skipped"));
  EXPECT_EQ(got.out, "t/skip.result\nt/xskip.result\n");

  // Started by run itself rather than through sh, a test that is not
  // executable stops make, and leaves no result.
  support::write_file(dir / "direct.mk", "direct.result: t/skip.sh\n\tplom-test run $@ ./$<\n");
  got = run_script(dir, "make -s -f direct.mk");
  EXPECT_EQ(got.exit_code(), 2);
  EXPECT_NE(got.err.find("Failed to run command: Failed to execute child process "
                         "\xe2\x80\x9c./t/skip.sh\xe2\x80\x9d (Permission denied)\n"),
            std::string::npos)
      << got.err;
  EXPECT_FALSE(support::read_file(dir / "direct.result"));

  // Without the shell's "exec 9>&2" the descriptor does not reach the test.
  got = run_script(dir, "exec 9>&2; plom-test run nine.result sh t/env.sh");
  EXPECT_NE(got.err.find("9: Bad file descriptor\n"), std::string::npos) << got.err;

  // Skips pass once the check rule says so; the failures are fixed.
  const std::string rule = "check: $(RESULTS)\n\tplom-test check $(RESULTS)\n";
  std::string skips_pass = makefile;
  ASSERT_NE(skips_pass.find(rule), std::string::npos);
  skips_pass.replace(skips_pass.find(rule), rule.size(), support::doc_recipe("skips-pass"));
  support::write_file(dir / "Makefile", skips_pass);
  for (const char* test : {"fail", "hang", "xpass"}) {
    support::write_file(dir / ("t/" + std::string(test) + ".sh"),
                        std::string(test) == "xpass" ? "exit 1\n" : "exit 0\n");
    ASSERT_EQ(unlink((dir / ("t/" + std::string(test) + ".result")).c_str()), 0);
  }
  got = run_script(dir, "make -s -j4");
  EXPECT_EQ(got.exit_code(), 0) << got.err;
  EXPECT_EQ(got.err, "Passed all 8 tests\n");
}

// A program that cannot start fails, with the shell's message, and the rest
// run.
TEST(Porting, AutomakeTestThatCannotStart) {
  support::TempDir dir;
  lay_out_automake_suite(dir);
  ASSERT_EQ(chmod((dir / "plain").c_str(), 0644), 0);
  support::write_file(dir / "Makefile",
                      ported(support::doc_recipe("automake-suite"), {{"TESTS", "plain t/prog"}}));
  support::Outcome got = run_script(dir, "make -s -j2");
  EXPECT_EQ(got.exit_code(), 2);
  EXPECT_EQ(support::read_file(dir / "plain.result"), "[test-result]\nexit-status=32256\n");
  EXPECT_EQ(support::read_file(dir / "t/prog.result"), "[test-result]\nexit-status=0\n");
  EXPECT_NE(got.err.find("./plain: Permission denied\n"), std::string::npos) << got.err;
}

// When the program under test is rebuilt every test runs again; when one
// test changes, only it.
TEST(Porting, AutomakeRebuiltProgram) {
  support::TempDir dir;
  lay_out_automake_suite(dir);
  support::write_file(dir / "Makefile", automake_makefile());
  run_script(dir, "make -s -j4 LIMIT=1");
  const std::string runs = "make -n LIMIT=1 | grep -c '^plom-test run '";
  EXPECT_EQ(run_script(dir, runs).out, "0\n");
  EXPECT_EQ(run_script(dir, "touch -d '+1 minute' t/name.pl; " + runs).out, "1\n");
  EXPECT_EQ(run_script(dir, "touch -d '+2 minutes' myprog; " + runs).out, "10\n");
}

// JUnit XML and TAP of an automake suite show its skips as skipped, and
// count as automake's harness does.
TEST(Porting, AutomakeReportsShowSkips) {
  if (!support::has_python() || std::string(PLOM_PROVE).empty())
    GTEST_SKIP() << "python3 or prove is not installed";
  support::TempDir dir;
  lay_out_automake_suite(dir);
  support::write_file(dir / "Makefile", automake_makefile());
  for (const char* script : {"results-to-junit.sh", "results-to-tap.sh"})
    support::write_file(dir / script, support::source_text(std::string("examples/") + script));
  support::Outcome got = run_script(dir, "make -s -j4 LIMIT=1 junit.xml results.tap >/dev/null");
  EXPECT_EQ(got.exit_code(), 0) << got.err;

  support::Outcome parsed = support::junit_cases(dir, "junit.xml");
  EXPECT_EQ(parsed.err, "");
  EXPECT_EQ(parsed.out,
            "t/env\nt/skip\tskipped: exit code 77\nt/fail\texit code 1\nt/known-bug\n"
            "t/xpass\texit code 1\nt/xskip\tskipped: exit code 77\nt/hang\texit code 124\n"
            "t/name\nt/prog\nplain\n");
  EXPECT_NE(support::read_file(dir / "junit.xml")
                .value_or("")
                .find("<testsuite name=\"plom\" tests=\"10\" failures=\"3\" skipped=\"2\">\n"),
            std::string::npos);

  EXPECT_EQ(support::read_file(dir / "results.tap"),
            "1..10\nok 1 - t/env\nok 2 - t/skip # SKIP exit code 77\nnot ok 3 - t/fail\n"
            "# exit code 1\nok 4 - t/known-bug\nnot ok 5 - t/xpass\n# exit code 1\n"
            "ok 6 - t/xskip # SKIP exit code 77\nnot ok 7 - t/hang\n# exit code 124\n"
            "ok 8 - t/name\nok 9 - t/prog\nok 10 - plain\n");
  got = run_script(dir, "prove --exec cat results.tap");
  EXPECT_NE(got.out.find("Failed 3/10 subtests \n\t(less 2 skipped subtests: 5 okay)"),
            std::string::npos)
      << got.out;
}

}  // namespace
