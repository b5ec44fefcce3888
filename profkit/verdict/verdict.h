// One verdict on a measure table: the methods ranked by MEAN VALUE (compared
// exactly, equal MEAN VALUEs tied) and, for each method and the next one in
// that ranking, whether the order separates them. Separable means all of:
//   - stable: the method stays strictly ahead of the next by MEAN VALUE with
//     any one other method left out, at every bound 0.5, 1.0, ..., 5.0 (the
//     bounds profcmp draws: any other bound is rounded up to one of them),
//     and by EFFICIENCY (EFFICIENCYs within analysis::k_efficiency_tolerance
//     of each other tie); a tie does not keep the order;
//   - the 95 % percentile interval of the difference of the two MEAN VALUEs
//     over paired bootstrap replicates (both methods on the same drawn
//     problems, bootstrap::run's draws) lies wholly above 0;
//   - the two-sided exact sign test of the method's wins and losses against
//     the next (compare's win and tie rule, ties left out) gives p < 0.05.
// Otherwise the verdict says in words which of them failed.
#ifndef PROFCMP_PROFKIT_VERDICT_VERDICT_H_
#define PROFCMP_PROFKIT_VERDICT_VERDICT_H_

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "profkit/bootstrap/bootstrap.h"
#include "profkit/table/measure_table.h"

namespace verdict {

// The level below which the sign test's p-value separates two methods.
inline constexpr double k_significance = 0.05;

// The two-sided exact sign test of `wins` against `losses`:
// p = min(1, 2 P(X <= min(wins, losses))) with X ~ Binomial(wins + losses, 1/2);
// 1 when there is nothing to test (0 and 0). Up to 62 decided problems the
// binomial coefficients are summed exactly in integers, so p is the double
// nearest the exact value; beyond, the largest term comes from log-gamma
// and the smaller ones from it by the ratio of neighbouring coefficients,
// in doubles (relative error about 1e-16 times n log n, below 1e-8 up to a
// million decided problems).
double sign_test_p(std::uint64_t wins, std::uint64_t losses);

struct Options {
  double bound = 2.0;        // normalised as profcmp does
  double tie_tolerance = 0;  // compare::count_pairs's tie rule
  std::size_t replicates = 1000;
  std::uint64_t seed = 1;
};

// A method and the next one in the ranking.
struct PairVerdict {
  std::size_t a = 0, b = 0;  // method indices (0-based); a ranked above b
  bool tied = false;         // equal MEAN VALUEs at the bound
  bool stable = false;
  // The paired bootstrap interval of MEAN VALUE(a) - MEAN VALUE(b), each
  // replicate's difference taken exactly from the count sums; NaN without problems.
  double interval_lower = 0, interval_upper = 0;
  std::size_t wins = 0, ties = 0, losses = 0;  // of a against b
  double sign_test_p = 1;
  bool separable = false;
  // "separable", or "not separable: " and what failed, e.g. "B ahead at
  // bounds 0.5-1.5 only; sign test p = 0.21"; the places of the methods'
  // names in it (offset, length), in order.
  std::string explanation;
  std::vector<std::pair<std::size_t, std::size_t>> name_spans;
};

struct Verdict {
  double bound = 0;  // normalised
  std::size_t methods = 0, problems = 0;
  double tie_tolerance = 0;
  std::size_t replicates = 0;
  std::uint64_t seed = 0;
  std::vector<std::size_t> order;  // method indices, best first; equal MEAN VALUEs by number
  std::vector<double> mean_value;  // by method index, as profcmp reports it
  std::vector<PairVerdict> pairs;  // pairs[r]: order[r] against order[r + 1]
};

// The verdict of table `t`. Work: eleven figure computations, the
// leave-one-out MEAN VALUEs (compare::for_each_method_left_out), the
// bootstrap and O(methods x problems) head-to-head comparisons. When `boot`
// is given, it receives the bootstrap's result (drawn with options.bound,
// replicates and seed), so that a caller needing both draws once.
Verdict decide(const table::MeasureTable& t, const Options& options,
               bootstrap::Result* boot = nullptr);

// Text for a terminal (lines end LF): what separable means, then one line
// per rank with the MEAN VALUE and, against the next method, the interval,
// wins-ties-losses, the sign test's p and the verdict; names as
// textkit::terminal shows them.
void write_text(std::ostream& out, const std::vector<std::string>& names, const Verdict& v);

// CSV (rows end CR LF): header
// method_a_number,method_a,method_b_number,method_b,separable,stable,interval_lower,interval_upper,sign_test_p
// and one row per pair of neighbours in the ranking; method numbers 1-based,
// separable and stable "yes" or "no", numbers in shortest round-trip form.
void write_csv(std::ostream& out, const std::vector<std::string>& names, const Verdict& v);

// A p-value in words: three significant digits ("0.21", "0.0502", "1"), as
// the explanations give it.
std::string p_text(double p);

}  // namespace verdict

#endif  // PROFCMP_PROFKIT_VERDICT_VERDICT_H_
