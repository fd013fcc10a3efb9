// Differential fuzzing of the substitution against the plain method.
// Input: a count byte (its high bit: go backwards all the time), that many
// NUL-terminated arguments, a byte that sets the largest piece and the
// sink's size, then the text, fed in pieces of pseudo-random sizes down to
// one byte.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "expand_model.h"
#include "expand_pieces.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2)
    return 0;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t count = static_cast<unsigned char>(input[0]) % 32;
  const Expander::Way way =
      input[0] & 0x80 ? Expander::Way::kBackwards : Expander::Way::kChoose;
  input.remove_prefix(1);
  std::vector<std::string> owned;
  for (size_t i = 0; i < count; i++) {
    size_t end = input.find('\0');
    if (end == std::string_view::npos)
      break;
    owned.emplace_back(input.substr(0, end));
    input.remove_prefix(end + 1);
  }
  if (input.empty())
    return 0;
  const unsigned shape = static_cast<unsigned char>(input[0]);
  input.remove_prefix(1);
  // Pieces and sinks from one byte to a few hundred: small ones for names
  // straddling pieces, large ones for the 64-byte scan.
  const size_t largest_piece = 1 + (shape % 16) * 17;
  const size_t capacity = 1 + (shape / 16) * 13;

  uint32_t state = shape * 2654435761u + 1;
  const std::string output = expand_in_pieces(
      input, owned,
      [&state, largest_piece] {
        state = state * 1103515245u + 12345u;
        return 1 + (state >> 16) % largest_piece;
      },
      capacity, way);

  std::vector<std::string_view> arguments(owned.begin(), owned.end());
  if (expand_model(input, arguments) != output)
    abort();
  return 0;
}
