#include <csignal>

#include "cli.h"
#include "result_file.h"

int run(int argc, char** argv) {
  if (argc < 4) {
    print_usage();
    return 1;
  }
  g_auto(GStrv) command = g_strdupv(argv + 3);
  int wait_status = 0;
  g_autoptr(GError) error = nullptr;
  // No shell: the words reach the program as they stand. The child gets the
  // null device as stdin, our stdout and stderr, and no other descriptors.
  g_spawn_sync(nullptr, command, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
               nullptr, nullptr, &wait_status, &error);
  if (error) {
    report("Failed to run command: %s\n", error->message);
    return 1;
  }
  // Past a file-size limit the write, and the message, then fail with EFBIG
  // instead of SIGXFSZ ending us with the temporary file left. Only now that
  // the test has ended: an ignored signal is inherited across exec and
  // would change how the test runs.
  signal(SIGXFSZ, SIG_IGN);
  result_file_write(argv[2], wait_status, &error);
  if (error) {
    report("Failed to write results: %s\n", error->message);
    return 1;
  }
  return 0;
}
