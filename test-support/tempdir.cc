#include "tempdir.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace support {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "plom-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::entries() const { return list_dir(path_); }

std::vector<std::string> list_dir(const std::string& dir) {
  std::vector<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void lay_out(const TempDir& dir, const Files& files) {
  for (const auto& [name, text] : files) {
    if (name.back() == '/') {
      if (mkdir((dir / name).c_str(), 0777) != 0)
        throw std::runtime_error("cannot make " + name);
    } else {
      write_file(dir / name, text);
    }
  }
}

Files contents(const TempDir& dir) {
  Files found;
  for (const std::string& name : dir.entries()) {
    struct stat st;
    if (lstat((dir / name).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      found.push_back({name + "/", ""});
    else if (S_ISREG(st.st_mode))
      found.push_back({name, read_file(dir / name).value_or("?")});
    else
      found.push_back({name, "?"});
  }
  return found;
}

std::optional<std::string> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out)
    throw std::runtime_error("cannot write " + path);
}

void make_newer(const std::string& path) {
  struct timeval later[2];
  gettimeofday(&later[0], nullptr);
  later[0].tv_sec += 10;
  later[1] = later[0];
  if (utimes(path.c_str(), later) != 0)
    throw std::runtime_error("cannot touch " + path);
}

}  // namespace support
