// Runs of the built binary on inputs that try to hang it, exhaust its memory
// or break the script it writes: named pipes, sockets and devices in place of
// the run's files, records without end, line ends in the criterion, and the
// arguments that ask for help or the version instead of a run. Every run here
// is killed after a deadline, so a regression fails instead of hanging.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "records/run_files.h"
#include "records/units.h"
#include "test_support.h"

namespace {

using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

// Seconds a run may take before it counts as hung and is killed.
constexpr unsigned k_deadline_seconds = 20;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool k_sanitized = true;
#else
constexpr bool k_sanitized = false;
#endif

using test_support::RunResult;

// Reads `fd` to its end.
std::string slurp(int fd) {
  std::string data;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    data.append(buffer, static_cast<std::size_t>(got));
  }
  return data;
}

// Runs profcmp with `args` in `dir` without a traceback, ended by SIGALRM at
// the deadline. Outside sanitizer builds its address space is also capped,
// so a run that grows without end is stopped rather than the test machine.
RunResult run_bounded(const std::string& dir, const std::vector<std::string>& args) {
  test_support::RunOptions options;
  options.env = {"RTD_DISABLE_STACK_TRACE=1"};
  options.unset_env = {"RTDT0", "RTD_DIAGNOSTIC_LOG_FILE", "RTD_DISABLE_DIAGNOSTIC_DISPLAY",
                       "RTD_FULL_SRC_FILE_SPEC"};
  options.deadline_seconds = k_deadline_seconds;
  if (!k_sanitized) options.address_space = 1ul << 30;
  return test_support::run_profcmp(dir, args, options);
}

// Opens the FIFO `path` with `flags` | O_NONBLOCK, retrying while its other
// end is not open (ENXIO for a writer) until the deadline; -1 then.
int open_other_end(const std::string& path, int flags) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(k_deadline_seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fd;
    }
    if (errno != ENXIO) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return -1;
}

void write_all(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    done += static_cast<std::size_t>(written);
  }
}

// A problem record with `count` in all five count fields.
std::string problem(std::int64_t count) {
  return test_support::table_record("", "", {count, count, count, count, count});
}

// The worked two-method table: NFV counts 10, 30 for M1 and 20, 15 for M2.
std::string worked_table(const std::string& name1 = "M1", const std::string& name2 = "M2") {
  return test_support::method_record(name1) + problem(10) + problem(30) +
         test_support::method_record(name2) + problem(20) + problem(15);
}

struct RunFiles {
  std::string report;
  std::string script;
};

// The report and script of a plain run on `table`, the reference for runs
// whose files are pipes.
RunFiles reference_files(const std::string& table) {
  TempDir dir;
  write_file(dir.file("P.PER"), table);
  const RunResult run = run_bounded(dir.path(), {});
  EXPECT_EQ(run.status, 0) << run.err;
  return {read_file(dir.file("P.PRO")), read_file(dir.file("P.sci"))};
}

std::string severe(int number, const std::string& text, int unit, const std::string& file) {
  return "rtdiag: severe (" + std::to_string(number) + "): " + text + ", unit " +
         std::to_string(unit) + ", file " + file + "\r\n";
}

std::vector<std::string> entries_of(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class HostileInput : public testing::Test {
 protected:
  // A writer that goes away must not end the test process.
  void SetUp() override { ::signal(SIGPIPE, SIG_IGN); }
};

TEST_F(HostileInput, ResultsTableFromANamedPipeEndsWhenItsWriterCloses) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("P.PER").c_str(), 0666), 0);
  const std::string table = worked_table();
  std::thread writer([&] {
    const int fd = open_other_end(dir.file("P.PER"), O_WRONLY);
    if (fd < 0) return;
    write_all(fd, table);
    ::close(fd);
  });
  const RunResult run = run_bounded(dir.path(), {});
  writer.join();
  EXPECT_EQ(run.signal, 0) << "the run did not end when the writer closed the pipe";
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const RunFiles expected = reference_files(table);
  EXPECT_EQ(read_file(dir.file("P.PRO")), expected.report);
  EXPECT_EQ(read_file(dir.file("P.sci")), expected.script);
}

TEST_F(HostileInput, ReportThatCannotBeReadBackIsRefusedBeforeAnyWrite) {
  const std::string reason = "rtdiag: Not a regular file, so it cannot be read back\r\n";
  for (const bool socket_file : {false, true}) {
    SCOPED_TRACE(socket_file ? "socket" : "named pipe");
    TempDir dir;
    write_file(dir.file("P.PER"), worked_table());
    write_file(dir.file("P.sci"), "older script\r\n");
    int listener = -1;
    if (socket_file) {
      listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      ASSERT_LT(dir.file("P.PRO").size(), sizeof address.sun_path);
      std::strcpy(address.sun_path, dir.file("P.PRO").c_str());
      ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    } else {
      ASSERT_EQ(::mkfifo(dir.file("P.PRO").c_str(), 0666), 0);
    }
    const RunResult run = run_bounded(dir.path(), {});
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.status, 30);
    EXPECT_EQ(run.err, reason + severe(30, "open failure", 8, dir.file("P.PRO")));
    EXPECT_EQ(read_file(dir.file("P.PER")), worked_table());
    EXPECT_EQ(read_file(dir.file("P.sci")), "older script\r\n");
    if (listener >= 0) ::close(listener);
  }
}

