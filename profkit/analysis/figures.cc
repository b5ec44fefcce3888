#include "profkit/analysis/figures.h"

#include <algorithm>
#include <limits>

#include "arithmetic/profile_arithmetic.h"

namespace analysis {
namespace {

constexpr double k_infinity = std::numeric_limits<double>::infinity();

}  // namespace

ProblemBest best_measures(const table::MeasureTable& t) {
  ProblemBest b;
  b.best.assign(t.problems, table::k_failed);
  b.sum.assign(t.problems, 0);
  for (std::size_t m = 0; m < t.methods(); ++m) {
    for (std::size_t p = 0; p < t.problems; ++p) {
      const std::int32_t measure = t.at(m, p);
      if (measure == table::k_failed) continue;
      if (b.best[p] == table::k_failed || measure < b.best[p]) b.best[p] = measure;
      b.sum[p] += measure;
    }
  }
  return b;
}

double log2_ratio_at(const table::MeasureTable& t, const ProblemBest& b, std::size_t m,
                     std::size_t p) {
  const std::int32_t measure = t.at(m, p);
  if (measure == table::k_failed || b.best[p] == table::k_failed) return k_infinity;
  return profiles::log2_ratio(profiles::performance_ratio(measure, b.best[p]));
}

double excess_at(const table::MeasureTable& t, const ProblemBest& b, std::size_t m, std::size_t p) {
  const std::int32_t measure = t.at(m, p);
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
    r.resize(t.problems);
    for (std::size_t p = 0; p < t.problems; ++p) r[p] = log2_ratio_at(t, b, m, p);
    std::sort(r.begin(), r.end());
  }
  return ratios;
}

Figures compute_figures(const table::MeasureTable& t, double requested_bound) {
  Figures f;
  f.bound = requested_bound;
  f.step = profiles::normalise_bound(f.bound);
  f.abscissae.resize(profiles::k_abscissae);
  f.abscissae.resize(static_cast<std::size_t>(
      profiles::accumulate_abscissae(f.bound, f.step, f.abscissae.data(), profiles::k_abscissae)));

  const ProblemBest b = best_measures(t);
  const std::vector<std::vector<double>> ratios = sorted_log2_ratios(t, b);
  const std::size_t methods = t.methods();
  const double problems = static_cast<double>(t.problems);

  f.profile.assign(methods, std::vector<double>(f.abscissae.size(), 0.0));
  f.mean_value.assign(methods, 0.0);
  f.efficiency_score.assign(methods, 0.0);
  f.efficiency.assign(methods, 0.0);

  // The count at x is the number of sorted log2 ratios <= x, the same
  // comparisons profcmp's sweep makes one problem at a time.
  for (std::size_t m = 0; m < methods; ++m) {
    const std::vector<double>& r = ratios[m];
    profiles::MeanValueSum mean(static_cast<std::int64_t>(t.problems));
    for (std::size_t j = 0; j < f.abscissae.size(); ++j) {
      f.profile[m][j] = mean.add(std::upper_bound(r.begin(), r.end(), f.abscissae[j]) - r.begin());
    }
    f.mean_value[m] = mean.mean_value();
  }

  // Excesses are summed problem by problem in ascending order, as profcmp does.
  for (std::size_t m = 0; m < methods; ++m) {
    double sum = 0.0;
    for (std::size_t p = 0; p < t.problems; ++p) sum += excess_at(t, b, m, p);
    f.efficiency_score[m] = problems / sum;
  }
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
