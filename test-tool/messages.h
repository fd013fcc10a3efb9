// What plom-test writes on stderr.
#pragma once

#include <glib.h>

void print_usage();
// Formats a message first and writes it to stderr in one piece, bytes unchanged.
void report(const char* format, ...) G_GNUC_PRINTF(1, 2);
