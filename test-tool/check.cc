#include <optional>

#include "cli.h"
#include "messages.h"
#include "result_file.h"

int check(int argc, char** argv) {
  if (argc < 3) {
    print_usage();
    return 1;
  }
  int total = 0;
  int failed = 0;
  for (int i = 2; i < argc; i++) {
    total++;
    g_autoptr(GError) error = nullptr;
    g_autoptr(GKeyFile) results = result_file_load(argv[i], &error);
    if (!results) {
      report("Failed to load results %s: %s\n", argv[i], error->message);
      return 1;
    }
    std::optional<int> status = result_file_read_status(results);
    if (!status || *status != 0)
      failed++;
  }
  if (failed == 0) {
    report("Passed all %d tests\n", total);
    return 0;
  }
  report("Failed %d/%d tests\n", failed, total);
  return 1;
}
