#include "result_file.h"

#include "replace_check.h"

static const char kGroup[] = "test-result";
static const char kKey[] = "exit-status";

bool result_file_write(const char* path, int status, GError** error) {
  g_autoptr(GKeyFile) results = g_key_file_new();
  g_key_file_set_integer(results, kGroup, kKey, status);
  g_autofree char* text = g_key_file_to_data(results, nullptr, nullptr);
  // Synced, renamed into place, and the directory synced, even where no file
  // was before: unsynced, a new file can come back from a power cut as the
  // right size in NUL bytes.
  return check_replaceable(path, error) &&
         g_file_set_contents_full(path, text, -1, G_FILE_SET_CONTENTS_CONSISTENT, 0666, error);
}

GKeyFile* result_file_load(const char* path, GError** error) {
  g_autoptr(GKeyFile) results = g_key_file_new();
  if (!g_key_file_load_from_file(results, path, G_KEY_FILE_NONE, error))
    return nullptr;
  return g_steal_pointer(&results);
}

std::optional<int> result_file_read_status(GKeyFile* results) {
  g_autoptr(GError) error = nullptr;
  // An unreadable value comes back as 0 with an error: only the error tells.
  int status = g_key_file_get_integer(results, kGroup, kKey, &error);
  if (error)
    return std::nullopt;
  return status;
}
