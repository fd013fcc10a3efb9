// The recipes that the README and the manual pages show, as the tests run
// them: each is marked by name, so a test runs the very text a user copies.
#pragma once

#include <string>
#include <vector>

#include "process.h"
#include "tempdir.h"

namespace support {

// The code block after "<!-- recipe: NAME -->" in README.md, without its
// fences; empty, and a failure of the test, when there is none.
std::string readme_recipe(const std::string& name);
std::vector<std::string> readme_recipe_names();

// The .nf block after '.\" recipe: NAME' in a manual page (a path in the
// source tree), with the roff escapes it uses undone.
std::string man_recipe(const std::string& page, const std::string& name);
std::vector<std::string> man_recipe_names(const std::string& page);

// Runs program with args in dir, with the built programs first in PATH.
Outcome run_with_programs(const TempDir& dir, const std::string& program,
                          const std::vector<std::string>& args);
// Runs a shell script the same way.
Outcome run_script(const TempDir& dir, const std::string& script);

}  // namespace support
