#include "test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

namespace test_support {

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
std::string example_table() {
  return source_dir() + "/examples/P.PER";
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

// A copy of `program` that uid 65534 can reach, in a fresh 0755 directory
// under /tmp (not $TMPDIR, which may be private), with mode 0755. Returns the
// copy's path and sets `dir`, or returns "" after recording a failure.
std::string reachable_copy(const std::string& program, std::string& dir) {
  std::string pattern = "/tmp/profcmp-unprivileged-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp under /tmp failed: " << std::strerror(errno);
    return "";
  }
  dir = pattern;
  const std::string copy = dir + "/" + std::filesystem::path(program).filename().string();
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
  if (error || ::chmod(dir.c_str(), 0755) != 0) {
    ADD_FAILURE() << "cannot copy " << program << " to " << copy << ": " << error.message();
    return "";
  }
  return copy;
}

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

Started start(const std::vector<std::string>& argv, const RunOptions& options) {
  Started started;
  if (argv.empty()) {
    ADD_FAILURE() << "nothing to run";
    return started;
  }
  std::string program = argv[0];
  if (options.unprivileged) {
    program = reachable_copy(program, started.scratch_dir);
    if (program.empty()) {
      finish(started);
      return started;
    }
  }
  int in_pipe[2], out_pipe[2], err_pipe[2];
  int start_pipe[2];  // closed by a successful exec; carries the reason otherwise
  if (::pipe2(in_pipe, O_CLOEXEC) != 0 || ::pipe2(out_pipe, O_CLOEXEC) != 0 ||
      ::pipe2(err_pipe, O_CLOEXEC) != 0 || ::pipe2(start_pipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return started;
  }
  // Everything the child needs is prepared before the fork.
  std::vector<char*> args;
  args.push_back(program.data());
  for (std::size_t k = 1; k < argv.size(); ++k) args.push_back(const_cast<char*>(argv[k].c_str()));
  args.push_back(nullptr);
  const std::string chdir_step = "chdir " + options.dir;
  const std::string exec_step = "execv " + program;

  const pid_t pid = ::fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1],
                   start_pipe[0], start_pipe[1]}) {
      ::close(fd);
    }
    finish(started);
    return started;
  }
  if (pid == 0) {
    const int status_fd = start_pipe[1];
    ::dup2(in_pipe[0], STDIN_FILENO);
    ::dup2(out_pipe[1], STDOUT_FILENO);
    if (options.close_stderr) {
      ::close(STDERR_FILENO);
    } else {
      ::dup2(err_pipe[1], STDERR_FILENO);
    }
    for (const std::string& name : options.unset_env) ::unsetenv(name.c_str());
    for (const std::string& entry : options.env) {
      const std::size_t eq = entry.find('=');
      ::setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
    }
    // Dispositions that the test or a shell may have left behind are reset.
    for (int number : {SIGINT, SIGQUIT, SIGPIPE, SIGALRM}) ::signal(number, SIG_DFL);
    ::signal(SIGHUP, options.ignore_hangup ? SIG_IGN : SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const rlimit no_core{0, 0};
    ::setrlimit(RLIMIT_CORE, &no_core);
    if (options.address_space > 0) {
      const rlimit space{options.address_space, options.address_space};
      ::setrlimit(RLIMIT_AS, &space);
    }
    if (options.unprivileged) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
        child_cannot_start(status_fd, "drop to uid/gid 65534", 251);
      }
    }
    // After the drop, so that a directory the run's user cannot enter shows here.
    if (!options.dir.empty() && ::chdir(options.dir.c_str()) != 0) {
      child_cannot_start(status_fd, chdir_step.c_str(), 250);
    }
    if (options.deadline_seconds > 0) ::alarm(options.deadline_seconds);
    ::execv(program.c_str(), args.data());
    child_cannot_start(status_fd, exec_step.c_str(), 252);
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  ::close(start_pipe[1]);
  started.pid = pid;
  // Standard input is fed no faster than the child takes it, while its
  // outputs are drained, so that a write to it never blocks.
  ::fcntl(in_pipe[1], F_SETFL, ::fcntl(in_pipe[1], F_GETFL) | O_NONBLOCK);
  started.in_fd = in_pipe[1];
  started.out_fd = out_pipe[0];
  started.err_fd = err_pipe[0];
  started.input = options.input;
  std::string start_failure;
  char buffer[512];
  for (ssize_t got; (got = ::read(start_pipe[0], buffer, sizeof buffer)) != 0;) {
    if (got > 0) start_failure.append(buffer, static_cast<std::size_t>(got));
    if (got < 0 && errno != EINTR) break;
  }
  ::close(start_pipe[0]);
  if (!start_failure.empty()) {
    ADD_FAILURE() << "the child for " << program << " could not start: " << start_failure;
  }
  return started;
}

