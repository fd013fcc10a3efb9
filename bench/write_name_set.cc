// Writes a template of the given shape to PATH and its NAME=VALUE arguments
// to PATH.args, each ended by a NUL as in an argument vector (a name may hold
// any other byte): write-name-set [--text FILE] SHAPE PATH [MEBIBYTES], the
// lines taken from FILE when it is given; or lists the shapes:
// write-name-set --shapes
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <glib.h>

#include "name_sets.h"

namespace {

bool write(const std::string& path, const std::string& text) {
  FILE* out = fopen(path.c_str(), "wb");
  if (out && fwrite(text.data(), 1, text.size(), out) == text.size() && fclose(out) == 0)
    return true;
  perror(path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--shapes") == 0) {
    for (const std::string& shape : name_set_shapes())
      printf("%s\n", shape.c_str());
    return 0;
  }
  std::string text;
  const bool with_text = argc > 2 && strcmp(argv[1], "--text") == 0;
  if (with_text) {
    g_autofree char* contents = nullptr;
    gsize size = 0;
    g_autoptr(GError) error = nullptr;
    if (!g_file_get_contents(argv[2], &contents, &size, &error)) {
      fprintf(stderr, "%s\n", error->message);
      return 1;
    }
    text.assign(contents, size);
    argv += 2;
    argc -= 2;
  }
  if (argc < 3) {
    fputs(
        "usage: write-name-set [--text file] shape path [mebibytes]\n"
        "       write-name-set --shapes (lists them; varN, sparse20, letters26,\n"
        "       binary10000, bytes254, few4, many20000 and escape3 are known too)\n",
        stderr);
    return 1;
  }
  const double mebibytes = argc > 3 ? strtod(argv[3], nullptr) : 64;
  NameSet set;
  if (!make_name_set(argv[1], static_cast<size_t>(mebibytes * (1 << 20)), &set,
                     with_text ? &text : nullptr)) {
    fprintf(stderr, "unknown shape %s\n", argv[1]);
    return 1;
  }
  std::string arguments;
  for (const std::string& a : set.arguments)
    arguments += a + '\0';
  return write(argv[2], set.text) && write(std::string(argv[2]) + ".args", arguments) ? 0 : 1;
}
