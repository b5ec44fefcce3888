#include "profkit/analysis/figures.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "arithmetic/profile_arithmetic.h"

namespace analysis {
namespace {

constexpr double k_infinity = std::numeric_limits<double>::infinity();

// 2^53: below it every whole number is a double and adding 1 is exact.
constexpr double k_exact_whole = 9007199254740992.0;

}  // namespace

ProblemBest best_measures(const table::MeasureTable& t) {
  ProblemBest b;
  b.best.assign(t.problems, table::k_failed);
  b.sum.assign(t.problems, 0.0);
  for (std::size_t m = 0; m < t.methods(); ++m) {
    const double* row = t.row(m);
    const std::size_t length = t.row_length(m);
    for (std::size_t p = 0; p < length; ++p) {
      const double measure = row[p];
      if (measure == table::k_failed) continue;
      if (b.best[p] == table::k_failed || measure < b.best[p]) b.best[p] = measure;
      b.sum[p] += measure;
    }
  }
  return b;
}

double log2_ratio_at(const table::MeasureTable& t, const ProblemBest& b, std::size_t m,
                     std::size_t p) {
  const double measure = t.at(m, p);
  if (measure == table::k_failed || b.best[p] == table::k_failed) return k_infinity;
  return profiles::log2_ratio(profiles::performance_ratio(measure, b.best[p]));
}

double excess_at(const table::MeasureTable& t, const ProblemBest& b, std::size_t m, std::size_t p) {
  const double measure = t.at(m, p);
  if (measure == table::k_failed || b.best[p] == table::k_failed) {
    return profiles::k_missing_excess;
  }
  return profiles::relative_excess(measure, b.best[p], b.sum[p]);
}

std::vector<std::vector<double>> sorted_log2_ratios(const table::MeasureTable& t,
                                                    const ProblemBest& b) {
  std::vector<std::vector<double>> ratios(t.methods());
  for (std::size_t m = 0; m < t.methods(); ++m) {
    std::vector<double>& r = ratios[m];
    r.resize(t.row_length(m));
    for (std::size_t p = 0; p < r.size(); ++p) r[p] = log2_ratio_at(t, b, m, p);
    std::sort(r.begin(), r.end());
  }
  return ratios;
}

double excess_sum(const table::MeasureTable& t, const ProblemBest& b, std::size_t m) {
  double sum = 0.0;
  const std::size_t length = t.row_length(m);
  for (std::size_t p = 0; p < length; ++p) sum += excess_at(t, b, m, p);
  // The failures after the row add 1.0 each, in order. While the sum is a
  // whole number below 2^53 they can be added at once with the same result.
  std::size_t rest = t.problems - length;
  if (rest > 0 && sum == static_cast<double>(static_cast<std::uint64_t>(sum)) &&
      sum + static_cast<double>(rest) < k_exact_whole) {
    return sum + static_cast<double>(rest);
  }
  for (; rest > 0; --rest) sum += profiles::k_missing_excess;
  return sum;
}

int efficiency_order(double x, double y) {
  if (!(x != y)) return 0;  // equal, or NaN
  if (std::isnan(x) || std::isnan(y)) return 0;
  if (std::isinf(x) || std::isinf(y)) return x > y ? 1 : -1;
  const double scale = std::max(std::fabs(x), std::fabs(y));
  if (std::fabs(x - y) <= k_efficiency_tolerance * scale) return 0;
  return x > y ? 1 : -1;
}

Figures compute_figures(const table::MeasureTable& t, double requested_bound) {
  Figures f;
  f.bound = requested_bound;
  f.step = profiles::normalise_bound(f.bound);
  f.abscissae.resize(profiles::k_abscissae);
  f.abscissae.resize(static_cast<std::size_t>(
      profiles::accumulate_abscissae(f.bound, f.step, f.abscissae.data(), profiles::k_abscissae)));

  const ProblemBest b = best_measures(t);
  const std::size_t methods = t.methods();
  const double problems = static_cast<double>(t.problems);

  f.profile.assign(methods, std::vector<double>(f.abscissae.size(), 0.0));
  f.mean_value.assign(methods, 0.0);
  f.mean_value_sum.assign(methods, 0);
  f.efficiency_score.assign(methods, 0.0);
  f.efficiency.assign(methods, 0.0);

  // The count at x is the number of sorted log2 ratios <= x, the same
  // comparisons profcmp's sweep makes one problem at a time. Failures after
  // a method's row never count, so only its row is sorted.
  std::vector<double> r;
  for (std::size_t m = 0; m < methods; ++m) {
    r.resize(t.row_length(m));
    for (std::size_t p = 0; p < r.size(); ++p) r[p] = log2_ratio_at(t, b, m, p);
    std::sort(r.begin(), r.end());
    profiles::MeanValueSum mean(static_cast<std::int64_t>(t.problems));
    for (std::size_t j = 0; j < f.abscissae.size(); ++j) {
      f.profile[m][j] = mean.add(std::upper_bound(r.begin(), r.end(), f.abscissae[j]) - r.begin());
    }
    f.mean_value[m] = mean.mean_value();
    f.mean_value_sum[m] = mean.count_sum();
  }

  // Excesses are summed problem by problem in ascending order, as profcmp does.
  for (std::size_t m = 0; m < methods; ++m) f.efficiency_score[m] = problems / excess_sum(t, b, m);
  double score_max = 0.0;
  for (std::size_t m = 0; m < methods; ++m) {
    if (score_max < f.efficiency_score[m]) score_max = f.efficiency_score[m];
  }
  for (std::size_t m = 0; m < methods; ++m) {
    f.efficiency[m] = profiles::efficiency_of(f.efficiency_score[m], score_max);
  }
  return f;
}

}  // namespace analysis
