// Performance profiles of a measure table of any size, computed with exactly
// profcmp's arithmetic (profiles/profile_arithmetic.h): the same best
// measures, ratios, log2 ratios, accumulated abscissae, mean values and
// efficiencies, so that the figures equal the ones P.PRO reports.
#ifndef PROFCMP_PROFKIT_ANALYSIS_FIGURES_H_
#define PROFCMP_PROFKIT_ANALYSIS_FIGURES_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "profkit/table/measure_table.h"

namespace analysis {

// Per problem: the best measure over the methods that solved it (k_failed
// when none did) and the sum of those measures, added in method order.
struct ProblemBest {
  std::vector<double> best;
  std::vector<double> sum;
};
ProblemBest best_measures(const table::MeasureTable& t);

// log2 ratio of method m on problem p: as profcmp compares it, +infinity for a
// failure or a problem that no method solved.
double log2_ratio_at(const table::MeasureTable& t, const ProblemBest& b, std::size_t m,
                     std::size_t p);

// Relative excess of method m on problem p: (measure - best) / sum, or 1.0 for
// a failure or a problem no method solved.
double excess_at(const table::MeasureTable& t, const ProblemBest& b, std::size_t m, std::size_t p);

struct Figures {
  double bound = 0.0;  // normalised: 0.5 .. 5.0 in steps of 0.5
  double step = 0.0;
  std::vector<double> abscissae;  // accumulated, 21 values
  // profile[m][j]: share of all problems with log2 ratio <= abscissae[j]
  // (0/0, NaN, when there is no problem).
  std::vector<std::vector<double>> profile;
  std::vector<double> mean_value;  // sum of profile[m][0..] in order, / abscissa count
  // The exact MEAN VALUE is mean_value_sum[m] / (abscissae x problems): the
  // whole-number sum of the counts behind profile[m]. Orders compare these.
  std::vector<std::int64_t> mean_value_sum;
  std::vector<double> efficiency_score;  // problems / sum of relative excesses
  std::vector<double> efficiency;        // as reported: score / largest score, 1.0 for +inf
};

// +1 when method a's MEAN VALUE is larger than method b's, -1 when smaller, 0
// when they are equal: compared exactly through the count sums (the doubles
// of two equal MEAN VALUEs may differ in the last bits, being sums of 21
// rounded shares).
inline int mean_value_order(const Figures& f, std::size_t a, std::size_t b) {
  const std::int64_t x = f.mean_value_sum[a], y = f.mean_value_sum[b];
  return x > y ? 1 : x < y ? -1 : 0;
}

// EFFICIENCY is problems over a sum of quotients of measures, which has no
// exact form in fixed-size integers, so two EFFICIENCYs compare with a
// relative tolerance: they tie when they differ by at most this share of the
// larger. The summation error of a million relative excesses stays below it.
inline constexpr double k_efficiency_tolerance = 1e-9;
inline constexpr const char* k_efficiency_tolerance_text = "1e-9";

// +1 when x is larger than y beyond k_efficiency_tolerance, -1 when smaller, 0
// when they tie (equal infinities tie; NaN ties with everything).
int efficiency_order(double x, double y);

// The figures of every method, for `requested_bound` normalised as profcmp
// does (2.0 is profcmp's default). O(cells log cells + methods + problems).
Figures compute_figures(const table::MeasureTable& t, double requested_bound);

// The sum of method m's relative excesses over every problem, added in
// problem order (1.0 for each failure), as profcmp sums them. O(cells of m).
double excess_sum(const table::MeasureTable& t, const ProblemBest& b, std::size_t m);

// Every method's log2 ratios over its stored cells (table::MeasureTable::visit),
// one vector per method, sorted ascending (+infinity for failures last); the
// problems without a cell are failures too and are left out.
std::vector<std::vector<double>> sorted_log2_ratios(const table::MeasureTable& t,
                                                    const ProblemBest& b);

// The log2 ratio of `measure` (k_failed: a failure) to a problem's best
// measure `best`, as log2_ratio_at gives it.
double log2_ratio_of(double measure, double best);

// `sum` with `value` added `times` times one after the other, rounded after
// each addition as that loop rounds, in O(log) additions for sum >= 0 and
// value >= 0 (the problems a sparse row leaves out add one constant each).
double add_repeatedly(double sum, double value, std::uint64_t times);

}  // namespace analysis

#endif  // PROFCMP_PROFKIT_ANALYSIS_FIGURES_H_
