#include "arithmetic/profile_arithmetic.h"

#include <cmath>
#include <iterator>

namespace profiles {
namespace {

// The bounds a requested bound is rounded up to, each with the step that
// gives 21 abscissae from 0 to it. The last entry takes every larger request.
struct BoundStep {
  double bound;
  double step;
};
constexpr BoundStep k_bound_steps[] = {
    {0.5, 0.025}, {1.0, 0.05},  {1.5, 0.075}, {2.0, 0.1},   {2.5, 0.125},
    {3.0, 0.15},  {3.5, 0.175}, {4.0, 0.2},   {4.5, 0.225}, {5.0, 0.25},
};

}  // namespace

double normalise_bound(double& bound) {
  constexpr int k_last = static_cast<int>(std::size(k_bound_steps)) - 1;
  for (int i = 0; i < k_last; ++i) {
    // NaN is never greater than a threshold and so becomes 0.5.
    if (!(bound > k_bound_steps[i].bound)) {
      bound = k_bound_steps[i].bound;
      return k_bound_steps[i].step;
    }
  }
  bound = k_bound_steps[k_last].bound;
  return k_bound_steps[k_last].step;
}

int accumulate_abscissae(double bound, double step, double* x, int capacity) {
  double value = 0.0;
  int count = 0;
  for (;;) {
    x[count++] = value;
    if (count == capacity || value >= bound * k_bound_tolerance) return count;
    value += step;
  }
}

double efficiency_of(double score, double score_max) {
  if (std::isinf(score) && score > 0.0) return 1.0;
  return score / score_max;
}

}  // namespace profiles
