// The failure stop in-process: the switch rule, the exact diagnostic lines
// of the catalogue, the traceback layout, the block limit, the stop's exit
// status when its diagnostic cannot be written, and the interrupt handlers.
#include "records/failure_stop.h"

#include <fcntl.h>
#include <fenv.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

// Outside the anonymous namespace so that the traceback can name it.
namespace deep {
volatile int g_sink = 0;
volatile bool g_stop = true;

// Recurses `depth` times, then stops with message 24; the statement after the
// call keeps every level a real frame.
[[gnu::noinline]] void descend(int depth) {
  if (depth == 0) {
    if (g_stop) records::failure_stop(records::Message::end_of_file, 8, "/w/P.PRO");
    return;
  }
  descend(depth - 1);
  g_sink = depth;
}
}  // namespace deep

// Routines with internal linkage: not in the dynamic symbol table even of a
// program that exports its symbols, so only the program's own symbol table
// names them.
namespace hidden {
volatile int g_data = 0;

[[gnu::noinline]] static int twice(int value) {
  return 2 * value + g_data;
}

[[gnu::noinline]] static void stop() {
  records::failure_stop(records::Message::end_of_file, 8, "/w/P.PRO");
}
}  // namespace hidden

namespace {

using records::Message;
using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

using ChildResult = test_support::RunResult;

enum class Stderr : std::uint8_t { pipe, closed, broken_pipe };

// Runs `body` in a forked child whose stderr is a pipe (or closed, or a pipe
// without reader), after setting `env` ("NAME=value"; "NAME" alone unsets).
// A body that returns ends the child with status 99.
ChildResult run_in_child(const std::function<void()>& body, const std::vector<std::string>& env,
                         Stderr mode = Stderr::pipe) {
  int err_pipe[2];
  if (::pipe(err_pipe) != 0) {
    ADD_FAILURE() << "pipe failed";
    return {};
  }
  if (mode == Stderr::broken_pipe) ::close(err_pipe[0]);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(30);  // a stop that hangs ends by SIGALRM instead of hanging the test
    if (mode == Stderr::closed) {
      ::close(STDERR_FILENO);
    } else {
      ::dup2(err_pipe[1], STDERR_FILENO);
    }
    ::close(err_pipe[1]);
    if (mode != Stderr::broken_pipe) ::close(err_pipe[0]);
    for (const std::string& entry : env) {
      const std::size_t eq = entry.find('=');
      if (eq == std::string::npos) {
        ::unsetenv(entry.c_str());
      } else {
        ::setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
      }
    }
    body();
    ::_exit(99);
  }
  ::close(err_pipe[1]);
  test_support::Started child;
  child.pid = pid;
  child.err_fd = mode == Stderr::broken_pipe ? -1 : err_pipe[0];
  return test_support::finish(child);
}

// The environment of a plain run: no variable of the failure layer set.
std::vector<std::string> quiet_environment() {
  return {"RTDT0", "RTD_DIAGNOSTIC_LOG_FILE", "RTD_DISABLE_DIAGNOSTIC_DISPLAY",
          "RTD_FULL_SRC_FILE_SPEC", "RTD_DISABLE_STACK_TRACE=1"};
}

std::vector<std::string> with(std::vector<std::string> env, const std::vector<std::string>& more) {
  env.insert(env.end(), more.begin(), more.end());
  return env;
}

std::string line_of(Message message, int unit, std::string_view name) {
  char buffer[512];
  return {buffer, records::format_diagnostic_line(buffer, sizeof buffer, message, unit, name)};
}

std::vector<std::string> lf_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(FailureStop, SwitchRule) {
  for (const char* on : {"T", "t", "Y", "y", "TRUE", "true", "yes", "Yx", "1", "12", "0001", "9"}) {
    EXPECT_TRUE(records::environment_switch_on(on)) << on;
  }
  for (const char* off : {static_cast<const char*>(nullptr), "", "0", "00", "F", "false", "n", "NO",
                          "1a", " 1", "-1", "+1", "1.0", "on", "0x1"}) {
    EXPECT_FALSE(records::environment_switch_on(off)) << (off == nullptr ? "(null)" : off);
  }
}

