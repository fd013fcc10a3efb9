// plom-template on real file systems that are nearly full. The output file
// is first given room for the whole template; ext4 may grant part of that
// before it gives up. Whatever each file system does, the output is exactly
// the expansion, or the write fails and the earlier output stays.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "nobody.h"
#include "process.h"
#include "tempdir.h"

namespace {

struct FileSystem {
  const char* name;
  const char* type;
  const char* mkfs;  // its path, empty when missing; none for tmpfs
  std::vector<std::string> mkfs_options;
  int megabytes;
  bool unprivileged;  // run as nobody, for whom the reserved blocks are not free
};

const FileSystem kFileSystems[] = {
    {"Ext4", "ext4", PLOM_MKFS_EXT4, {"-q", "-F", "-m", "0"}, 64, false},
    {"Ext4WithReserve", "ext4", PLOM_MKFS_EXT4, {"-q", "-F"}, 64, true},
    {"Xfs", "xfs", PLOM_MKFS_XFS, {"-q", "-f"}, 300, false},  // XFS's smallest
    {"Btrfs", "btrfs", PLOM_MKFS_BTRFS, {"-q", "-f"}, 256, false},
    {"Tmpfs", "tmpfs", nullptr, {}, 16, false},
};

// Room left for the output: from too little for any expansion to more than
// the growing one needs. The template takes 2,000 KiB.
const size_t kLevels[] = {384 << 10, 1 << 20, 3 << 19, 3 << 20, 10 << 20};

struct Expansion {
  const char* argument;
  std::string output;
};

const std::string kTemplate = [] {
  std::string text;
  for (int i = 0; i < 409600; i++)
    text += "NAMEx";
  return text;
}();

const Expansion kExpansions[] = {
    {"NAME=", std::string(409600, 'x')},  // a fifth of the template
    {"NAME=NAMExNAME", [] {               // twice the template
       std::string text;
       for (int i = 0; i < 409600; i++)
         text += "NAMExNAMEx";
       return text;
     }()},
};

// A file system mounted in this process's own mount namespace, so that it
// goes away with the process whatever happens.
class Mount {
 public:
  Mount() { chmod(dir_.path().c_str(), 0755); }  // for nobody
  ~Mount() {
    if (mounted_)
      umount2(point().c_str(), MNT_DETACH);
  }
  Mount(const Mount&) = delete;
  Mount& operator=(const Mount&) = delete;

  // Makes and mounts fs: empty, or why it cannot be done here.
  std::string set_up(const FileSystem& fs) {
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      return "cannot have mounts of its own here";
    if (mkdir(point().c_str(), 0755) != 0)
      return "cannot make the mount point";
    std::vector<std::string> args = {"-t", fs.type};
    if (fs.mkfs) {
      const std::string image = dir_ / "image";
      support::write_file(image, "");
      if (truncate(image.c_str(), off_t{fs.megabytes} << 20) != 0)
        return "cannot make the image";
      std::vector<std::string> mkfs = fs.mkfs_options;
      mkfs.push_back(image);
      support::Outcome made = support::run_in(dir_.path(), fs.mkfs, mkfs);
      if (made.exit_code() != 0)
        return std::string(fs.mkfs) + " failed: " + made.err;
      args.insert(args.end(), {"-o", "loop", image, point()});
    } else {
      args.insert(args.end(), {"-o", "size=" + std::to_string(fs.megabytes) + "m", "plom", point()});
    }
    support::Outcome mounted = support::run_in(dir_.path(), PLOM_MOUNT, args);
    if (mounted.exit_code() != 0)
      return "cannot mount " + std::string(fs.type) + ": " + mounted.err;
    mounted_ = true;
    chmod(point().c_str(), 0777);
    return "";
  }

  std::string point() const { return dir_ / "mnt"; }
  std::string path(const std::string& name) const { return point() + "/" + name; }
  const support::TempDir& dir() const { return dir_; }

  // What the program's user may still write, in bytes.
  size_t available() const {
    sync();
    struct statvfs st;
    if (statvfs(point().c_str(), &st) != 0)
      return 0;
    return static_cast<size_t>(st.f_bavail) * st.f_frsize;
  }

  // Fills the file system with a file of root's until about level bytes are left.
  bool leave(size_t level) const {
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

 private:
  void sync() const {
    const int fd = open(point().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      syncfs(fd);
      close(fd);
    }
  }

  support::TempDir dir_;
  bool mounted_ = false;
};

void PrintTo(const FileSystem& fs, std::ostream* os) { *os << fs.name; }

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> names_in(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class NearlyFull : public testing::TestWithParam<FileSystem> {};

TEST_P(NearlyFull, ExactOutputOrNone) {
  const FileSystem& fs = GetParam();
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root to mount file systems";
  if (fs.mkfs && !*fs.mkfs)
    GTEST_SKIP() << "no mkfs for " << fs.type;
  Mount mounted;
  const std::string why_not = mounted.set_up(fs);
  if (!why_not.empty())
    GTEST_SKIP() << why_not;
  support::TempDir bin;
  const std::string program =
      fs.unprivileged ? support::runnable_by_all(bin, PLOM_TEMPLATE_BIN) : PLOM_TEMPLATE_BIN;
  const std::string template_path = mounted.dir() / "template";
  support::write_file(template_path, kTemplate);

  for (size_t level : kLevels) {
    ASSERT_TRUE(mounted.leave(level)) << level;
    for (const Expansion& e : kExpansions) {
      support::write_file(mounted.path("o"), "old");
      const std::vector<std::string> before = names_in(mounted.point());
      const size_t available = mounted.available();
      const std::string where = std::to_string(available >> 10) + " KiB free, " + e.argument;
      support::Launch launch =
          support::launch_in(mounted.point(), program, {template_path, "o", e.argument});
      if (fs.unprivileged)
        launch.in_child = support::become_nobody;
      support::Outcome got = support::run(launch);

      const std::string output = support::read_file(mounted.path("o")).value_or("(none)");
      if (got.exit_code() == 0) {
        EXPECT_TRUE(output == e.output) << where << ": " << output.size() << " bytes, not "
                                        << e.output.size();
      } else {
        EXPECT_EQ(got.exit_code(), 1) << where;
        EXPECT_EQ(got.err.rfind("Failed to write output o: Failed to ", 0), 0u) << got.err;
        EXPECT_TRUE(ends_with(got.err, ": No space left on device\n")) << got.err;
        EXPECT_EQ(output, "old") << where;
      }
      EXPECT_EQ(names_in(mounted.point()), before) << where;  // no temporary file
      if (e.output.size() <= available / 2) {
        EXPECT_EQ(got.exit_code(), 0) << where << ": room enough, yet " << got.err;
      }
      unlink(mounted.path("o").c_str());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(, NearlyFull, testing::ValuesIn(kFileSystems),
                         [](const testing::TestParamInfo<FileSystem>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
