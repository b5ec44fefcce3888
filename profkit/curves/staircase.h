// The exact performance profile of one method as the step function it is,
// from profcmp's log2 ratios (analysis/figures.h): breakpoints at 0 and at
// every distinct finite log2 ratio above 0 the method reaches, each with the
// share of all problems whose log2 ratio is at most that value. Evaluated at
// profcmp's abscissae it gives P.PRO's values exactly.
#ifndef PROFCMP_PROFKIT_CURVES_STAIRCASE_H_
#define PROFCMP_PROFKIT_CURVES_STAIRCASE_H_

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "profkit/analysis/figures.h"
#include "profkit/table/measure_table.h"

namespace curves {

// fraction[i] holds from log2_ratio[i] up to log2_ratio[i + 1]; the last
// value holds to infinity. log2_ratio[0] is 0, the rest ascend strictly.
// Failures never count; without problems the one fraction is NaN (0/0, as
// profcmp reports it).
struct Staircase {
  std::vector<double> log2_ratio;
  std::vector<double> fraction;
};

// Sorts `values` ascending, in the order std::sort gives for values that are
// not NaN (zeros of either sign compare equal and may change places); large
// vectors are sorted by radix on their bit patterns. `scratch` is reused.
void sort_doubles(std::vector<double>& values, std::vector<std::uint64_t>& scratch);

// Method m's log2 ratios, one per stored cell, sorted ascending (+infinity
// for failures last), into `ratios`; the problems without a cell are left
// out, as they never count.
void sorted_log2_ratios_of(const table::MeasureTable& t, const analysis::ProblemBest& best,
                           std::size_t m, std::vector<double>& ratios,
                           std::vector<std::uint64_t>& scratch);

// Calls step(log2_ratio, count) for each breakpoint of the staircase of
// `sorted` (sorted_log2_ratios_of): 0 first, then every distinct finite
// log2 ratio, with the number of ratios at or below it, as compute_figures
// counts them (log2 ratios are never below 0).
template <typename Step>
void for_each_step(const std::vector<double>& sorted, Step&& step) {
  std::size_t count = 0;
  while (count < sorted.size() && sorted[count] <= 0.0) ++count;
  step(0.0, count);
  while (count < sorted.size() && std::isfinite(sorted[count])) {
    const double v = sorted[count];
    while (count < sorted.size() && sorted[count] == v) ++count;
    step(v, count);
  }
}

// Method m's staircase; `best` is analysis::best_measures(t). Memory and
// time O(cells log cells) in method m's cells.
Staircase staircase_of(const table::MeasureTable& t, const analysis::ProblemBest& best,
                       std::size_t m);

// The step function at x >= 0: the fraction of the last breakpoint <= x.
double value_at(const Staircase& s, double x);

// The largest finite log2 ratio of any method on any problem (0 when none).
double largest_finite_log2_ratio(const table::MeasureTable& t, const analysis::ProblemBest& best);

}  // namespace curves

#endif  // PROFCMP_PROFKIT_CURVES_STAIRCASE_H_
