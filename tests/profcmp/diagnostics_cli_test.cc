// Diagnostics of whole runs of the built binary: the exact lines of the
// failures a run can meet, the traceback, the environment variables that steer
// the diagnostics, and interrupts delivered to a running profcmp.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using test_support::file_exists;
using test_support::read_file;
using test_support::run_profcmp;
using test_support::RunOptions;
using test_support::RunResult;
using test_support::TempDir;
using test_support::write_file;

const std::vector<std::string> k_failure_variables = {
    "RTDT0", "RTD_DIAGNOSTIC_LOG_FILE", "RTD_DISABLE_DIAGNOSTIC_DISPLAY", "RTD_DISABLE_STACK_TRACE",
    "RTD_FULL_SRC_FILE_SPEC"};

const std::string k_bad_bound_line =
    "rtdiag: severe (64): input conversion error, unit -5, file Internal Formatted Read\r\n";
const std::string k_heading =
    "Image              PC        Routine            Line        Source             ";

// Options for a run with none of the failure layer's variables set, plus `env`.
RunOptions options_with(const std::vector<std::string>& env) {
  RunOptions options;
  options.unset_env = k_failure_variables;
  options.env = env;
  return options;
}

RunOptions without_traceback() {
  return options_with({"RTD_DISABLE_STACK_TRACE=1"});
}

std::vector<std::string> lf_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string method_record(const std::string& name) {
  return test_support::table_record("METHOD", name, {0, 0, 0, 0, 0});
}

std::string problem_record(int count) {
  return test_support::table_record("  P001", "", {count, count, count, count, count});
}

enum class Hangup : std::uint8_t { handled, ignored };
enum class ErrorStream : std::uint8_t { pipe, closed };

// A profcmp started in the background in `dir`, for the runs that a signal
// ends, with none of the failure layer's variables set, plus `env`.
test_support::Started start_profcmp(const std::string& dir, const std::vector<std::string>& env,
                                    Hangup hangup = Hangup::handled,
                                    ErrorStream stream = ErrorStream::pipe) {
  RunOptions options = options_with(env);
  options.dir = dir;
  options.ignore_hangup = hangup == Hangup::ignored;
  options.close_stderr = stream == ErrorStream::closed;
  return test_support::start({test_support::profcmp_binary()}, options);
}

bool still_running(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, WNOHANG) == 0;
}

// Waits up to ten seconds for `ready`.
template <typename Condition>
bool wait_for(Condition ready) {
  for (int i = 0; i < 1000; ++i) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(Diagnostics, BadBoundWithAndWithoutTraceback) {
  TempDir dir;
  const RunResult plain = run_profcmp(dir.path(), {"NFV", "abc"}, without_traceback());
  EXPECT_EQ(plain.status, 64);
  EXPECT_EQ(plain.err, k_bad_bound_line);
  EXPECT_EQ(plain.out, "");
  for (const char* name : {"P.PER", "P.PRO", "P.sci"}) EXPECT_FALSE(file_exists(dir.file(name)));

  // The traceback names the tool's own routines, innermost first, and leaves
  // out the stop's own frames.
  const RunResult traced = run_profcmp(dir.path(), {"NFV", "abc"}, options_with({}));
  EXPECT_EQ(traced.status, 64);
  ASSERT_EQ(traced.err.substr(0, k_bad_bound_line.size()), k_bad_bound_line);
  const std::vector<std::string> lines = lf_lines(traced.err.substr(k_bad_bound_line.size()));
  ASSERT_GE(lines.size(), 3u) << traced.err;
  EXPECT_LE(lines.size(), 21u);
  EXPECT_EQ(lines[0], k_heading);
  bool names_ours = false;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string& frame = lines[i];
    ASSERT_GE(frame.size(), 67u) << frame;
    EXPECT_EQ(frame.substr(17, 2), "  ") << frame;
    EXPECT_EQ(frame.find_first_not_of("0123456789ABCDEF", 19), 27u) << frame;
    EXPECT_EQ(frame.substr(46, 21), "     Unknown  Unknown") << frame;
    const std::string routine = frame.substr(29, 17);
    if (frame.substr(0, 19) == "profcmp            " &&
        (routine.starts_with("records::") || routine.starts_with("driver::"))) {
      names_ours = true;
    }
    EXPECT_FALSE(routine.starts_with("records::failure")) << frame;
  }
  EXPECT_TRUE(names_ours) << traced.err;
  EXPECT_NE(traced.err.find("driver::run_profc"), std::string::npos) << traced.err;

  // The switch rule decides whether the traceback is left out.
  for (const char* on : {"1", "Yes", "true", "12"}) {
    const RunResult r = run_profcmp(dir.path(), {"NFV", "abc"},
                                    options_with({std::string("RTD_DISABLE_STACK_TRACE=") + on}));
    EXPECT_EQ(r.err, k_bad_bound_line) << on;
  }
  for (const char* off : {"0", "00", "no", "", "F"}) {
    const RunResult r = run_profcmp(dir.path(), {"NFV", "abc"},
                                    options_with({std::string("RTD_DISABLE_STACK_TRACE=") + off}));
    EXPECT_EQ(r.err.substr(k_bad_bound_line.size(), k_heading.size() + 1), k_heading + "\n") << off;
  }
}

