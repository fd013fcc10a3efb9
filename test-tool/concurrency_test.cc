// Many runs replacing one result file while checks read it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process.h"
#include "programs.h"
#include "tempdir.h"

namespace {

TEST(Concurrency, CheckNeverSeesAPartialResultFile) {
  support::TempDir dir;
  support::write_file(dir / "r", support::recorded(0));
  // Each writer records a failure and a pass, ten times over.
  const std::string loop =
      "i=0; while [ $i -lt 10 ]; do \"$0\" run r false && \"$0\" run r true || exit 1; "
      "i=$((i+1)); done";
  std::vector<support::Child> writers;
  for (int i = 0; i < 40; i++) {
    writers.push_back(
        support::start(support::launch_in(dir.path(), "/bin/sh", {"-c", loop, PLOM_TEST_BIN})));
  }
  int passed = 0, failed = 0;
  for (int i = 0; i < 300; i++) {
    support::Outcome got = support::run_plom_test(dir, {"check", "r"});
    if (got.err == "Passed all 1 tests\n" && got.exit_code() == 0)
      passed++;
    else if (got.err == "Failed 1/1 tests\n" && got.exit_code() == 1)
      failed++;
    else
      ADD_FAILURE() << "check saw: " << got.err;
  }
  for (support::Child& writer : writers) {
    support::Outcome got = support::finish(writer);
    EXPECT_EQ(got.exit_code(), 0) << got.err;
    EXPECT_EQ(got.err, "");
  }
  EXPECT_EQ(passed + failed, 300);
  RecordProperty("passed", passed);
  // Only the result file itself is left: no temporary file beside it.
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"r"});
  std::string last = support::read_file(dir / "r").value_or("");
  EXPECT_TRUE(last == support::recorded(0) || last == support::recorded(256)) << last;
}

}  // namespace