TEST(FailureStop, CatalogueLines) {
  const std::string file = "/home/me/run/P.PRO";
  const struct {
    Message message;
    const char* line;
  } cases[] = {
      {Message::permission_denied,
       "rtdiag: severe (9): permission to access file denied, unit 8, file /home/me/run/P.PRO\r\n"},
      {Message::cannot_overwrite,
       "rtdiag: severe (10): cannot overwrite existing file, unit 8, file /home/me/run/P.PRO\r\n"},
      {Message::record_too_long,
       "rtdiag: severe (22): input record too long, unit 8, file /home/me/run/P.PRO\r\n"},
      {Message::end_of_file,
       "rtdiag: severe (24): end-of-file during read, unit 8, file /home/me/run/P.PRO\r\n"},
      {Message::close_error,
       "rtdiag: severe (28): CLOSE error, unit 8, file /home/me/run/P.PRO\r\n"},
      {Message::file_not_found,
       "rtdiag: severe (29): file not found, unit 8, file /home/me/run/P.PRO\r\n"},
      {Message::open_failure,
       "rtdiag: severe (30): open failure, unit 8, file /home/me/run/P.PRO\r\n"},
      {Message::write_error,
       "rtdiag: severe (38): error during write, unit 8, file /home/me/run/P.PRO\r\n"},
      {Message::read_error,
       "rtdiag: severe (39): error during read, unit 8, file /home/me/run/P.PRO\r\n"},
      {Message::no_such_device,
       "rtdiag: severe (42): no such device, unit 8, file /home/me/run/P.PRO\r\n"},
      {Message::file_name_error,
       "rtdiag: severe (43): file name specification error, unit 8, file /home/me/run/P.PRO\r\n"},
      {Message::write_readonly,
       "rtdiag: severe (47): write to READONLY file, unit 8, file /home/me/run/P.PRO\r\n"},
      {Message::input_conversion,
       "rtdiag: severe (64): input conversion error, unit 8, file /home/me/run/P.PRO\r\n"},
      {Message::output_overflow,
       "rtdiag: severe (66): output statement overflows record, unit 8, file "
       "/home/me/run/P.PRO\r\n"},
      {Message::capacity_exceeded,
       "rtdiag: severe (120): results table exceeds capacity of 20 methods and 200 problems, unit "
       "8, file /home/me/run/P.PRO\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(line_of(c.message, 8, file), c.line);
    EXPECT_EQ(records::message_class(c.message), records::MessageClass::severe);
  }
  EXPECT_EQ(line_of(Message::interrupt, 0, "control-C"),
            "rtdiag: error (200): program aborting due to control-C event\r\n");
  EXPECT_EQ(records::message_class(Message::interrupt), records::MessageClass::error);
  EXPECT_EQ(
      line_of(Message::input_conversion, -5, "Internal Formatted Read"),
      "rtdiag: severe (64): input conversion error, unit -5, file Internal Formatted Read\r\n");
  EXPECT_EQ(line_of(Message::read_error, INT_MIN, ""),
            "rtdiag: severe (39): error during read, unit -2147483648, file \r\n");

  // A buffer too small keeps what fits.
  char small[20];
  ASSERT_EQ(records::format_diagnostic_line(small, sizeof small, Message::end_of_file, 8, file),
            sizeof small);
  EXPECT_EQ(std::string(small, sizeof small), "rtdiag: severe (24):");
}

TEST(FailureStop, TracebackLayout) {
  char buffer[256];
  EXPECT_EQ(std::string(buffer, records::format_traceback_heading(buffer, sizeof buffer)),
            "Image              PC        Routine            Line        Source             \n");
  EXPECT_EQ(std::string(buffer, records::format_traceback_frame(
                                    buffer, sizeof buffer,
                                    {"profcmp", 0x76b3, "records::read_internal(char const*)"})),
            "profcmp            000076B3  records::read_int     Unknown  Unknown\n");
  EXPECT_EQ(std::string(buffer, records::format_traceback_frame(
                                    buffer, sizeof buffer,
                                    {"libverylongname.so.1.2.3", 0xFFFFFFFFu, "main"})),
            "libverylongname.s  FFFFFFFF  main                  Unknown  Unknown\n");
  EXPECT_EQ(
      std::string(buffer, records::format_traceback_frame(buffer, sizeof buffer, {{}, 0, {}})),
      "Unknown            00000000  Unknown               Unknown  Unknown\n");
}

TEST(FailureStop, SevereStopsEndWithTheirNumber) {
  for (const std::string& entry : quiet_environment()) {
    const std::size_t eq = entry.find('=');
    if (eq == std::string::npos) {
      ::unsetenv(entry.c_str());
    } else {
      ::setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
    }
  }
  EXPECT_EXIT(records::failure_stop(Message::input_conversion, -5, "Internal Formatted Read"),
              testing::ExitedWithCode(64),
              "^rtdiag: severe \\(64\\): input conversion error, unit -5, file Internal Formatted "
              "Read\r\n$");
  EXPECT_EXIT(records::failure_stop(Message::end_of_file, 8, "/w/P.PRO"),
              testing::ExitedWithCode(24),
              "^rtdiag: severe \\(24\\): end-of-file during read, unit 8, file /w/P.PRO\r\n$");
  EXPECT_EXIT(records::failure_stop(Message::capacity_exceeded, 7, "/w/P.PER"),
              testing::ExitedWithCode(120),
              "^rtdiag: severe \\(120\\): results table exceeds capacity of 20 methods and 200 "
              "problems, unit 7, file /w/P.PER\r\n$");
  ::unsetenv("RTD_DISABLE_STACK_TRACE");

  // With a platform error its text comes first.
  const ChildResult full =
      run_in_child([] { records::failure_stop(Message::write_error, 8, "/w/P.PRO", ENOSPC); },
                   quiet_environment());
  EXPECT_EQ(full.status, 38);
  EXPECT_EQ(full.err,
            "rtdiag: No space left on device\r\n"
            "rtdiag: severe (38): error during write, unit 8, file /w/P.PRO\r\n");
}

TEST(FailureStop, BlockIsCutAtItsLimit) {
  const std::string name(20000, 'a');
  const std::string head = "rtdiag: severe (24): end-of-file during read, unit 8, file aaa";
  const ChildResult plain = run_in_child(
      [&] { records::failure_stop(Message::end_of_file, 8, name); }, quiet_environment());
  EXPECT_EQ(plain.status, 24);
  ASSERT_EQ(plain.err.size(), records::k_diagnostic_block_limit);
  EXPECT_EQ(plain.err.substr(0, head.size()), head);
  EXPECT_EQ(plain.err.back(), 'a');

  // The platform-error line is not counted against the block.
  const std::string platform = "rtdiag: Input/output error\r\n";
  const ChildResult with_error = run_in_child(
      [&] { records::failure_stop(Message::read_error, 7, name, EIO); }, quiet_environment());
  EXPECT_EQ(with_error.status, 39);
  ASSERT_EQ(with_error.err.size(), platform.size() + records::k_diagnostic_block_limit);
  EXPECT_EQ(with_error.err.substr(0, platform.size() + 24), platform + "rtdiag: severe (39): err");
}

TEST(FailureStop, TracebackOfALiveStop) {
  const std::vector<std::string> env = with(quiet_environment(), {"RTD_DISABLE_STACK_TRACE"});
  const ChildResult deep_stop = run_in_child([] { deep::descend(30); }, env);
  EXPECT_EQ(deep_stop.status, 24);
  const std::string line =
      "rtdiag: severe (24): end-of-file during read, unit 8, file /w/P.PRO\r\n";
  ASSERT_EQ(deep_stop.err.substr(0, line.size()), line);
  const std::vector<std::string> lines = lf_lines(deep_stop.err.substr(line.size()));
  ASSERT_EQ(lines.size(), 1u + records::k_traceback_frames) << deep_stop.err;
  EXPECT_EQ(lines[0],
            "Image              PC        Routine            Line        Source             ");
  // The innermost frames shown are the recursion's, not the stop's own.
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string& frame = lines[i];
    ASSERT_EQ(frame.size(), 67u) << frame;
    EXPECT_EQ(frame.substr(0, 19), "failure_stop_test  ") << frame;
    EXPECT_EQ(frame.find_first_not_of("0123456789ABCDEF", 19), 27u) << frame;
    EXPECT_EQ(frame.substr(27, 19), "  deep::descend(int") << frame;
    EXPECT_EQ(frame.substr(46), "     Unknown  Unknown") << frame;
  }

  // A shallow stop shows the frames up to the process's entry, fewer than 20.
  const ChildResult shallow =
      run_in_child([] { records::failure_stop(Message::end_of_file, 8, "/w/P.PRO"); }, env);
  const std::vector<std::string> shallow_lines = lf_lines(shallow.err.substr(line.size()));
  ASSERT_GE(shallow_lines.size(), 3u) << shallow.err;
  EXPECT_LE(shallow_lines.size(), 1u + records::k_traceback_frames);
  EXPECT_EQ(shallow.err.find("records::failure"), std::string::npos) << shallow.err;
  EXPECT_NE(shallow.err.find("  main        "), std::string::npos) << shallow.err;
}

