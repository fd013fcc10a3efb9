#include "template_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include "file_error.h"

TemplateFile::~TemplateFile() {
  if (fd_ >= 0)
    close(fd_);
}

// Failures are worded as reading the file whole would word them.
bool TemplateFile::open(const char* path, GError** error) {
  path_ = path;
  fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    set_file_error(error, path, "Failed to open file \xe2\x80\x9c%s\xe2\x80\x9d: %s", errno);
    return false;
  }
  struct stat st;
  if (fstat(fd_, &st) < 0) {
    set_file_error(
        error, path,
        "Failed to get attributes of file \xe2\x80\x9c%s\xe2\x80\x9d: fstat() failed: %s", errno);
    return false;
  }
  size_ = left_ = S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<guint64>(st.st_size) : 0;
#ifdef POSIX_FADV_SEQUENTIAL
  if (size_ > 0)
    posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
  return true;
}

gssize TemplateFile::read(char* buffer, gsize size, GError** error) {
  if (size_ > 0) {
    if (left_ == 0)
      return 0;
    if (size > left_)
      size = static_cast<gsize>(left_);
  }
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) {
      if (size_ > 0)
        left_ = n == 0 ? 0 : left_ - static_cast<guint64>(n);
      return n;
    }
    if (errno == EINTR)
      continue;
    set_file_error(error, path_,
                   size_ > 0 ? "Failed to read from file \xe2\x80\x9c%s\xe2\x80\x9d: %s"
                             : "Error reading file \xe2\x80\x9c%s\xe2\x80\x9d: %s",
                   errno);
    return -1;
  }
}
