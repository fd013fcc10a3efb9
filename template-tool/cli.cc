#include "cli.h"

#include <glib.h>

#include <cstdio>
#include <string_view>
#include <vector>

#include "expand.h"

// One line naming the path as given, formatted first and written in one piece.
static void report(const char* what, const char* path, const GError* error) {
  g_autofree char* message = g_strdup_printf("Failed to %s %s: %s\n", what, path, error->message);
  fputs(message, stderr);
}

int template_main(int argc, char** argv) {
  if (argc < 3) {
    fputs("Usage: plom-template [TEMPLATE] [OUTPUT] [NAME=VALUE] ...\n", stderr);
    return 1;
  }
  const char* template_path = argv[1];
  const char* output_path = argv[2];
  g_autoptr(GError) error = nullptr;
  g_autofree char* text = nullptr;
  gsize length = 0;
  // Read whole before anything is written: template and output may be one file.
  if (!g_file_get_contents(template_path, &text, &length, &error)) {
    report("load template", template_path, error);
    return 1;
  }
  std::vector<std::string_view> arguments(argv + 3, argv + argc);
  g_autoptr(GString) output = expand(std::string_view(text, length), arguments);
  g_clear_pointer(&text, g_free);
  if (!g_file_set_contents(output_path, output->str, output->len, &error)) {
    report("write output", output_path, error);
    return 1;
  }
  return 0;
}
