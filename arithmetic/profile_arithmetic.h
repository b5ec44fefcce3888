// The arithmetic of a performance profile, shared by profcmp's report and by
// profkit: criterion keywords, bound normalisation, the accumulated abscissae,
// log2 ratios and relative excesses. Every double that decides a profile value
// is computed here, so both programs compare exactly the same numbers.
#ifndef PROFCMP_ARITHMETIC_PROFILE_ARITHMETIC_H_
#define PROFCMP_ARITHMETIC_PROFILE_ARITHMETIC_H_

#include <cmath>
#include <cstdint>
#include <string_view>

namespace profiles {

// Count fields of a results record, and the criterion keywords (4 characters,
// blank-padded) in the order of the fields they select.
inline constexpr int k_count_fields = 5;
inline constexpr std::string_view k_keywords[k_count_fields] = {"NIT ", "NFV ", "NFG ", "NCGR",
                                                                "TIME"};

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

// 1..5 for the keyword `criterion` (exactly 4 characters), 0 for any other text.
std::int32_t measure_index_of(std::string_view criterion);

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

// The reported efficiency of a score (problems / sum of relative excesses)
// given the largest score: +infinity (no excess anywhere) is the most
// efficient, 1.0 rather than inf/inf; NaN stays NaN.
double efficiency_of(double score, double score_max);

}  // namespace profiles

#endif  // PROFCMP_ARITHMETIC_PROFILE_ARITHMETIC_H_
