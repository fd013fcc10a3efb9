#include <csignal>

#include "cli.h"

int main(int argc, char** argv) {
  // Past a file-size limit a write fails with EFBIG, reported like any other
  // write failure, instead of the signal ending us with the temporary file left.
  signal(SIGXFSZ, SIG_IGN);
  return template_main(argc, argv);
}
