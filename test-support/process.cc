#include "process.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace support {

int Outcome::exit_code() const {
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
}

static std::string slurp(FILE* f) {
  std::string text;
  rewind(f);
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0)
    text.append(buf, n);
  return text;
}

Outcome run(const Launch& launch) {
  FILE* in = tmpfile();
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  if (!in || !out || !err)
    throw std::runtime_error("tmpfile failed");
  fwrite(launch.stdin_text.data(), 1, launch.stdin_text.size(), in);
  fflush(in);
  rewind(in);

  std::vector<char*> argv;
  for (const std::string& a : launch.argv)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0)
    throw std::runtime_error("fork failed");
  if (pid == 0) {
    signal(SIGCHLD, launch.ignore_sigchld ? SIG_IGN : SIG_DFL);
    umask(static_cast<mode_t>(launch.umask));
    for (const std::string& e : launch.env)
      putenv(const_cast<char*>(e.c_str()));
    if (!launch.cwd.empty() && chdir(launch.cwd.c_str()) != 0)
      _exit(126);
    dup2(fileno(in), 0);
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  Outcome result;
  while (waitpid(pid, &result.wait_status, 0) < 0) {
  }
  result.out = slurp(out);
  result.err = slurp(err);
  fclose(in);
  fclose(out);
  fclose(err);
  return result;
}

}  // namespace support
