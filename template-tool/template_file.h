// The template, read piece by piece: memory stays the same whatever its size.
#pragma once

#include <glib.h>

class TemplateFile {
 public:
  TemplateFile() = default;
  ~TemplateFile();
  TemplateFile(const TemplateFile&) = delete;
  TemplateFile& operator=(const TemplateFile&) = delete;

  bool open(const char* path, GError** error);
  // The template's size, when it is a regular file; otherwise 0.
  guint64 size() const { return size_; }
  // Fills buffer with the next bytes: their count, 0 at the end, -1 on error.
  gssize read(char* buffer, gsize size, GError** error);

 private:
  const char* path_ = nullptr;
  int fd_ = -1;
  guint64 size_ = 0;  // a regular file's size when opened: read up to there
  guint64 left_ = 0;
};
