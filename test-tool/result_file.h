// The result file: one test's wait status in a key file,
// group "test-result", key "exit-status".
#pragma once

#include <glib.h>

#include <optional>

// Replaces the file at path as a whole with one holding status. A device,
// FIFO or socket at path is never replaced.
bool result_file_write(const char* path, int status, GError** error);
// The loaded key file, or nullptr with error set.
GKeyFile* result_file_load(const char* path, GError** error);
// The recorded status, or nothing when it is missing or not a 32-bit integer.
std::optional<int> result_file_read_status(GKeyFile* results);
