// Helpers shared by profkit's tests: temporary directories, file bytes, runs
// of the built profkit (or any program) with standard input and captured
// output, and results tables (P.PER text) written from counts.
#ifndef PROFCMP_TESTS_SUPPORT_KIT_SUPPORT_H_
#define PROFCMP_TESTS_SUPPORT_KIT_SUPPORT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "profkit/table/measure_table.h"
#include "test_support.h"

namespace kit_support {

// Scratch directories and whole-file reads and writes, as profcmp's tests have them.
using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

struct RunResult {
  int status = -1;  // exit status, or -1 when a signal ended the process
  int signal = 0;   // that signal, or 0
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `argv` (argv[0] is the program's path) in `dir` (empty: the current
// directory) with `input` on standard input; waits for it.
RunResult run(const std::vector<std::string>& argv, std::string_view input = {},
              const std::string& dir = {});

// Runs the built profkit with `args`.
RunResult run_profkit(const std::vector<std::string>& args, std::string_view input = {},
                      const std::string& dir = {});

// The path of tests/profkit/data/<relative>, and of the source tree's examples/P.PER.
// The program `name` found on PATH, or "" when it is not installed.
std::string on_path(const std::string& name);

std::string test_data(const std::string& relative);
std::string example_table();

// Records of a results table, each ending in CR LF: a method record with
// `name` in columns 9-22, and a problem record with `name` in columns 9-22 and
// the five counts as I10 fields in columns 23-72.
std::string method_record(std::string_view name);
std::string problem_record(std::string_view name, const std::int64_t (&counts)[5]);

// A whole table from per-method lists of one count (`measure_index` 1..5; the
// other four counts are 1). Method m's list may be shorter than the others (a
// short group). Problem records are named P1, P2, ...
std::string results_table(const std::vector<std::string>& names,
                          const std::vector<std::vector<std::int64_t>>& counts,
                          int measure_index = 2);

// A measure table from one row of measures per method (k_failed for a failure).
table::MeasureTable measure_table(std::vector<std::string> names,
                                  const std::vector<std::vector<double>>& rows);

// The P.PRO that the real profcmp writes for examples/P.PER with `args`
// (criterion, bound), run in a fresh directory.
std::string profcmp_report(const std::vector<std::string>& args);

// The table that reads back as `measures` for `measure_index` under
// --failures nonpositive: a failure (k_failed) is written as a count of -1.
std::string results_table(const table::MeasureTable& measures, int measure_index = 2);

// One run of a convergence history: its method, problem and values, written
// as evaluations 1, 2, ... (values as text, so that nan and inf can be given).
struct HistoryRun {
  std::string method;
  std::string problem;
  std::vector<std::string> values;
};

// A history CSV "solver,problem,evaluation,fvalue" (with a dimension column
// after problem when `dimensions` gives one per run), rows ending in LF.
std::string history_csv(const std::vector<HistoryRun>& runs,
                        const std::vector<std::uint64_t>& dimensions = {});

}  // namespace kit_support

#endif  // PROFCMP_TESTS_SUPPORT_KIT_SUPPORT_H_
