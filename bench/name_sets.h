// Templates and names of the shapes users bring: a few delimited names, many
// of them, bare words, names that nearly match, that are prefixes of each
// other, and a name of 64 KiB. For the benchmarks and tests.
#pragma once

#include <string>
#include <vector>

struct NameSet {
  std::string text;
  std::vector<std::string> arguments;  // NAME=VALUE
};

// The shapes make_name_set knows; "varN" (N names @VARnnnnn@) is known too.
// Shapes of lines take them from text when it is given (real text, say),
// one name put in each.
std::vector<std::string> name_set_shapes();
bool make_name_set(const std::string& shape, size_t bytes, NameSet* set,
                   const std::string* text = nullptr);
