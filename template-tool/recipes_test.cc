// The README's and plom-template(1)'s recipes, run as a user would run them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "process.h"
#include "recipes.h"
#include "tempdir.h"

namespace {

using support::run_script;

TEST(TemplateRecipe, InPlaceReplacesTheTemplate) {
  support::TempDir dir;
  support::write_file(dir / "config.h", "#define PREFIX \"@PREFIX@\"\n#define V \"@VERSION@\"\n");
  support::Outcome got = run_script(dir, support::doc_recipe("in-place"));
  EXPECT_EQ(got.exit_code(), 0) << got.err;
  EXPECT_EQ(support::read_file(dir / "config.h"), "#define PREFIX \"/usr\"\n#define V \"0.1.0\"\n");
}

TEST(TemplateRecipe, OnlyWhenChangedKeepsTheFile) {
  support::TempDir dir;
  support::write_file(dir / "version.h.in", "#define VERSION \"@VERSION@\"\n");
  ASSERT_EQ(run_script(dir, support::doc_recipe("only-when-changed")).exit_code(), 0);
  EXPECT_EQ(support::read_file(dir / "version.h"), "#define VERSION \"1.2\"\n");
  struct stat first, again;
  ASSERT_EQ(stat((dir / "version.h").c_str(), &first), 0);
  ASSERT_EQ(run_script(dir, support::doc_recipe("only-when-changed")).exit_code(), 0);
  ASSERT_EQ(stat((dir / "version.h").c_str(), &again), 0);
  EXPECT_EQ(again.st_ino, first.st_ino);  // the same file, untouched
  EXPECT_EQ(again.st_mtim.tv_nsec, first.st_mtim.tv_nsec);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"version.h", "version.h.in"}));

  support::write_file(dir / "version.h.in", "#define VERSION \"@VERSION@\" // changed\n");
  ASSERT_EQ(run_script(dir, support::doc_recipe("only-when-changed")).exit_code(), 0);
  EXPECT_EQ(support::read_file(dir / "version.h"), "#define VERSION \"1.2\" // changed\n");
}

TEST(TemplateRecipe, LeftOverNamesFail) {
  support::TempDir dir;
  support::write_file(dir / "app.conf.in", "host = @HOST@\nport = @PORT@\n");
  support::Outcome got = run_script(dir, support::doc_recipe("no-names-left"));
  EXPECT_EQ(got.exit_code(), 0) << got.out;
  EXPECT_EQ(got.out, "");

  support::write_file(dir / "app.conf.in", "host = @HSOT@\nport = @PORT@\n");  // misspelt
  got = run_script(dir, support::doc_recipe("no-names-left"));
  EXPECT_EQ(got.exit_code(), 1);
  EXPECT_EQ(got.out, "1:host = @HSOT@\n");
}

TEST(TemplateRecipe, TemplateFromAPipe) {
  support::TempDir dir;
  support::Outcome got = run_script(dir, support::doc_recipe("from-a-pipe"));
  EXPECT_EQ(got.exit_code(), 0) << got.err;
  EXPECT_EQ(support::read_file(dir / "greeting"), "Hello, world\n");
}

// "-" names a file, for the template and the output alike.
TEST(TemplateRecipe, DashIsAFileName) {
  support::TempDir dir;
  support::write_file(dir / "-", "A");
  support::Launch launch = support::launch_in(dir.path(), PLOM_TEMPLATE_BIN, {"-", "-", "A=1"});
  launch.stdin_text = "not read";
  support::Outcome got = support::run(launch);
  EXPECT_EQ(got.exit_code(), 0) << got.err;
  EXPECT_EQ(got.out, "");
  EXPECT_EQ(support::read_file(dir / "-"), "1");
}

}  // namespace
