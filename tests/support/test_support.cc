#include "test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

namespace test_support {
namespace {

std::string slurp_fd(int fd) {
  std::string data;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    data.append(buffer, static_cast<std::size_t>(got));
  }
  return data;
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "profcmp-test-XXXXXX").string();
  char* made = ::mkdtemp(pattern.data());
  if (made == nullptr) {
    ADD_FAILURE() << "mkdtemp failed: " << std::strerror(errno);
  }
  // The physical path, as the working directory's full path shows it.
  char resolved[PATH_MAX];
  m_path = ::realpath(pattern.c_str(), resolved) != nullptr ? resolved : pattern;
  ::chmod(m_path.c_str(), 0777);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

ScopedChdir::ScopedChdir(const std::string& dir) {
  m_previous = std::filesystem::current_path().string();
  std::filesystem::current_path(dir);
}

ScopedChdir::~ScopedChdir() {
  std::error_code ignored;
  std::filesystem::current_path(m_previous, ignored);
}

bool file_exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::vector<std::string> crlf_records(const std::string& bytes) {
  std::vector<std::string> records;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "last record has no CR LF: [" << bytes.substr(start) << "]";
      records.push_back(bytes.substr(start));
      break;
    }
    const std::string record = bytes.substr(start, end - start);
    if (record.find('\n') != std::string::npos) ADD_FAILURE() << "bare LF in record: " << record;
    records.push_back(record);
    start = end + 2;
  }
  return records;
}

std::string profcmp_binary() {
  return PROFCMP_BINARY;
}
std::string source_dir() {
  return PROFCMP_SOURCE_DIR;
}
bool running_as_root() {
  return ::geteuid() == 0;
}

void child_cannot_start(int fd, const char* step, int code) {
  const int reason = errno;
  std::string message = "test child: ";
  message += step;
  message += ": ";
  message += std::strerror(reason);
  message += " (uid " + std::to_string(::geteuid()) + ")\n";
  [[maybe_unused]] const ssize_t written = ::write(fd, message.data(), message.size());
  ::_exit(code);
}

namespace {

// A copy of `program` that uid 65534 can reach: a fresh 0755 directory under
// /tmp (not $TMPDIR, which may be private) holding the program with mode
// 0755. Removed with its directory on destruction.
class ReachableCopy {
 public:
  explicit ReachableCopy(const std::string& program) {
    std::string pattern = "/tmp/profcmp-unprivileged-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      ADD_FAILURE() << "mkdtemp under /tmp failed: " << std::strerror(errno);
      return;
    }
    m_dir = pattern;
    const std::string copy = m_dir + "/" + std::filesystem::path(program).filename().string();
    std::error_code error;
    std::filesystem::copy_file(program, copy, error);
    if (!error) {
      std::filesystem::permissions(
          copy,
          std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
              std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
              std::filesystem::perms::others_exec,
          error);
    }
    if (error || ::chmod(m_dir.c_str(), 0755) != 0) {
      ADD_FAILURE() << "cannot copy " << program << " to " << copy << ": " << error.message();
      return;
    }
    m_path = copy;
  }
  ~ReachableCopy() {
    std::error_code ignored;
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ignored);
  }
  ReachableCopy(const ReachableCopy&) = delete;
  ReachableCopy& operator=(const ReachableCopy&) = delete;
  // The copy's path, or "" when it could not be made.
  const std::string& path() const { return m_path; }

 private:
  std::string m_dir;
  std::string m_path;
};

}  // namespace

RunResult run_profcmp(const std::string& dir, const std::vector<std::string>& args,
                      const RunOptions& options) {
  RunResult result;
  std::string program = options.program.empty() ? profcmp_binary() : options.program;
  std::optional<ReachableCopy> copy;
  if (options.unprivileged) {
    copy.emplace(program);
    if (copy->path().empty()) return result;
    program = copy->path();
  }
  int out_pipe[2];
  int err_pipe[2];
  int start_pipe[2];  // closed by a successful exec; carries the reason otherwise
  if (::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0 || ::pipe2(start_pipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return result;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out_pipe[1], STDOUT_FILENO);
    ::dup2(err_pipe[1], STDERR_FILENO);
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    ::close(start_pipe[0]);
    const int status_fd = start_pipe[1];
    for (const std::string& name : options.unset_env) ::unsetenv(name.c_str());
    for (const std::string& entry : options.env) {
      const std::size_t eq = entry.find('=');
      ::setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
    }
    if (options.unprivileged) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
        child_cannot_start(status_fd, "drop to uid/gid 65534", 251);
      }
    }
    // After the drop, so that a directory the run's user cannot enter shows here.
    if (::chdir(dir.c_str()) != 0) child_cannot_start(status_fd, ("chdir " + dir).c_str(), 250);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    child_cannot_start(status_fd, ("execv " + program).c_str(), 252);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  ::close(start_pipe[1]);
  const std::string start_failure = slurp_fd(start_pipe[0]);
  ::close(start_pipe[0]);
  // stderr is small; read stdout first, then stderr.
  const std::string out = slurp_fd(out_pipe[0]);
  ::close(out_pipe[0]);
  result = finish_child(pid, err_pipe[0]);
  result.out = out;
  if (!start_failure.empty()) {
    ADD_FAILURE() << "the child for " << program << " could not start: " << start_failure;
    result.err = start_failure + result.err;
  }
  return result;
}

RunResult finish_child(int pid, int err_fd) {
  RunResult result;
  if (err_fd >= 0) {
    result.err = slurp_fd(err_fd);
    ::close(err_fd);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.term_signal = WTERMSIG(status);
  return result;
}

}  // namespace test_support
