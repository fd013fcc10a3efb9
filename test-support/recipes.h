// The recipes that the README and the manual pages show, as the tests run
// them: each is marked by name, so a test runs the very text a user copies.
#pragma once

#include <string>
#include <vector>

namespace support {

// The code block after "<!-- recipe: NAME -->" in README.md, without its
// fences; empty when there is none.
std::string readme_recipe(const std::string& name);
std::vector<std::string> readme_recipe_names();

// The .nf block after '.\" recipe: NAME' in a manual page (a path in the
// source tree), with the roff escapes it uses undone.
std::string man_recipe(const std::string& page, const std::string& name);
std::vector<std::string> man_recipe_names(const std::string& page);

// PATH with the built programs first, as NAME=VALUE for Launch::env.
std::string path_with_programs();

}  // namespace support
