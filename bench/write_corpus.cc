// Writes the benchmark template to a file: write-corpus PATH [MEBIBYTES]
#include <cstdio>
#include <cstdlib>

#include "corpus.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fputs("usage: write-corpus path [mebibytes]\n", stderr);
    return 1;
  }
  size_t mebibytes = argc > 2 ? strtoul(argv[2], nullptr, 10) : 64;
  std::string text = make_corpus(mebibytes << 20);
  FILE* out = fopen(argv[1], "wb");
  if (!out || fwrite(text.data(), 1, text.size(), out) != text.size() || fclose(out) != 0) {
    perror(argv[1]);
    return 1;
  }
  for (const std::string& argument : corpus_arguments())
    printf("%s\n", argument.c_str());
  return 0;
}
