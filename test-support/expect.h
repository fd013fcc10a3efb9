// Comparing a captured outcome with what a case expects, byte for byte.
#pragma once

#include <string>
#include <vector>

namespace support {

// True when text equals pattern, where each "XXXXXX" in pattern stands for
// any six bytes (the random part of a temporary file name).
bool matches(const std::string& pattern, const std::string& text);

// text with the random part of every quoted temporary file name (six
// letters or digits after a dot, before a closing quotation mark) as XXXXXX.
std::string normalise_temp_names(std::string text);

// The lines of text, each without its newline, sorted: for output whose
// lines come in any order (tests run in parallel). A last line without a
// newline is left out.
std::vector<std::string> sorted_lines(const std::string& text);

}  // namespace support
