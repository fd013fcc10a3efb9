// The expander driven as the program drives it, for tests and fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "expander.h"

// Feeds text in pieces of the sizes next_piece gives (at least 1) into a sink
// of the given capacity, and returns what came out. The expander is told the
// template's size as template_size says (0: not told).
std::string expand_in_pieces(std::string_view text, const std::vector<std::string>& arguments,
                             const std::function<size_t()>& next_piece, size_t capacity,
                             Expander::Way way = Expander::Way::kEither,
                             uint64_t template_size = 0);
