#include "profkit/verdict/verdict.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include "profkit/analysis/figures.h"
#include "profkit/compare/pairs.h"
#include "profkit/compare/stability.h"
#include "profkit/text/escape.h"
#include "profkit/text/numbers.h"

namespace verdict {
namespace {

constexpr double k_nan = std::numeric_limits<double>::quiet_NaN();

// Names listed in a leave-one-out phrase before "and N more".
constexpr std::size_t k_names_listed = 3;

// The methods left out under which the order does not hold: how many, and
// the first few.
struct LeftOut {
  std::size_t count = 0;
  std::vector<std::size_t> first;
  void add(std::size_t m) {
    if (count++ < k_names_listed) first.push_back(m);
  }
};

// What the stability check found for one pair.
struct Shifts {
  LeftOut behind_without, tied_without;
  std::vector<int> order_at_bound;  // +1 a ahead, -1 b ahead, 0 tied, per compare::bound_at
  int by_efficiency = 0;
};

// An explanation written piece by piece, so that the places of the names are known.
class Words {
 public:
  Words(PairVerdict& pair, const std::vector<std::string>& names) : m_pair(pair), m_names(names) {}
  Words& operator<<(std::string_view words) {
    m_pair.explanation += words;
    return *this;
  }
  // The method's name, or "method N" for a method without one.
  Words& name(std::size_t m) {
    if (m_names[m].empty()) return *this << "method " << std::to_string(m + 1);
    m_pair.name_spans.emplace_back(m_pair.explanation.size(), m_names[m].size());
    return *this << m_names[m];
  }
  // "; " between the reasons.
  Words& reason() {
    if (m_reasons++ > 0) *this << "; ";
    return *this;
  }

 private:
  PairVerdict& m_pair;
  const std::vector<std::string>& m_names;
  int m_reasons = 0;
};

// "bound 0.5", "bounds 0.5-1.5", "bounds 0.5-1.0, 3.0 and 4.5-5.0": the
// bounds at which the relation is `want`, runs of neighbours joined.
std::string bounds_phrase(const std::vector<int>& order, int want) {
  std::vector<std::string> runs;
  std::size_t at = 0, count = 0;
  while (at < order.size()) {
    if (order[at] != want) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end + 1 < order.size() && order[end + 1] == want) ++end;
    std::string run = textkit::bound_text(compare::bound_at(at));
    if (end > at) run += "-" + textkit::bound_text(compare::bound_at(end));
    runs.push_back(std::move(run));
    count += end - at + 1;
    at = end + 1;
  }
  std::string text = count == 1 ? "bound " : "bounds ";
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (i > 0) text += i + 1 == runs.size() ? " and " : ", ";
    text += runs[i];
  }
  return text;
}

void without_phrase(Words& say, const LeftOut& left) {
  say << " without ";
  for (std::size_t i = 0; i < left.first.size(); ++i) {
    if (i > 0)
      say << (i + 1 == left.first.size() && left.count == left.first.size() ? " and " : ", ");
    say.name(left.first[i]);
  }
  if (left.count > left.first.size()) {
    say << " and " << std::to_string(left.count - left.first.size()) << " more";
  }
}

// Fills the pair's explanation from what failed.
void explain(PairVerdict& pair, const Shifts& shifts, bool interval_above,
             const std::vector<std::string>& names) {
  pair.explanation.clear();
  pair.name_spans.clear();
  Words say(pair, names);
  if (pair.separable) {
    say << "separable";
    return;
  }
  say << "not separable: ";
  if (pair.tied) {
    say.reason() << "tied by MEAN VALUE";
  } else if (!pair.stable) {
    if (shifts.behind_without.count > 0) {
      say.reason().name(pair.b) << " ahead";
      without_phrase(say, shifts.behind_without);
    }
    if (shifts.tied_without.count > 0) {
      say.reason() << "tied";
      without_phrase(say, shifts.tied_without);
    }
    const auto& order = shifts.order_at_bound;
    if (std::count(order.begin(), order.end(), -1) > 0) {
      say.reason().name(pair.b) << " ahead at " << bounds_phrase(order, -1) << " only";
    }
    if (std::count(order.begin(), order.end(), 0) > 0) {
      say.reason() << "tied at " << bounds_phrase(order, 0);
    }
    if (shifts.by_efficiency < 0) say.reason().name(pair.b) << " ahead by EFFICIENCY";
    if (shifts.by_efficiency == 0) say.reason() << "tied by EFFICIENCY";
  }
  if (!interval_above) {
    say.reason();
    if (std::isnan(pair.interval_lower)) {
      say << "no interval without problems";
    } else if (pair.interval_upper < 0) {
      say << "interval below 0";
    } else {
      say << "interval includes 0";
    }
  }
  if (!(pair.sign_test_p < k_significance))
    say.reason() << "sign test p = " << p_text(pair.sign_test_p);
}

// The lines of an aligned table: the name column (2) and the last column
// left-aligned, the others right-aligned.
void write_aligned(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
  out << textkit::aligned_columns(
      rows, [&](std::size_t r, std::size_t c) { return c == 2 || c + 1 == rows[r].size(); });
}

}  // namespace

