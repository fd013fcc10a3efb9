// The output, written through a temporary file beside it and renamed over it
// at the end: it is replaced as a whole or not at all.
#pragma once

#include <glib.h>

class OutputFile {
 public:
  OutputFile() = default;
  // A temporary file not renamed into place is removed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file (mode 0666 less the umask). Until it is
  // renamed or removed, every signal that would end the process from
  // outside (SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, the real-time
  // signals, ...) removes it first, then ends the process as it would have.
  bool open(const char* path, GError** error);
  // Reserves room for about size bytes, as a hint (the file system may
  // ignore it, or grant part of it): the output then takes less work to
  // write. Whatever it reserved, the output holds only what was written.
  void expect(guint64 size);
  // Appends to the temporary file. After a failure later writes do nothing
  // and commit() reports the first failure.
  void write(const char* data, gsize size);
  bool failed() const { return error_ != nullptr; }
  // Syncs the temporary file, renames it over the output and syncs the
  // directory: after a power cut the output holds the old content or the
  // new, never a mixture or the new size in NUL bytes.
  bool commit(GError** error);

 private:
  void discard();

  const char* path_ = nullptr;
  char* temp_ = nullptr;
  int fd_ = -1;
  bool created_ = false;  // the temporary file exists
  guint64 written_ = 0;
  guint64 flushed_ = 0;  // bytes sent on to the disk
  GError* error_ = nullptr;
};
