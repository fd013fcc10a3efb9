#include "expand_pieces.h"

#include <algorithm>

#include "expander.h"

static void append(void* output, const char* data, size_t size) {
  static_cast<std::string*>(output)->append(data, size);
}

std::string expand_in_pieces(std::string_view text, const std::vector<std::string>& arguments,
                             const std::function<size_t()>& next_piece, size_t capacity,
                             Expander::Way way, uint64_t template_size) {
  std::vector<const char*> argv;
  for (const std::string& a : arguments)
    argv.push_back(a.c_str());
  std::string output;
  Expander expander(argv.data(), argv.size(), way, template_size);
  Sink sink(capacity, append, &output);
  for (size_t at = 0; at < text.size();) {
    const size_t size = std::min(next_piece(), text.size() - at);
    if (!expander.feed(text.data() + at, size, sink))
      break;
    at += size;
  }
  expander.finish(sink);
  sink.flush();
  return output;
}
