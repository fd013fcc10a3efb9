#include "file_error.h"

void set_file_error(GError** error, const char* filename, const char* format, int saved_errno) {
  g_autofree char* display = g_filename_display_name(filename);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  g_autofree char* message = g_strdup_printf(format, display, g_strerror(saved_errno));
#pragma GCC diagnostic pop
  g_set_error_literal(error, G_FILE_ERROR, g_file_error_from_errno(saved_errno), message);
}
