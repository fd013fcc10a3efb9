// The recipes of README.md and docs/ are the ones the tests run, the manual
// pages show the same text, the transcripts show what their commands print,
// and every link between the pages leads somewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "recipes.h"

namespace {

namespace fs = std::filesystem;

// Each is run by a test of its own: recipes_test.cc, build_systems_test.cc
// and porting_test.cc here, template-tool's recipes_test.cc and
// porting_test.cc, install_test.sh ("uninstall") and package_install_test.sh
// ("install", "uninstall").
const std::vector<std::string> kTested = {"install",
                                          "uninstall",
                                          "make-suite",
                                          "list-failed",
                                          "list-failed-by-text",
                                          "rerun-failed",
                                          "xargs",
                                          "parallel",
                                          "time-limit",
                                          "log",
                                          "junit",
                                          "tap",
                                          "cmake-generate",
                                          "ctest",
                                          "ctest-junit",
                                          "meson",
                                          "in-place",
                                          "only-when-changed",
                                          "no-names-left",
                                          "from-a-pipe",
                                          "automake-suite",
                                          "automake-reports",
                                          "list-skipped",
                                          "skips-pass",
                                          "config-status",
                                          "config-status-file",
                                          "config-status-header",
                                          "configure-file",
                                          "generated-script"};

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
      EXPECT_EQ(support::man_recipe(page, name), support::doc_recipe(name)) << page << ": " << name;
    }
  }
}

// The text of a Markdown page outside its fenced code blocks, a line each.
std::vector<std::string> prose_lines(const std::string& text) {
  std::vector<std::string> lines;
  bool fenced = false;
  for (size_t at = 0, end; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    if (end == std::string::npos)
      end = text.size();
    const std::string line = text.substr(at, end - at);
    if (line.rfind("```", 0) == 0)
      fenced = !fenced;
    else if (!fenced)
      lines.push_back(line);
  }
  return lines;
}

// The anchor that a heading gets: lower case, spaces as hyphens, and no
// punctuation but hyphens and underscores (bytes past ASCII are kept).
std::string anchor(const std::string& heading) {
  std::string name;
  for (unsigned char c : heading) {
    if (std::isalnum(c) || c == '-' || c == '_' || c >= 0x80)
      name += static_cast<char>(std::tolower(c));
    else if (c == ' ')
      name += '-';
  }
  return name;
}

// The anchors of a page's headings; a repeated one gets -1, -2...
std::set<std::string> anchors(const std::string& text) {
  std::set<std::string> names;
  for (const std::string& line : prose_lines(text)) {
    size_t hashes = line.find_first_not_of('#');
    if (hashes == 0 || hashes > 6 || hashes == std::string::npos || line[hashes] != ' ')
      continue;
    const std::string name = anchor(line.substr(hashes + 1));
    std::string unique = name;
    for (int n = 1; names.count(unique); n++)
      unique = name + "-" + std::to_string(n);
    names.insert(unique);
  }
  return names;
}

// The targets of a page's links, "[text](target)", outside code.
std::vector<std::string> link_targets(const std::string& text) {
  std::vector<std::string> targets;
  for (std::string line : prose_lines(text)) {
    for (size_t open; (open = line.find('`')) != std::string::npos;)
      line.erase(open, line.find('`', open + 1) + 1 - open);
    for (size_t at = line.find("]("); at != std::string::npos; at = line.find("](", at + 1)) {
      const size_t end = line.find(')', at);
      targets.push_back(line.substr(at + 2, end - at - 2));
    }
  }
  return targets;
}

TEST(Docs, AnchorsAreNamedAsOnGitHub) {
  const std::vector<std::pair<std::string, std::string>> kCases = {
      {"A test suite under make that names its failures",
       "a-test-suite-under-make-that-names-its-failures"},
      {"Coming from CMake's configure_file(@ONLY)", "coming-from-cmakes-configure_fileonly"},
      {"The common case, big templates, start-up", "the-common-case-big-templates-start-up"},
      {"Backwards: the reverse automaton", "backwards-the-reverse-automaton"},
      {"JUnit XML and TAP for CI", "junit-xml-and-tap-for-ci"},
  };
  for (const auto& [heading, name] : kCases)
    EXPECT_EQ(anchor(heading), name) << heading;
  EXPECT_EQ(anchors("# A\n```\n# Not a heading\n```\n## A\nB\n"),
            (std::set<std::string>{"a", "a-1"}));
}

// Every relative link leads to a file of the source tree, and an anchor to a
// heading of its page.
TEST(Docs, LinksResolve) {
  std::vector<std::string> pages = support::doc_pages();
  pages.push_back("bench/README.md");
  pages.push_back("template-tool/match/DESIGN.md");
  size_t links = 0;
  for (const std::string& page : pages) {
    const std::string text = support::source_text(page);
    ASSERT_FALSE(text.empty()) << page;
    for (const std::string& target : link_targets(text)) {
      if (target.find("://") != std::string::npos || target.rfind("mailto:", 0) == 0)
        continue;
      links++;
      const size_t hash = target.find('#');
      const std::string path = target.substr(0, hash);
      const fs::path file =
          path.empty() ? fs::path(page) : (fs::path(page).parent_path() / path).lexically_normal();
      if (file.empty() || *file.begin() == ".." ||
          !fs::exists(support::source_path(file.string()))) {
        ADD_FAILURE() << page << ": no file for " << target;
        continue;
      }
      if (hash != std::string::npos &&
          !anchors(support::source_text(file.string())).count(target.substr(hash + 1)))
        ADD_FAILURE() << page << ": no heading for " << target;
    }
  }
  EXPECT_GE(links, 30u);
}

// A guide that the index does not list is one nobody finds.
TEST(Docs, IndexListsEveryGuide) {
  const std::vector<std::string> targets = link_targets(support::source_text("docs/README.md"));
  for (const std::string& page : support::doc_pages()) {
    if (page.rfind("docs/", 0) == 0 && page != "docs/README.md") {
      EXPECT_TRUE(std::count(targets.begin(), targets.end(), page.substr(5)))
          << page << " is not linked from docs/README.md";
    }
  }
}

}  // namespace
