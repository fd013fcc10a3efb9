#include "nobody.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace support {

bool become_nobody() {
  if (geteuid() != 0)
    return true;
  return setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
}

std::string runnable_by_all(const TempDir& where, const std::string& program) {
  const std::string copy = where / "program";
  write_file(copy, read_file(program).value_or(""));
  chmod(where.path().c_str(), 0755);
  chmod(copy.c_str(), 0755);
  return copy;
}

}  // namespace support
