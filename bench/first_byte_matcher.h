// The matcher plom-template used before it looked names up by length and
// bytes: the names sharing a position's first byte are tried in order. Kept
// to measure against in the same run.
#pragma once

#include <string_view>
#include <vector>

#include "expander.h"

void first_byte_expand(std::string_view text, const std::vector<std::string_view>& arguments,
                       Sink& sink);
