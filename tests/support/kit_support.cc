#include "kit_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace kit_support {
namespace {

std::string padded(std::string_view text, std::size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

std::string i10(std::int64_t value) {
  char field[32];
  std::snprintf(field, sizeof field, "%10lld", static_cast<long long>(value));
  return field;
}

}  // namespace

std::string on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path == nullptr ? "/usr/bin:/bin" : path);
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = dir + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

RunResult run(const std::vector<std::string>& argv, std::string_view input,
              const std::string& dir) {
  RunResult result;
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (::pipe2(in_pipe, O_CLOEXEC) != 0 || ::pipe2(out_pipe, O_CLOEXEC) != 0 ||
      ::pipe2(err_pipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return result;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in_pipe[0], 0);
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    if (!dir.empty() && ::chdir(dir.c_str()) != 0) ::_exit(126);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  // Feed standard input and drain both outputs together, so no pipe fills up.
  ::signal(SIGPIPE, SIG_IGN);
  std::size_t fed = 0;
  int in_fd = in_pipe[1];
  if (input.empty()) {
    ::close(in_fd);
    in_fd = -1;
  }
  int out_fd = out_pipe[0], err_fd = err_pipe[0];
  while (out_fd >= 0 || err_fd >= 0) {
    pollfd fds[3] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}, {in_fd, POLLOUT, 0}};
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
        ::close(fds[k].fd);
        (k == 0 ? out_fd : err_fd) = -1;
      }
    }
    if (in_fd >= 0 && fds[2].revents != 0) {
      const ssize_t put = ::write(in_fd, input.data() + fed, input.size() - fed);
      if (put > 0) fed += static_cast<std::size_t>(put);
      if ((put < 0 && errno != EINTR) || fed == input.size()) {
        ::close(in_fd);
        in_fd = -1;
      }
    }
  }
  if (in_fd >= 0) ::close(in_fd);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

RunResult run_profkit(const std::vector<std::string>& args, std::string_view input,
                      const std::string& dir) {
  std::vector<std::string> argv{PROFKIT_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv, input, dir);
}

std::string test_data(const std::string& relative) {
  return std::string(PROFKIT_TEST_DATA) + "/" + relative;
}

std::string example_table() {
  return std::string(PROFCMP_SOURCE_DIR) + "/examples/P.PER";
}

std::string method_record(std::string_view name) {
  return "METHOD  " + padded(name, 14) + "\r\n";
}

std::string problem_record(std::string_view name, const std::int64_t (&counts)[5]) {
  std::string record = "        " + padded(name, 14);
  for (std::int64_t c : counts) record += i10(c);
  return record + "\r\n";
}

std::string results_table(const std::vector<std::string>& names,
                          const std::vector<std::vector<std::int64_t>>& counts, int measure_index) {
  std::string text;
  for (std::size_t m = 0; m < names.size(); ++m) {
    text += method_record(names[m]);
    for (std::size_t p = 0; p < counts[m].size(); ++p) {
      std::int64_t fields[5] = {1, 1, 1, 1, 1};
      fields[measure_index - 1] = counts[m][p];
      std::string key(1, 'P');
      key += std::to_string(p + 1);
      text += problem_record(key, fields);
    }
  }
  return text;
}

std::string results_table(const table::MeasureTable& measures, int measure_index) {
  std::vector<std::vector<std::int64_t>> counts(measures.methods());
  for (std::size_t m = 0; m < measures.methods(); ++m) {
    for (std::size_t p = 0; p < measures.problems; ++p) {
      counts[m].push_back(measures.solved(m, p) ? static_cast<std::int64_t>(measures.at(m, p))
                                                : -1);
    }
  }
  return results_table(measures.names, counts, measure_index);
}

table::MeasureTable measure_table(std::vector<std::string> names,
                                  const std::vector<std::vector<double>>& rows) {
  table::MeasureTable t;
  t.names = std::move(names);
  t.problems = rows.empty() ? 0 : rows.front().size();
  for (const auto& row : rows) t.measures.insert(t.measures.end(), row.begin(), row.end());
  return t;
}

std::string profcmp_report(const std::vector<std::string>& args) {
  TempDir dir;
  write_file(dir.file("P.PER"), read_file(example_table()));
  std::vector<std::string> argv{PROFCMP_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  if (run(argv, {}, dir.path()).status != 0) return "";
  return read_file(dir.file("P.PRO"));
}

std::string history_csv(const std::vector<HistoryRun>& runs,
                        const std::vector<std::uint64_t>& dimensions) {
  const bool with_dimensions = !dimensions.empty();
  std::string csv = with_dimensions ? "solver,problem,dimension,evaluation,fvalue\n"
                                    : "solver,problem,evaluation,fvalue\n";
  for (std::size_t r = 0; r < runs.size(); ++r) {
    for (std::size_t e = 0; e < runs[r].values.size(); ++e) {
      csv += runs[r].method + "," + runs[r].problem + ",";
      if (with_dimensions) csv += std::to_string(dimensions[r]) + ",";
      csv += std::to_string(e + 1) + "," + runs[r].values[e] + "\n";
    }
  }
  return csv;
}

}  // namespace kit_support
