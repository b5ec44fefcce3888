// Helpers shared by the tests: temporary working directories, file bytes, the
// one runner of programs (built or installed) and the one builder of results
// table records.
#ifndef PROFCMP_TESTS_SUPPORT_TEST_SUPPORT_H_
#define PROFCMP_TESTS_SUPPORT_TEST_SUPPORT_H_

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace test_support {

// A fresh directory under the system's temporary directory, by its physical
// path, removed with its contents on destruction. Mode 0777 so an unprivileged user can work in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return m_path; }
  std::string file(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// Makes `dir` the working directory for the lifetime of the object.
class ScopedChdir {
 public:
  explicit ScopedChdir(const std::string& dir);
  ~ScopedChdir();
  ScopedChdir(const ScopedChdir&) = delete;
  ScopedChdir& operator=(const ScopedChdir&) = delete;

 private:
  std::string m_previous;
};

bool file_exists(const std::string& path);
std::string read_file(const std::string& path);
void write_file(const std::string& path, std::string_view bytes);

// Splits bytes at CR LF into records; fails the test (records a failure) when
// a line end is not CR LF or the last record has none.
std::vector<std::string> crlf_records(const std::string& bytes);

// How a run of a program ended and what it wrote.
struct RunResult {
  int status = -1;       // exit status, or -1 when a signal ended the process
  int signal = 0;        // that signal (SIGALRM: ended at its deadline), or 0
  long max_rss_kib = 0;  // its peak resident set size
  std::string out;       // what it wrote to standard output
  std::string err;       // what it wrote to standard error
};

// Everything about a run but its arguments; the defaults run the program in
// the test's working directory with the test's environment, an empty
// standard input and no limits.
struct RunOptions {
  std::string dir{};                     // working directory ("": the test's own)
  std::string input{};                   // bytes on standard input, then its end
  std::vector<std::string> env{};        // "NAME=value" entries set for the run
  std::vector<std::string> unset_env{};  // names removed from its environment
  unsigned deadline_seconds = 0;         // > 0: SIGALRM ends the run after that long
  unsigned long address_space = 0;       // > 0: its address space limit in bytes
  // Run as uid/gid 65534 (needs root). The program then runs from a copy in a
  // fresh 0755 directory under /tmp, since the build tree may lie below a
  // directory that user cannot enter.
  bool unprivileged = false;
  bool ignore_hangup = false;  // SIGHUP ignored, as under nohup
  bool close_stderr = false;   // started with descriptor 2 closed
};

// In a forked child that could not become what the test wanted: writes
// "test child: <step>: <reason of errno>" to `fd` and ends with status `code`.
[[noreturn]] void child_cannot_start(int fd, const char* step, int code);

// A program started by `start`, to be ended with `finish`.
struct Started {
  int pid = -1;
  int in_fd = -1;  // its standard input, fed with `input` by finish()
  int out_fd = -1;
  int err_fd = -1;
  std::string input;
  std::string scratch_dir;  // the unprivileged run's copy, removed by finish()
};

// Starts `argv` (argv[0] is the program's path) as `options` say, with its
// interrupt, quit, hangup, pipe and alarm signals at their defaults, none
// blocked, and no core dump. A child that cannot start (no working
// directory, no privilege drop, no exec) records a test failure that says
// which step failed and why; the result then holds no pid.
Started start(const std::vector<std::string>& argv, const RunOptions& options = {});

// Feeds the standard input, collects both outputs together (so neither pipe
// fills up) and waits for the end of a started program.
RunResult finish(Started& started);

// start() and finish(): the one way the tests run programs.
RunResult run(const std::vector<std::string>& argv, const RunOptions& options = {});

// Runs the built profcmp with `args` in `dir`.
RunResult run_profcmp(const std::string& dir, const std::vector<std::string>& args,
                      RunOptions options = {});

// The program `name` found on PATH, or "" when it is not installed.
std::string on_path(const std::string& name);

// Records of a results table (P.PER), each ending in CR LF: `key` in columns
// 1-8 and `name` in columns 9-22, each cut or blank-padded, then one I10
// field per count (columns 23-72 for five). record_start() gives the first
// 22 columns alone, for a test that writes the rest by hand.
std::string record_start(std::string_view key, std::string_view name);
std::string table_record(std::string_view key, std::string_view name,
                         std::span<const std::int64_t> counts = {});
std::string table_record(std::string_view key, std::string_view name,
                         std::initializer_list<std::int64_t> counts);
// A method header record: METHOD and the name, no counts.
std::string method_record(std::string_view name);
// A problem record with `name` in columns 9-22 and the five counts.
std::string problem_record(std::string_view name, std::span<const std::int64_t> counts);
std::string problem_record(std::string_view name, std::initializer_list<std::int64_t> counts);
// `value` right-aligned in 10 columns.
std::string i10(std::int64_t value);

// A whole table from per-method lists of one count (`measure_index` 1..5; the
// other four counts are 1). Method m's list may be shorter than the others (a
// short group). Problem records are named P1, P2, ...
std::string results_table(const std::vector<std::string>& names,
                          const std::vector<std::vector<std::int64_t>>& counts,
                          int measure_index = 2);

// The path of the built profcmp binary.
std::string profcmp_binary();

// The source tree root (for examples/), and its examples/P.PER.
std::string source_dir();
std::string example_table();

bool running_as_root();

}  // namespace test_support

#endif  // PROFCMP_TESTS_SUPPORT_TEST_SUPPORT_H_
