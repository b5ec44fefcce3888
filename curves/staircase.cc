#include "curves/staircase.h"

#include <algorithm>
#include <cmath>

namespace curves {

Staircase staircase_of(const table::MeasureTable& t, const analysis::ProblemBest& best,
                       std::size_t m) {
  std::vector<double> ratios(t.problems);
  for (std::size_t p = 0; p < t.problems; ++p) ratios[p] = analysis::log2_ratio_at(t, best, m, p);
  std::sort(ratios.begin(), ratios.end());
  const double problems = static_cast<double>(t.problems);

  Staircase s;
  // The count at v is the number of sorted ratios <= v, as compute_figures
  // counts them; log2 ratios are never below 0.
  std::size_t count = 0;
  while (count < ratios.size() && ratios[count] <= 0.0) ++count;
  s.log2_ratio.push_back(0.0);
  s.fraction.push_back(static_cast<double>(count) / problems);
  while (count < ratios.size() && std::isfinite(ratios[count])) {
    const double v = ratios[count];
    while (count < ratios.size() && ratios[count] == v) ++count;
    s.log2_ratio.push_back(v);
    s.fraction.push_back(static_cast<double>(count) / problems);
  }
  return s;
}

double value_at(const Staircase& s, double x) {
  const auto after = std::upper_bound(s.log2_ratio.begin(), s.log2_ratio.end(), x);
  if (after == s.log2_ratio.begin()) return 0.0;
  return s.fraction[static_cast<std::size_t>(after - s.log2_ratio.begin()) - 1];
}

double largest_finite_log2_ratio(const table::MeasureTable& t, const analysis::ProblemBest& best) {
  double largest = 0.0;
  for (std::size_t m = 0; m < t.methods(); ++m) {
    for (std::size_t p = 0; p < t.problems; ++p) {
      const double r = analysis::log2_ratio_at(t, best, m, p);
      if (std::isfinite(r) && r > largest) largest = r;
    }
  }
  return largest;
}

}  // namespace curves
