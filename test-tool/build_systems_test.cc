// Small real projects built with the README's recipes: CMake with CTest, and
// meson. Each makes a header and a .pc file with plom-template and runs three
// tests (one passes, one fails, one crashes) with plom-test; the JUnit XML
// that CTest and meson write shows the failures.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "recipes.h"
#include "tempdir.h"

namespace {

using support::run_with_programs;

// The verdicts in JUnit XML read by junit_cases: "NAME failed" or "NAME
// passed" a line, sorted, since CTest and meson list test cases in the order
// the tests ended. A failure's message is left out: what it says is the
// tool's own and changes between its versions.
std::string verdicts(const std::string& cases) {
  std::vector<std::string> lines;
  std::istringstream in(cases);
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.find('\t');
    lines.push_back(line.substr(0, tab) + (tab == std::string::npos ? " passed\n" : " failed\n"));
  }
  std::sort(lines.begin(), lines.end());
  std::string joined;
  for (const std::string& line : lines)
    joined += line;
  return joined;
}

// How many tests CTest's JSON listing gives a time limit of so many seconds,
// however its version spaces the JSON and writes the number.
size_t tests_limited_to(const std::string& json, int seconds) {
  std::string packed;
  for (char c : json)
    if (!isspace(static_cast<unsigned char>(c)))
      packed += c;
  const std::regex limit("\"name\":\"TIMEOUT\",\"value\":" + std::to_string(seconds) +
                         "(\\.0*)?[,}]");
  return static_cast<size_t>(std::distance(
      std::sregex_iterator(packed.begin(), packed.end(), limit), std::sregex_iterator()));
}

// The sources both projects share.
void lay_out_sources(const support::TempDir& dir) {
  support::write_file(dir / "version.h.in", "#define VERSION \"@VERSION@\"\n");
  support::write_file(dir / "sample.pc.in", "prefix=@PREFIX@\nName: sample\nVersion: @VERSION@\n");
  support::write_file(dir / "main.c",
                      "#include <stdio.h>\n#include \"version.h\"\n"
                      "int main(void) { puts(VERSION); return 0; }\n");
  support::write_file(dir / "pass.c", "int main(void) { return 0; }\n");
  support::write_file(dir / "fail.c", "int main(void) { return 1; }\n");
  support::write_file(dir / "crash.c", "#include <stdlib.h>\nint main(void) { abort(); }\n");
}

