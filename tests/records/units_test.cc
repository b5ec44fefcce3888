// The unit layer: records on disk, the read side's line ends, truncation at
// the first write, file names, arguments, and the stops of refused opens,
// reads and writes.
#include "records/units.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using records::BlankMode;
using records::OpenStatus;
using records::ReadResult;
using test_support::read_file;
using test_support::ScopedChdir;
using test_support::TempDir;
using test_support::write_file;

void open_unit(int unit, std::string_view name) {
  records::open_unit(unit, name, OpenStatus::unknown, BlankMode::null);
}

void write_line(int unit, const std::string& text) {
  char* record = records::reserve_record(unit, text.size());
  std::memcpy(record, text.data(), text.size());
  records::write_record(unit, text.size());
}

// Every record of `unit` up to the end of the file.
std::vector<std::string> read_all(int unit) {
  std::vector<std::string> lines;
  std::string_view record;
  while (records::read_record(unit, record) == ReadResult::record) lines.emplace_back(record);
  return lines;
}

std::vector<std::string> records_of_file(const std::string& bytes) {
  TempDir dir;
  write_file(dir.file("in"), bytes);
  open_unit(7, dir.file("in"));
  std::vector<std::string> lines = read_all(7);
  records::close_unit(7);
  return lines;
}

std::string current_dir() {
  char buffer[PATH_MAX];
  return ::getcwd(buffer, sizeof buffer) != nullptr ? buffer : "";
}

// The text as an extended regular expression matching exactly it.
std::string literal(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (std::strchr(".[]()*+?{}|^$\\", c) != nullptr) out += '\\';
    out += c;
  }
  return out;
}

std::string severe_line(int number, const std::string& text, int unit, const std::string& file) {
  return literal("rtdiag: severe (" + std::to_string(number) + "): " + text + ", unit " +
                 std::to_string(unit) + ", file " + file + "\r\n");
}

// In a death test's child: give up root so rights on files are enforced.
void drop_privileges() {
  if (::geteuid() != 0) return;
  if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
    test_support::child_cannot_start(STDERR_FILENO, "drop to uid/gid 65534", 250);
  }
}

