#include "expect.h"

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

}  // namespace support
