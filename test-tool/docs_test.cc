// The README's recipes are the ones the tests run, and the manual pages show
// the same text.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "recipes.h"

namespace {

// Each is run by a test of its own: recipes_test.cc and
// build_systems_test.cc here, template-tool's recipes_test.cc, and the
// install test for "uninstall".
const std::vector<std::string> kTested = {
    "uninstall",    "list-failed", "list-failed-by-text", "rerun-failed",      "make-suite",
    "xargs",        "time-limit",  "log",                 "parallel",          "cmake-generate",
    "ctest",        "meson",       "in-place",            "only-when-changed", "no-names-left",
    "from-a-pipe"};

TEST(Docs, EveryReadmeRecipeIsTested) {
  std::vector<std::string> names = support::readme_recipe_names();
  std::vector<std::string> tested = kTested;
  std::sort(names.begin(), names.end());
  std::sort(tested.begin(), tested.end());
  EXPECT_EQ(names, tested);
}

TEST(Docs, ManualPagesShowTheReadmeRecipes) {
  for (const char* page : {"test-tool/plom-test.1", "template-tool/plom-template.1"}) {
    std::vector<std::string> names = support::man_recipe_names(page);
    EXPECT_GE(names.size(), 4u) << page;
    for (const std::string& name : names) {
      EXPECT_EQ(support::man_recipe(page, name), support::readme_recipe(name))
          << page << ": " << name;
    }
  }
}

}  // namespace
