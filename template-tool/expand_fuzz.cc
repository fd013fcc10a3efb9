// Differential fuzzing of the substitution against the plain method.
// Input: a count byte, that many NUL-terminated arguments, then the text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "expand.h"
#include "expand_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0)
    return 0;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t count = static_cast<unsigned char>(input[0]) % 8;
  input.remove_prefix(1);
  std::vector<std::string_view> arguments;
  for (size_t i = 0; i < count; i++) {
    size_t end = input.find('\0');
    if (end == std::string_view::npos)
      break;
    arguments.push_back(input.substr(0, end));
    input.remove_prefix(end + 1);
  }
  g_autoptr(GString) fast = expand(input, arguments);
  if (expand_model(input, arguments) != std::string_view(fast->str, fast->len))
    abort();
  return 0;
}
