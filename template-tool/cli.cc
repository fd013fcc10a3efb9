#include "cli.h"

#include <glib.h>

#include <cstdio>

#include "expander.h"
#include "output_file.h"
#include "template_file.h"

namespace {

// Pieces of this size keep the piece, the output's buffer and the names'
// tables in the cache together (larger ones measured slower, in the kernel's
// copies too; 256 KiB pieces took the same time for 32 MiB outputs on tmpfs
// and on ext4, where the reads and writes cost little beside the sync). A
// piece holds at least a few of the longest names, which are looked at again
// where pieces meet.
constexpr gsize kPiece = 64 * 1024;
constexpr gsize kLongestNamesInAPiece = 4;

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
  if (!input.open(template_path, &error)) {
    report("load template", template_path, error);
    return 1;
  }
  // Everything the expansion needs is allocated before the temporary file
  // exists: when memory runs out, GLib ends the process without a chance to
  // remove it.
  Expander expander(argv + 3, static_cast<size_t>(argc - 3), Expander::Way::kEither, input.size());
  const gsize piece_size = MAX(kPiece, kLongestNamesInAPiece * expander.longest());
  g_autofree char* piece = static_cast<char*>(g_malloc(piece_size));
  OutputFile output;
  Sink sink(piece_size, write_to, &output);
  // The first piece is read before the output is touched, so a template that
  // cannot be read leaves it alone.
  gssize got = input.read(piece, piece_size, &error);
  if (got < 0) {
    report("load template", template_path, error);
    return 1;
  }
  // The template is read through its open descriptor and the output is
  // renamed into place only at the end, so both may be the same file.
  if (!output.open(output_path, &error)) {
    report("write output", output_path, error);
    return 1;
  }
  output.expect(input.size());
  while (got > 0 && expander.feed(piece, static_cast<size_t>(got), sink) && !output.failed()) {
    got = input.read(piece, piece_size, &error);
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