double sign_test_p(std::uint64_t wins, std::uint64_t losses) {
  const std::uint64_t n = wins + losses;
  const std::uint64_t k = std::min(wins, losses);
  // From k = (n - 1) / 2 up, P(X <= k) is 1/2 or more.
  if (2 * k + 1 >= n) return 1.0;
  if (n <= 62) {
    // Sum of C(n, i) for i <= k < n / 2: below 2^61, and every product
    // C(n, i) (n - i) stays below 2^64.
    std::uint64_t term = 1, sum = 1;
    for (std::uint64_t i = 0; i < k; ++i) {
      term = term * (n - i) / (i + 1);
      sum += term;
    }
    return std::ldexp(static_cast<double>(sum), 1 - static_cast<int>(n));
  }
  // 2 P(X <= k) = 2 C(n, k) / 2^n (1 + C(n, k - 1) / C(n, k) + ...), the
  // ratios below 1 and falling, summed until they no longer change the sum.
  const double nd = static_cast<double>(n), kd = static_cast<double>(k);
  const double log_top = std::lgamma(nd + 1) - std::lgamma(kd + 1) - std::lgamma(nd - kd + 1) -
                         (nd - 1) * std::numbers::ln2;
  double ratio = 1, sum = 1;
  for (std::uint64_t i = k; i > 0; --i) {
    ratio *= static_cast<double>(i) / static_cast<double>(n - i + 1);
    sum += ratio;
    if (ratio < sum * 1e-17) break;
  }
  return std::min(1.0, std::exp(log_top) * sum);
}

std::string p_text(double p) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", p);
  return text;
}

Verdict decide(const table::MeasureTable& t, const Options& options, bootstrap::Result* boot) {
  Verdict v;
  const std::size_t methods = t.methods();
  const analysis::Figures full = analysis::compute_figures(t, options.bound);
  v.bound = full.bound;
  v.methods = methods;
  v.problems = t.problems;
  v.tie_tolerance = options.tie_tolerance;
  v.replicates = options.replicates;
  v.seed = options.seed;
  v.mean_value = full.mean_value;
  const compare::RankedPairs ranked = compare::rank_pairs(t, options.tie_tolerance, options.bound);
  v.order = ranked.order;
  if (methods < 2) {
    if (boot) *boot = bootstrap::run(t, {options.replicates, options.seed, options.bound});
    return v;
  }
  const std::size_t pairs = methods - 1;
  v.pairs.resize(pairs);
  std::vector<Shifts> shifts(pairs);
  for (std::size_t r = 0; r < pairs; ++r) {
    PairVerdict& pair = v.pairs[r];
    pair.a = v.order[r];
    pair.b = v.order[r + 1];
    pair.tied = analysis::mean_value_order(full, pair.a, pair.b) == 0;
    pair.wins = ranked.against_next[r].wins;
    pair.ties = ranked.against_next[r].ties;
    pair.losses = ranked.against_next[r].losses;
    pair.sign_test_p = sign_test_p(pair.wins, pair.losses);
    shifts[r].by_efficiency =
        analysis::efficiency_order(full.efficiency[pair.a], full.efficiency[pair.b]);
    shifts[r].order_at_bound.resize(compare::k_bound_count);
  }

  // With one other method left out; leaving out a method that is nowhere
  // alone best changes nothing, so the order there is the full table's.
  // Only the pairs with a method whose MEAN VALUE changes can change order;
  // a pair tied on the whole table is never separable, whatever happens.
  std::vector<std::size_t> place(methods, 0);
  for (std::size_t r = 0; r < methods; ++r) place[v.order[r]] = r;
  std::vector<std::size_t> seen(pairs, methods);  // per pair: the last `left` that checked it
  compare::for_each_method_left_out(
      t, full, [&](std::size_t left, const compare::LeftOutFigures& without) {
        for (const std::size_t m : without.changed()) {
          for (const std::size_t r : {place[m] - 1, place[m]}) {
            if (r >= pairs || seen[r] == left) continue;  // place 0 gives no pair above
            seen[r] = left;
            const PairVerdict& pair = v.pairs[r];
            if (pair.tied || left == pair.a || left == pair.b) continue;
            const std::int64_t x = without.sum_without(pair.a), y = without.sum_without(pair.b);
            if (x < y) shifts[r].behind_without.add(left);
            if (x == y) shifts[r].tied_without.add(left);
          }
        }
      });
  for (std::size_t i = 0; i < compare::k_bound_count; ++i) {
    const analysis::Figures at = analysis::compute_figures(t, compare::bound_at(i));
    for (std::size_t r = 0; r < pairs; ++r) {
      shifts[r].order_at_bound[i] = analysis::mean_value_order(at, v.pairs[r].a, v.pairs[r].b);
    }
  }

  // Paired bootstrap: every replicate's exact difference of count sums.
  const std::size_t replicates = options.replicates;
  std::vector<std::int64_t> differences(pairs * replicates);
  bool drawn = false;
  bootstrap::Result result = bootstrap::run(
      t, {replicates, options.seed, options.bound},
      [&](std::size_t rep, const std::vector<std::int64_t>& sums) {
        drawn = true;
        for (std::size_t r = 0; r < pairs; ++r) {
          differences[r * replicates + rep] = sums[v.pairs[r].a] - sums[v.pairs[r].b];
        }
      });
  const double scale = static_cast<double>(full.abscissae.size()) * static_cast<double>(t.problems);

  for (std::size_t r = 0; r < pairs; ++r) {
    PairVerdict& pair = v.pairs[r];
    bool interval_above = false;
    if (drawn) {
      const auto begin = differences.begin() + static_cast<std::ptrdiff_t>(r * replicates);
      std::sort(begin, begin + static_cast<std::ptrdiff_t>(replicates));
      const std::int64_t lower =
          begin[static_cast<std::ptrdiff_t>(bootstrap::lower_rank(replicates))];
      const std::int64_t upper =
          begin[static_cast<std::ptrdiff_t>(bootstrap::upper_rank(replicates))];
      pair.interval_lower = static_cast<double>(lower) / scale;
      pair.interval_upper = static_cast<double>(upper) / scale;
      interval_above = lower > 0;
    } else {
      pair.interval_lower = pair.interval_upper = k_nan;
    }
    const Shifts& s = shifts[r];
    pair.stable = !pair.tied && s.behind_without.count == 0 && s.tied_without.count == 0 &&
                  std::all_of(s.order_at_bound.begin(), s.order_at_bound.end(),
                              [](int o) { return o > 0; }) &&
                  s.by_efficiency > 0;
    pair.separable = pair.stable && interval_above && pair.sign_test_p < k_significance;
    explain(pair, s, interval_above, t.names);
  }
  if (boot) *boot = std::move(result);
  return v;
}

