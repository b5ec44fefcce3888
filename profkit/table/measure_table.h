// The measures of one criterion, method by problem, as every profkit analysis
// takes them: positive finite numbers (whole counts of a results table are
// exactly representable), or a failure of the method on that problem.
//
// A table costs memory in proportion to the cells read, never to methods
// times problems. Each method's row is stored in one of two forms:
// - dense: its measures for problems 0 .. length - 1 (a failure inside as
//   k_failed); the problems after the row are failures that take no memory.
//   A results table's rows are always dense.
// - sparse: the problem numbers of its solved cells, ascending, with their
//   measures; every other problem is a failure. A row takes this form when
//   the dense one would hold more than twice as many slots as solved cells.
// Analyses walk a row with visit(), which gives the stored cells in
// ascending problem order, whatever the form. Sized to the input; no capacity.
#ifndef PROFCMP_PROFKIT_TABLE_MEASURE_TABLE_H_
#define PROFCMP_PROFKIT_TABLE_MEASURE_TABLE_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace table {

// The measure of a failure. Real measures are above 0.
inline constexpr double k_failed = 0.0;

struct MeasureTable {
  // problems_from's mark of a dense row.
  static constexpr std::size_t k_dense = ~std::size_t{0};

  std::vector<std::string> names;  // method names, in table order
  std::size_t problems = 0;        // problems of the table
  std::vector<double> measures;    // the cells of every row, one row after the other
  // Per method, the end of its cells in `measures`. Empty: every row is
  // dense and holds `problems` measures (measures[m * problems + p]).
  std::vector<std::size_t> row_end;
  // Per method, where the problem numbers of its cells begin in
  // `cell_problems`, or k_dense for a dense row. Empty: every row is dense.
  std::vector<std::size_t> problems_from;
  std::vector<std::uint32_t> cell_problems;

  std::size_t methods() const { return names.size(); }
  std::size_t row_begin(std::size_t m) const {
    if (row_end.empty()) return m * problems;
    return m == 0 ? 0 : row_end[m - 1];
  }
  // Cells stored for method m: measures[row_begin(m) ...].
  std::size_t cells(std::size_t m) const {
    return row_end.empty() ? problems : row_end[m] - row_begin(m);
  }
  bool dense(std::size_t m) const { return problems_from.empty() || problems_from[m] == k_dense; }
  // The problem of method m's k-th cell.
  std::size_t problem_of(std::size_t m, std::size_t k) const {
    return dense(m) ? k : cell_problems[problems_from[m] + k];
  }
  // One past the last problem with a cell: every problem from there on is a
  // failure of method m.
  std::size_t extent(std::size_t m) const {
    const std::size_t n = cells(m);
    return dense(m) || n == 0 ? n : problem_of(m, n - 1) + 1;
  }
  double at(std::size_t m, std::size_t p) const {
    const double* row = measures.data() + row_begin(m);
    const std::size_t n = cells(m);
    if (dense(m)) return p < n ? row[p] : k_failed;
    const std::uint32_t* first = cell_problems.data() + problems_from[m];
    const std::uint32_t* found = std::lower_bound(first, first + n, p);
    return found != first + n && *found == p ? row[found - first] : k_failed;
  }
  bool solved(std::size_t m, std::size_t p) const { return at(m, p) != k_failed; }

  // Calls visit(problem, measure) for each stored cell of method m, problems
  // ascending. A dense row gives its failures inside too (as k_failed); the
  // problems it does not give are failures.
  template <typename Visit>
  void visit(std::size_t m, Visit&& visit) const {
    const double* row = measures.data() + row_begin(m);
    const std::size_t n = cells(m);
    if (dense(m)) {
      for (std::size_t k = 0; k < n; ++k) visit(k, row[k]);
    } else {
      const std::uint32_t* problem = cell_problems.data() + problems_from[m];
      for (std::size_t k = 0; k < n; ++k) visit(std::size_t{problem[k]}, row[k]);
    }
  }

  // Problems method m solved.
  std::size_t solved_count(std::size_t m) const {
    const double* row = measures.data() + row_begin(m);
    return cells(m) - static_cast<std::size_t>(std::count(row, row + cells(m), k_failed));
  }

  // Appends method `name` with a dense row of `length` measures from
  // `values` (the problems after them are its failures).
  void add_row(std::string name, const double* values, std::size_t length) {
    begin_row();
    if (!problems_from.empty()) problems_from.push_back(k_dense);
    names.push_back(std::move(name));
    measures.insert(measures.end(), values, values + length);
    row_end.push_back(measures.size());
    problems = std::max(problems, length);
  }

  // Appends method `name` with the cells (problem[k], value[k]), k < n,
  // problems strictly ascending; every other problem is a failure, and so is
  // a cell of k_failed. Kept dense while that costs at most about twice the
  // solved cells, else sparse.
  void add_cells(std::string name, const std::uint32_t* problem, const double* value,
                 std::size_t n) {
    std::size_t solved = 0, extent = 0;
    for (std::size_t k = 0; k < n; ++k) {
      if (value[k] == k_failed) continue;
      ++solved;
      extent = std::size_t{problem[k]} + 1;
    }
    begin_row();
    names.push_back(std::move(name));
    if (extent <= 2 * solved + k_dense_slack) {
      if (!problems_from.empty()) problems_from.push_back(k_dense);
      const std::size_t begin = measures.size();
      measures.resize(begin + extent, k_failed);
      for (std::size_t k = 0; k < n && problem[k] < extent; ++k) {
        measures[begin + problem[k]] = value[k];
      }
    } else {
      if (problems_from.empty()) problems_from.assign(names.size() - 1, k_dense);
      problems_from.push_back(cell_problems.size());
      for (std::size_t k = 0; k < n; ++k) {
        if (value[k] == k_failed) continue;
        cell_problems.push_back(problem[k]);
        measures.push_back(value[k]);
      }
    }
    row_end.push_back(measures.size());
    problems = std::max(problems, extent);
  }

 private:
  // A dense row may hold this many slots beyond twice its solved cells.
  static constexpr std::size_t k_dense_slack = 16;

  // Every row so far gets its end, for rows of their own lengths.
  void begin_row() {
    if (row_end.empty() && !names.empty()) {
      for (std::size_t m = 0; m < names.size(); ++m) row_end.push_back((m + 1) * problems);
    }
  }
};

}  // namespace table

#endif  // PROFCMP_PROFKIT_TABLE_MEASURE_TABLE_H_
