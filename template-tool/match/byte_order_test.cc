#include "byte_order.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>

namespace {

// Strings that share long beginnings, differ in high bytes or only in
// length, against the standard library's byte order.
TEST(ByteOrder, AgreesWithStringOrder) {
  std::mt19937 random(8);
  auto pick = [&random](size_t low, size_t high) {
    return std::uniform_int_distribution<size_t>(low, high)(random);
  };
  const std::string alphabets[] = {"ab", "a\x7f\x80\xff", "abcdefghijklmnopqrstuvwxyz"};
  for (int round = 0; round < 20000; round++) {
    const std::string& alphabet = alphabets[round % 3];
    std::string a(pick(0, 24), ' ');
    for (char& c : a)
      c = alphabet[pick(0, alphabet.size() - 1)];
    std::string b = a.substr(0, pick(0, a.size()));
    for (size_t i = 0, more = pick(0, 24); i < more; i++)
      b += alphabet[pick(0, alphabet.size() - 1)];
    if (round % 2)
      std::swap(a, b);
    const int want = std::string_view(a).compare(b);
    const int got = compare(OrderedBytes(a.data(), a.size()), OrderedBytes(b.data(), b.size()));
    EXPECT_EQ((got > 0) - (got < 0), (want > 0) - (want < 0)) << '"' << a << "\" \"" << b << '"';
    size_t shared = 0;
    while (shared < a.size() && shared < b.size() && a[shared] == b[shared])
      shared++;
    EXPECT_EQ(shared_prefix(a.data(), b.data(), std::min(a.size(), b.size())), shared)
        << '"' << a << "\" \"" << b << '"';
  }
}

}  // namespace
