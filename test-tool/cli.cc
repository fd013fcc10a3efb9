#include "cli.h"

#include <cstring>

#include "messages.h"

int dispatch(int argc, char** argv) {
  if (argc < 2) {
    print_usage();
    return 1;
  }
  if (strcmp(argv[1], "run") == 0)
    return run(argc, argv);
  if (strcmp(argv[1], "check") == 0)
    return check(argc, argv);
  print_usage();
  return 1;
}
