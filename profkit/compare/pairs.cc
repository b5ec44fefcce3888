#include "profkit/compare/pairs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "profkit/analysis/figures.h"
#include "profkit/text/escape.h"
#include "profkit/text/numbers.h"

namespace compare {
using textkit::csv_field;
using textkit::shortest;
namespace {

// Problems compared per pass over all pairs, so that the slices of every
// method stay in cache while each pair reads two of them.
constexpr std::size_t k_block = 4096;

// A measure as an unsigned key in which smaller is better and a failure is
// the largest: the bit pattern of a positive double orders as the double.
constexpr std::uint64_t k_failed_key = ~std::uint64_t{0};
std::uint64_t key_of(double measure) {
  if (measure == table::k_failed) return k_failed_key;
  std::uint64_t bits = 0;
  std::memcpy(&bits, &measure, sizeof bits);
  return bits;
}

double measure_of_key(std::uint64_t key) {
  double measure = 0;
  std::memcpy(&measure, &key, sizeof measure);
  return measure;
}

// Wins of a over b and ties on keys [0, n), exact comparison.
void count_exact(const std::uint64_t* a, const std::uint64_t* b, std::size_t n, std::uint32_t& wins,
                 std::uint32_t& ties) {
  std::uint32_t w = 0, t = 0;
  std::size_t p = 0;
  // Runs of a fixed length, which the compiler turns into vector compares.
  constexpr std::size_t k_run = 64;
  for (; p + k_run <= n; p += k_run) {
    for (std::size_t k = 0; k < k_run; ++k) {
      w += a[p + k] < b[p + k] ? 1u : 0u;
      t += a[p + k] == b[p + k] ? 1u : 0u;
    }
  }
  for (; p < n; ++p) {
    w += a[p] < b[p] ? 1u : 0u;
    t += a[p] == b[p] ? 1u : 0u;
  }
  wins = w;
  ties = t;
}

// The same with ties within `tolerance` relative to the smaller measure.
void count_tolerant(const std::uint64_t* a, const std::uint64_t* b, std::size_t n, double tolerance,
                    std::uint32_t& wins, std::uint32_t& ties) {
  std::uint32_t w = 0, t = 0;
  for (std::size_t p = 0; p < n; ++p) {
    const std::uint64_t x = a[p], y = b[p];
    bool tie = x == y;
    if (!tie && x != k_failed_key && y != k_failed_key) {
      const double u = measure_of_key(x), v = measure_of_key(y);
      tie = std::fabs(u - v) <= tolerance * std::min(u, v);
    }
    if (tie) {
      ++t;
    } else if (x < y) {
      ++w;
    }
  }
  wins = w;
  ties = t;
}

// Solved entries among keys [0, n).
std::uint32_t solved_in(const std::uint64_t* keys, std::size_t n) {
  std::uint32_t solved = 0;
  for (std::size_t p = 0; p < n; ++p) solved += keys[p] != k_failed_key ? 1u : 0u;
  return solved;
}

// Wins of method a over method b and ties on problems [start, start + n),
// both rows dense. The problems after a method's row are its failures, which
// tie with each other and lose to every solved entry.
void count_span(const table::MeasureTable& t, const std::vector<std::uint64_t>& keys, std::size_t a,
                std::size_t b, std::size_t start, std::size_t n, double tolerance,
                std::uint32_t& wins, std::uint32_t& ties) {
  const auto stored = [&](std::size_t method) {
    const std::size_t length = t.cells(method);
    return length > start ? std::min(n, length - start) : 0;
  };
  const std::uint64_t* ka = keys.data() + t.row_begin(a) + start;
  const std::uint64_t* kb = keys.data() + t.row_begin(b) + start;
  const std::size_t la = stored(a);
  const std::size_t lb = stored(b);
  const std::size_t both = std::min(la, lb);
  if (tolerance == 0.0) {
    count_exact(ka, kb, both, wins, ties);
  } else {
    count_tolerant(ka, kb, both, tolerance, wins, ties);
  }
  // Where one row has ended, its method failed: the other wins where it
  // solved, and they tie where it failed too.
  if (la > lb) {
    const std::uint32_t solved = solved_in(ka + both, la - both);
    wins += solved;
    ties += static_cast<std::uint32_t>(la - both) - solved;
  } else if (lb > la) {
    ties += static_cast<std::uint32_t>(lb - both) - solved_in(kb + both, lb - both);
  }
  ties += static_cast<std::uint32_t>(n - std::max(la, lb));
}

// +1 when key x wins against key y, -1 when it loses, 0 for a tie, as
// count_tolerant decides (count_exact with a tolerance of 0).
int outcome(std::uint64_t x, std::uint64_t y, double tolerance) {
  if (x == y) return 0;
  if (x != k_failed_key && y != k_failed_key && tolerance != 0.0) {
    const double u = measure_of_key(x), v = measure_of_key(y);
    if (std::fabs(u - v) <= tolerance * std::min(u, v)) return 0;
  }
  return x < y ? 1 : -1;
}

struct Outcome {
  std::size_t wins = 0, ties = 0, losses = 0;
};

// Method a against method b over every problem, for rows of either form,
// in O(cells of the shorter row x log): compared where the row with fewer
// cells has one; everywhere else its method failed, so the other wins
// where it solved (`solved`: per method the problems solved) and they tie
// where it failed too.
Outcome count_by_cells(const table::MeasureTable& t, const std::vector<std::uint64_t>& keys,
                       const std::vector<std::size_t>& solved, std::size_t a, std::size_t b,
                       double tolerance) {
  const bool turned = t.cells(b) < t.cells(a);
  const std::size_t s = turned ? b : a, o = turned ? a : b;
  std::size_t wins = 0, losses = 0, solved_by_other = 0;
  const std::uint64_t* ks = keys.data() + t.row_begin(s);
  for (std::size_t k = 0; k < t.cells(s); ++k) {
    const std::uint64_t y = key_of(t.at(o, t.problem_of(s, k)));
    solved_by_other += y != k_failed_key ? 1 : 0;
    const int r = outcome(ks[k], y, tolerance);
    wins += r > 0 ? 1 : 0;
    losses += r < 0 ? 1 : 0;
  }
  losses += solved[o] - solved_by_other;
  const std::size_t ties = t.problems - wins - losses;
  return turned ? Outcome{losses, ties, wins} : Outcome{wins, ties, losses};
}

// The same for two dense rows, over the problems both rows hold (compared
// in runs the compiler vectorises), then the longer row's solved problems
// after the shorter one ends.
Outcome count_dense(const table::MeasureTable& t, const std::vector<std::uint64_t>& keys,
                    const std::vector<std::size_t>& solved, std::size_t a, std::size_t b,
                    double tolerance) {
  const std::uint64_t* ka = keys.data() + t.row_begin(a);
  const std::uint64_t* kb = keys.data() + t.row_begin(b);
  const std::size_t la = t.cells(a), lb = t.cells(b), both = std::min(la, lb);
  std::size_t wins = 0, ties = 0;
  for (std::size_t start = 0; start < both; start += k_block) {
    const std::size_t n = std::min(k_block, both - start);
    std::uint32_t w = 0, e = 0;
    if (tolerance == 0.0) {
      count_exact(ka + start, kb + start, n, w, e);
    } else {
      count_tolerant(ka + start, kb + start, n, tolerance, w, e);
    }
    wins += w;
    ties += e;
  }
  std::size_t losses = both - wins - ties;
  if (la > lb) wins += solved[a] - solved_in(ka, both);
  if (lb > la) losses += solved[b] - solved_in(kb, both);
  return {wins, t.problems - wins - losses, losses};
}

Outcome count_one_pair(const table::MeasureTable& t, const std::vector<std::uint64_t>& keys,
                       const std::vector<std::size_t>& solved, std::size_t a, std::size_t b,
                       double tolerance) {
  if (t.dense(a) && t.dense(b)) return count_dense(t, keys, solved, a, b, tolerance);
  return count_by_cells(t, keys, solved, a, b, tolerance);
}

std::vector<std::size_t> solved_counts(const table::MeasureTable& t) {
  std::vector<std::size_t> solved(t.methods());
  for (std::size_t m = 0; m < t.methods(); ++m) solved[m] = t.solved_count(m);
  return solved;
}

std::string cell_text(const PairCounts& c, std::size_t a, std::size_t b) {
  if (a == b) return "-";
  return std::to_string(c.wins(a, b)) + "-" + std::to_string(c.ties(a, b)) + "-" +
         std::to_string(c.losses(a, b));
}

void pad_left(std::ostream& out, std::string_view text, std::size_t width) {
  for (std::size_t k = text.size(); k < width; ++k) out << ' ';
  out << text;
}

}  // namespace

PairCounts count_pairs(const table::MeasureTable& t, double tie_tolerance) {
  PairCounts c;
  c.methods = t.methods();
  c.problems = t.problems;
  c.tie_tolerance = tie_tolerance;
  const std::size_t m = c.methods;
  c.win_counts.assign(m * m, 0);
  c.tie_counts.assign(m * m, 0);
  if (m < 2) return c;

  // One key per stored measure; the problems without a cell are failures,
  // which tie with each other and lose to every solved entry.
  std::vector<std::uint64_t> keys(t.measures.size());
  std::transform(t.measures.begin(), t.measures.end(), keys.begin(), key_of);
  // Pairs of dense rows block by block, so that the slices stay in cache;
  // pairs with a sparse row on its cells.
  const std::vector<std::size_t> solved = solved_counts(t);
  for (std::size_t a = 0; a < m; ++a) {
    for (std::size_t b = a + 1; b < m; ++b) {
      if (t.dense(a) && t.dense(b)) continue;
      const Outcome o = count_by_cells(t, keys, solved, a, b, tie_tolerance);
      c.win_counts[a * m + b] = o.wins;
      c.win_counts[b * m + a] = o.losses;
      c.tie_counts[a * m + b] = o.ties;
      c.tie_counts[b * m + a] = o.ties;
    }
  }
  for (std::size_t start = 0; start < t.problems; start += k_block) {
    const std::size_t n = std::min(k_block, t.problems - start);
    for (std::size_t a = 0; a < m; ++a) {
      for (std::size_t b = a + 1; b < m; ++b) {
        if (!t.dense(a) || !t.dense(b)) continue;
        std::uint32_t wins = 0, ties = 0;
        count_span(t, keys, a, b, start, n, tie_tolerance, wins, ties);
        c.win_counts[a * m + b] += wins;
        c.win_counts[b * m + a] += static_cast<std::uint32_t>(n) - wins - ties;
        c.tie_counts[a * m + b] += ties;
        c.tie_counts[b * m + a] += ties;
      }
    }
  }
  return c;
}

void write_pairs_csv(std::ostream& out, const std::vector<std::string>& names,
                     const PairCounts& counts) {
  out << "method_a_number,method_a,method_b_number,method_b,wins,ties,losses\r\n";
  for (std::size_t a = 0; a < counts.methods; ++a) {
    for (std::size_t b = 0; b < counts.methods; ++b) {
      if (a == b) continue;
      out << a + 1 << ',' << csv_field(names[a]) << ',' << b + 1 << ',' << csv_field(names[b])
          << ',' << counts.wins(a, b) << ',' << counts.ties(a, b) << ',' << counts.losses(a, b)
          << "\r\n";
    }
  }
}

void write_pairs_text(std::ostream& out, const std::vector<std::string>& names,
                      const PairCounts& counts) {
  const std::size_t m = counts.methods;
  out << "Wins-ties-losses of the row method against the column method on " << counts.problems
      << (counts.problems == 1 ? " problem" : " problems") << " (tie tolerance "
      << shortest(counts.tie_tolerance) << ").\n";
  if (m < 2) {
    out << "No pairs: the table has " << m << (m == 1 ? " method.\n" : " methods.\n");
    return;
  }
  const std::size_t number_width = std::to_string(m).size();
  std::vector<std::string> shown(m);
  std::size_t name_width = 0;
  for (std::size_t a = 0; a < m; ++a) {
    shown[a] = textkit::terminal(names[a]);
    name_width = std::max(name_width, shown[a].size());
  }
  std::size_t cell_width = number_width;
  for (std::size_t a = 0; a < m; ++a) {
    for (std::size_t b = 0; b < m; ++b)
      cell_width = std::max(cell_width, cell_text(counts, a, b).size());
  }
  const std::size_t label_width = number_width + 2 + name_width;

  out << std::string(label_width, ' ');
  for (std::size_t b = 0; b < m; ++b) {
    out << "  ";
    pad_left(out, std::to_string(b + 1), cell_width);
  }
  out << '\n';
  for (std::size_t a = 0; a < m; ++a) {
    pad_left(out, std::to_string(a + 1), number_width);
    out << "  " << shown[a] << std::string(name_width - shown[a].size(), ' ');
    for (std::size_t b = 0; b < m; ++b) {
      out << "  ";
      pad_left(out, cell_text(counts, a, b), cell_width);
    }
    out << '\n';
  }
}

namespace {

RankedPairs::Row row_of(const Outcome& o) {
  return {o.wins, o.ties, o.losses};
}

std::string row_text(const RankedPairs::Row& row) {
  return std::to_string(row.wins) + "-" + std::to_string(row.ties) + "-" +
         std::to_string(row.losses);
}

void write_csv_row(std::ostream& out, const std::vector<std::string>& names, std::size_t a,
                   std::size_t b, const RankedPairs::Row& row) {
  out << a + 1 << ',' << csv_field(names[a]) << ',' << b + 1 << ',' << csv_field(names[b]) << ','
      << row.wins << ',' << row.ties << ',' << row.losses << "\r\n";
}

}  // namespace

RankedPairs rank_pairs(const table::MeasureTable& t, double tie_tolerance, double bound) {
  RankedPairs r;
  r.problems = t.problems;
  r.tie_tolerance = tie_tolerance;
  const std::size_t m = t.methods();
  const analysis::Figures figures = analysis::compute_figures(t, bound);
  r.mean_value = figures.mean_value;
  r.order.resize(m);
  for (std::size_t k = 0; k < m; ++k) r.order[k] = k;
  // Exactly by MEAN VALUE: equal count sums keep table order.
  std::stable_sort(r.order.begin(), r.order.end(), [&](std::size_t a, std::size_t b) {
    return analysis::mean_value_order(figures, a, b) > 0;
  });
  r.against_best.resize(m);
  r.against_next.resize(m);
  // The keys count_pairs compares (failures largest).
  std::vector<std::uint64_t> keys(t.measures.size());
  std::transform(t.measures.begin(), t.measures.end(), keys.begin(), key_of);
  const std::vector<std::size_t> solved = solved_counts(t);
  for (std::size_t rank = 0; rank < m; ++rank) {
    const std::size_t method = r.order[rank];
    if (rank > 0) {
      r.against_best[rank] =
          row_of(count_one_pair(t, keys, solved, method, r.order[0], tie_tolerance));
    }
    if (rank + 1 < m) {
      r.against_next[rank] =
          row_of(count_one_pair(t, keys, solved, method, r.order[rank + 1], tie_tolerance));
    }
  }
  return r;
}

void write_ranked_pairs_text(std::ostream& out, const std::vector<std::string>& names,
                             const RankedPairs& r, const std::string& every_option) {
  const std::size_t m = r.order.size();
  out << "Wins-ties-losses on " << r.problems << (r.problems == 1 ? " problem" : " problems")
      << " (tie tolerance " << shortest(r.tie_tolerance) << ") of each method against the best by "
      << "MEAN VALUE and against the next in the MEAN VALUE ranking: " << m
      << " methods are more than " << k_every_pair_limit << ", so not every pair is shown ("
      << every_option << " shows all " << m * (m - 1) << " ordered pairs).\n";
  const std::size_t number_width = std::max<std::size_t>(std::to_string(m).size(), 1);
  std::vector<std::string> shown(names.size());
  std::size_t name_width = 6;
  for (std::size_t k = 0; k < names.size(); ++k) {
    shown[k] = textkit::terminal(names[k]);
    name_width = std::max(name_width, shown[k].size());
  }
  std::size_t cell_width = 12;
  for (std::size_t rank = 0; rank < m; ++rank) {
    cell_width = std::max(
        {cell_width, row_text(r.against_best[rank]).size(), row_text(r.against_next[rank]).size()});
  }
  auto label = [&](std::string_view rank, std::string_view number, std::string_view name) {
    pad_left(out, rank, number_width);
    out << "  ";
    pad_left(out, number, number_width);
    out << "  " << name << std::string(name_width - name.size(), ' ');
  };
  label("rank", "#", "method");
  out << "  MEAN VALUE  ";
  pad_left(out, "against best", cell_width);
  out << "  ";
  pad_left(out, "against next", cell_width);
  out << '\n';
  for (std::size_t rank = 0; rank < m; ++rank) {
    const std::size_t method = r.order[rank];
    label(std::to_string(rank + 1), std::to_string(method + 1), shown[method]);
    out << "  ";
    pad_left(out, textkit::figure(r.mean_value[method], 4), 10);
    out << "  ";
    pad_left(out, rank == 0 ? "-" : row_text(r.against_best[rank]), cell_width);
    out << "  ";
    pad_left(out, rank + 1 == m ? "-" : row_text(r.against_next[rank]), cell_width);
    out << '\n';
  }
}

void write_ranked_pairs_csv(std::ostream& out, const std::vector<std::string>& names,
                            const RankedPairs& r) {
  out << "method_a_number,method_a,method_b_number,method_b,wins,ties,losses\r\n";
  const std::size_t m = r.order.size();
  for (std::size_t rank = 0; rank < m; ++rank) {
    if (rank > 0) write_csv_row(out, names, r.order[rank], r.order[0], r.against_best[rank]);
    if (rank + 1 < m && rank > 0) {
      write_csv_row(out, names, r.order[rank], r.order[rank + 1], r.against_next[rank]);
    }
  }
}

}  // namespace compare
