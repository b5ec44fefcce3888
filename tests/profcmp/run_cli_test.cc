// End-to-end runs of the built binary: arguments and defaults, which files a
// run opens, creates, keeps and replaces.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using test_support::crlf_records;
using test_support::file_exists;
using test_support::read_file;
using test_support::run_profcmp;
using test_support::table_record;
using test_support::TempDir;
using test_support::write_file;

// The worked two-method table: NFV counts 10, 30 for M1 and 20, 15 for M2.
std::string worked_table() {
  return table_record("METHOD", "M1", {}) + table_record("", "", {1, 10, 1, 1, 1}) +
         table_record("", "", {1, 30, 1, 1, 1}) + table_record("METHOD", "M2", {}) +
         table_record("", "", {1, 20, 1, 1, 1}) + table_record("", "", {1, 15, 1, 1, 1});
}

std::string header_of(const std::string& report) {
  const std::vector<std::string> records = crlf_records(report);
  return records.empty() ? std::string() : records.front();
}

TEST(Run, NoArgumentsInAnEmptyDirectory) {
  TempDir dir;
  const test_support::RunResult result = run_profcmp(dir.path(), {});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  // The missing table is created empty; the report has its header and a blank record.
  ASSERT_TRUE(file_exists(dir.file("P.PER")));
  EXPECT_EQ(read_file(dir.file("P.PER")), "");
  EXPECT_EQ(read_file(dir.file("P.PRO")),
            "PERFORMANCE PROFILES:   NFV    BOUND =    2.0000   STEP =    0.1000   NMETH =  0\r\n"
            " \r\n");
  const std::vector<std::string> script = crlf_records(read_file(dir.file("P.sci")));
  ASSERT_EQ(script.size(), 13u);
  EXPECT_EQ(script[0], "x=0: 0.10000: 2.00000;");
  EXPECT_EQ(script[9], "title('Performance profiles for NFV ','fontsize',5);");
}

TEST(Run, ArgumentsAreCutPaddedAndDefaulted) {
  struct Case {
    std::vector<std::string> args;
    std::string header_start;  // columns 1..48 of the report header
    std::string abscissa_line;
  };
  const Case cases[] = {
      {{"NCGRX"}, "PERFORMANCE PROFILES:   NCGR   BOUND =    2.0000", "x=0: 0.10000: 2.00000;"},
      {{"NIT"}, "PERFORMANCE PROFILES:   NIT    BOUND =    2.0000", "x=0: 0.10000: 2.00000;"},
      {{"TIME", "3."},
       "PERFORMANCE PROFILES:   TIME   BOUND =    3.0000",
       "x=0: 0.15000: 3.00000;"},
      // Without a point the bound has three implied decimals: 0.003, raised to 0.5.
      {{"TIME", "3"}, "PERFORMANCE PROFILES:   TIME   BOUND =    0.5000", "x=0: 0.02500: 0.50000;"},
      {{"NFV ", "1.25"},
       "PERFORMANCE PROFILES:   NFV    BOUND =    1.5000",
       "x=0: 0.07500: 1.50000;"},
      // Cut to ten characters: 0.12345678.
      {{"NFV", "0.123456789"},
       "PERFORMANCE PROFILES:   NFV    BOUND =    0.5000",
       "x=0: 0.02500: 0.50000;"},
      {{"NFV", "7.3"},
       "PERFORMANCE PROFILES:   NFV    BOUND =    5.0000",
       "x=0: 0.25000: 5.00000;"},
      // Present but empty arguments take no default: four blanks and the bound 0.
      {{"", ""}, "PERFORMANCE PROFILES:          BOUND =    0.5000", "x=0: 0.02500: 0.50000;"},
      // Arguments after the second are ignored.
      {{"NFG", "2.5D0", "extra"},
       "PERFORMANCE PROFILES:   NFG    BOUND =    2.5000",
       "x=0: 0.12500: 2.50000;"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const test_support::RunResult result = run_profcmp(dir.path(), c.args);
    const std::string label = c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : "");
    EXPECT_EQ(result.status, 0) << label << ": " << result.err;
    EXPECT_EQ(header_of(read_file(dir.file("P.PRO"))).substr(0, 48), c.header_start) << label;
    EXPECT_EQ(crlf_records(read_file(dir.file("P.sci"))).at(0), c.abscissa_line) << label;
  }
}

TEST(Run, OlderFilesAreReplacedOnlyWhenWritten) {
  {
    // A longer old report and script are cut to exactly this run's records.
    TempDir dir;
    write_file(dir.file("P.PER"), worked_table());
    write_file(dir.file("P.PRO"), std::string(5000, 'x') + "\r\n");
    write_file(dir.file("P.sci"), std::string(5000, '#') + "\r\n");
    ASSERT_EQ(run_profcmp(dir.path(), {}).status, 0);
    const std::string report = read_file(dir.file("P.PRO"));
    EXPECT_EQ(report.find('x'), std::string::npos);
    EXPECT_EQ(crlf_records(report).size(), 14u);
    EXPECT_EQ(read_file(dir.file("P.sci")).find('#'), std::string::npos);
  }
  {
    // A run that stops while reading the table leaves the old report and
    // script byte for byte as they were, although both were opened.
    TempDir dir;
    write_file(dir.file("P.PER"), table_record("METHOD", "M1", {}) + "        x" +
                                      std::string(13, ' ') + "      12.5\r\n");
    write_file(dir.file("P.PRO"), "old report\r\n");
    write_file(dir.file("P.sci"), "old script\n");
    test_support::RunOptions options;
    options.env = {"RTD_DISABLE_STACK_TRACE=1"};
    const test_support::RunResult result = run_profcmp(dir.path(), {}, options);
    EXPECT_EQ(result.status, 64);
    EXPECT_EQ(result.err, "rtdiag: severe (64): input conversion error, unit 7, file " +
                              dir.path() + "/P.PER\r\n");
    EXPECT_EQ(read_file(dir.file("P.PRO")), "old report\r\n");
    EXPECT_EQ(read_file(dir.file("P.sci")), "old script\n");
  }
}

TEST(Run, ReadOnlyScriptStopsAtItsFirstWrite) {
  TempDir dir;
  write_file(dir.file("P.PER"), worked_table());
  write_file(dir.file("P.sci"), "kept\r\n");
  ::chmod(dir.file("P.sci").c_str(), 0444);
  test_support::RunOptions options;
  // Root ignores file modes, so the run drops to an unprivileged user.
  options.unprivileged = test_support::running_as_root();
  const test_support::RunResult result = run_profcmp(dir.path(), {}, options);
  EXPECT_EQ(result.status, 47) << result.err;
  EXPECT_NE(result.err.find("rtdiag: severe (47): write to READONLY file, unit 9, file " +
                            dir.path() + "/P.sci\r\n"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(read_file(dir.file("P.sci")), "kept\r\n");
  // The report was complete before the script was touched.
  EXPECT_EQ(crlf_records(read_file(dir.file("P.PRO"))).size(), 14u);
}

TEST(Run, BundledExampleRunsClean) {
  TempDir dir;
  write_file(dir.file("P.PER"), read_file(test_support::source_dir() + "/examples/P.PER"));
  const test_support::RunResult result = run_profcmp(dir.path(), {"NFV"});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<std::string> report = crlf_records(read_file(dir.file("P.PRO")));
  // Header, blank, then four blocks of six records.
  EXPECT_EQ(report.size(), 2u + 4u * 6u);
  EXPECT_EQ(report[0].substr(70), "NMETH =  4");
  EXPECT_EQ(crlf_records(read_file(dir.file("P.sci"))).size(), 47u);
}

}  // namespace
