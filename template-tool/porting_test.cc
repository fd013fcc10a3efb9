// The README's guides for templates coming from config.status and from
// CMake's configure_file(@ONLY), and for generated scripts, run end to end
// with sh, make, cmake and autoconf.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "process.h"
#include "recipes.h"
#include "tempdir.h"

namespace {

using support::run_script;

TEST(TemplatePorting, ConfigStatus) {
  support::TempDir dir;
  const std::string tail =
      "all:\n\t@echo \"CC=$(CC) CCAS=$(CCAS) CFLAGS=$(CFLAGS) LIBS=$(LIBS).\"\n";
  support::write_file(dir / "Makefile.in",
                      "VPATH = @srcdir@\nCC = @CC@\nCCAS = @CCAS@\nCFLAGS = @CFLAGS@\n"
                      "LIBS = @LIBS@\n# Gr\xc3\xbc\xc3\x9f"
                      "e \xff\r\n@rules@\n" +
                          tail);
  support::write_file(dir / "rules.mk", "hello:\n\t@echo hello from rules\n\n");
  const std::string recipe = support::doc_recipe("config-status");
  support::Outcome got = run_script(dir, recipe);
  EXPECT_EQ(got.exit_code(), 0) << got.err;
  EXPECT_EQ(got.out + got.err, "");
  // The VPATH line is emptied, not deleted, as config.status does.
  const std::string makefile =
      "\nCC = cc\nCCAS = cc\nCFLAGS = -g -O2\nLIBS = \n# Gr\xc3\xbc\xc3\x9f"
      "e \xff\r\nhello:\n\t@echo hello from rules\n\n" +
      tail;
  EXPECT_EQ(support::read_file(dir / "Makefile"), makefile);
  EXPECT_EQ(run_script(dir, "make -s all").out, "CC=cc CCAS=cc CFLAGS=-g -O2 LIBS=.\n");
  EXPECT_EQ(run_script(dir, "make -s hello").out, "hello from rules\n");

  // The @-delimited names in the opposite order: the same Makefile.
  const std::string names =
      "@CC@=cc @CCAS@=cc @CFLAGS@='-g -O2' @LIBS@= @srcdir@=. \"@rules@$nl=${rules%.}\"";
  std::string reversed = recipe;
  ASSERT_NE(reversed.find(names), std::string::npos);
  reversed.replace(
      reversed.find(names), names.size(),
      "\"@rules@$nl=${rules%.}\" @srcdir@=. @LIBS@= @CFLAGS@='-g -O2' @CCAS@=cc @CC@=cc");
  ASSERT_EQ(run_script(dir, "rm Makefile\n" + reversed).exit_code(), 0);
  EXPECT_EQ(support::read_file(dir / "Makefile"), makefile);

  // A lower-case name not given is found.
  support::write_file(dir / "Makefile.in", "top_srcdir = @top_srcdir@\n");
  got = run_script(dir, recipe);
  EXPECT_EQ(got.exit_code(), 1);
  EXPECT_EQ(got.out, "1:top_srcdir = @top_srcdir@\n");
}

// An autoconf tree with subdirectories, lower-case names, an AC_SUBST_FILE, a
// VPATH line and a header of #undef lines, configured by real autoconf in
// the source directory and out of it: the guide's two recipes, with the
// example script's values, make each file byte for byte as config.status.
TEST(TemplatePorting, ConfigStatusValues) {
  if (std::string(PLOM_AUTOCONF).empty())
    GTEST_SKIP() << "autoconf is not installed";
  support::TempDir dir;
  const std::string makefile =
      "# @configure_input@\nVPATH = @srcdir@\nsrcdir = @srcdir@\ntop_srcdir = @top_srcdir@\n"
      "abs_srcdir = @abs_srcdir@\nabs_top_srcdir = @abs_top_srcdir@\nbuilddir = @builddir@\n"
      "abs_builddir = @abs_builddir@\ntop_builddir = @top_builddir@\n"
      "abs_top_builddir = @abs_top_builddir@\nprefix = @top_build_prefix@\n"
      "INSTALL = @INSTALL@\nMKDIR_P = @MKDIR_P@\nlower = @lower@ @mixed_Case@@lower@\n"
      "mail = bug@example.org @ @@ @not a name@\r\n@rules@\ndatarootdir = @datarootdir@\n";
  support::lay_out(
      dir,
      {
          {"src/", ""},
          {"src/sub/", ""},
          {"src/sub/deep/", ""},
          {"src/configure.ac",
           "AC_INIT([demo], "
           "[1.0])\nAC_CONFIG_SRCDIR([config.h.in])\nAC_CONFIG_HEADERS([config.h])\n"
           "AC_PROG_INSTALL\nAC_PROG_MKDIR_P\nlower=low\nAC_SUBST([lower])\n"
           "mixed_Case=\"it's \\$(x) & \\\\ \\\"q\\\"\"\nAC_SUBST([mixed_Case])\n"
           "rules=$srcdir/rules.mk\nAC_SUBST_FILE([rules])\n"
           "AC_DEFINE([HAVE_THING], [1], [A thing.])\n"
           "AC_DEFINE_UNQUOTED([GREETING], [\"hello, $lower\"], [A greeting.])\n"
           "AC_CONFIG_FILES([Makefile sub/Makefile sub/deep/Makefile:sub/deep/Makefile.tmpl])\n"
           "AC_OUTPUT\n"},
          {"src/install-sh", "#!/bin/sh\n"},
          {"src/rules.mk", "hello:\n\t@echo hello\n"},
          {"src/Makefile.in", makefile},
          {"src/sub/Makefile.in", makefile},
          {"src/sub/deep/Makefile.tmpl", makefile},
          {"src/config.h.in",
           "/* By hand. */\n#undef HAVE_THING\n#undef HAVE_THING_NOT\n#undef GREETING\n"
           "  #  undef HAVE_THING\n#define HAVE_THING 0\n#undef HAVE_THING\n"},
      });
  ASSERT_EQ(chmod((dir / "src/install-sh").c_str(), 0755), 0);
  support::Outcome got =
      run_script(dir,
                 "cd src && autoconf && cd .. && cp -R src intree && (cd intree && ./configure) &&"
                 "mkdir build && cd build && ../src/configure");
  ASSERT_EQ(got.exit_code(), 0) << got.out << got.err;

  const std::string script = support::source_text("examples/config-status-values.sh");
  const std::string file_recipe = support::doc_recipe("config-status-file");
  const std::string header_recipe = support::doc_recipe("config-status-header");
  const struct {
    std::string file, input, recipe;
  } files[] = {{"Makefile", "Makefile.in", file_recipe},
               {"sub/Makefile", "sub/Makefile.in", file_recipe},
               {"sub/deep/Makefile", "sub/deep/Makefile.tmpl", file_recipe},
               {"config.h", "config.h.in", header_recipe}};
  for (const auto& [build, srcdir] : {std::pair{"intree", "."}, {"build", "../src"}}) {
    support::write_file(dir / (std::string(build) + "/config-status-values.sh"), script);
    for (const auto& f : files) {
      SCOPED_TRACE(std::string(build) + " " + f.file);
      const std::string path = dir / (std::string(build) + "/" + f.file);
      const std::string made = support::read_file(path).value_or("");
      ASSERT_NE(made.find("low"), std::string::npos) << made;
      ASSERT_EQ(unlink(path.c_str()), 0);
      got = run_script(dir, std::string("cd ") + build + " && file=" + f.file +
                                " input=" + f.input + " srcdir=" + srcdir + "\n" + f.recipe);
      EXPECT_EQ(got.exit_code(), 0) << got.err;
      EXPECT_EQ(got.out + got.err, "");
      EXPECT_EQ(support::read_file(path), made);
    }
  }

  // A name that config.status leaves too is named; a header line that would
  // need = in its name fails the script.
  support::write_file(dir / "src/sub/Makefile.in", "x = @srcdir@ @no_such_name@\n");
  got = run_script(
      dir, "cd build && file=sub/Makefile input=sub/Makefile.in srcdir=../src\n" + file_recipe);
  EXPECT_EQ(got.exit_code(), 0);
  EXPECT_EQ(got.err, "config-status-values.sh: config.status leaves @no_such_name@ as it is too\n");
  EXPECT_EQ(support::read_file(dir / "build/sub/Makefile"), "x = ../../src/sub @no_such_name@\n");
  support::write_file(dir / "src/config.h.in", "#undef HAVE_THING\n#define GREETING a=b\n");
  got = run_script(dir,
                   "cd build && file=config.h input=config.h.in srcdir=../src\n" + header_recipe);
  EXPECT_EQ(got.exit_code(), 1);
  EXPECT_EQ(
      got.err,
      "config-status-values.sh: a line that holds = cannot be a name: #define GREETING a=b\n");
}

// What the guide says of names without delimiters and of a name that ends
// with a newline: the template, the arguments, the output.
TEST(TemplatePorting, WhatTheGuideSaysOfNames) {
  const struct {
    std::string text, args, expanded;
  } cases[] = {
      {"CCAS\n", "CC=gcc CCAS=as", "gccAS\n"},
      {"CCAS\n", "CCAS=as CC=gcc", "as\n"},
      {"x @rules@\n@rules@\n@rules@ y\n", "\"@rules@$nl=R$nl\"", "x R\nR\n@rules@ y\n"},
  };
  for (const auto& c : cases) {
    support::TempDir dir;
    support::write_file(dir / "in", c.text);
    support::Outcome got = run_script(dir, "nl='\n'; plom-template in out " + c.args);
    EXPECT_EQ(got.exit_code(), 0) << got.err;
    EXPECT_EQ(support::read_file(dir / "out"), c.expanded) << c.args;
  }
}

// plom_expand in place of configure_file(@ONLY): the same header as
// configure_file makes, with #cmakedefine set and unset, and a template with
// CRLF, UTF-8, a byte that is not UTF-8 and no final newline kept as it is.
TEST(TemplatePorting, ConfigureFile) {
  support::TempDir dir;
  support::write_file(dir / "config.h.in",
                      "#define VERSION \"@PROJECT_VERSION@\"\n#define EXTRA \"@EXTRA_FLAGS@\"\n"
                      "#define SOURCES \"@SOURCES@\"\n#cmakedefine HAVE_STRNDUP\n");
  support::write_file(dir / "crlf.h.in",
                      "// Gr\xc3\xbc\xc3\x9f"
                      "e \xff\r\n#define VERSION \"@PROJECT_VERSION@\"\r\n"
                      "#define EXTRA \"@EXTRA_FLAGS@\"");
  support::write_file(
      dir / "CMakeLists.txt",
      "cmake_minimum_required(VERSION 3.20)\nproject(sample VERSION 2.5.1 LANGUAGES NONE)\n"
      "set(SOURCES main.c util.c)\n" +
          support::doc_recipe("cmake-generate") + support::doc_recipe("configure-file") +
          "set(out ${CMAKE_CURRENT_BINARY_DIR})\n"
          "plom_expand(${CMAKE_CURRENT_SOURCE_DIR}/crlf.h.in ${out}/crlf.h\n"
          "  @PROJECT_VERSION@=${PROJECT_VERSION} @EXTRA_FLAGS@=${EXTRA_FLAGS})\n"
          "add_custom_target(generated ALL DEPENDS ${out}/config.h.new ${out}/crlf.h.new)\n"
          "configure_file(config.h.in config-cmake.h @ONLY)\n");
  for (const auto& [option, define] :
       {std::pair{"ON", "#define HAVE_STRNDUP\n"}, {"OFF", "/* #undef HAVE_STRNDUP */\n"}}) {
    const std::string build = std::string("build-") + option;
    support::Outcome got = support::run_with_programs(
        dir, PLOM_CMAKE, {"-S", ".", "-B", build, std::string("-DHAVE_STRNDUP=") + option});
    ASSERT_EQ(got.exit_code(), 0) << got.out << got.err;
    got = support::run_with_programs(dir, PLOM_CMAKE, {"--build", build});
    ASSERT_EQ(got.exit_code(), 0) << got.out << got.err;
    const std::string header =
        "#define VERSION \"2.5.1\"\n#define EXTRA \"\"\n#define SOURCES \"main.c;util.c\"\n" +
        std::string(define);
    EXPECT_EQ(support::read_file(dir / (build + "/config.h")), header) << option;
    EXPECT_EQ(support::read_file(dir / (build + "/config-cmake.h")), header) << option;
    EXPECT_EQ(support::read_file(dir / (build + "/crlf.h")),
              "// Gr\xc3\xbc\xc3\x9f"
              "e \xff\r\n#define VERSION \"2.5.1\"\r\n#define EXTRA \"\"");
  }
}

// plom_expand and configure_file(@ONLY) side by side in one project, with
// values that are lists or hold quotes, brackets, backslashes, generator
// expressions, @NAME@ and line ends, and a variable left unset: the same
// bytes, and again after a value changes. Or a configure that fails with
// plom_expand's message.
struct PolicyCase {
  std::string args, refused;
};

void expand_as_configure_file(const std::string& minimum, const PolicyCase& c) {
  SCOPED_TRACE(minimum + ": " + c.args);
  support::TempDir dir;
  support::write_file(dir / "t.in",
                      "v=@VERSION@\nl=@LIST@\nw=@WEIRD@\nn=@LINES@\nu=@UNSET@\n"
                      "${kept} @ @@ \xff\n@VERSION@\n");
  support::write_file(dir / "CMakeLists.txt",
                      "cmake_minimum_required(VERSION " + minimum + ")\nproject(sample NONE)\n" +
                          support::doc_recipe("cmake-generate") +
                          "set(LIST \"a;b;;c\")\n"
                          "set(WEIRD [=[it's \"q\" $HOME \\ [;] \\; $<0:z> ${x} @LIST@]=])\n"
                          "set(LINES \"one\\ntwo\\r\\n\")\n"
                          "set(out ${CMAKE_CURRENT_BINARY_DIR})\n"
                          "plom_expand(${CMAKE_CURRENT_SOURCE_DIR}/t.in ${out}/t " +
                          c.args +
                          ")\n"
                          "add_custom_target(generated ALL DEPENDS ${out}/t.new)\n"
                          "configure_file(t.in t.cf @ONLY)\n");
  for (const char* version : {"1.7.15", "1.8.0"}) {
    support::Outcome got =
        support::run_with_programs(dir, PLOM_CMAKE,
                                   {"-Wno-dev", "-Wno-deprecated", "-S", ".", "-B", "build",
                                    std::string("-DVERSION=") + version});
    if (!c.refused.empty()) {
      EXPECT_EQ(got.exit_code(), 1);
      EXPECT_NE(got.err.find("plom_expand: \"" + c.refused), std::string::npos) << got.err;
      return;
    }
    ASSERT_EQ(got.exit_code(), 0) << got.out << got.err;
    got = support::run_with_programs(dir, PLOM_CMAKE, {"--build", "build"});
    ASSERT_EQ(got.exit_code(), 0) << got.out << got.err;
    const auto expected = support::read_file(dir / "build/t.cf");
    ASSERT_TRUE(expected);
    EXPECT_NE(expected->find(std::string("v=") + version), std::string::npos);
    EXPECT_EQ(support::read_file(dir / "build/t"), expected) << version;
  }
}

TEST(TemplatePorting, ConfigureFileUnderOldPolicies) {
  if (std::string(PLOM_CMAKE_VERSION) >= "4")
    GTEST_SKIP() << "CMake " << PLOM_CMAKE_VERSION << " takes no policies older than 3.5";
  // 2.8.5: CMP0053 is OLD, and CMake replaces @NAME@ in every argument.
  const PolicyCase cases[] = {
      {"VERSION LIST WEIRD LINES UNSET", ""},
      {"\"@LIST@=${LIST}\"", "a;b;;c=a;b;;c\": with policy CMP0053 not NEW"},
      {"LIST \"UNSET=\"", "UNSET=\": with policy CMP0053 not NEW"},
  };
  for (const PolicyCase& c : cases)
    expand_as_configure_file("2.8.5", c);
}

TEST(TemplatePorting, ConfigureFileUnderNewPolicies) {
  const PolicyCase cases[] = {
      {"VERSION LIST WEIRD LINES UNSET", ""},
      {"VERSION LIST \"@WEIRD@=${WEIRD}\" \"@LINES@=${LINES}\" @UNSET@=", ""},
      {"\"@VERSION@=${VERSION}\" \"@LIST@=${LIST}\" WEIRD LINES", "WEIRD\" after a NAME=VALUE"},
      {"VERSION @LIST@=${LIST} WEIRD", "b\" after a NAME=VALUE"},
  };
  for (const PolicyCase& c : cases)
    expand_as_configure_file("3.20", c);
}

// A script made from a template: the output's mode is 0666 less the umask,
// whatever the template's, until chmod +x; expanding in place drops the
// execute bit too.
TEST(TemplatePorting, GeneratedScript) {
  const struct {
    int umask;
    mode_t plain, executable;
  } cases[] = {{022, 0644, 0755}, {077, 0600, 0700}, {002, 0664, 0775}};
  const std::string recipe = support::doc_recipe("generated-script");
  const std::string expand = recipe.substr(0, recipe.find(" && "));
  auto mode = [](const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.umask);
    support::TempDir dir;
    support::write_file(dir / "run-tests.in", "#!@SHELL@\necho \"run-tests @VERSION@ \xc3\xa9\"\n");
    ASSERT_EQ(chmod((dir / "run-tests.in").c_str(), 0755), 0);
    ASSERT_EQ(run_script(dir, expand, c.umask).exit_code(), 0);
    EXPECT_EQ(mode(dir / "run-tests"), c.plain);

    support::Outcome got = run_script(dir, recipe, c.umask);
    EXPECT_EQ(got.exit_code(), 0) << got.err;
    EXPECT_EQ(mode(dir / "run-tests"), c.executable);
    got = run_script(dir, "./run-tests");
    EXPECT_EQ(got.out, "run-tests 1.2 \xc3\xa9\n");
    EXPECT_EQ(got.err, "");

    ASSERT_EQ(run_script(dir, "plom-template run-tests run-tests", c.umask).exit_code(), 0);
    EXPECT_EQ(mode(dir / "run-tests"), c.plain);
  }
}

}  // namespace
