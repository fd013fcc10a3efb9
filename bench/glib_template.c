/* plom-template's job done with GLib's whole-file calls: the template read
 * whole, the plain per-position substitution, the output replaced whole.
 * Same arguments, messages and statuses. */
#include <glib.h>
#include <stdio.h>
#include <string.h>

static void report(const char* what, const char* path, const GError* error) {
  g_autofree char* message = g_strdup_printf("Failed to %s %s: %s\n", what, path, error->message);
  fputs(message, stderr);
}

/* At each position the first argument whose whole name is there wins. */
static GString* expand(const char* text, char** arguments, int count) {
  GString* output = g_string_new(NULL);
  size_t i = 0;
  while (text[i] != '\0') {
    int matched = 0;
    for (int a = 0; a < count && !matched; a++) {
      const char* argument = arguments[a];
      size_t k = 0;
      while (argument[k] != '\0' && argument[k] != '=' && argument[k] == text[i + k])
        k++;
      if (k > 0 && argument[k] == '=') {
        g_string_append(output, argument + k + 1);
        i += k;
        matched = 1;
      }
    }
    if (!matched)
      g_string_append_c(output, text[i++]);
  }
  return output;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fputs("Usage: plom-template [TEMPLATE] [OUTPUT] [NAME=VALUE] ...\n", stderr);
    return 1;
  }
  g_autoptr(GError) error = NULL;
  g_autofree char* text = NULL;
  if (!g_file_get_contents(argv[1], &text, NULL, &error)) {
    report("load template", argv[1], error);
    return 1;
  }
  g_autoptr(GString) output = expand(text, argv + 3, argc - 3);
  if (!g_file_set_contents(argv[2], output->str, -1, &error)) {
    report("write output", argv[2], error);
    return 1;
  }
  return 0;
}
