#include "process.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <stdexcept>

namespace support {

int Outcome::exit_code() const { return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1; }

static std::string slurp(FILE* f) {
  std::string text;
  rewind(f);
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0)
    text.append(buf, n);
  return text;
}

Child start(const Launch& launch) {
  Child child;
  for (FILE*& f : child.captured) {
    f = tmpfile();
    if (!f)
      throw std::runtime_error("tmpfile failed");
  }
  FILE* in = child.captured[0];
  fwrite(launch.stdin_text.data(), 1, launch.stdin_text.size(), in);
  fflush(in);
  rewind(in);

  std::vector<char*> argv;
  for (const std::string& a : launch.argv)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  fflush(nullptr);
  child.pid = fork();
  if (child.pid < 0)
    throw std::runtime_error("fork failed");
  if (child.pid == 0) {
    signal(SIGCHLD, launch.ignore_sigchld ? SIG_IGN : SIG_DFL);
    umask(static_cast<mode_t>(launch.umask));
    for (const std::string& e : launch.env)
      putenv(const_cast<char*>(e.c_str()));
    if (!launch.cwd.empty() && chdir(launch.cwd.c_str()) != 0)
      _exit(126);
    for (int fd = 0; fd < 3; fd++)
      dup2(fileno(child.captured[fd]), fd);
    if (launch.in_child && !launch.in_child())
      _exit(125);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return child;
}

Outcome finish(Child& child) {
  Outcome result;
  while (waitpid(child.pid, &result.wait_status, 0) < 0) {
  }
  result.out = slurp(child.captured[1]);
  result.err = slurp(child.captured[2]);
  for (FILE*& f : child.captured) {
    fclose(f);
    f = nullptr;
  }
  return result;
}

Launch launch_in(const std::string& cwd, const std::string& program,
                 const std::vector<std::string>& args) {
  Launch launch;
  launch.argv = {program};
  launch.argv.insert(launch.argv.end(), args.begin(), args.end());
  launch.cwd = cwd;
  return launch;
}

Outcome run_in(const std::string& cwd, const std::string& program,
               const std::vector<std::string>& args) {
  return run(launch_in(cwd, program, args));
}

Outcome run(const Launch& launch) {
  Child child = start(launch);
  return finish(child);
}

bool sanitized() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#endif
#endif
  return false;
}

}  // namespace support
