#include <csignal>

#include "cli.h"
#include "messages.h"
#include "result_file.h"

namespace {

// The signals that spawning sets back to their defaults in the child. A test
// started directly would inherit them ignored when its caller ignores them.
const int kResetBySpawn[] = {SIGHUP, SIGINT, SIGPIPE, SIGTERM, SIGCHLD};
constexpr int kResets = G_N_ELEMENTS(kResetBySpawn);

struct Ignored {
  bool signal[kResets] = {};
};

// Runs in the child between fork and exec: only async-signal-safe calls.
void ignore_again(gpointer data) {
  const Ignored* ignored = static_cast<const Ignored*>(data);
  for (int i = 0; i < kResets; i++)
    if (ignored->signal[i])
      signal(kResetBySpawn[i], SIG_IGN);
}

// Which of those the caller has us ignore; true when any. Signals it has
// us catch need nothing: exec sets them to their defaults.
bool find_ignored(Ignored* ignored) {
  bool any = false;
  for (int i = 0; i < kResets; i++) {
    struct sigaction action;
    if (sigaction(kResetBySpawn[i], nullptr, &action) == 0 && action.sa_handler == SIG_IGN)
      any = ignored->signal[i] = true;
  }
  return any;
}

}  // namespace

int run(int argc, char** argv) {
  if (argc < 4) {
    print_usage();
    return 1;
  }
  g_auto(GStrv) command = g_strdupv(argv + 3);
  // The test starts with the dispositions and the signal mask it would have
  // had if the caller had started it. Set-up in the child only when needed:
  // without it spawning takes its quicker way of closing descriptors.
  Ignored ignored;
  const GSpawnChildSetupFunc setup = find_ignored(&ignored) ? ignore_again : nullptr;
  // With SIGCHLD ignored (inherited from some callers) the wait for the test
  // fails and would record a failed test as passed.
  signal(SIGCHLD, SIG_DFL);
  int wait_status = 0;
  g_autoptr(GError) error = nullptr;
  // No shell: the words reach the program as they stand. The child gets the
  // null device as stdin, our stdout and stderr, and no other descriptors.
  g_spawn_sync(nullptr, command, nullptr, G_SPAWN_SEARCH_PATH, setup, &ignored, nullptr, nullptr,
               &wait_status, &error);
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