TEST_F(HostileInput, ScriptToANamedPipeReachesItsReader) {
  TempDir dir;
  write_file(dir.file("P.PER"), worked_table());
  ASSERT_EQ(::mkfifo(dir.file("P.sci").c_str(), 0666), 0);
  // The reading end is open before the run starts: a reader that came late
  // would find the pipe gone with the script in it. The script is far
  // smaller than a pipe holds, so it is read after the run.
  const int fd = ::open(dir.file("P.sci").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const RunResult run = run_bounded(dir.path(), {});
  const std::string received = slurp(fd);
  ::close(fd);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(received, reference_files(worked_table()).script);
}

TEST_F(HostileInput, EndlessRecordsStopWithinBoundedMemory) {
  {  // A device that never ends a line, reached through a symbolic link.
    TempDir dir;
    ASSERT_EQ(::symlink("/dev/zero", dir.file("P.PER").c_str()), 0);
    write_file(dir.file("P.PRO"), "older report\r\n");
    const RunResult run = run_bounded(dir.path(), {});
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.status, 22);
    EXPECT_EQ(run.err, severe(22, "input record too long", 7, dir.file("P.PER")));
    EXPECT_EQ(read_file(dir.file("P.PRO")), "older report\r\n");
    // The read buffer stops at about 2 MiB; the rest is the process itself
    // (and the sanitizers' own memory in such a build).
    EXPECT_LT(run.max_rss_kib, k_sanitized ? 256 * 1024 : 32 * 1024);
  }
  {  // One endless line from a writer that would go on for ever.
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("P.PER").c_str(), 0666), 0);
    std::thread writer([&] {
      const int fd = open_other_end(dir.file("P.PER"), O_WRONLY);
      if (fd < 0) return;
      const std::string block(65536, 'x');
      // Ends when the reader has gone (EPIPE).
      while (::write(fd, block.data(), block.size()) > 0) {
      }
      ::close(fd);
    });
    const RunResult run = run_bounded(dir.path(), {});
    writer.join();
    EXPECT_EQ(run.status, 22);
    EXPECT_EQ(run.err, severe(22, "input record too long", 7, dir.file("P.PER")));
    EXPECT_LT(run.max_rss_kib, k_sanitized ? 256 * 1024 : 32 * 1024);
  }
}

TEST_F(HostileInput, LineEndInTheCriterionIsRefusedBeforeAnyFileIsOpened) {
  const std::string refusal = "rtdiag: severe (121): line end in criterion argument\r\n";
  for (const std::string criterion : {"NF\nV", "\r", "N\r\nV", "NFV\r", "\nNFV"}) {
    SCOPED_TRACE(criterion);
    TempDir dir;
    const RunResult run = run_bounded(dir.path(), {criterion, "3."});
    EXPECT_EQ(run.status, 121);
    EXPECT_EQ(run.err, refusal);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(entries_of(dir.path()).empty()) << "a file was created";
  }
  // Only the four characters taken as the criterion count: a line end cut
  // off with the rest of the argument changes nothing.
  TempDir dir;
  write_file(dir.file("P.PER"), worked_table());
  const RunResult run = run_bounded(dir.path(), {"NFV X\n"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_file(dir.file("P.sci")), reference_files(worked_table()).script);
}

TEST_F(HostileInput, CarriageReturnInANameReachesTheLegendAsAValue) {
  TempDir dir;
  // Columns 9 to 22 hold the name; only LF ends a record, so CR is data.
  write_file(dir.file("P.PER"), worked_table("M\r1", "M\t2\x01"));
  const RunResult run = run_bounded(dir.path(), {});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string script = read_file(dir.file("P.sci"));
  EXPECT_NE(script.find("leg=legend(['M'+ascii(13)+'1           ';'M\t2\x01          '],4);\r\n"),
            std::string::npos)
      << script;
  EXPECT_EQ(script.find("M\r1"), std::string::npos);
}

const std::string k_usage =
    "usage: profcmp [criterion [bound]]\n"
    "       profcmp --help | -h | --version\n"
    "\n"
    "Compares optimization methods by their performance profiles: reads the\n"
    "results table P.PER in the working directory and writes the report P.PRO\n"
    "and the Scilab script P.sci beside it.\n"
    "\n"
    "  criterion  the count compared: NIT, NFV (default), NFG, NCGR or TIME\n"
    "  bound      upper end of the abscissa, log2 of the ratio (default 2.0D0)\n"
    "\n"
    "See profcmp(1).\n";

// The version of the build: project(profcmp VERSION x.y.z ...) at the top.
std::string project_version() {
  std::ifstream in(test_support::source_dir() + "/CMakeLists.txt");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(R"(project\(profcmp\s+VERSION\s+([0-9.]+))"))) {
    return "<no version in CMakeLists.txt>";
  }
  return match[1];
}

TEST_F(HostileInput, HelpAndVersionOpenNoFile) {
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"--help"}, k_usage},
      {{"-h"}, k_usage},
      {{"--help", "NIT", "3."}, k_usage},
      {{"--version"}, "profcmp " + project_version() + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    TempDir dir;
    write_file(dir.file("P.PRO"), "older report\r\n");
    const RunResult run = run_bounded(dir.path(), c.args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(entries_of(dir.path()), std::vector<std::string>{"P.PRO"});
    EXPECT_EQ(read_file(dir.file("P.PRO")), "older report\r\n");
  }
  // Anything else is a criterion, taken to four characters as ever.
  for (const std::string other : {"--he", "--HELP", "-help", "--help ", "--versions", "-H", ""}) {
    SCOPED_TRACE(other);
    TempDir dir;
    const RunResult run = run_bounded(dir.path(), {other});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    std::string criterion = other.substr(0, 4);
    criterion.resize(4, ' ');
    EXPECT_EQ(read_file(dir.file("P.PRO")).substr(24, 4), criterion);
  }
}

}  // namespace
