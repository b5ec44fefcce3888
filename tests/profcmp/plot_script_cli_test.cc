// Whole runs of the tool: P.PER in, P.sci out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

using test_support::crlf_records;
using test_support::read_file;
using test_support::write_file;

const std::string k_worked_script =
    read_file(test_support::source_dir() + "/tests/profcmp/data/worked_example.sci");

// A results-table record with `nfv` as its NFV count and 1 for the others.
std::string results_record(const std::string& key, const std::string& name, int nfv) {
  return test_support::table_record(key, name, {1, nfv, 1, 1, 1});
}

TEST(PlotScriptRun, WorkedExampleThroughTheTool) {
  test_support::TempDir dir;
  write_file(dir.file("P.PER"), results_record("METHOD", "M1", 0) + results_record("", "", 10) +
                                    results_record("", "", 30) + results_record("METHOD", "M2", 0) +
                                    results_record("", "", 20) + results_record("", "", 15));
  const std::string table = read_file(dir.file("P.PER"));
  const test_support::RunResult run = test_support::run_profcmp(dir.path(), {});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err + run.out, "");
  EXPECT_EQ(read_file(dir.file("P.sci")), k_worked_script);
  EXPECT_EQ(crlf_records(read_file(dir.file("P.PRO"))).size(), 14u);
  EXPECT_EQ(read_file(dir.file("P.PER")), table);  // the table is read, never written

  // The criterion and the raised bound reach the script.
  const test_support::RunResult ncgr = test_support::run_profcmp(dir.path(), {"NCGR", "1.25"});
  EXPECT_EQ(ncgr.status, 0) << ncgr.err;
  const std::vector<std::string> lines = crlf_records(read_file(dir.file("P.sci")));
  ASSERT_EQ(lines.size(), 29u);
  EXPECT_EQ(lines[0], "x=0: 0.07500: 1.50000;");
  EXPECT_EQ(lines[25], "title('Performance profiles for NCGR','fontsize',5);");
}

TEST(PlotScriptRun, MethodCountsThroughTheTool) {
  // No methods at all is a run of its own (13 lines); see the run tests.
  for (int count : {1, 5}) {
    SCOPED_TRACE(count);
    test_support::TempDir dir;
    std::string table;
    for (int m = 1; m <= count; ++m) {
      table += results_record("METHOD", "Q'" + std::to_string(m), 0);
      table += results_record("", "", 10 * m) + results_record("", "", 100 - 10 * m);
    }
    write_file(dir.file("P.PER"), table);
    const test_support::RunResult run = test_support::run_profcmp(dir.path(), {});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = crlf_records(read_file(dir.file("P.sci")));
    EXPECT_EQ(lines.size(), count == 1 ? 20u : 47u);
    if (count == 1) {
      EXPECT_EQ(lines[6], "plot(x,y1);");
    }
    if (count == 5) {
      EXPECT_EQ(lines[41],
                "leg=legend(['Q''1           ';'Q''2           ';'Q''3           ';"
                "'Q''4           '],4);");
    }
  }
}

TEST(PlotScriptRun, MethodsWithoutProblemsStopAtTheFirstValue) {
  // No problem records at all: every profile value is 0/0, which the report
  // shows as NaN and which does not read back.
  test_support::TempDir dir;
  write_file(dir.file("P.PER"),
             results_record("METHOD", "M1", 0) + results_record("METHOD", "M2", 0));
  const test_support::RunResult run = test_support::run_profcmp(dir.path(), {});
  EXPECT_EQ(run.status, 64);
  EXPECT_NE(run.err.find("rtdiag: severe (64): input conversion error, unit 8, file "),
            std::string::npos)
      << run.err;
  EXPECT_EQ(read_file(dir.file("P.sci")), "x=0: 0.10000: 2.00000;\r\n");
}

}  // namespace
