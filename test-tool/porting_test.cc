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

// The tests of a small automake-style suite, none of them executable: one
// that reads its environment and writes to descriptor 9, a skip, a failure,
// a known bug (an expected failure), and one that hangs.
void lay_out_automake_suite(const support::TempDir& dir) {
  ASSERT_EQ(mkdir((dir / "t").c_str(), 0777), 0);
  support::write_file(dir / "t/env.sh",
                      "echo \"srcdir=$srcdir LC_ALL=$LC_ALL\"\n"
                      "echo 'Gr\xc3\xbc\xc3\x9f""e \xff to descriptor 9' >&9\n");
  support::write_file(dir / "t/skip.sh", "exit 77\n");
  support::write_file(dir / "t/fail.sh", "exit 1\n");
  support::write_file(dir / "t/known-bug.sh", "exit 1\n");
  support::write_file(dir / "t/hang.sh", "sleep 30\n");
}

TEST(Porting, AutomakeSuite) {
  support::TempDir dir;
  lay_out_automake_suite(dir);
  const std::string makefile = support::readme_recipe("automake-suite");
  support::write_file(dir / "Makefile", makefile);

  support::Outcome got = run_script(dir, "make -s -j4 LIMIT=1");
  EXPECT_EQ(got.exit_code(), 2);
  // Tests run in parallel: their lines may come in any order.
  EXPECT_EQ(support::sorted_lines(got.out),
            (std::vector<std::string>{"FAIL: t/fail.sh", "FAIL: t/hang.sh", "SKIP: t/skip.sh",
                                      "srcdir=t LC_ALL=C"}));
  EXPECT_NE(got.err.find("Gr\xc3\xbc\xc3\x9f""e \xff to descriptor 9\n"), std::string::npos)
      << got.err;
  EXPECT_EQ(got.err.find("Bad file descriptor"), std::string::npos) << got.err;
  EXPECT_NE(got.err.find("Failed 3/5 tests\n"), std::string::npos) << got.err;
  for (const auto& [test, status] : {std::pair{"env", "0"}, {"skip", "19712"}, {"fail", "256"},
                                     {"known-bug", "0"}, {"hang", "31744"}})
    EXPECT_EQ(support::read_file(dir / ("t/" + std::string(test) + ".result")),
              "[test-result]\nexit-status=" + std::string(status) + "\n")
        << test;

  got = run_script(dir, support::readme_recipe("list-skipped"));
  EXPECT_EQ(got.out, "t/skip.result\n");

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
  skips_pass.replace(skips_pass.find(rule), rule.size(), support::readme_recipe("skips-pass"));
  support::write_file(dir / "Makefile", skips_pass);
  for (const char* test : {"fail", "hang"}) {
    support::write_file(dir / ("t/" + std::string(test) + ".sh"), "exit 0\n");
    ASSERT_EQ(unlink((dir / ("t/" + std::string(test) + ".result")).c_str()), 0);
  }
  got = run_script(dir, "make -s -j4");
  EXPECT_EQ(got.exit_code(), 0) << got.err;
  EXPECT_EQ(got.out, "");
  EXPECT_EQ(got.err, "Passed all 4 tests\n");

  // Every test skipped: nothing to judge, and nothing fails.
  for (const char* test : {"env", "fail", "hang", "known-bug"})
    ASSERT_EQ(unlink((dir / ("t/" + std::string(test) + ".sh")).c_str()), 0);
  got = run_script(dir, "make -s -j4");
  EXPECT_EQ(got.exit_code(), 0) << got.err;
  EXPECT_EQ(got.out + got.err, "");
}

}  // namespace
