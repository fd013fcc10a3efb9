// A file system made in an image file and loop-mounted in this process's own
// mount namespace, so that it goes away with the process whatever happens.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tempdir.h"

namespace support {

struct FileSystem {
  const char* name;
  const char* type;
  const char* mkfs;  // its path, empty when missing; none for tmpfs
  std::vector<std::string> mkfs_options;
  int megabytes;
};

class LoopMount {
 public:
  explicit LoopMount(const char* mount_program);
  ~LoopMount();
  LoopMount(const LoopMount&) = delete;
  LoopMount& operator=(const LoopMount&) = delete;

  // Makes and mounts fs: empty, or why it cannot be done here.
  std::string set_up(const FileSystem& fs);
  // Stops the file system at once, as a power cut would: what is not on the
  // disk yet never gets there. With flush_log the journal is written first.
  bool shut_down(bool flush_log) const;
  // Unmounts and mounts again, replaying the journal: empty, or what failed.
  std::string remount();

  std::string point() const { return dir_ / "mnt"; }
  std::string path(const std::string& name) const { return point() + "/" + name; }
  const TempDir& dir() const { return dir_; }

  // Writes everything out, so that what is there now survives a shutdown.
  void sync() const;
  // What an unprivileged user may still write, in bytes.
  size_t available() const;
  // Fills the file system with a file of root's until about level bytes are left.
  bool leave(size_t level) const;

 private:
  std::string mount_program_;
  std::vector<std::string> mount_args_;
  TempDir dir_;
  bool mounted_ = false;
};

}  // namespace support