TEST(FailureStop, OwnSymbolTableNamesLocalRoutines) {
  using records::detail::find_own_routine;
  const auto start_of_twice = reinterpret_cast<std::uintptr_t>(&hidden::twice);
  char name[64] = {};
  std::uintptr_t start = 0;
  ASSERT_TRUE(find_own_routine(start_of_twice + 1, name, sizeof name, start));
  EXPECT_STREQ(name, "_ZN6hiddenL5twiceEi");
  EXPECT_EQ(start, start_of_twice);
  char cut[8];
  ASSERT_TRUE(find_own_routine(start_of_twice, cut, sizeof cut, start));
  EXPECT_STREQ(cut, "_ZN6hid");
  // Data and addresses outside the program lie in no routine.
  start = 1;
  EXPECT_FALSE(find_own_routine(reinterpret_cast<std::uintptr_t>(&hidden::g_data), name,
                                sizeof name, start));
  EXPECT_FALSE(find_own_routine(0, name, sizeof name, start));
  EXPECT_EQ(start, 1u);

  // A live stop names the local routine it came from, in the program's image.
  const ChildResult stop =
      run_in_child([] { hidden::stop(); }, with(quiet_environment(), {"RTD_DISABLE_STACK_TRACE"}));
  EXPECT_EQ(stop.status, 24);
  const std::vector<std::string> lines = lf_lines(stop.err);
  ASSERT_GE(lines.size(), 3u) << stop.err;
  EXPECT_EQ(lines[2].substr(0, 19), "failure_stop_test  ") << stop.err;
  EXPECT_EQ(lines[2].substr(27, 19), "  hidden::stop()   ") << stop.err;
}

