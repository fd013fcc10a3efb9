// Fuzzing of the result-file reader: load and read the status of any bytes.
#include <unistd.h>
#include <cstdint>
#include <cstdlib>

#include "result_file.h"

namespace {

const char* scratch_path() {
  static char* path = [] {
    char* name = nullptr;
    int fd = g_file_open_tmp("plom-fuzz-XXXXXX", &name, nullptr);
    if (fd < 0)
      abort();
    close(fd);
    atexit([] { unlink(scratch_path()); });
    return name;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!g_file_set_contents(scratch_path(), reinterpret_cast<const char*>(data),
                           static_cast<gssize>(size), nullptr))
    abort();
  g_autoptr(GError) error = nullptr;
  g_autoptr(GKeyFile) results = result_file_load(scratch_path(), &error);
  // Either a key file or an error with a message, never both or neither.
  if ((results == nullptr) != (error != nullptr) || (error && !error->message))
    abort();
  if (results)
    result_file_read_status(results);
  return 0;
}