TEST(BuildSystem, CMakeProject) {
  support::TempDir dir;
  lay_out_sources(dir);
  support::write_file(dir / "CMakeLists.txt",
                      "cmake_minimum_required(VERSION 3.20)\n"
                      "project(sample VERSION 1.2.3 LANGUAGES C)\n"
                      "include(CTest)\n" +
                          support::doc_recipe("cmake-generate") + support::doc_recipe("ctest") +
                          "set(out ${CMAKE_CURRENT_BINARY_DIR})\n"
                          "plom_expand(${CMAKE_CURRENT_SOURCE_DIR}/version.h.in ${out}/version.h\n"
                          "  @VERSION@=${PROJECT_VERSION})\n"
                          "plom_expand(${CMAKE_CURRENT_SOURCE_DIR}/sample.pc.in ${out}/sample.pc\n"
                          "  @PREFIX@=${CMAKE_INSTALL_PREFIX} @VERSION@=${PROJECT_VERSION})\n"
                          "add_custom_target(generated ALL DEPENDS ${out}/version.h.new "
                          "${out}/sample.pc.new)\n"
                          "add_executable(app main.c)\n"
                          "target_include_directories(app PRIVATE ${out})\n"
                          "add_dependencies(app generated)\n"
                          "foreach(t pass fail crash)\n"
                          "  add_executable(${t} ${t}.c)\n"
                          "  plom_add_test(${t} $<TARGET_FILE:${t}>)\n"
                          "endforeach()\n");
  support::Outcome configured = run_with_programs(
      dir, PLOM_CMAKE, {"-S", ".", "-B", "build", "-DCMAKE_INSTALL_PREFIX=/opt/sample"});
  ASSERT_EQ(configured.exit_code(), 0) << configured.out << configured.err;
  support::Outcome built = run_with_programs(dir, PLOM_CMAKE, {"--build", "build"});
  ASSERT_EQ(built.exit_code(), 0) << built.out << built.err;
  EXPECT_EQ(support::read_file(dir / "build/version.h"), "#define VERSION \"1.2.3\"\n");
  EXPECT_EQ(support::read_file(dir / "build/sample.pc"),
            "prefix=/opt/sample\nName: sample\nVersion: 1.2.3\n");

  // A touched template is expanded again, but the header keeps its time,
  // so nothing that includes it is compiled again.
  struct stat before, after;
  ASSERT_EQ(stat((dir / "build/version.h").c_str(), &before), 0);
  support::make_newer(dir / "version.h.in");
  built = run_with_programs(dir, PLOM_CMAKE, {"--build", "build"});
  ASSERT_EQ(built.exit_code(), 0) << built.err;
  EXPECT_NE(built.out.find("Generating"), std::string::npos) << built.out;
  EXPECT_EQ(built.out.find("Building C object"), std::string::npos) << built.out;
  ASSERT_EQ(stat((dir / "build/version.h").c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

  // Each test has the recipe's time limit.
  support::Outcome shown =
      run_with_programs(dir, PLOM_CTEST, {"--test-dir", "build", "--show-only=json-v1"});
  EXPECT_EQ(tests_limited_to(shown.out, 60), 3u) << shown.out;

  // CTest itself fails the failing and the crashing test, and so does the
  // JUnit XML it writes for CI.
  std::string junit = support::doc_recipe("ctest-junit");
  junit.replace(junit.find("ctest "), 6, std::string(PLOM_CTEST) + " ");
  support::Outcome tested = support::run_script(dir, junit);
  EXPECT_EQ(tested.exit_code(), 8);
  EXPECT_NE(tested.out.find("tests passed, 2 tests failed out of 3"), std::string::npos)
      << tested.out;
  EXPECT_NE(tested.out.find("- fail (Failed)"), std::string::npos) << tested.out;
  EXPECT_NE(tested.out.find("- crash (Failed)"), std::string::npos) << tested.out;
  // And the result files remain for one check over the suite.
  support::Outcome checked =
      run_with_programs(dir, PLOM_TEST_BIN,
                        {"check", "build/pass.result", "build/fail.result", "build/crash.result"});
  EXPECT_EQ(checked.err, "Failed 2/3 tests\n");

  if (!support::has_python())
    GTEST_SKIP() << "python3 is not installed: the JUnit XML is not read";
  support::Outcome cases = support::junit_cases(dir, "build/junit.xml");
  EXPECT_EQ(verdicts(cases.out), "crash failed\nfail failed\npass passed\n") << cases.err;
}

TEST(BuildSystem, MesonProject) {
  if (std::string(PLOM_MESON).empty() || std::string(PLOM_NINJA).empty())
    GTEST_SKIP() << "meson or ninja is not installed";
  support::TempDir dir;
  lay_out_sources(dir);
  support::write_file(dir / "meson.build",
                      "project('sample', 'c', version : '1.2.3')\n"
                      "unit_tests = executable('unit-tests', 'pass.c')\n" +
                          support::doc_recipe("meson") +
                          "sample_pc = custom_target('sample.pc', input : 'sample.pc.in',\n"
                          "  output : 'sample.pc', build_by_default : true,\n"
                          "  command : expand + ['@PREFIX@=' + get_option('prefix'),\n"
                          "                      '@VERSION@=' + meson.project_version()])\n"
                          "executable('app', 'main.c', version_h)\n"
                          "foreach t : ['fail', 'crash']\n"
                          "  test(t, sh, args : run_and_check +\n"
                          "       [meson.current_build_dir() / t + '.result', "
                          "executable(t, t + '.c')], timeout : 60)\n"
                          "endforeach\n");
  support::Outcome configured =
      run_with_programs(dir, PLOM_MESON, {"setup", "build", "--prefix=/opt/sample"});
  ASSERT_EQ(configured.exit_code(), 0) << configured.out << configured.err;
  support::Outcome built = run_with_programs(dir, PLOM_NINJA, {"-C", "build"});
  ASSERT_EQ(built.exit_code(), 0) << built.out << built.err;
  EXPECT_EQ(support::read_file(dir / "build/version.h"), "#define VERSION \"1.2.3\"\n");
  EXPECT_EQ(support::read_file(dir / "build/sample.pc"),
            "prefix=/opt/sample\nName: sample\nVersion: 1.2.3\n");

  support::make_newer(dir / "version.h.in");
  built = run_with_programs(dir, PLOM_NINJA, {"-C", "build"});
  ASSERT_EQ(built.exit_code(), 0) << built.err;
  EXPECT_NE(built.out.find("Generating version.h"), std::string::npos) << built.out;
  EXPECT_EQ(built.out.find("Compiling C object app.p/main.c.o"), std::string::npos) << built.out;

  support::Outcome tested = run_with_programs(dir, PLOM_MESON, {"test", "-C", "build"});
  EXPECT_EQ(tested.exit_code(), 2) << tested.out;
  EXPECT_NE(tested.out.find("unit "), std::string::npos) << tested.out;
  for (const char* line : {"Ok:                 1", "Fail:               2"})
    EXPECT_NE(tested.out.find(line), std::string::npos) << tested.out;
  support::Outcome checked =
      run_with_programs(dir, PLOM_TEST_BIN,
                        {"check", "build/unit.result", "build/fail.result", "build/crash.result"});
  EXPECT_EQ(checked.err, "Failed 2/3 tests\n");

  if (!support::has_python())
    GTEST_SKIP() << "python3 is not installed: the JUnit XML is not read";
  support::Outcome cases = support::junit_cases(dir, "build/meson-logs/testlog.junit.xml");
  EXPECT_EQ(verdicts(cases.out), "crash failed\nfail failed\nunit passed\n") << cases.err;
}

}  // namespace
