#include "messages.h"

#include <cstdarg>
#include <cstdio>

void print_usage() {
  fputs(
      "Usage:\n"
      "  plom run result-file command\n"
      "  plom check result-files...\n",
      stderr);
}

void report(const char* format, ...) {
  va_list args;
  va_start(args, format);
  g_autofree char* message = g_strdup_vprintf(format, args);
  va_end(args);
  fputs(message, stderr);
}
