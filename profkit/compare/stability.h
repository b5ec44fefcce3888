// How the MEAN VALUE ranking depends on the table: pairs of methods whose
// order reverses when one other method is left out, or between two of the
// bounds 0.5 .. 5.0, and pairs that EFFICIENCY orders the other way. Figures
// come from analysis::compute_figures, so they equal profcmp's. MEAN VALUEs
// are ordered exactly by their count sums, EFFICIENCYs with
// analysis::efficiency_order's relative tolerance; a change is a strict
// reversal (a tie on one side is not a change).
#ifndef PROFCMP_PROFKIT_COMPARE_STABILITY_H_
#define PROFCMP_PROFKIT_COMPARE_STABILITY_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "profkit/analysis/figures.h"
#include "profkit/table/measure_table.h"

namespace compare {

// The ten bounds the bound check compares: 0.5, 1.0, ..., 5.0.
inline constexpr std::size_t k_bound_count = 10;
double bound_at(std::size_t i);  // 0.5 * (i + 1)

enum class FindingKind { leave_one_out, bound, efficiency };

// One reversal. Method numbers are 0-based indices into the table; `a` is the
// method ahead by MEAN VALUE in the reference situation (every method at the
// chosen bound; for `bound`, the lowest bound where the two differ), `b` the
// method ahead in the other situation.
struct Finding {
  FindingKind kind = FindingKind::leave_one_out;
  std::size_t a = 0, b = 0;
  std::size_t left_out = 0;  // leave_one_out: the method left out
  // bound: the relation at each of the ten bounds: +1 a ahead, -1 b ahead, 0 tied.
  std::vector<int> order_at_bound;
  // leave_one_out: MEAN VALUEs with every method, then without `left_out`.
  // efficiency: MEAN VALUEs, then EFFICIENCYs. bound: unused (0).
  double value_a = 0, value_b = 0, reversed_a = 0, reversed_b = 0;
  std::string sentence;  // one English sentence naming the methods
  // Where the methods' names lie in `sentence` (offset, length), in order, so
  // that a writer can mark them apart from the words around them.
  std::vector<std::pair<std::size_t, std::size_t>> name_spans;
};

struct StabilityFindings {
  double bound = 2.0;  // normalised as profcmp does
  std::size_t methods = 0, problems = 0;
  std::vector<double> mean_value;            // every method at `bound`
  std::vector<std::int64_t> mean_value_sum;  // their exact count sums, which orders compare
  std::vector<double> efficiency;
  // Listed findings, in order: leave_one_out by left-out method then pair,
  // bound by pair, efficiency by pair (pairs by first then second number).
  std::vector<Finding> findings;
  // Findings of each kind (indexed by FindingKind) beyond the listing limit.
  std::size_t omitted[3] = {0, 0, 0};

  bool stable() const;  // no finding of any kind, listed or omitted
};

// Every reversal of the MEAN VALUE order at `bound` (normalised as profcmp
// does), at most `limit` listed per kind. Eleven figure computations, and
// O(methods x problems x 21) for leaving each method out.
StabilityFindings find_instabilities(const table::MeasureTable& t, double bound,
                                     std::size_t limit = 1000);

// One line per finding grouped under a heading per kind, with a sentence for
// a kind with no finding, or one sentence when nothing changes; lines end LF;
// sentences as textkit::terminal shows them.
void write_stability_text(std::ostream& out, const StabilityFindings& s);

// CSV (rows end CR LF), one row per finding: header
// kind,method_a_number,method_a,method_b_number,method_b,left_out_number,left_out,
// a_ahead_at,b_ahead_at,tied_at,value_a,value_b,reversed_a,reversed_b,sentence
// (method numbers 1-based; fields that do not apply to a kind are empty; an
// `omitted` row says in its sentence how many findings of a kind were not listed).
void write_stability_csv(std::ostream& out, const std::vector<std::string>& names,
                         const StabilityFindings& s);

// MEAN VALUEs as reported and their exact count sums, one of each per method.
// The figures of the table with one method left out: the methods whose
// MEAN VALUE changes (never the one left out) and, for any method, its count
// sum and MEAN VALUE without it; every method not in changed() keeps the
// whole table's.
class LeftOutFigures {
 public:
  const std::vector<std::size_t>& changed() const { return m_changed; }
  bool changes(std::size_t m) const { return m_slot[m] != k_none; }
  std::int64_t sum_without(std::size_t m) const {
    return m_slot[m] == k_none ? m_full->mean_value_sum[m] : m_sum[m_slot[m]];
  }
  double value_without(std::size_t m) const {
    return m_slot[m] == k_none ? m_full->mean_value[m] : m_value[m_slot[m]];
  }

 protected:
  static constexpr std::size_t k_none = ~std::size_t{0};
  const analysis::Figures* m_full = nullptr;
  std::vector<std::size_t> m_slot;     // per method: its place in m_changed, or k_none
  std::vector<std::size_t> m_changed;  // the methods whose MEAN VALUE changes
  std::vector<std::int64_t> m_sum;     // per changed method: its count sum without the left one
  std::vector<double> m_value;         // and its MEAN VALUE
};

using LeftOutVisitor = std::function<void(std::size_t left, const LeftOutFigures& without)>;

void for_each_method_left_out(const table::MeasureTable& t, const analysis::Figures& full,
                              const LeftOutVisitor& visit);

// How EFFICIENCYs are compared, as the output names it.
std::string efficiency_rule();

// "method 2 (NAME)", as the sentences name a method (index 0-based).
std::string method_label(const std::vector<std::string>& names, std::size_t m);

}  // namespace compare

#endif  // PROFCMP_PROFKIT_COMPARE_STABILITY_H_
