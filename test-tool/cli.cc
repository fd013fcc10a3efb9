#include "cli.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

void print_usage() {
  fputs("Usage:\n"
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

int dispatch(int argc, char** argv) {
  if (argc < 2) {
    print_usage();
    return 1;
  }
  if (strcmp(argv[1], "run") == 0)
    return run(argc, argv);
  if (strcmp(argv[1], "check") == 0)
    return check(argc, argv);
  print_usage();
  return 1;
}
