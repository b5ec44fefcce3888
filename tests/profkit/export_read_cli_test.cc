// profkit export reading tables large enough to be read as two halves: the
// same CSV as from a pipe (read in order) and from the same rows in a small
// table, the exact diagnostics of a bad count on either side of the middle
// (with its line), a lone Ctrl-Z before the middle, a record too long for
// profcmp and a directory as FILE.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kit_support.h"

namespace {

using kit_support::read_file;
using kit_support::run_profkit;
using kit_support::TempDir;
using kit_support::write_file;

// Larger than the size from which a file is read as two halves (8 MiB).
constexpr int k_problems = 40000;
constexpr int k_methods = 3;

// 3 methods x 40,000 problems (about 9 MB), counts from a fixed sequence;
// the problem records of method m are lines 2 + m * (k_problems + 1) onwards.
std::string large_table() {
  std::string text;
  std::uint32_t state = 12345u;
  for (int m = 0; m < k_methods; ++m) {
    text += kit_support::method_record(std::string("M").append(std::to_string(m + 1)));
    for (int p = 0; p < k_problems; ++p) {
      std::int64_t counts[5];
      for (std::int64_t& c : counts) {
        state = state * 1664525u + 1013904223u;
        c = 1 + (state >> 16) % 3000;
      }
      text += kit_support::problem_record(std::string("P").append(std::to_string(p + 1)), counts);
    }
  }
  return text;
}

std::size_t line_start(const std::string& text, std::size_t line) {
  std::size_t at = 0;
  for (std::size_t l = 1; l < line; ++l) at = text.find('\n', at) + 1;
  return at;
}

TEST(ExportReadCli, LargeFileGivesTheSameCsvAsAPipe) {
  const TempDir dir;
  const std::string table = large_table();
  ASSERT_GT(table.size(), std::size_t{8} << 20);
  write_file(dir.file("P.PER"), table);
  for (const std::string criterion : {"NFV", "TIME"}) {
    const auto from_file =
        run_profkit({"export", "--criterion", criterion, "P.PER"}, {}, dir.path());
    const auto from_pipe =
        run_profkit({"export", "--criterion", criterion, "-"}, table, dir.path());
    ASSERT_EQ(from_file.status, 0) << from_file.err;
    ASSERT_EQ(from_pipe.status, 0) << from_pipe.err;
    EXPECT_TRUE(from_file.out == from_pipe.out) << criterion;
    EXPECT_EQ(from_file.out.rfind("method_number,method,log2_ratio,fraction\r\n1,M1,0,", 0), 0u);
  }
}

TEST(ExportReadCli, BadCountsOnEitherSideOfTheMiddleAndALoneCtrlZ) {
  const TempDir dir;
  const std::string table = large_table();
  struct Case {
    std::size_t line;  // the record whose NFV field turns bad
    std::string err;
  };
  const Case cases[] = {
      {5,
       "profkit: error: P.PER:5:33: count NFV '      12x4' is not a whole number (profcmp stops "
       "here with message 64); 'profkit check P.PER' lists every problem of the table\n"},
      {100000,
       "profkit: error: P.PER:100000:33: count NFV '      12x4' is not a whole number "
       "(profcmp stops here with message 64); 'profkit check P.PER' lists every problem "
       "of the table\n"},
  };
  for (const Case& c : cases) {
    std::string bad = table;
    bad.replace(line_start(bad, c.line) + 32, 10, "      12x4");
    // A later bad count is not the one reported.
    bad.replace(line_start(bad, 110000) + 32, 10, "         ?");
    write_file(dir.file("P.PER"), bad);
    const auto r = run_profkit({"export", "P.PER"}, {}, dir.path());
    EXPECT_EQ(r.status, 2) << c.line;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
  // A lone Ctrl-Z in the first half ends the table there: the bad count
  // after it is never read, and method 1 keeps its first 9 problems.
  std::string cut = table;
  cut.replace(line_start(cut, 100000) + 32, 10, "      12x4");
  cut.insert(line_start(cut, 11), "\x1a\r\n");
  write_file(dir.file("P.PER"), cut);
  const auto r = run_profkit({"export", "P.PER"}, {}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  write_file(dir.file("small.PER"), table.substr(0, line_start(table, 11)));
  EXPECT_EQ(r.out, run_profkit({"export", "small.PER"}, {}, dir.path()).out);
  EXPECT_EQ(r.out, "method_number,method,log2_ratio,fraction\r\n1,M1,0,1\r\n");
}

// A record one byte longer than profcmp reads, on either side of the middle:
// the same diagnostic from a file read as two halves, from a pipe and from
// check, which reads the whole table another way.
TEST(ExportReadCli, ARecordTooLongForProfcmpStopsAtItsLine) {
  const TempDir dir;
  const std::string table = large_table();
  for (const std::size_t line : {std::size_t{5}, std::size_t{100000}}) {
    std::string bad = table;
    const std::size_t at = line_start(bad, line);
    bad.replace(at, line_start(bad, line + 1) - 2 - at, std::string((1u << 20) + 1, '9'));
    write_file(dir.file("P.PER"), bad);
    const std::string err = "profkit: error: P.PER:" + std::to_string(line) +
                            ": record longer than 1 MiB (1048576 bytes; profcmp stops here "
                            "with message 22)\n";
    for (const auto& args : {std::vector<std::string>{"export", "P.PER"},
                             std::vector<std::string>{"check", "P.PER"}}) {
      const auto r = run_profkit(args, {}, dir.path());
      EXPECT_EQ(r.status, 2) << line << " " << args[0];
      EXPECT_EQ(r.err, err) << args[0];
    }
    const auto piped = run_profkit({"export", "-"}, bad, dir.path());
    EXPECT_EQ(piped.err, "profkit: error: -" + err.substr(err.find(':', 16)));
  }
}

TEST(ExportReadCli, ADirectoryIsNotATable) {
  const TempDir dir;
  const auto r = run_profkit({"export", dir.path()});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "profkit: error: " + dir.path() + ": Is a directory\n");
  EXPECT_EQ(r.out, "");
}

}  // namespace
