// Comparing a captured outcome with what a case expects, byte for byte.
#pragma once

#include <string>

namespace support {

// True when text equals pattern, where each "XXXXXX" in pattern stands for
// any six bytes (the random part of a temporary file name).
bool matches(const std::string& pattern, const std::string& text);

}  // namespace support
