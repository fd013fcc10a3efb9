// Literal substitution: NAME=VALUE arguments replace names in a text.
#pragma once

#include <glib.h>

#include <string_view>
#include <vector>

// Copies text up to its first NUL byte, replacing every occurrence of a name by
// its value. At each position the arguments are tried in the order given and
// the first whose name matches wins; scanning resumes after the name, and a
// value is never scanned again. An argument is divided at its first '='; one
// without '=', or with an empty name, never matches.
GString* expand(std::string_view text, const std::vector<std::string_view>& arguments);
