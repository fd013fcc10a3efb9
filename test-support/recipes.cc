#include "recipes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace support {

std::string source_path(const std::string& path) {
  return std::string(PLOM_SOURCE_DIR) + "/" + path;
}

std::string source_text(const std::string& path) {
  return read_file(source_path(path)).value_or("");
}

namespace {

// The lines after the marker line up to the line closing the block.
std::string block_after(const std::string& text, const std::string& marker, const std::string& open,
                        const std::string& close) {
  size_t at = text.find(marker + "\n");
  if (at == std::string::npos)
    return "";
  at = text.find('\n', text.find(open, at + marker.size())) + 1;
  size_t end = text.find("\n" + close, at - 1);
  if (end == std::string::npos)
    return "";
  return text.substr(at, end + 1 - at);
}

std::vector<std::string> names_after(const std::string& text, const std::string& marker,
                                     const std::string& tail) {
  std::vector<std::string> names;
  for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
    size_t start = at + marker.size();
    names.push_back(text.substr(start, text.find(tail, start) - start));
  }
  return names;
}

void replace_all(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

}  // namespace

std::vector<std::string> doc_pages() {
  // A tree without docs/ has the README alone.
  std::vector<std::string> guides;
  std::error_code no_docs;
  for (const auto& entry : std::filesystem::directory_iterator(source_path("docs"), no_docs)) {
    if (entry.path().extension() == ".md")
      guides.push_back("docs/" + entry.path().filename().string());
  }
  std::sort(guides.begin(), guides.end());
  guides.insert(guides.begin(), "README.md");
  return guides;
}

std::string doc_block(const std::string& kind, const std::string& name) {
  const std::string marker = "<!-- " + kind + ": " + name + " -->";
  std::string found, pages;
  int marks = 0;
  for (const std::string& page : doc_pages()) {
    const std::string text = source_text(page);
    for (size_t at = text.find(marker + "\n"); at != std::string::npos;
         at = text.find(marker + "\n", at + 1)) {
      if (marks++ == 0)
        found = block_after(text, marker, "```", "```");
      pages += " " + page;
    }
  }
  if (marks == 0)
    ADD_FAILURE() << "no " << kind << " " << name << " in README.md or docs/";
  else if (marks > 1)
    ADD_FAILURE() << kind << " " << name << " is marked " << marks << " times:" << pages;
  else if (found.empty())
    ADD_FAILURE() << kind << " " << name << " has no code block after its marker in" << pages;
  return found;
}

std::vector<std::string> doc_block_names(const std::string& kind) {
  std::vector<std::string> names;
  for (const std::string& page : doc_pages()) {
    for (std::string& name : names_after(source_text(page), "<!-- " + kind + ": ", " -->"))
      names.push_back(std::move(name));
  }
  return names;
}

std::string doc_recipe(const std::string& name) { return doc_block("recipe", name); }

std::vector<std::string> doc_recipe_names() { return doc_block_names("recipe"); }

void run_transcript(const TempDir& dir, const std::string& transcript) {
  // Commands, each with the lines it prints.
  std::vector<std::pair<std::string, std::string>> steps;
  for (size_t at = 0, end; at < transcript.size(); at = end + 1) {
    end = transcript.find('\n', at);
    if (end == std::string::npos)
      end = transcript.size();
    const std::string line = transcript.substr(at, end - at);
    if (line.rfind("$ ", 0) == 0)
      steps.push_back({line.substr(2), ""});
    else if (!steps.empty())
      steps.back().second += line + "\n";
    else
      ADD_FAILURE() << "output before any command: " << line;
  }
  for (const auto& [command, printed] : steps) {
    if (command.rfind("cat ", 0) == 0 && !read_file(dir / command.substr(4))) {
      write_file(dir / command.substr(4), printed);
      continue;
    }
    Outcome got = run_script(dir, command);
    EXPECT_EQ(got.exit_code(), 0) << command << "\n" << got.err;
    EXPECT_EQ(got.out, printed) << command;
    EXPECT_EQ(got.err, "") << command;
  }
}

std::string man_recipe(const std::string& page, const std::string& name) {
  std::string text = block_after(source_text(page), ".\\\" recipe: " + name, ".nf", ".fi");
  replace_all(text, "\\&", "");
  replace_all(text, "\\-", "-");
  replace_all(text, "\\(aq", "'");
  replace_all(text, "\\e", "\\");
  return text;
}

std::vector<std::string> man_recipe_names(const std::string& page) {
  return names_after(source_text(page), ".\\\" recipe: ", "\n");
}

Outcome run_with_programs(const TempDir& dir, const std::string& program,
                          const std::vector<std::string>& args, int umask) {
  const char* path = getenv("PATH");
  Launch launch = launch_in(dir.path(), program, args);
  launch.umask = umask;
  launch.env = {std::string("PATH=") + PLOM_TEST_DIR + ":" + PLOM_TEMPLATE_DIR + ":" +
                (path ? path : "/usr/bin:/bin")};
  return run(launch);
}

Outcome run_script(const TempDir& dir, const std::string& script, int umask) {
  return run_with_programs(dir, "/bin/sh", {"-c", script}, umask);
}

bool has_python() { return std::string(PLOM_PYTHON) != ""; }

Outcome junit_cases(const TempDir& dir, const std::string& file) {
  static const char kCases[] =
      "import sys, xml.etree.ElementTree as tree\n"
      "for case in tree.parse(sys.argv[1]).getroot().iter('testcase'):\n"
      "    line = case.get('name')\n"
      "    failure = case.find('failure')\n"
      "    skipped = case.find('skipped')\n"
      "    if failure is not None:\n"
      "        line += '\\t' + (failure.get('message') or '')\n"
      "    if skipped is not None:\n"
      "        line += '\\tskipped: ' + (skipped.get('message') or '')\n"
      "    sys.stdout.buffer.write((line + '\\n').encode())\n";
  return run_in(dir.path(), PLOM_PYTHON, {"-c", kCases, file});
}

}  // namespace support