TEST(Diagnostics, EnvironmentSteersTheBlock) {
  TempDir dir;
  const std::string log = dir.file("diag.log");

  // The log file receives each block in addition to stderr, appended.
  write_file(log, "earlier\n");
  RunResult r =
      run_profcmp(dir.path(), {"NFV", "abc"},
                  options_with({"RTD_DISABLE_STACK_TRACE=y", "RTD_DIAGNOSTIC_LOG_FILE=" + log}));
  EXPECT_EQ(r.status, 64);
  EXPECT_EQ(r.err, k_bad_bound_line);
  r = run_profcmp(
      dir.path(), {"NFV", "abc"},
      options_with({"RTD_DIAGNOSTIC_LOG_FILE=" + log, "RTD_DISABLE_DIAGNOSTIC_DISPLAY=T"}));
  EXPECT_EQ(r.status, 64);
  EXPECT_EQ(r.err, "");  // display disabled: nothing printed
  const std::string logged = read_file(log);
  ASSERT_EQ(logged.substr(0, 8 + 2 * k_bad_bound_line.size() + k_heading.size() + 1),
            "earlier\n" + k_bad_bound_line + k_bad_bound_line + k_heading + "\n");
  EXPECT_NE(logged.find("driver::run_profc"), std::string::npos);

  // Display disabled without a log file: a silent failure, same status.
  r = run_profcmp(dir.path(), {"NFV", "abc"}, options_with({"RTD_DISABLE_DIAGNOSTIC_DISPLAY=1"}));
  EXPECT_EQ(r.status, 64);
  EXPECT_EQ(r.err, "");
  r = run_profcmp(dir.path(), {"NFV", "abc"},
                  options_with({"RTD_DISABLE_DIAGNOSTIC_DISPLAY=0", "RTD_DISABLE_STACK_TRACE=1"}));
  EXPECT_EQ(r.err, k_bad_bound_line);

  // RTDT0 moves stderr onto its file, appending.
  const std::string moved = dir.file("stderr.txt");
  write_file(moved, "kept\n");
  r = run_profcmp(dir.path(), {"NFV", "abc"},
                  options_with({"RTDT0=" + moved, "RTD_DISABLE_STACK_TRACE=1"}));
  EXPECT_EQ(r.status, 64);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(moved), "kept\n" + k_bad_bound_line);

  // The redirection comes before a platform-error line, which travels with
  // its block: into the RTDT0 file and the log, and not shown when display is
  // disabled.
  ASSERT_EQ(::symlink("/dev/full", dir.file("P.PRO").c_str()), 0);
  const std::string full_line =
      "rtdiag: No space left on device\r\nrtdiag: severe (38): error during "
      "write, unit 8, file " +
      dir.path() + "/P.PRO\r\n";
  std::remove(moved.c_str());
  r = run_profcmp(dir.path(), {}, options_with({"RTDT0=" + moved, "RTD_DISABLE_STACK_TRACE=1"}));
  EXPECT_EQ(r.status, 38);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(moved), full_line);
  std::remove(log.c_str());
  r = run_profcmp(dir.path(), {},
                  options_with({"RTD_DIAGNOSTIC_LOG_FILE=" + log,
                                "RTD_DISABLE_DIAGNOSTIC_DISPLAY=1", "RTD_DISABLE_STACK_TRACE=1"}));
  EXPECT_EQ(r.status, 38);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(log), full_line);
}

