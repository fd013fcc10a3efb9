// The plain per-position method as a program, to check outputs the other
// peers cannot give: model-template TEMPLATE OUTPUT [NAME=VALUE...]
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "expand_model.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    fputs("usage: model-template template output [name=value...]\n", stderr);
    return 1;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::vector<std::string_view> arguments(argv + 3, argv + argc);
  const std::string output = expand_model(text, arguments);
  FILE* out = fopen(argv[2], "wb");
  if (!out || fwrite(output.data(), 1, output.size(), out) != output.size() || fclose(out) != 0) {
    perror(argv[2]);
    return 1;
  }
  return 0;
}
