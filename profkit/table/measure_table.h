// The measures of one criterion, method by problem, as every profkit analysis
// takes them: positive finite numbers (whole counts of a results table are
// exactly representable), or a failure of the method on that problem.
//
// Rows may be shorter than the table: a method's row holds its measures for
// problems 0 .. length - 1, and every problem after its row is a failure that
// takes no memory. So a table costs memory in proportion to what was read,
// however uneven its methods are. Sized to the input; no capacity.
#ifndef PROFCMP_PROFKIT_TABLE_MEASURE_TABLE_H_
#define PROFCMP_PROFKIT_TABLE_MEASURE_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace table {

// The measure of a failure. Real measures are above 0.
inline constexpr double k_failed = 0.0;

struct MeasureTable {
  std::vector<std::string> names;  // method names, in table order
  std::size_t problems = 0;        // problems of the table
  std::vector<double> measures;    // the rows one after the other
  // Per method, the end of its row in `measures`. Empty: every row holds
  // `problems` measures (measures[m * problems + p]).
  std::vector<std::size_t> row_end;

  std::size_t methods() const { return names.size(); }
  std::size_t row_begin(std::size_t m) const {
    if (row_end.empty()) return m * problems;
    return m == 0 ? 0 : row_end[m - 1];
  }
  // Measures stored for method m; problems from there on are failures.
  std::size_t row_length(std::size_t m) const {
    return row_end.empty() ? problems : row_end[m] - row_begin(m);
  }
  const double* row(std::size_t m) const { return measures.data() + row_begin(m); }
  double at(std::size_t m, std::size_t p) const {
    return p < row_length(m) ? measures[row_begin(m) + p] : k_failed;
  }
  bool solved(std::size_t m, std::size_t p) const { return at(m, p) != k_failed; }

  // Appends method `name` with `length` measures from `values` (the problems
  // after them are its failures). Every row is kept as short as that.
  void add_row(std::string name, const double* values, std::size_t length) {
    if (row_end.empty() && !names.empty()) {
      for (std::size_t m = 0; m < names.size(); ++m) row_end.push_back((m + 1) * problems);
    }
    names.push_back(std::move(name));
    measures.insert(measures.end(), values, values + length);
    row_end.push_back(measures.size());
    if (length > problems) problems = length;
  }
};

}  // namespace table

#endif  // PROFCMP_PROFKIT_TABLE_MEASURE_TABLE_H_
