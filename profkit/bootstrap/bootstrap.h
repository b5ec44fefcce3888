// Bootstrap over problems: resample the problems of a measure table with
// replacement and recompute MEAN VALUE, rho at 0 and rho at the bound with
// profcmp's arithmetic; percentile intervals and the share of replicates each
// method wins. The same seed gives the same numbers on every platform.
#ifndef PROFCMP_PROFKIT_BOOTSTRAP_BOOTSTRAP_H_
#define PROFCMP_PROFKIT_BOOTSTRAP_BOOTSTRAP_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "profkit/table/measure_table.h"

namespace bootstrap {

// An unbiased index in [0, n) from a generator of uniform 64-bit words
// (std::mt19937_64): the top bit_width(n - 1) bits of each word, rejected
// while they are n or more, so fewer than two words on average. Takes no word
// when n is 1. Precondition: n >= 1. Unlike std::uniform_int_distribution,
// the result is fixed by the words alone.
template <class Generator>
std::uint64_t draw_index(Generator& generator, std::uint64_t n) {
  if (n <= 1) return 0;
  const int bits = std::bit_width(n - 1);
  for (;;) {
    const std::uint64_t word = static_cast<std::uint64_t>(generator());
    const std::uint64_t candidate = word >> (64 - bits);
    if (candidate < n) return candidate;
  }
}

// Position of the lower and upper end of a 95 % percentile interval among
// `n` sorted replicate values (n >= 1): floor(0.025 (n - 1)) and
// ceil(0.975 (n - 1)), computed in integers.
std::size_t lower_rank(std::size_t n);
std::size_t upper_rank(std::size_t n);

inline constexpr std::size_t k_max_replicates = 100000;

struct Options {
  std::size_t replicates = 1000;  // 1 .. k_max_replicates
  std::uint64_t seed = 1;         // seeds std::mt19937_64
  double bound = 2.0;             // normalised as profcmp does
};

// An estimate on the whole table and the interval of its replicates.
struct Interval {
  double estimate = 0.0;
  double lower = 0.0;
  double upper = 0.0;
};

struct MethodResult {
  Interval mean_value;  // MEAN VALUE, as P.PRO reports it
  Interval rho_0;       // share of problems on which the method is best
  Interval rho_bound;   // share of problems within the bound (last abscissa)
  // Share of replicates in which the method's MEAN VALUE is the largest,
  // compared exactly; every method tied for the largest counts as first, so the shares of a
  // table may add up to more than 1.
  double p_first = 0.0;
};

struct Result {
  double bound = 0.0;  // normalised
  std::size_t replicates = 0;
  std::uint64_t seed = 0;
  std::size_t problems = 0;
  std::vector<MethodResult> methods;
};

// Sees each replicate once, in order: its number and every method's MEAN
// VALUE count sum in it (the exact MEAN VALUE is that sum over abscissae x
// problems), so that a caller can compare methods on the same replicates.
using ReplicateVisitor =
    std::function<void(std::size_t replicate, const std::vector<std::int64_t>& count_sums)>;

// Runs the bootstrap. Replicate r draws `problems` indices with draw_index()
// from one std::mt19937_64 seeded with options.seed, replicates in order;
// `visit`, when given, sees each of them. With no problem every figure is
// NaN (0/0, as profcmp's) and no replicate is drawn. Work
// O(replicates x (problems + methods + the cells drawn)); memory
// O(replicates x methods + cells).
Result run(const table::MeasureTable& t, const Options& options,
           const ReplicateVisitor& visit = {});

// CSV, rows ending in CR LF: header
// method_number,method,statistic,estimate,lower,upper, then per method the
// rows mean_value, rho_0, rho_bound, p_first; numbers in shortest round-trip
// form; p_first has lower = upper = estimate.
void write_csv(std::ostream& out, const table::MeasureTable& t, const Result& r);

// Aligned text for a terminal (LF line ends): a heading with replicates, seed
// and bound, then one line per method with each estimate and its interval to
// 4 decimals ("not defined" without problems); names as textkit::terminal
// shows them.
void write_text(std::ostream& out, const table::MeasureTable& t, const Result& r);

}  // namespace bootstrap

#endif  // PROFCMP_PROFKIT_BOOTSTRAP_BOOTSTRAP_H_
