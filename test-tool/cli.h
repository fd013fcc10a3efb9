// Entry point and messages of plom-test.
#pragma once

#include <glib.h>

void print_usage();
// Formats a message first and writes it to stderr in one piece, bytes unchanged.
void report(const char* format, ...) G_GNUC_PRINTF(1, 2);
int dispatch(int argc, char** argv);

int run(int argc, char** argv);
int check(int argc, char** argv);
