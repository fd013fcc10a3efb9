#include "cli.h"

#include <glib.h>

#include <cstdio>

#include "expander.h"
#include "output_file.h"
#include "template_file.h"

namespace {

// Pieces of this size keep both buffers in the cache, whatever the template's size.
constexpr gsize kPiece = 256 * 1024;

// One line naming the path as given, formatted first and written in one piece.
void report(const char* what, const char* path, const GError* error) {
  g_autofree char* message = g_strdup_printf("Failed to %s %s: %s\n", what, path, error->message);
  fputs(message, stderr);
}

void write_to(void* output, const char* data, size_t size) {
  static_cast<OutputFile*>(output)->write(data, size);
}

}  // namespace

int template_main(int argc, char** argv) {
  if (argc < 3) {
    fputs("Usage: plom-template [TEMPLATE] [OUTPUT] [NAME=VALUE] ...\n", stderr);
    return 1;
  }
  const char* template_path = argv[1];
  const char* output_path = argv[2];
  g_autoptr(GError) error = nullptr;
  TemplateFile input;
  g_autofree char* piece = static_cast<char*>(g_malloc(kPiece));
  // The first piece is read before the output is touched, so a template that
  // cannot be read leaves it alone.
  gssize got = -1;
  if (!input.open(template_path, &error) || (got = input.read(piece, kPiece, &error)) < 0) {
    report("load template", template_path, error);
    return 1;
  }
  // Everything the expansion needs is allocated before the temporary file
  // exists: when memory runs out, GLib ends the process without a chance to
  // remove it.
  OutputFile output;
  Expander expander(argv + 3, static_cast<size_t>(argc - 3));
  Sink sink(kPiece, write_to, &output);
  // The template is read through its open descriptor and the output is
  // renamed into place only at the end, so both may be the same file.
  if (!output.open(output_path, &error)) {
    report("write output", output_path, error);
    return 1;
  }
  output.expect(input.size());
  while (got > 0 && expander.feed(piece, static_cast<size_t>(got), sink) && !output.failed()) {
    got = input.read(piece, kPiece, &error);
    if (got < 0) {
      report("load template", template_path, error);
      return 1;
    }
  }
  expander.finish(sink);
  sink.flush();
  if (!output.commit(&error)) {
    report("write output", output_path, error);
    return 1;
  }
  return 0;
}
