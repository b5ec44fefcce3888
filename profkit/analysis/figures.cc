#include "profkit/analysis/figures.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "arithmetic/profile_arithmetic.h"

namespace analysis {
namespace {

constexpr double k_infinity = std::numeric_limits<double>::infinity();

}  // namespace

ProblemBest best_measures(const table::MeasureTable& t) {
  ProblemBest b;
  b.best.assign(t.problems, table::k_failed);
  b.sum.assign(t.problems, 0.0);
  for (std::size_t m = 0; m < t.methods(); ++m) {
    t.visit(m, [&](std::size_t p, double measure) {
      if (measure == table::k_failed) return;
      if (b.best[p] == table::k_failed || measure < b.best[p]) b.best[p] = measure;
      b.sum[p] += measure;
    });
  }
  return b;
}

double log2_ratio_of(double measure, double best) {
  if (measure == table::k_failed || best == table::k_failed) return k_infinity;
  return profiles::log2_ratio(profiles::performance_ratio(measure, best));
}

double log2_ratio_at(const table::MeasureTable& t, const ProblemBest& b, std::size_t m,
                     std::size_t p) {
  return log2_ratio_of(t.at(m, p), b.best[p]);
}

double excess_at(const table::MeasureTable& t, const ProblemBest& b, std::size_t m, std::size_t p) {
  const double measure = t.at(m, p);
  if (measure == table::k_failed || b.best[p] == table::k_failed) {
    return profiles::k_missing_excess;
  }
  return profiles::relative_excess(measure, b.best[p], b.sum[p]);
}

namespace {

// Method m's log2 ratios on its stored cells, sorted, into `r`.
void sorted_ratios_of(const table::MeasureTable& t, const ProblemBest& b, std::size_t m,
                      std::vector<double>& r) {
  r.clear();
  t.visit(m,
          [&](std::size_t p, double measure) { r.push_back(log2_ratio_of(measure, b.best[p])); });
  std::sort(r.begin(), r.end());
}

}  // namespace

std::vector<std::vector<double>> sorted_log2_ratios(const table::MeasureTable& t,
                                                    const ProblemBest& b) {
  std::vector<std::vector<double>> ratios(t.methods());
  for (std::size_t m = 0; m < t.methods(); ++m) sorted_ratios_of(t, b, m, ratios[m]);
  return ratios;
}

double add_repeatedly(double sum, double value, std::uint64_t times) {
  while (times > 0) {
    const double next = sum + value;
    --times;
    // Where the sum or the value is negative, not finite, or the sum is
    // still below the value or subnormal, one addition at a time.
    if (!(sum >= value && value > 0.0 && sum >= 0x1p-1000 && std::isfinite(next))) {
      if (next == sum || std::isnan(next)) return next;  // nothing changes any more
      sum = next;
      continue;
    }
    // sum lies in [2^(e-1), 2^e), where doubles are multiples of ulp. While
    // the sum stays below 2^e, each addition rounds value to the same
    // multiple of ulp, delta, unless value is half-way between two (then
    // the rounding to even depends on the sum).
    int e = 0;
    std::frexp(sum, &e);
    const double top = std::ldexp(1.0, e);
    const double ulp = std::ldexp(1.0, e - 53);
    const double delta = next - sum;   // exact
    const double units = value / ulp;  // exact: a power of 2 apart
    if (next >= top || delta == 0.0 || units - std::floor(units) == 0.5) {
      if (delta == 0.0) return sum;  // value rounds away whatever is added
      sum = next;
      continue;
    }
    // The further additions j = 1, 2, ... with next + j * delta < top.
    const auto room = static_cast<std::uint64_t>((top - next) / ulp);
    const auto step = static_cast<std::uint64_t>(delta / ulp);
    const std::uint64_t jumps = std::min(times, (room - 1) / step);
    sum = next + static_cast<double>(jumps * step) * ulp;
    times -= jumps;
  }
  return sum;
}

double excess_sum(const table::MeasureTable& t, const ProblemBest& b, std::size_t m) {
  // Each problem without a cell adds 1.0, in its place in problem order.
  double sum = 0.0;
  std::size_t next = 0;
  t.visit(m, [&](std::size_t p, double measure) {
    sum = add_repeatedly(sum, profiles::k_missing_excess, p - next);
    if (measure == table::k_failed || b.best[p] == table::k_failed) {
      sum += profiles::k_missing_excess;
    } else {
      sum += profiles::relative_excess(measure, b.best[p], b.sum[p]);
    }
    next = p + 1;
  });
  return add_repeatedly(sum, profiles::k_missing_excess, t.problems - next);
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
  // comparisons profcmp's sweep makes one problem at a time. Problems
  // without a cell are failures that never count, so only the cells are
  // sorted.
  std::vector<double> r;
  for (std::size_t m = 0; m < methods; ++m) {
    sorted_ratios_of(t, b, m, r);
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
