// Runs a built program the way a script would and captures what it did.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace support {

struct Outcome {
  int wait_status = -1;
  std::string out;
  std::string err;

  // The exit code, or -1 when the program did not exit normally.
  int exit_code() const;
};

struct Launch {
  std::vector<std::string> argv;  // argv[0] is a path, not looked up in PATH
  std::string cwd;
  std::string stdin_text;       // what the program finds on its stdin
  bool ignore_sigchld = false;  // start it with SIGCHLD ignored
  int umask = 022;
  std::vector<std::string> env;  // extra NAME=VALUE entries
  // Runs in the child just before the program starts (limits, credentials,
  // mounts); the child ends with status 125 when it returns false.
  std::function<bool()> in_child;
};

// A started program whose outcome is not collected yet.
struct Child {
  int pid = -1;
  FILE* captured[3] = {nullptr, nullptr, nullptr};  // stdin, stdout, stderr
};

// program with args, started in cwd.
Launch launch_in(const std::string& cwd, const std::string& program,
                 const std::vector<std::string>& args);
Outcome run_in(const std::string& cwd, const std::string& program,
               const std::vector<std::string>& args);

Child start(const Launch& launch);
Outcome finish(Child& child);
Outcome run(const Launch& launch);

// Whether this build, the programs' as much as the tests', runs under
// AddressSanitizer: programs then start several times slower and reserve
// terabytes of address space.
bool sanitized();

}  // namespace support
