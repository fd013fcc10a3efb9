// plom-template on templates larger than what it holds at once: big files,
// in place, endless devices, signals, memory limits and syncing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cases.h"
#include "expand_model.h"
#include "process.h"
#include "programs.h"
#include "tempdir.h"

namespace {

using support::run_template;

// Megabytes of lines with names every few dozen bytes, so that names
// straddle every border between the pieces the program reads.
std::string big_template(size_t bytes) {
  static const char* const kPieces[] = {
      "@A@", "@LONG_NAME_OF_MANY_BYTES@", "@B", "plain ", "text\n", "\xff\xfe", "@", "@@A@"};
  std::mt19937 random(99);
  std::string text;
  while (text.size() < bytes)
    text += kPieces[std::uniform_int_distribution<int>(0, 7)(random)];
  return text;
}

const std::vector<std::string> kBigArguments = {"@LONG_NAME_OF_MANY_BYTES@=long value",
                                                "@A@=", "@B=\xc3\xa9", "@@=at"};

TEST(Stream, BigTemplateMatchesThePlainMethod) {
  for (bool in_place : {false, true}) {
    support::TempDir dir;
    const std::string text = big_template(3 << 20);
    support::write_file(dir / "t", text);
    std::vector<std::string> args = {"t", in_place ? "t" : "o"};
    args.insert(args.end(), kBigArguments.begin(), kBigArguments.end());
    support::Outcome got = run_template(dir, args);
    EXPECT_EQ(got.exit_code(), 0) << got.err;
    std::vector<std::string_view> arguments(kBigArguments.begin(), kBigArguments.end());
    EXPECT_TRUE(support::read_file(dir / args[1]) == expand_model(text, arguments))
        << (in_place ? "in place" : "to another file");
    EXPECT_EQ(dir.entries().size(), in_place ? 1u : 2u);
  }
}

TEST(Stream, EndlessZerosGiveAnEmptyOutputAtOnce) {
  support::TempDir dir;
  support::Outcome got = run_template(dir, {"/dev/zero", "o", "A=1"});
  EXPECT_EQ(got.exit_code(), 0) << got.err;
  EXPECT_EQ(support::read_file(dir / "o"), "");
}

// Memory stays the same whatever the template's size.
TEST(Stream, LargeTemplateUnderAMemoryLimit) {
  if (support::sanitized())
    GTEST_SKIP() << "the sanitizer reserves more address space than the limit";
  support::TempDir dir;
  const std::string line = "line with @X@ in it\n";
  const std::string expanded_line = "line with 12345 in it\n";
  const size_t lines = (size_t{256} << 20) / line.size();
  {
    std::string block;
    for (size_t i = 0; i < 65536; i++)
      block += line;
    FILE* f = fopen((dir / "t").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (size_t written = 0; written < lines; written += 65536)
      fwrite(block.data(), line.size(), std::min<size_t>(65536, lines - written), f);
    ASSERT_EQ(fclose(f), 0);
  }
  support::Launch launch =
      support::launch_in(dir.path(), PLOM_TEMPLATE_BIN, {"t", "o", "@X@=12345"});
  launch.in_child = [] {
    const struct rlimit limit = {96 << 20, 96 << 20};
    return setrlimit(RLIMIT_AS, &limit) == 0;
  };
  support::Outcome got = support::run(launch);
  ASSERT_EQ(got.exit_code(), 0) << got.err;
  EXPECT_EQ(got.err, "");

  FILE* f = fopen((dir / "o").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::string expected;
  for (size_t i = 0; i < 4096; i++)
    expected += expanded_line;
  std::string chunk(expected.size(), '\0');
  size_t seen = 0;
  bool same = true;
  for (size_t n; (n = fread(chunk.data(), 1, chunk.size(), f)) > 0; seen += n)
    same = same && chunk.compare(0, n, expected, 0, n) == 0;
  fclose(f);
  EXPECT_TRUE(same);
  EXPECT_EQ(seen, lines * expanded_line.size());
}

// Whatever allocation fails, it fails before the temporary file exists.
TEST(Stream, RunningOutOfMemoryLeavesNothing) {
  if (support::sanitized())
    GTEST_SKIP() << "the sanitizer reserves more address space than the limit";
  support::TempDir dir;
  const std::string text = big_template(1 << 20);
  support::write_file(dir / "t", text);
  std::vector<std::string> args = {"t", "o"};
  args.insert(args.end(), kBigArguments.begin(), kBigArguments.end());
  std::vector<std::string_view> arguments(kBigArguments.begin(), kBigArguments.end());
  const std::string expanded = expand_model(text, arguments);
  for (rlim_t limit = 3 << 20; limit <= 12 << 20; limit += 32 << 10) {
    support::write_file(dir / "o", "old");
    support::Launch launch = support::launch_in(dir.path(), PLOM_TEMPLATE_BIN, args);
    launch.in_child = [limit] {
      const struct rlimit rlimit = {limit, limit};
      return setrlimit(RLIMIT_AS, &rlimit) == 0;
    };
    support::Outcome got = support::run(launch);
    const std::string where = std::to_string(limit >> 10) + " KiB";
    if (got.exit_code() == 0) {
      EXPECT_TRUE(support::read_file(dir / "o") == expanded) << where;
    } else {
      EXPECT_EQ(support::read_file(dir / "o"), "old") << where << ": " << got.err;
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"o", "t"})) << where << ": " << got.err;
    if (limit == 12 << 20) {
      EXPECT_EQ(got.exit_code(), 0) << got.err;
    }
  }
}

struct SignalCase {
  const char* name;
  int signal_number;
  bool ignored;  // as nohup leaves SIGHUP: the expansion goes on
};

// Every signal that ends a process by default and is sent from outside it.
const SignalCase kSignalCases[] = {
    {"Hangup", SIGHUP, false},
    {"Interrupt", SIGINT, false},
    {"Quit", SIGQUIT, false},
    {"BrokenPipe", SIGPIPE, false},
    {"Alarm", SIGALRM, false},
    {"Terminate", SIGTERM, false},
    {"User1", SIGUSR1, false},
    {"User2", SIGUSR2, false},
    {"InputOutput", SIGIO, false},
    {"Profiling", SIGPROF, false},
    {"VirtualAlarm", SIGVTALRM, false},
    {"CpuLimit", SIGXCPU, false},
    {"PowerFailure", SIGPWR, false},
    {"FirstRealTime", SIGRTMIN, false},
    {"LastRealTime", SIGRTMAX, false},
    {"IgnoredHangup", SIGHUP, true},
    {"IgnoredRealTime", SIGRTMIN + 3, true},
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

// Where a core file would land in the directory of the process, cores are
// allowed, so that a signal that dumps core by default is seen to do so.
bool allow_cores() {
  const std::string pattern = support::read_file("/proc/sys/kernel/core_pattern").value_or("/");
  struct rlimit limit;
  if (pattern.find_first_of("/|") != std::string::npos || getrlimit(RLIMIT_CORE, &limit) != 0)
    return true;
  limit.rlim_cur = limit.rlim_max;
  return setrlimit(RLIMIT_CORE, &limit) == 0;
}

// How a process that leaves the signal to its default action ends.
int ended_by_default(int signal_number) {
  support::TempDir dir;
  support::Launch launch = support::launch_in(dir.path(), "/bin/sh", {"-c", "exec sleep 10"});
  launch.in_child = allow_cores;
  support::Child child = support::start(launch);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  kill(child.pid, signal_number);
  return support::finish(child).wait_status;
}

std::vector<std::string> without_cores(std::vector<std::string> names) {
  names.erase(std::remove_if(names.begin(), names.end(),
                             [](const std::string& name) { return name.rfind("core", 0) == 0; }),
              names.end());
  return names;
}

class StreamSignal : public testing::TestWithParam<SignalCase> {};

// The template is a FIFO fed by the test, so the program is caught midway,
// with its temporary file beside the output. It ends as a program that left
// the signal alone would end, core and all, with only the old output left.
TEST_P(StreamSignal, Cleanup) {
  const SignalCase& c = GetParam();
  support::TempDir dir;
  ASSERT_EQ(mkfifo((dir / "t").c_str(), 0666), 0);
  support::write_file(dir / "o", "old");
  support::Launch launch = support::launch_in(dir.path(), PLOM_TEMPLATE_BIN, {"t", "o", "A=1"});
  const int signal_number = c.signal_number;
  if (c.ignored)
    launch.in_child = [signal_number] { return signal(signal_number, SIG_IGN) != SIG_ERR; };
  else
    launch.in_child = allow_cores;
  support::Child child = support::start(launch);

  void (*old_pipe)(int) = signal(SIGPIPE, SIG_IGN);
  int fifo = open((dir / "t").c_str(), O_WRONLY);
  ASSERT_GE(fifo, 0);
  const std::string text(300 << 10, 'x');
  ASSERT_EQ(write(fifo, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  auto has_temporary = [&dir] { return dir.entries().size() > 2; };
  for (int i = 0; i < 1000 && !has_temporary(); i++)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(has_temporary());
  kill(child.pid, c.signal_number);
  if (c.ignored) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    close(fifo);
  }
  support::Outcome got = support::finish(child);
  if (!c.ignored)
    close(fifo);
  signal(SIGPIPE, old_pipe);

  if (c.ignored) {
    EXPECT_EQ(got.exit_code(), 0) << got.err;
    EXPECT_EQ(support::read_file(dir / "o"), text);
  } else {
    EXPECT_TRUE(WIFSIGNALED(got.wait_status) && WTERMSIG(got.wait_status) == c.signal_number)
        << "wait status " << got.wait_status;
    // AddressSanitizer turns core dumps off by itself.
    const int core = support::sanitized() ? 0x80 : 0;
    EXPECT_EQ(got.wait_status & ~core, ended_by_default(c.signal_number) & ~core);
    EXPECT_EQ(support::read_file(dir / "o"), "old");
  }
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(without_cores(dir.entries()), (std::vector<std::string>{"o", "t"}));
}

INSTANTIATE_TEST_SUITE_P(, StreamSignal, testing::ValuesIn(kSignalCases), support::CaseName());

// The syncs, counted with strace: the data and the directory, whether the
// output is new, replaces an empty file or a non-empty one. (GLib syncs
// only in the last case; plom-test's result files are synced the same way.)
TEST(Stream, SyncsEveryOutput) {
  if (std::string(PLOM_STRACE).empty())
    GTEST_SKIP() << "strace is not installed";
  auto syncs = [](const char* before) {
    support::TempDir dir;
    support::write_file(dir / "t", "A");
    if (before)
      support::write_file(dir / "o", before);
    support::Launch launch = support::launch_in(dir.path(), PLOM_STRACE,
                                                {"-f", "-qq", "-e", "trace=fsync,fdatasync", "-o",
                                                 "log", PLOM_TEMPLATE_BIN, "t", "o", "A=1"});
    launch.env = {"ASAN_OPTIONS=detect_leaks=0"};  // the leak check refuses to run traced
    support::Outcome got = support::run(launch);
    if (got.exit_code() != 0)
      return -1;
    std::string log = support::read_file(dir / "log").value_or("");
    int count = 0;
    for (size_t at = log.find("sync("); at != std::string::npos; at = log.find("sync(", at + 1))
      count++;
    return count;
  };
  for (const char* before : {static_cast<const char*>(nullptr), "", "old"}) {
    const int got = syncs(before);
    if (got < 0)
      GTEST_SKIP() << "strace cannot trace here";
    EXPECT_EQ(got, 2) << (before ? before : "no output");
  }
}

}  // namespace