TEST(FailureStop, UnwritableDiagnosticChangesNothingElse) {
  TempDir dir;
  const auto stop = [] { records::failure_stop(Message::input_conversion, 7, "/w/P.PER"); };
  const std::string line = "rtdiag: severe (64): input conversion error, unit 7, file /w/P.PER\r\n";

  const ChildResult closed = run_in_child(stop, quiet_environment(), Stderr::closed);
  EXPECT_EQ(closed.status, 64);
  EXPECT_EQ(closed.signal, 0);
  const ChildResult broken = run_in_child(stop, quiet_environment(), Stderr::broken_pipe);
  EXPECT_EQ(broken.status, 64);
  EXPECT_EQ(broken.signal, 0);  // not SIGPIPE

  // A log file or RTDT0 file that cannot be opened leaves stderr in charge.
  const ChildResult no_log = run_in_child(
      stop, with(quiet_environment(), {"RTD_DIAGNOSTIC_LOG_FILE=" + dir.file("none/log"),
                                       "RTDT0=" + dir.file("none/err")}));
  EXPECT_EQ(no_log.status, 64);
  EXPECT_EQ(no_log.err, line);
}

TEST(FailureStop, InterruptHandlerTakesTheEnvironmentAtInstallation) {
  // The handler takes the environment at installation: log file on, display off.
  TempDir dir;
  write_file(dir.file("log"), "before\n");
  const ChildResult logged = run_in_child(
      [] {
        records::install_failure_handling();
        ::unsetenv("RTD_DIAGNOSTIC_LOG_FILE");
        ::raise(SIGINT);
      },
      with(quiet_environment(),
           {"RTD_DIAGNOSTIC_LOG_FILE=" + dir.file("log"), "RTD_DISABLE_DIAGNOSTIC_DISPLAY=yes"}));
  EXPECT_EQ(logged.signal, SIGINT);
  EXPECT_EQ(logged.err, "");
  EXPECT_EQ(read_file(dir.file("log")),
            "before\nrtdiag: error (200): program aborting due to control-C event\r\n");
}

TEST(FailureStop, FloatingPointExceptionsMaskedAtStartUp) {
  const ChildResult masked = run_in_child(
      [] {
        ::feenableexcept(FE_DIVBYZERO | FE_INVALID);
        records::install_failure_handling();
        volatile double zero = 0.0;
        volatile double quotient = 1.0 / zero;  // traps unless masked
        ::_exit(::fegetexcept() == 0 && quotient > 0.0 ? 0 : 1);
      },
      quiet_environment());
  EXPECT_EQ(masked.status, 0);
  EXPECT_EQ(masked.signal, 0);
}

}  // namespace
