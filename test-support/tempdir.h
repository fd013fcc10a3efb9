// A fresh directory per test, removed with everything in it afterwards.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Names of the entries in the directory, sorted.
  std::vector<std::string> entries() const;

 private:
  std::string path_;
};

// Names of the entries in dir, sorted.
std::vector<std::string> list_dir(const std::string& dir);

// Files by name and content; a name ending in "/" is a directory.
using Files = std::vector<std::pair<std::string, std::string>>;

// Makes the files in dir.
void lay_out(const TempDir& dir, const Files& files);
// Every entry of dir, sorted by name, with the content of files; directories
// end in "/", and anything else that is not a regular file shows as "?".
Files contents(const TempDir& dir);

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);
// Gives path a modification time ten seconds ahead: newer than anything made
// so far, without waiting for the clock.
void make_newer(const std::string& path);

}  // namespace support
