#include "expect.h"

#include <algorithm>
#include <cctype>

namespace support {

bool matches(const std::string& pattern, const std::string& text) {
  static const std::string kWild = "XXXXXX";
  size_t p = 0, t = 0;
  while (p < pattern.size()) {
    if (pattern.compare(p, kWild.size(), kWild) == 0) {
      if (t + kWild.size() > text.size())
        return false;
      p += kWild.size();
      t += kWild.size();
      continue;
    }
    if (t >= text.size() || pattern[p] != text[t])
      return false;
    p++;
    t++;
  }
  return t == text.size();
}

std::string normalise_temp_names(std::string text) {
  static const std::string kClose = "\xe2\x80\x9d";
  for (size_t at = text.find(kClose); at != std::string::npos; at = text.find(kClose, at + 1)) {
    if (at < 7 || text[at - 7] != '.')
      continue;
    bool random = true;
    for (size_t i = at - 6; i < at; i++)
      random = random && isalnum(static_cast<unsigned char>(text[i]));
    if (random)
      text.replace(at - 6, 6, "XXXXXX");
  }
  return text;
}

std::vector<std::string> sorted_lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(text.substr(at, end - at));
  std::sort(lines.begin(), lines.end());
  return lines;
}

}  // namespace support
