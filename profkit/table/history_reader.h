// Convergence histories: a long CSV with one row per evaluation of a method
// (solver) on a problem, numbered 1, 2, ... in each run, with the function
// value it found. Each run is kept as its improvements only (evaluation 1
// and every later value below the best so far), so a history costs memory in
// proportion to its improvements, not to its evaluations.
//
// The convergence test at a tolerance tau turns a history into a table of
// the table model: the cost of a run is the first evaluation whose value f
// passes f <= f_L + tau (f(x_0) - f_L), where f(x_0) is the run's value at
// evaluation 1 and f_L the smallest value any run reached on the problem; a
// run that never passes is a failure.
#ifndef PROFCMP_PROFKIT_TABLE_HISTORY_READER_H_
#define PROFCMP_PROFKIT_TABLE_HISTORY_READER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "profkit/table/measure_table.h"
#include "profkit/table/table_model.h"

namespace table {

struct HistoryOptions {
  ReadOptions read;               // delimiter, method and problem columns
  std::string evaluation_column;  // empty: evaluation or eval
  std::string value_column;       // empty: fvalue, f, value or objective
  std::string dimension_column;   // empty: dimension, when there is one
};

struct Improvement {
  std::uint64_t evaluation = 0;
  double value = 0;
};

struct HistoryRun {
  std::uint32_t method = 0;
  std::uint32_t problem = 0;
  double start = 0;               // f(x_0), the value of evaluation 1 (NaN or infinite: none)
  std::uint64_t evaluations = 0;  // the last evaluation read
  std::vector<Improvement> improvements;  // finite values strictly descending
};

struct History {
  std::vector<std::string> method_names;   // in the order first met
  std::vector<std::string> problem_names;  // in the order first met
  std::vector<HistoryRun> runs;            // in the order first met
  std::vector<double> lowest;              // f_L per problem; +inf when no finite value
  std::vector<std::uint64_t> dimensions;   // per problem; 0: not known
  ReadTable read;                          // findings (its tables stay empty)

  // Whether every problem has a dimension.
  bool dimensions_known() const;
};

// Reads a history from `fd`, with `head` already read from it.
History read_history(int fd, std::string_view head, const std::string& file,
                     const HistoryOptions& options);

// Reads a CSV with the header problem,dimension from `fd` into the
// dimensions of `history`'s problems; what is wrong is added to its findings
// at `file`. Problems the history lacks are warned of and left out.
void read_dimensions(int fd, const std::string& file, char delimiter, History& history);

// The first evaluation of `run` whose value passes the convergence test at
// `tolerance` against `lowest` (f_L); k_failed when none does or when the run
// has no finite start.
double convergence_cost(const HistoryRun& run, double lowest, double tolerance);

// The table of the convergence test at `tolerance`: methods and problems in
// the order first met, a failure where a method has no run.
MeasureTable history_table(const History& history, double tolerance);

// The parts of "1e-1,1e-3" as given (blanks trimmed) with their values; false
// with the reason in `why` for an empty part or one that is not a number from
// 0 to 1.
bool parse_tolerances(std::string_view text, std::vector<std::string>& labels,
                      std::vector<double>& values, std::string& why);

}  // namespace table

#endif  // PROFCMP_PROFKIT_TABLE_HISTORY_READER_H_
