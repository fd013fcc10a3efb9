#include "recipes.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace support {

namespace {

std::string source(const std::string& path) {
  return read_file(std::string(PLOM_SOURCE_DIR) + "/" + path).value_or("");
}

// The lines after the marker line up to the line closing the block.
std::string block_after(const std::string& text, const std::string& marker,
                        const std::string& open, const std::string& close) {
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

std::string readme_recipe(const std::string& name) {
  std::string text = block_after(source("README.md"), "<!-- recipe: " + name + " -->", "```", "```");
  if (text.empty())
    ADD_FAILURE() << "no recipe " << name << " in the README";
  return text;
}

std::vector<std::string> readme_recipe_names() {
  return names_after(source("README.md"), "<!-- recipe: ", " -->");
}

std::string man_recipe(const std::string& page, const std::string& name) {
  std::string text = block_after(source(page), ".\\\" recipe: " + name, ".nf", ".fi");
  replace_all(text, "\\&", "");
  replace_all(text, "\\-", "-");
  replace_all(text, "\\(aq", "'");
  replace_all(text, "\\e", "\\");
  return text;
}

std::vector<std::string> man_recipe_names(const std::string& page) {
  return names_after(source(page), ".\\\" recipe: ", "\n");
}

Outcome run_with_programs(const TempDir& dir, const std::string& program,
                          const std::vector<std::string>& args) {
  const char* path = getenv("PATH");
  Launch launch = launch_in(dir.path(), program, args);
  launch.env = {std::string("PATH=") + PLOM_TEST_DIR + ":" + PLOM_TEMPLATE_DIR + ":" +
                (path ? path : "/usr/bin:/bin")};
  return run(launch);
}

Outcome run_script(const TempDir& dir, const std::string& script) {
  return run_with_programs(dir, "/bin/sh", {"-c", script});
}

}  // namespace support
