// Differential fuzzing of the substitution against the plain method.
// Input: a count byte, that many NUL-terminated arguments, a byte that sets
// the largest piece and the sink's size, then the text, fed in pieces of
// pseudo-random sizes down to one byte.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "expand_model.h"
#include "expander.h"

namespace {

void append(void* output, const char* data, size_t size) {
  static_cast<std::string*>(output)->append(data, size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2)
    return 0;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t count = static_cast<unsigned char>(input[0]) % 8;
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

  std::vector<const char*> argv;
  for (const std::string& a : owned)
    argv.push_back(a.c_str());
  std::string output;
  Expander expander(argv.data(), argv.size());
  Sink sink(capacity, append, &output);
  uint32_t state = shape * 2654435761u + 1;
  for (size_t at = 0; at < input.size();) {
    state = state * 1103515245u + 12345u;
    size_t piece = std::min<size_t>(1 + (state >> 16) % largest_piece, input.size() - at);
    if (!expander.feed(input.data() + at, piece, sink))
      break;
    at += piece;
  }
  expander.finish(sink);
  sink.flush();

  std::vector<std::string_view> arguments(owned.begin(), owned.end());
  if (expand_model(input, arguments) != output)
    abort();
  return 0;
}
