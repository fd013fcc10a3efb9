// The plain method the fast expansion must agree with: at every position,
// every argument in order, byte by byte. For tests, benchmarks and fuzzing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

std::string expand_model(std::string_view text, std::vector<std::string_view> arguments);
