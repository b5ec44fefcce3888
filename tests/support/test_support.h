// Helpers shared by the tests: temporary working directories, file bytes and
// runs of the built profcmp binary.
#ifndef PROFCMP_TESTS_SUPPORT_TEST_SUPPORT_H_
#define PROFCMP_TESTS_SUPPORT_TEST_SUPPORT_H_

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

struct RunResult {
  int exit_code = -1;   // exit status, or -1 when killed by a signal
  int term_signal = 0;  // the signal that killed the process, or 0
  std::string out;      // what it wrote to stdout
  std::string err;      // what it wrote to stderr
};

struct RunOptions {
  std::vector<std::string> env;  // extra "NAME=value" entries
  std::vector<std::string> unset_env;
  // Run as uid/gid 65534 (needs root). The program then runs from a copy in a
  // fresh 0755 directory under /tmp, since the build tree may lie below a
  // directory that user cannot enter.
  bool unprivileged = false;
  std::string program;  // default: the built profcmp
};

// In a forked child that could not become the program under test: writes
// "test child: <step>: <reason of errno>" to `fd` and ends with status `code`.
[[noreturn]] void child_cannot_start(int fd, const char* step, int code);

// Reads `err_fd` to its end into result.err (a negative fd reads nothing),
// closes it, waits for `pid` and fills in how the child ended.
RunResult finish_child(int pid, int err_fd);

// Runs profcmp (or options.program) with `args` in `dir`; waits for it. A
// child that cannot start (no working directory, no privilege drop, no exec)
// records a test failure that says which step failed and why.
RunResult run_profcmp(const std::string& dir, const std::vector<std::string>& args,
                      const RunOptions& options = {});

// The path of the built profcmp binary.
std::string profcmp_binary();

// The source tree root (for examples/).
std::string source_dir();

bool running_as_root();

}  // namespace test_support

#endif  // PROFCMP_TESTS_SUPPORT_TEST_SUPPORT_H_
