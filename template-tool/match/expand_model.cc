#include "expand_model.h"

#include <algorithm>

std::string expand_model(std::string_view text, std::vector<std::string_view> arguments) {
  // Text and arguments are C strings: each ends at its first NUL byte.
  const size_t length = std::min(text.find('\0'), text.size());
  for (std::string_view& a : arguments)
    a = a.substr(0, a.find('\0'));
  std::string output;
  size_t i = 0;
  while (i < length) {
    bool matched = false;
    for (std::string_view a : arguments) {
      size_t k = 0;
      while (k < a.size() && i + k < length && a[k] == text[i + k] && a[k] != '=')
        k++;
      // An empty name would match everywhere without advancing: it never matches.
      if (k > 0 && k < a.size() && a[k] == '=') {
        output.append(a.substr(k + 1));
        i += k;
        matched = true;
        break;
      }
    }
    if (!matched)
      output.push_back(text[i++]);
  }
  return output;
}
