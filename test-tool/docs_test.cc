// The recipes of README.md and docs/ are the ones the tests run, the manual
// pages show the same text, and the transcripts show what their commands
// print.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "recipes.h"

namespace {

// Each is run by a test of its own: recipes_test.cc, build_systems_test.cc
// and porting_test.cc here, template-tool's recipes_test.cc and
// porting_test.cc, install_test.sh ("uninstall") and package_install_test.sh
// ("install", "uninstall").
const std::vector<std::string> kTested = {
    "install",        "uninstall",       "make-suite",        "list-failed",
    "list-failed-by-text", "rerun-failed", "xargs",           "parallel",
    "time-limit",     "log",             "junit",             "tap",
    "cmake-generate", "ctest",           "ctest-junit",       "meson",
    "in-place",       "only-when-changed", "no-names-left",   "from-a-pipe",
    "automake-suite", "automake-reports", "list-skipped", "skips-pass",       "config-status",
    "config-status-file", "config-status-header", "configure-file", "generated-script"};

// Each recipe is marked once, on whichever page, and each is tested.
TEST(Docs, EveryRecipeIsTested) {
  std::vector<std::string> names = support::doc_recipe_names();
  std::vector<std::string> tested = kTested;
  std::sort(names.begin(), names.end());
  std::sort(tested.begin(), tested.end());
  EXPECT_EQ(names, tested);
}

// Each transcript's commands print what it shows.
TEST(Docs, TranscriptsHold) {
  std::vector<std::string> names = support::doc_block_names("transcript");
  EXPECT_GE(names.size(), 2u);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    support::TempDir dir;
    support::run_transcript(dir, support::doc_block("transcript", name));
  }
}

TEST(Docs, ManualPagesShowTheSameRecipes) {
  for (const char* page : {"test-tool/plom-test.1", "template-tool/plom-template.1"}) {
    std::vector<std::string> names = support::man_recipe_names(page);
    EXPECT_GE(names.size(), 4u) << page;
    for (const std::string& name : names) {
      EXPECT_EQ(support::man_recipe(page, name), support::doc_recipe(name))
          << page << ": " << name;
    }
  }
}

}  // namespace