RunResult finish(Started& started) {
  RunResult result;
  // A program that ends without reading its input must not end the test.
  ::signal(SIGPIPE, SIG_IGN);
  std::size_t fed = 0;
  if (started.input.empty()) close_fd(started.in_fd);
  while (started.out_fd >= 0 || started.err_fd >= 0 || started.in_fd >= 0) {
    pollfd fds[3] = {
        {started.out_fd, POLLIN, 0}, {started.err_fd, POLLIN, 0}, {started.in_fd, POLLOUT, 0}};
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      char buffer[65536];
      const ssize_t got = ::read(fds[k].fd, buffer, sizeof buffer);
      if (got > 0) {
        (k == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close_fd(k == 0 ? started.out_fd : started.err_fd);
      }
    }
    if (started.in_fd >= 0 && fds[2].revents != 0) {
      const ssize_t put =
          ::write(started.in_fd, started.input.data() + fed, started.input.size() - fed);
      if (put > 0) fed += static_cast<std::size_t>(put);
      if ((put < 0 && errno != EINTR && errno != EAGAIN) || fed == started.input.size()) {
        close_fd(started.in_fd);
      }
    }
  }
  for (int* fd : {&started.in_fd, &started.out_fd, &started.err_fd}) close_fd(*fd);
  if (started.pid > 0) {
    int status = 0;
    rusage usage{};
    while (::wait4(started.pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.max_rss_kib = usage.ru_maxrss;
    started.pid = -1;
  }
  if (!started.scratch_dir.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(started.scratch_dir, ignored);
    started.scratch_dir.clear();
  }
  return result;
}

RunResult run(const std::vector<std::string>& argv, const RunOptions& options) {
  Started started = start(argv, options);
  return finish(started);
}

RunResult run_profcmp(const std::string& dir, const std::vector<std::string>& args,
                      RunOptions options) {
  std::vector<std::string> argv{profcmp_binary()};
  argv.insert(argv.end(), args.begin(), args.end());
  options.dir = dir;
  return run(argv, options);
}

std::string on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path == nullptr ? "/usr/bin:/bin" : path);
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = dir + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

std::string record_start(std::string_view key, std::string_view name) {
  std::string record(key.substr(0, 8));
  record.resize(8, ' ');
  record += name.substr(0, 14);
  record.resize(22, ' ');
  return record;
}

std::string i10(std::int64_t value) {
  char field[32];
  std::snprintf(field, sizeof field, "%10lld", static_cast<long long>(value));
  return field;
}

std::string table_record(std::string_view key, std::string_view name,
                         std::span<const std::int64_t> counts) {
  std::string record = record_start(key, name);
  for (const std::int64_t count : counts) record += i10(count);
  return record + "\r\n";
}

std::string table_record(std::string_view key, std::string_view name,
                         std::initializer_list<std::int64_t> counts) {
  return table_record(key, name, std::span<const std::int64_t>(counts.begin(), counts.size()));
}

std::string method_record(std::string_view name) {
  return table_record("METHOD", name);
}

std::string problem_record(std::string_view name, std::span<const std::int64_t> counts) {
  return table_record("", name, counts);
}

std::string problem_record(std::string_view name, std::initializer_list<std::int64_t> counts) {
  return table_record("", name, counts);
}

std::string results_table(const std::vector<std::string>& names,
                          const std::vector<std::vector<std::int64_t>>& counts, int measure_index) {
  std::string text;
  for (std::size_t m = 0; m < names.size(); ++m) {
    text += method_record(names[m]);
    for (std::size_t p = 0; p < counts[m].size(); ++p) {
      std::int64_t fields[5] = {1, 1, 1, 1, 1};
      fields[measure_index - 1] = counts[m][p];
      text += problem_record("P" + std::to_string(p + 1), fields);
    }
  }
  return text;
}

}  // namespace test_support
