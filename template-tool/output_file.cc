#include "output_file.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include <glib/gstdio.h>

#include "file_error.h"
#include "replace_check.h"

namespace {

// Every MiB written is sent on to the disk at once, so that the sync at the
// end waits for little more than the last of it: the disk writes while the
// template is expanded (a 32 MiB output on ext4 took 39 ms with one sync at
// the end, 28 ms with this; larger steps gain less, smaller ones cost calls).
constexpr guint64 kWriteBehind = 1024 * 1024;

// The temporary file that a terminating signal must remove first.
const char* volatile signal_removes = nullptr;

void remove_and_end(int signal_number) {
  const char* path = signal_removes;
  if (path)
    unlink(path);
  struct sigaction fall_back = {};
  fall_back.sa_handler = SIG_DFL;
  sigaction(signal_number, &fall_back, nullptr);
  raise(signal_number);  // delivered, and acted on as by default, once this returns
}

// Every signal that ends the process by default and comes from outside it,
// with the real-time signals below. Those a fault of its own raises
// (SIGSEGV, SIGBUS, SIGABRT, ...) are left alone, and so is SIGXFSZ, which
// main() ignores.
const int kTerminating[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGPIPE, SIGALRM,   SIGTERM,
    SIGUSR1,   SIGUSR2, SIGIO,   SIGPROF, SIGVTALRM, SIGXCPU,
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

sigset_t terminating_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kTerminating)
    sigaddset(&set, s);
  for (int s = SIGRTMIN; s <= SIGRTMAX; s++)
    sigaddset(&set, s);
  return set;
}

// A signal that the caller has us ignore stays ignored.
// Called with the signals held: one that comes meanwhile while ignored stays
// pending until it is ignored again, and is then dropped.
void catch_terminating_signals() {
  struct sigaction action = {};
  action.sa_handler = remove_and_end;
  action.sa_mask = terminating_signals();
  for (int s = 1; s < NSIG; s++) {
    struct sigaction old;
    // One call a signal, start-up being what build systems pay most for.
    if (sigismember(&action.sa_mask, s) == 1 && sigaction(s, &action, &old) == 0 &&
        old.sa_handler == SIG_IGN)
      sigaction(s, &old, nullptr);
  }
}

// Holds the terminating signals back while the temporary file comes or goes.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set = terminating_signals();
    sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

}  // namespace

OutputFile::~OutputFile() {
  discard();
  g_free(temp_);
  g_clear_error(&error_);
}

void OutputFile::discard() {
  if (fd_ >= 0)
    close(fd_);
  fd_ = -1;
  if (created_) {
    SignalsHeld held;
    unlink(temp_);
    signal_removes = nullptr;
    created_ = false;
  }
}

bool OutputFile::open(const char* path, GError** error) {
  path_ = path;
  if (!check_replaceable(path, error))
    return false;
  temp_ = g_strdup_printf("%s.XXXXXX", path);
  {
    SignalsHeld held;
    catch_terminating_signals();
    fd_ = g_mkstemp_full(temp_, O_RDWR | O_CLOEXEC, 0666);
    if (fd_ < 0) {
      set_file_error(error, temp_, "Failed to create file \xe2\x80\x9c%s\xe2\x80\x9d: %s", errno);
      return false;
    }
    signal_removes = temp_;
    created_ = true;
  }
  return true;
}

// Whether the reservation succeeds matters not: commit() cuts the file back
// to what was written either way. On tmpfs a reservation only clears pages
// that the writes then fill (a 32 MiB output: 40 ms with it, 35 without).
void OutputFile::expect(guint64 size) {
  struct statfs fs;
  if (size > 0 && (fstatfs(fd_, &fs) != 0 || fs.f_type != TMPFS_MAGIC))
    fallocate(fd_, 0, 0, static_cast<off_t>(size));
}

void OutputFile::write(const char* data, gsize size) {
  while (!error_ && size > 0) {
    const ssize_t n = ::write(fd_, data, size < G_MAXSSIZE ? size : G_MAXSSIZE);
    if (n < 0) {
      if (errno != EINTR)
        set_file_error(&error_, temp_,
                       "Failed to write file \xe2\x80\x9c%s\xe2\x80\x9d: write() failed: %s",
                       errno);
      continue;
    }
    data += n;
    size -= static_cast<gsize>(n);
    written_ += static_cast<guint64>(n);
  }
  if (written_ - flushed_ >= kWriteBehind) {
    // Only starts the writing; a failure shows in the sync at the end.
    sync_file_range(fd_, static_cast<off_t>(flushed_), static_cast<off_t>(written_ - flushed_),
                    SYNC_FILE_RANGE_WRITE);
    flushed_ = written_;
  }
}

bool OutputFile::commit(GError** error) {
  if (error_) {
    g_propagate_error(error, g_steal_pointer(&error_));
    discard();
    return false;
  }
  // Room reserved beyond the end is given back. A reservation that failed
  // for want of room may have grown the file part of the way all the same
  // (ext4 keeps what it got), so the file's size decides, not the outcome.
  struct stat st;
  if (fstat(fd_, &st) != 0) {
    set_file_error(error, temp_,
                   "Failed to write file \xe2\x80\x9c%s\xe2\x80\x9d: fstat() failed: %s", errno);
    discard();
    return false;
  }
  if (static_cast<guint64>(st.st_size) > written_ &&
      ftruncate(fd_, static_cast<off_t>(written_)) != 0) {
    set_file_error(error, temp_,
                   "Failed to write file \xe2\x80\x9c%s\xe2\x80\x9d: ftruncate() failed: %s",
                   errno);
    discard();
    return false;
  }
  // The data reaches the disk before the name does, whatever the name held
  // before: otherwise a power cut can leave the new size over blocks never
  // written, the full length in NUL bytes.
  if (fsync(fd_) != 0) {
    set_file_error(error, temp_,
                   "Failed to write file \xe2\x80\x9c%s\xe2\x80\x9d: fsync() failed: %s", errno);
    discard();
    return false;
  }
  const int fd = fd_;
  fd_ = -1;
  if (!g_close(fd, error)) {
    discard();
    return false;
  }
  {
    SignalsHeld held;
    if (rename(temp_, path_) != 0) {
      const int saved_errno = errno;
      g_autofree char* display_temp = g_filename_display_name(temp_);
      g_autofree char* display_path = g_filename_display_name(path_);
      g_set_error(error, G_FILE_ERROR, g_file_error_from_errno(saved_errno),
                  "Failed to rename file \xe2\x80\x9c%s\xe2\x80\x9d to \xe2\x80\x9c%s\xe2\x80\x9d: "
                  "g_rename() failed: %s",
                  display_temp, display_path, g_strerror(saved_errno));
      discard();
      return false;
    }
    signal_removes = nullptr;
    created_ = false;
  }
  // Once the directory is synced a power cut leaves the new file, and no
  // temporary one. The output is in place already, so a failure here
  // changes nothing a status could report: a power cut then leaves the old
  // file or the new one, and perhaps the temporary one beside it.
  g_autofree char* dir = g_path_get_dirname(path_);
  const int dir_fd = ::open(dir, O_RDONLY | O_CLOEXEC);
  if (dir_fd >= 0) {
    fsync(dir_fd);
    close(dir_fd);
  }
  return true;
}