void write_text(std::ostream& out, const std::vector<std::string>& names, const Verdict& v) {
  out << "Verdict on the MEAN VALUE ranking: " << v.methods
      << (v.methods == 1 ? " method, " : " methods, ") << v.problems
      << (v.problems == 1 ? " problem" : " problems") << ", bound " << textkit::bound_text(v.bound)
      << ".\n"
      << "A method is separable from the next when all of these hold:\n"
         "  - stable: it stays ahead by MEAN VALUE with any one other method left out, at every "
         "bound from 0.5 to 5.0, and by EFFICIENCY ("
      << compare::efficiency_rule()
      << ");\n  - the 95 % paired bootstrap interval of the difference of their MEAN VALUEs lies "
         "above 0 ("
      << v.replicates << (v.replicates == 1 ? " replicate" : " replicates") << ", seed " << v.seed
      << ");\n  - the sign test of its wins and losses against the next gives p < 0.05 (ties "
         "left out, tie tolerance "
      << textkit::shortest(v.tie_tolerance) << ").\n\n";
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"rank", "#", "method", "MEAN VALUE", "difference 95 %", "wins-ties-losses",
                  "sign test p", "against the next"});
  for (std::size_t r = 0; r < v.order.size(); ++r) {
    const std::size_t m = v.order[r];
    std::vector<std::string> row = {std::to_string(r + 1), std::to_string(m + 1),
                                    textkit::terminal(names[m]),
                                    textkit::figure(v.mean_value[m], 4)};
    if (r < v.pairs.size()) {
      const PairVerdict& pair = v.pairs[r];
      row.push_back(std::isnan(pair.interval_lower)
                        ? std::string(textkit::k_undefined)
                        : "[" + textkit::fixed(pair.interval_lower, 4) + ", " +
                              textkit::fixed(pair.interval_upper, 4) + "]");
      row.push_back(std::to_string(pair.wins) + "-" + std::to_string(pair.ties) + "-" +
                    std::to_string(pair.losses));
      row.push_back(p_text(pair.sign_test_p));
      row.push_back(textkit::terminal(pair.explanation));
    } else {
      row.insert(row.end(), {"-", "-", "-", "-"});
    }
    rows.push_back(std::move(row));
  }
  write_aligned(out, rows);
}

void write_csv(std::ostream& out, const std::vector<std::string>& names, const Verdict& v) {
  std::string text =
      "method_a_number,method_a,method_b_number,method_b,separable,stable,interval_lower,"
      "interval_upper,sign_test_p\r\n";
  for (const PairVerdict& pair : v.pairs) {
    text += std::to_string(pair.a + 1) + ',' + textkit::csv_field(names[pair.a]) + ',' +
            std::to_string(pair.b + 1) + ',' + textkit::csv_field(names[pair.b]) + ',' +
            (pair.separable ? "yes," : "no,") + (pair.stable ? "yes," : "no,");
    textkit::append_shortest(text, pair.interval_lower);
    text += ',';
    textkit::append_shortest(text, pair.interval_upper);
    text += ',';
    textkit::append_shortest(text, pair.sign_test_p);
    text += "\r\n";
  }
  out << text;
}

}  // namespace verdict
