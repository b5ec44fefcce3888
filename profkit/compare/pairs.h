// Pairwise verdicts: for every ordered pair of different methods, on how many
// problems the first wins, ties with and loses to the second on the measure.
// A count wins against a larger count or a failure; equal counts (or counts
// within a relative tolerance of the smaller) and two failures tie.
#ifndef PROFCMP_PROFKIT_COMPARE_PAIRS_H_
#define PROFCMP_PROFKIT_COMPARE_PAIRS_H_

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "profkit/table/measure_table.h"

namespace compare {

struct PairCounts {
  std::size_t methods = 0;
  std::size_t problems = 0;
  double tie_tolerance = 0.0;
  // Row-major methods x methods; the diagonal is 0.
  std::vector<std::size_t> win_counts;
  std::vector<std::size_t> tie_counts;

  std::size_t wins(std::size_t a, std::size_t b) const { return win_counts[a * methods + b]; }
  std::size_t ties(std::size_t a, std::size_t b) const { return tie_counts[a * methods + b]; }
  std::size_t losses(std::size_t a, std::size_t b) const { return wins(b, a); }
};

// Above this many methods the pairs are summarised (ranked_pairs) unless every
// pair is asked for: the full matrix grows with the square of the methods.
inline constexpr std::size_t k_every_pair_limit = 50;

// Counts every ordered pair. Two solved counts x, y tie when
// |x - y| <= tie_tolerance * min(x, y); `tie_tolerance` must be >= 0 (not NaN).
// O(methods^2 x problems) comparisons for dense rows (a pair with a sparse
// row costs its shorter row's cells), memory O(methods^2 + table).
PairCounts count_pairs(const table::MeasureTable& t, double tie_tolerance);

// CSV (rows end CR LF): header
// method_a_number,method_a,method_b_number,method_b,wins,ties,losses
// and one row per ordered pair (1,2), (1,3), ..., (2,1), ...
void write_pairs_csv(std::ostream& out, const std::vector<std::string>& names,
                     const PairCounts& counts);

// A terminal matrix of wins-ties-losses (row method against column method),
// under a line saying how to read it; lines end LF; names as
// textkit::terminal shows them.
void write_pairs_text(std::ostream& out, const std::vector<std::string>& names,
                      const PairCounts& counts);

// The bounded summary of a large table: methods in MEAN VALUE order, compared
// exactly (best first, equal MEAN VALUEs by method number), each against the best method and
// against the next method in that order. About 2 x methods pairs.
struct RankedPairs {
  std::size_t problems = 0;
  double tie_tolerance = 0.0;
  std::vector<std::size_t> order;  // method indices, best first
  std::vector<double> mean_value;  // by method index
  struct Row {
    std::size_t wins = 0, ties = 0, losses = 0;  // of the method against the other one
  };
  std::vector<Row> against_best;  // by rank; rank 0 (the best itself) is unused
  std::vector<Row> against_next;  // by rank; the last rank is unused
};

// The summary at `bound` (normalised as profcmp does) with the same tie rule
// as count_pairs. O(cells log cells) comparisons: each pair costs the cells of
// its shorter row; memory O(methods + table).
RankedPairs rank_pairs(const table::MeasureTable& t, double tie_tolerance, double bound = 2.0);

// The summary as text (lines end LF): one line that says what it shows and
// that `every_option` gives every pair, then one line per rank; names as
// textkit::terminal shows them.
void write_ranked_pairs_text(std::ostream& out, const std::vector<std::string>& names,
                             const RankedPairs& ranked, const std::string& every_option);

// The summary as CSV rows with write_pairs_csv's header: for each rank from
// the second, the method against the best, then against the next method.
void write_ranked_pairs_csv(std::ostream& out, const std::vector<std::string>& names,
                            const RankedPairs& ranked);

}  // namespace compare

#endif  // PROFCMP_PROFKIT_COMPARE_PAIRS_H_
