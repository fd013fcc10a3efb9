#include <csignal>

#include "cli.h"

int main(int argc, char** argv) {
  // With SIGCHLD ignored (inherited from some callers) the wait for the test
  // fails and would record a failed test as passed.
  signal(SIGCHLD, SIG_DFL);
  return dispatch(argc, argv);
}
