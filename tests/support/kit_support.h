// Helpers of profkit's tests: runs of the built profkit, its test data, and
// measure tables and the results tables that read back as them.
#ifndef PROFCMP_TESTS_SUPPORT_KIT_SUPPORT_H_
#define PROFCMP_TESTS_SUPPORT_KIT_SUPPORT_H_

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "profkit/table/measure_table.h"
#include "test_support.h"

namespace kit_support {

// The shared helpers, under the names profkit's tests have always used.
using test_support::example_table;
using test_support::method_record;
using test_support::on_path;
using test_support::problem_record;
using test_support::read_file;
using test_support::results_table;
using test_support::run;
using test_support::RunOptions;
using test_support::RunResult;
using test_support::source_dir;
using test_support::TempDir;
using test_support::write_file;

// Runs the built profkit with `args`, `input` on its standard input, in `dir`
// (empty: the current directory).
RunResult run_profkit(const std::vector<std::string>& args, std::string_view input = {},
                      const std::string& dir = {});
// The same with every option of the run given (limits, a deadline).
RunResult run_profkit_with(const std::vector<std::string>& args, const RunOptions& options);

// The path of tests/profkit/data/<relative>.
std::string test_data(const std::string& relative);

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

// The sizes figures state: an SVG's root width and height (in px), a PNG's
// IHDR width and height, a PDF's first /MediaBox width and height (in
// points); {0, 0} where `bytes` hold no such thing.
struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};
Size svg_size(std::string_view svg);
Size png_size(std::string_view png);
Size pdf_size(std::string_view pdf);
std::ostream& operator<<(std::ostream& out, const Size& size);

}  // namespace kit_support

#endif  // PROFCMP_TESTS_SUPPORT_KIT_SUPPORT_H_
