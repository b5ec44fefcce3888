// Views of a table that do not depend on which methods are compared: the
// share of all problems each method (and the virtual best method, the
// smallest count of any method on each problem) solves within a budget of the
// raw count, and shifted geometric means of the counts. Failures never count
// as solved.
#ifndef PROFCMP_PROFKIT_BUDGET_BUDGET_H_
#define PROFCMP_PROFKIT_BUDGET_BUDGET_H_

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "profkit/curves/figure_options.h"
#include "profkit/curves/svg_plot.h"
#include "profkit/table/measure_table.h"

namespace budget {

// The empirical distribution of one method's counts: at each distinct count
// it reaches (ascending), the share of all problems solved with at most it.
struct Curve {
  std::vector<double> counts;
  std::vector<double> fractions;  // solved-with-count-<=-counts[i] / problems
  std::size_t solved = 0;
};

struct BudgetCurves {
  std::size_t problems = 0;
  std::vector<Curve> methods;  // in table order
  Curve virtual_best;          // smallest count of any method; unsolved by all: never solved
};

// A measure as the budget writes it: a whole number in digits (2147483647,
// 1000000), anything else in its shortest form (0.25, 4.6e+01 as 46).
std::string count_text(double measure);

// The curves of every method and of the virtual best. O(cells log cells + problems).
BudgetCurves compute(const table::MeasureTable& t);

inline constexpr double k_default_shift = 10.0;

// exp(mean(log(count + shift))) - shift over all problems, a failure charged
// at twice the largest count in the table. NaN when there is no problem or
// no solved count at all.
struct GeometricMeans {
  double shift = k_default_shift;
  double largest = 0;           // largest count in the table (0: none)
  double failure_charge = 0.0;  // 2 x largest
  std::vector<double> methods;  // in table order
  double virtual_best = 0.0;
  std::vector<std::size_t> failures;  // per method
  std::size_t virtual_best_failures = 0;
};
GeometricMeans shifted_geometric_means(const table::MeasureTable& t,
                                       double shift = k_default_shift);

// Name of the virtual best method, number 0 in the outputs.
inline constexpr const char* k_virtual_best_name = "virtual best";

// CSV (rows end CR LF): header method_number,method,count,fraction; the virtual
// best (number 0) first, then every method, rows at each distinct count, ascending.
void write_budget_csv(std::ostream& out, const std::vector<std::string>& names,
                      const BudgetCurves& curves);

// The same curves in aligned blocks, then the shifted geometric means with a
// line saying how failures are charged; lines end LF; names as
// textkit::terminal shows them.
void write_budget_text(std::ostream& out, const std::vector<std::string>& names,
                       const BudgetCurves& curves, const GeometricMeans& means);

// The budget plot: share solved against the count on a logarithmic x axis
// from a power of ten at or below the smallest count to the largest finite
// count (failures lie off the axis, as the note under the plot says), ticks
// at powers of ten in one form (1, 10, ..., 10000, or 10⁰, 10¹, ... once
// one passes 10⁴); one staircase for the virtual best (first), then one per
// method the options draw, each in its method's style.
curves::Chart budget_plot(const std::vector<std::string>& names, const BudgetCurves& curves,
                          const std::string& criterion, const curves::FigureOptions& options = {});

}  // namespace budget

#endif  // PROFCMP_PROFKIT_BUDGET_BUDGET_H_
