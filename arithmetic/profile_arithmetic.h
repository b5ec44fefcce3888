// The arithmetic of a performance profile, shared by profcmp's report and by
// profkit: bound normalisation, the accumulated abscissae, log2 ratios,
// relative excesses and the MEAN VALUE sum. Every double that decides a
// profile value is computed here, so both programs compare exactly the same
// numbers.
#ifndef PROFCMP_ARITHMETIC_PROFILE_ARITHMETIC_H_
#define PROFCMP_ARITHMETIC_PROFILE_ARITHMETIC_H_

#include <cmath>
#include <cstdint>

namespace profiles {

// The double nearest to 1/ln 2: log-ratios are ln(ratio) times this factor,
// which is not always what a base-2 logarithm returns (ln 8 gives 2.9999999999999996).
inline constexpr double k_inverse_ln2 = 1.4426950408889634;

// Keeps the last accumulated abscissa from falling just short of the bound
// (2.999999999999999 for 3.0) and adding a 22nd abscissa.
inline constexpr double k_bound_tolerance = 0.9999999999;

// The relative excess of a problem a method did not solve: the largest a
// solved entry can approach.
inline constexpr double k_missing_excess = 1.0;

// The abscissae of every normalised bound: 21, from 0 to the bound.
inline constexpr int k_abscissae = 21;

// Rounds `bound` up to the next multiple of 0.5 within 0.5 .. 5.0 (NaN gives
// 0.5), writes it back and returns its step, one twentieth of it.
double normalise_bound(double& bound);

// Fills x[0..) with 0, step, step + step, ... (accumulated by addition) up to
// the first value at or beyond bound * k_bound_tolerance, or `capacity`
// values; returns how many. 21 for every normalised bound.
int accumulate_abscissae(double bound, double step, double* x, int capacity);

// measure / best as doubles.
inline double performance_ratio(std::int32_t measure, std::int32_t best) {
  return static_cast<double>(measure) / static_cast<double>(best);
}

// The same for measures held as doubles (whole counts are exact in them, so
// the quotient is the same double).
inline double performance_ratio(double measure, double best) {
  return measure / best;
}

// The log2 ratio a profile compares: 0 for ratios up to 1 (no logarithm is
// taken), else ln(ratio) * k_inverse_ln2. +infinity stays +infinity.
inline double log2_ratio(double ratio) {
  return ratio <= 1.0 ? 0.0 : std::log(ratio) * k_inverse_ln2;
}

// (measure - best) / sum, the excess relative to the total of every method.
inline double relative_excess(std::int32_t measure, std::int32_t best, std::int64_t sum) {
  return static_cast<double>(measure - best) / static_cast<double>(sum);
}

// The same for measures and sums held as doubles: exact for whole counts
// whose sum is below 2^53, so it equals the 32-bit form there.
inline double relative_excess(double measure, double best, double sum) {
  return (measure - best) / sum;
}

// The profile value at one abscissa: the share of the `problems` counted there.
inline double profile_value(std::int64_t count, std::int64_t problems) {
  return static_cast<double>(count) / static_cast<double>(problems);
}

// The MEAN VALUE of one method's profile, summed one abscissa after the
// other: the profile values are added in abscissa order, from 0.0, and the
// sum is divided by the number of abscissae at the end. That order decides
// the last bit of the result, so every MEAN VALUE is summed here.
//
// Alongside, the counts are summed as whole numbers: the exact MEAN VALUE is
// count_sum() / (abscissae() * problems), so two MEAN VALUEs can be compared
// without rounding (cross-multiplied in 128 bits, or as fractions).
class MeanValueSum {
 public:
  explicit MeanValueSum(std::int64_t problems) : m_problems(problems) {}

  // Adds the next abscissa, at which `count` problems are counted, and
  // returns its profile value.
  double add(std::int64_t count) {
    const double value = profile_value(count, m_problems);
    m_sum += value;
    m_count_sum += count;
    ++m_abscissae;
    return value;
  }

  // The MEAN VALUE as reported.
  double mean_value() const { return m_sum / static_cast<double>(m_abscissae); }

  std::int64_t count_sum() const { return m_count_sum; }
  std::int64_t abscissae() const { return m_abscissae; }
  std::int64_t problems() const { return m_problems; }

 private:
  std::int64_t m_problems;
  double m_sum = 0.0;
  std::int64_t m_count_sum = 0;
  std::int64_t m_abscissae = 0;
};

// The reported efficiency of a score (problems / sum of relative excesses)
// given the largest score: +infinity (no excess anywhere) is the most
// efficient, 1.0 rather than inf/inf; NaN stays NaN.
double efficiency_of(double score, double score_max);

}  // namespace profiles

#endif  // PROFCMP_ARITHMETIC_PROFILE_ARITHMETIC_H_
