// A fresh directory per test, removed with everything in it afterwards.
#pragma once

#include <optional>
#include <string>
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

// The whole content of a file, or nothing when it cannot be read.
std::optional<std::string> read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);

}  // namespace support
