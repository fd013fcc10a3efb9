#include "replace_check.h"

#include <sys/stat.h>

static const char* special_kind(mode_t mode) {
  if (S_ISCHR(mode))
    return "a character device";
  if (S_ISBLK(mode))
    return "a block device";
  if (S_ISFIFO(mode))
    return "a FIFO";
  if (S_ISSOCK(mode))
    return "a socket";
  return nullptr;
}

bool check_replaceable(const char* path, GError** error) {
  struct stat st;
  if (lstat(path, &st) != 0)
    return true;
  const char* kind = special_kind(st.st_mode);
  if (!kind)
    return true;
  g_autofree char* display = g_filename_display_name(path);
  g_set_error(error, G_FILE_ERROR, G_FILE_ERROR_FAILED,
              "Refusing to replace \xe2\x80\x9c%s\xe2\x80\x9d: it is %s", display, kind);
  return false;
}
