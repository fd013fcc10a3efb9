#include "loop_mount.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdint>

#include "process.h"

namespace support {

namespace {

// The shutdown request that XFS and ext4 share (xfs_io's "shutdown"), with
// its two ways: write the journal first, or drop it.
const unsigned long kShutdown = _IOR('X', 125, uint32_t);
const uint32_t kFlushLog = 0x1;
const uint32_t kDropLog = 0x2;

}  // namespace

LoopMount::LoopMount(const char* mount_program) : mount_program_(mount_program) {
  chmod(dir_.path().c_str(), 0755);  // for nobody
}

LoopMount::~LoopMount() {
  if (mounted_)
    umount2(point().c_str(), MNT_DETACH);
}

std::string LoopMount::set_up(const FileSystem& fs) {
  if (mount_program_.empty())
    return "mount is not installed";
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return "cannot have mounts of its own here";
  if (mkdir(point().c_str(), 0755) != 0)
    return "cannot make the mount point";
  mount_args_ = {"-t", fs.type};
  if (fs.mkfs) {
    const std::string image = dir_ / "image";
    write_file(image, "");
    if (truncate(image.c_str(), off_t{fs.megabytes} << 20) != 0)
      return "cannot make the image";
    std::vector<std::string> mkfs = fs.mkfs_options;
    mkfs.push_back(image);
    Outcome made = run_in(dir_.path(), fs.mkfs, mkfs);
    if (made.exit_code() != 0)
      return std::string(fs.mkfs) + " failed: " + made.err;
    mount_args_.insert(mount_args_.end(), {"-o", "loop", image, point()});
  } else {
    mount_args_.insert(mount_args_.end(),
                       {"-o", "size=" + std::to_string(fs.megabytes) + "m", "plom", point()});
  }
  Outcome mounted = run_in(dir_.path(), mount_program_, mount_args_);
  if (mounted.exit_code() != 0)
    return "cannot mount " + std::string(fs.type) + ": " + mounted.err;
  mounted_ = true;
  chmod(point().c_str(), 0777);
  return "";
}

bool LoopMount::shut_down(bool flush_log) const {
  const int fd = open(point().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  uint32_t how = flush_log ? kFlushLog : kDropLog;
  const bool done = ioctl(fd, kShutdown, &how) == 0;
  close(fd);
  return done;
}

std::string LoopMount::remount() {
  if (umount2(point().c_str(), 0) != 0)
    return "cannot unmount";
  mounted_ = false;
  Outcome mounted = run_in(dir_.path(), mount_program_, mount_args_);
  if (mounted.exit_code() != 0)
    return "cannot mount again: " + mounted.err;
  mounted_ = true;
  return "";
}

void LoopMount::sync() const {
  const int fd = open(point().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    syncfs(fd);
    close(fd);
  }
}

size_t LoopMount::available() const {
  sync();
  struct statvfs st;
  if (statvfs(point().c_str(), &st) != 0)
    return 0;
  return static_cast<size_t>(st.f_bavail) * st.f_frsize;
}

bool LoopMount::leave(size_t level) const {
  const std::string fill = path("fill");
  unlink(fill.c_str());
  const size_t now = available();
  if (now <= level)
    return false;
  const int fd = open(fill.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  const bool filled = fd >= 0 && fallocate(fd, 0, 0, static_cast<off_t>(now - level)) == 0;
  if (fd >= 0)
    close(fd);
  return filled;
}

}  // namespace support