TEST(Diagnostics, FailuresOfWholeRuns) {
  struct Case {
    const char* what;
    int status;
    std::string err;  // with "<dir>" for the working directory's full path
  };
  const auto run_case = [](const TempDir& dir, const Case& c, const RunOptions& options) {
    const RunResult r = run_profcmp(dir.path(), {}, options);
    std::string expected = c.err;
    for (std::size_t at; (at = expected.find("<dir>")) != std::string::npos;) {
      expected.replace(at, 5, dir.path());
    }
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_EQ(r.err, expected) << c.what;
  };

  {  // The report reads back empty: end of file where the plot script needs its header.
    TempDir dir;
    ASSERT_EQ(::symlink("/dev/null", dir.file("P.PRO").c_str()), 0);
    run_case(dir,
             {"empty report", 24,
              "rtdiag: severe (24): end-of-file during read, unit 8, file <dir>/P.PRO\r\n"},
             without_traceback());
  }
  {  // More methods than the tables hold.
    TempDir dir;
    std::string table;
    for (int m = 1; m <= 21; ++m)
      table += method_record("M" + std::to_string(m)) + problem_record(1);
    write_file(dir.file("P.PER"), table);
    run_case(dir,
             {"21 methods", 120,
              "rtdiag: severe (120): results table exceeds capacity of 20 methods and 200 "
              "problems, unit 7, file <dir>/P.PER\r\n"},
             without_traceback());
  }
  {  // A report that another process holds locked for writing.
    TempDir dir;
    write_file(dir.file("P.PRO"), "old\r\n");
    const int held = ::open(dir.file("P.PRO").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    run_case(dir,
             {"locked", 30,
              "rtdiag: Resource temporarily unavailable\r\n"
              "rtdiag: severe (30): open failure, unit 8, file <dir>/P.PRO\r\n"},
             without_traceback());
    ::close(held);
    EXPECT_EQ(read_file(dir.file("P.PRO")), "old\r\n");
  }
}

TEST(Diagnostics, ClosedStderrCorruptsNoFile) {
  // Started without stderr, the tool must not let its first open take
  // descriptor 2, or the diagnostic would be written into that file.
  TempDir dir;
  const std::string table = "METHOD  M1                  abc\r\n";
  write_file(dir.file("P.PER"), table);
  test_support::Started child = start_profcmp(
      dir.path(), {"RTD_DISABLE_STACK_TRACE=1", "RTD_DIAGNOSTIC_LOG_FILE=" + dir.file("log")},
      Hangup::handled, ErrorStream::closed);
  const RunResult r = test_support::finish(child);
  EXPECT_EQ(r.status, 64);
  EXPECT_EQ(read_file(dir.file("P.PER")), table);
  EXPECT_EQ(
      read_file(dir.file("log")),
      "rtdiag: severe (64): input conversion error, unit 7, file " + dir.path() + "/P.PER\r\n");
}

TEST(Diagnostics, InterruptWhileReadingTheResultsTable) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("P.PER").c_str(), 0666), 0);
  write_file(dir.file("P.PRO"), "old report\r\n");
  write_file(dir.file("P.sci"), "old script\r\n");
  // Read-write, so that opening the FIFO does not wait for its reader.
  const int fifo = ::open(dir.file("P.PER").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fifo, 0);

  test_support::Started child = start_profcmp(dir.path(), {"RTD_DISABLE_STACK_TRACE=0"});
  const std::string records = method_record("M1") + problem_record(3) + problem_record(4);
  ASSERT_EQ(::write(fifo, records.data(), records.size()), static_cast<ssize_t>(records.size()));
  // Once the tool has taken the records it waits for more.
  EXPECT_TRUE(wait_for([&] {
    int pending = -1;
    return ::ioctl(fifo, FIONREAD, &pending) == 0 && pending == 0;
  }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(still_running(child.pid));
  ::kill(child.pid, SIGINT);
  const RunResult r = test_support::finish(child);
  ::close(fifo);

  EXPECT_EQ(r.signal, SIGINT);  // a shell sees 130, not success
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.err, "rtdiag: error (200): program aborting due to control-C event\r\n");
  // Nothing had been written yet, so the earlier files are untouched.
  EXPECT_EQ(read_file(dir.file("P.PRO")), "old report\r\n");
  EXPECT_EQ(read_file(dir.file("P.sci")), "old script\r\n");
}

