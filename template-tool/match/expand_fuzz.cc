// Differential fuzzing of the substitution against the plain method.
// Input: a count byte (its high bit: go backwards all the time; the next:
// add hundreds of names cut from the text), that many NUL-terminated
// arguments, a byte that sets the largest piece and the sink's size, then
// the text, fed in pieces of pseudo-random sizes down to one byte.
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
  const Expander::Way way = input[0] & 0x80 ? Expander::Way::kBackwards : Expander::Way::kEither;
  const bool many = input[0] & 0x40;
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
  auto next = [&state](uint32_t below) {
    state = state * 1103515245u + 12345u;
    return (state >> 8) % below;
  };
  // Names cut from the text match it, nearly match it, begin and end each
  // other; a NUL or '=' in one cuts it as it would an argument.
  if (many && !input.empty()) {
    for (size_t i = 0, n = 100 + shape * 2; i < n; i++) {
      const size_t at = next(static_cast<uint32_t>(input.size()));
      const size_t length = 1 + next(i % 16 == 0 ? 200 : 12);
      owned.push_back(std::string(input.substr(at, length)) + "=" + std::to_string(i % 7));
    }
  }
  const std::string output = expand_in_pieces(
      input, owned,
      [&next, largest_piece] { return 1 + next(static_cast<uint32_t>(largest_piece)); }, capacity,
      way);

  std::vector<std::string_view> arguments(owned.begin(), owned.end());
  if (expand_model(input, arguments) != output)
    abort();
  return 0;
}