// Files may grow to `bytes` only; a write beyond fails with EFBIG, not SIGXFSZ.
void limit_file_size(rlim_t bytes) {
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  limit.rlim_cur = bytes;
  limit.rlim_max = bytes;
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

// No further file can be opened in this process.
void limit_open_files() {
  const int next = ::open("/dev/null", O_RDONLY);
  ::close(next);
  rlimit limit{};
  limit.rlim_cur = static_cast<rlim_t>(next);
  limit.rlim_max = static_cast<rlim_t>(next);
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

TEST(UnitsWrite, RecordsEndInCrLfAndReachTheFileAtOnce) {
  TempDir dir;
  const std::string path = dir.file("P.PRO");
  open_unit(8, path);
  write_line(8, " NMETH =  2");
  EXPECT_EQ(read_file(path), " NMETH =  2\r\n");
  write_line(8, "");
  EXPECT_EQ(read_file(path), " NMETH =  2\r\n\r\n");
  // Longer than the first buffer size and than one growth step: whole on one line.
  const std::string wide(1000, 'x');
  write_line(8, wide);
  write_line(8, "end");
  records::close_unit(8);
  EXPECT_EQ(read_file(path), " NMETH =  2\r\n\r\n" + wide + "\r\nend\r\n");
  EXPECT_FALSE(records::unit_connected(8));

  // The interrupt path closes the handles only; what was written stays.
  open_unit(9, path);
  write_line(9, "last");
  records::close_all_units_signal_safe();
  EXPECT_FALSE(records::unit_connected(9));
  EXPECT_EQ(read_file(path), "last\r\n");
}

TEST(UnitsWrite, FirstRecordCutsTheOlderFileAndAnUnwrittenFileKeepsItsBytes) {
  TempDir dir;
  const std::string path = dir.file("P.PRO");
  write_file(path, std::string(5000, 'o') + "\r\nold tail\r\n");
  open_unit(8, path);
  write_line(8, "new 1");
  EXPECT_EQ(read_file(path), "new 1\r\n");
  write_line(8, "new 2");
  records::close_unit(8);
  EXPECT_EQ(read_file(path), "new 1\r\nnew 2\r\n");

  const std::string kept = dir.file("P.sci");
  write_file(kept, "old script\nno CR\n");
  open_unit(9, kept);
  EXPECT_EQ(read_file(kept), "old script\nno CR\n");
  records::close_unit(9);
  EXPECT_EQ(read_file(kept), "old script\nno CR\n");

  // Read back after re-open from the first record.
  open_unit(8, path);
  EXPECT_EQ(read_all(8), (std::vector<std::string>{"new 1", "new 2"}));
  records::close_unit(8);
}

TEST(UnitsRead, LineEndsControlZAndEndOfFile) {
  const std::vector<std::string> abc{"a", "", "bc"};
  EXPECT_EQ(records_of_file("a\n\nbc\n"), abc);
  EXPECT_EQ(records_of_file("a\r\n\r\nbc\r\n"), abc);
  EXPECT_EQ(records_of_file("a\n\r\nbc"), abc);
  // CR alone is an ordinary character; a CR not right before LF stays.
  EXPECT_EQ(records_of_file("a\rb\rc\r"), (std::vector<std::string>{"a\rb\rc\r"}));
  EXPECT_EQ(records_of_file("x\r\r\n"), (std::vector<std::string>{"x\r"}));
  EXPECT_EQ(records_of_file(""), (std::vector<std::string>{}));
  // A lone byte 26 ends the file wherever it stands; 26 with more bytes is data.
  EXPECT_EQ(records_of_file("one\n\x1a\r\ntwo\n"), (std::vector<std::string>{"one"}));
  EXPECT_EQ(records_of_file("\x1a"), (std::vector<std::string>{}));
  EXPECT_EQ(records_of_file("\x1a\x1a\n\x1az\n"), (std::vector<std::string>{"\x1a\x1a", "\x1az"}));

  TempDir dir;
  write_file(dir.file("in"), "one\n\x1a\ntwo\n");
  open_unit(7, dir.file("in"));
  std::string_view record;
  ASSERT_EQ(records::read_record(7, record), ReadResult::record);
  EXPECT_EQ(record, "one");
  EXPECT_EQ(records::read_record(7, record), ReadResult::end_of_file);
  EXPECT_EQ(records::read_record(7, record), ReadResult::end_of_file);
  records::close_unit(7);
}

TEST(UnitsRead, LongLinesAndLinesAcrossBlockBoundaries) {
  const std::string l300(300, 'p');
  const std::string l20000(20000, 'q');
  EXPECT_EQ(records_of_file(l300 + "\n" + l20000 + "\r\nz"),
            (std::vector<std::string>{l300, l20000, "z"}));
  EXPECT_EQ(records_of_file(l20000), (std::vector<std::string>{l20000}));

  // Lines of varying length so that line ends and CR LF pairs fall on the
  // edges of the 8192-byte blocks.
  std::vector<std::string> lines;
  std::string bytes;
  for (int i = 0; i < 600; ++i) {
    lines.push_back(std::string(static_cast<std::size_t>(i % 97), static_cast<char>('a' + i % 26)));
    bytes += lines.back() + "\r\n";
  }
  EXPECT_EQ(records_of_file(bytes), lines);
}

TEST(UnitsOpen, MissingFileIsCreatedEmptyAndNamesResolveToFullPaths) {
  TempDir dir;
  ScopedChdir in_dir(dir.path());
  const std::string cwd = current_dir();
  ASSERT_EQ(::mkdir("a", 0777), 0);

  open_unit(7, std::string_view("  ./a/../P.PER \0\0", 18));
  EXPECT_TRUE(records::unit_connected(7));
  EXPECT_EQ(records::unit_file_name(7), cwd + "/P.PER");
  EXPECT_EQ(records::unit_blank_mode(7), BlankMode::null);
  std::string_view record;
  EXPECT_EQ(records::read_record(7, record), ReadResult::end_of_file);
  records::close_unit(7);
  EXPECT_TRUE(test_support::file_exists(cwd + "/P.PER"));
  EXPECT_EQ(read_file(cwd + "/P.PER"), "");
  EXPECT_EQ(records::unit_file_name(7), "");

  open_unit(8, cwd + "/a/./../a/../../" + cwd.substr(cwd.rfind('/') + 1) + "/P.PRO");
  EXPECT_EQ(records::unit_file_name(8), cwd + "/P.PRO");
  records::close_unit(8);

  // A full path of 256 characters or more is not used; the name stays as given.
  const std::string long_name = std::string(256 - cwd.size(), 'n');
  open_unit(9, long_name);
  EXPECT_EQ(records::unit_file_name(9), long_name);
  records::close_unit(9);
  const std::string fits = std::string(254 - cwd.size(), 'm');
  open_unit(9, fits);
  EXPECT_EQ(records::unit_file_name(9), cwd + "/" + fits);
  records::close_unit(9);

  records::close_unit(5);  // not connected: nothing happens
}

TEST(UnitsArguments, GetargAndLenTrim) {
  std::string long_argument(40000, 'L');
  char program[] = "profcmp";
  char first[] = "NCGRX";
  char empty[] = "";
  std::vector<char*> argv{program, first, empty, long_argument.data(), nullptr};
  records::start_up(4, argv.data());

  char buffer[10];
  std::int16_t status = 99;
  std::memcpy(buffer, "unchanged!", 10);
  records::GETARG(4, buffer, 10, status);
  EXPECT_EQ(status, -1);
  records::GETARG(-1, buffer, 10, status);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(std::string(buffer, 10), "unchanged!");

  records::GETARG(1, buffer, 4, status);
  EXPECT_EQ(status, 5);
  EXPECT_EQ(std::string(buffer, 10), "NCGRanged!");
  records::GETARG(1, buffer, 10, status);
  EXPECT_EQ(std::string(buffer, 10), "NCGRX     ");
  records::GETARG(2, buffer, 10, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::string(buffer, 10), "          ");
  records::GETARG(3, buffer, 10, status);
  EXPECT_EQ(status, 32767);
  EXPECT_EQ(std::string(buffer, 10), "LLLLLLLLLL");
  records::GETARG(0, buffer, 10, status);
  EXPECT_EQ(status, 7);
  EXPECT_EQ(std::string(buffer, 10), "profcmp   ");

  std::vector<char*> two{program, first, empty, nullptr};
  records::start_up(3, two.data());
  records::GETARG(3, buffer, 10, status);
  EXPECT_EQ(status, -1);

  EXPECT_EQ(records::len_trim("abc  ", 5), 3);
  EXPECT_EQ(records::len_trim("     ", 5), 0);
  EXPECT_EQ(records::len_trim("  x", 3), 3);
  EXPECT_EQ(records::len_trim("ab\t", 3), 3);
  EXPECT_EQ(records::len_trim("ab\0 ", 4), 3);
  EXPECT_EQ(records::len_trim("abc", 0), 0);
  EXPECT_EQ(records::len_trim("abc", -4), -4);
}

TEST(UnitsDeathTest, RefusedOpensStopWithTheirMessages) {
  TempDir dir;
  ScopedChdir in_dir(dir.path());
  const std::string cwd = current_dir();

  write_file("P.sci", "old\r\n");
  ::chmod("P.sci", 0444);
  EXPECT_EXIT(
      {
        drop_privileges();
        open_unit(9, "P.sci");
        records::reserve_record(9, 4);
      },
      testing::ExitedWithCode(47),
      "^" + severe_line(47, "write to READONLY file", 9, cwd + "/P.sci"));
  // A read-only file that is only read causes no failure.
  EXPECT_EXIT(
      {
        drop_privileges();
        open_unit(9, "P.sci");
        if (read_all(9) != std::vector<std::string>{"old"}) ::_exit(3);
        records::normal_end();
      },
      testing::ExitedWithCode(0), "^$");
  EXPECT_EQ(read_file("P.sci"), "old\r\n");

  write_file("P.PER", "secret\n");
  ::chmod("P.PER", 0000);
  EXPECT_EXIT(
      {
        drop_privileges();
        open_unit(7, "P.PER");
      },
      testing::ExitedWithCode(9),
      "^" + severe_line(9, "permission to access file denied", 7, cwd + "/P.PER"));

  EXPECT_EXIT(open_unit(7, "P.sci/P.PER"), testing::ExitedWithCode(29),
              "^" + severe_line(29, "file not found", 7, cwd + "/P.sci/P.PER"));

  // Cut to 256 characters, still one component too long for the platform.
  const std::string too_long(300, 'z');
  EXPECT_EXIT(open_unit(7, too_long), testing::ExitedWithCode(43),
              "^" + severe_line(43, "file name specification error", 7, too_long.substr(0, 256)));

  ASSERT_EQ(::symlink("loop2", "loop1"), 0);
  ASSERT_EQ(::symlink("loop1", "loop2"), 0);
  EXPECT_EXIT(open_unit(7, "loop1"), testing::ExitedWithCode(43),
              "^" + severe_line(43, "file name specification error", 7, cwd + "/loop1"));

  ASSERT_EQ(::mkdir("sub", 0777), 0);
  EXPECT_EXIT(open_unit(8, "sub"), testing::ExitedWithCode(30),
              "^" + literal("rtdiag: Is a directory\r\n") +
                  severe_line(30, "open failure", 8, cwd + "/sub"));

  // A socket in the file system cannot be opened as a file.
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, "sock");
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EXIT(open_unit(7, "sock"), testing::ExitedWithCode(42),
              "^" + severe_line(42, "no such device", 7, cwd + "/sock"));
  ::close(listener);

  // No descriptor left: message 30 without a platform-error line. The unit
  // opened before the stop keeps its file as it was.
  write_file("P.PRO", "report\r\n");
  EXPECT_EXIT(
      {
        open_unit(8, "P.PRO");
        limit_open_files();
        open_unit(9, "P.sci");
      },
      testing::ExitedWithCode(30), "^" + severe_line(30, "open failure", 9, cwd + "/P.sci"));
  EXPECT_EQ(read_file("P.PRO"), "report\r\n");
}

TEST(UnitsDeathTest, LockedFilesRefusedWritesAndUnconnectedUnits) {
  TempDir dir;
  ScopedChdir in_dir(dir.path());
  const std::string cwd = current_dir();

  // Another open file description holds the file: the open is refused.
  write_file("P.PRO", "held\r\n");
  const int holder = ::open("P.PRO", O_RDWR | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  EXPECT_EXIT(open_unit(8, "P.PRO"), testing::ExitedWithCode(30),
              "^" + literal("rtdiag: Resource temporarily unavailable\r\n") +
                  severe_line(30, "open failure", 8, cwd + "/P.PRO"));
  ::close(holder);
  EXPECT_EQ(read_file("P.PRO"), "held\r\n");
  // Once released, the same file opens; two units on one file do not.
  open_unit(8, "P.PRO");
  EXPECT_EXIT(open_unit(9, "P.PRO"), testing::ExitedWithCode(30),
              severe_line(30, "open failure", 9, cwd + "/P.PRO"));
  records::close_unit(8);

  ASSERT_EQ(::symlink("/dev/full", "full"), 0);
  EXPECT_EXIT(
      {
        open_unit(9, "full");
        write_line(9, "x");
      },
      testing::ExitedWithCode(38),
      "^" + literal("rtdiag: No space left on device\r\n") +
          severe_line(38, "error during write", 9, cwd + "/full"));

  // A write refused half-way leaves no part of its record in the file. The
  // limit also holds for the captured diagnostics, hence its size.
  const std::string first(8100, 'f');
  EXPECT_EXIT(
      {
        open_unit(9, "P.sci");
        write_line(9, first);
        limit_file_size(8192);
        write_line(9, std::string(200, 's'));
      },
      testing::ExitedWithCode(38),
      "^" + literal("rtdiag: File too large\r\n") +
          severe_line(38, "error during write", 9, cwd + "/P.sci"));
  EXPECT_EQ(read_file("P.sci"), first + "\r\n");

  EXPECT_EXIT(write_line(6, "x"), testing::ExitedWithCode(30),
              severe_line(30, "open failure", 6, ""));
  std::string_view record;
  EXPECT_EXIT(records::read_record(6, record), testing::ExitedWithCode(30),
              severe_line(30, "open failure", 6, ""));
}

// The unit layer: the longest record is read whole, one byte more is refused.
TEST(RecordLength, LongestRecordIsReadAndOneMoreByteStops) {
  const std::size_t limit = records::k_max_record_length;
  TempDir dir;
  test_support::ScopedChdir here(dir.path());
  const std::string longest(limit, 'a');
  for (const std::string line_end : {"\r\n", "\n", ""}) {
    SCOPED_TRACE(line_end.size());
    write_file("in", "first\n" + longest + line_end + (line_end.empty() ? "" : "last\n"));
    records::open_unit(7, "in", records::OpenStatus::unknown, records::BlankMode::null);
    std::string_view record;
    ASSERT_EQ(records::read_record(7, record), records::ReadResult::record);
    EXPECT_EQ(record, "first");
    ASSERT_EQ(records::read_record(7, record), records::ReadResult::record);
    EXPECT_EQ(record.size(), limit);
    EXPECT_EQ(record.find_first_not_of('a'), std::string_view::npos);
    if (!line_end.empty()) {
      ASSERT_EQ(records::read_record(7, record), records::ReadResult::record);
      EXPECT_EQ(record, "last");
    }
    EXPECT_EQ(records::read_record(7, record), records::ReadResult::end_of_file);
    records::close_unit(7);
  }
  const std::string cwd = std::filesystem::current_path().string();
  const std::string expected = severe_line(22, "input record too long", 7, cwd + "/in");
  for (const std::string line_end : {"\r\n", "\n", ""}) {
    SCOPED_TRACE(line_end.size());
    write_file("in", "first\n" + longest + "b" + line_end);
    EXPECT_EXIT(
        {
          ::setenv("RTD_DISABLE_STACK_TRACE", "1", 1);
          records::open_unit(7, "in", records::OpenStatus::unknown, records::BlankMode::null);
          std::string_view record;
          if (records::read_record(7, record) != records::ReadResult::record) ::_exit(3);
          (void)records::read_record(7, record);
          ::_exit(4);
        },
        testing::ExitedWithCode(22), "^" + expected + "$");
  }
}

}  // namespace