TEST(Diagnostics, InterruptWhileReadingTheReportBack) {
  // A report that is a named pipe cannot be read back and is refused at its
  // open, so the run is held at the step after the read-back instead: P.sci
  // is a FIFO whose buffer is already full, and the script's first record
  // waits there. The report is complete by then and must stay so.
  const std::string table = method_record("M1") + problem_record(3) + problem_record(4);
  const auto hold_script = [](const TempDir& dir) {
    EXPECT_EQ(::mkfifo(dir.file("P.sci").c_str(), 0666), 0);
    const int fifo = ::open(dir.file("P.sci").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fifo, 0);
    const std::string filler(4096, 'f');
    while (::write(fifo, filler.data(), filler.size()) > 0) {
    }
    return fifo;
  };
  const auto report_complete = [](const TempDir& dir) {
    // Header, blank record, and six records for the one method.
    const std::string report = read_file(dir.file("P.PRO"));
    std::size_t records = 0;
    for (std::size_t at = 0; (at = report.find("\r\n", at)) != std::string::npos; at += 2) {
      ++records;
    }
    return records == 8 && report.size() > 0 && report.back() == '\n';
  };
  const struct {
    int signal_number;
    const char* line;
  } events[] = {
      {SIGQUIT, "rtdiag: error (200): program aborting due to control-BREAK event\r\n"},
      {SIGHUP, "rtdiag: error (200): program aborting due to window-CLOSE event\r\n"},
  };
  for (const auto& event : events) {
    TempDir dir;
    write_file(dir.file("P.PER"), table);
    const int fifo = hold_script(dir);
    test_support::Started child = start_profcmp(dir.path(), {});
    EXPECT_TRUE(wait_for([&] { return report_complete(dir); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(still_running(child.pid));
    ::kill(child.pid, event.signal_number);
    const RunResult r = test_support::finish(child);
    ::close(fifo);
    EXPECT_EQ(r.signal, event.signal_number);
    EXPECT_EQ(r.err, event.line);
    EXPECT_TRUE(report_complete(dir));  // the records written so far are kept
    EXPECT_EQ(read_file(dir.file("P.PER")), table);
  }

  // Under nohup a hangup is ignored and the run goes on.
  TempDir dir;
  write_file(dir.file("P.PER"), table);
  const int fifo = hold_script(dir);
  test_support::Started child = start_profcmp(dir.path(), {}, Hangup::ignored);
  EXPECT_TRUE(wait_for([&] { return report_complete(dir); }));
  ::kill(child.pid, SIGHUP);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(still_running(child.pid));
  ::kill(child.pid, SIGINT);
  const RunResult r = test_support::finish(child);
  ::close(fifo);
  EXPECT_EQ(r.signal, SIGINT);
  EXPECT_EQ(r.err, "rtdiag: error (200): program aborting due to control-C event\r\n");
}

}  // namespace
