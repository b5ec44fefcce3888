#include "profkit/compare/stability.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <string_view>

#include "arithmetic/profile_arithmetic.h"
#include "profkit/analysis/figures.h"
#include "profkit/text/escape.h"
#include "profkit/text/numbers.h"

namespace compare {
using textkit::bound_text;
using textkit::csv_field;
using textkit::fixed;
using textkit::shortest;
namespace {

// A finding's sentence, written piece by piece so that the places of the
// methods' names are known.
class Sentence {
 public:
  Sentence(Finding& finding, const std::vector<std::string>& names)
      : finding_(finding), names_(names) {}
  Sentence& operator<<(std::string_view words) {
    finding_.sentence += words;
    return *this;
  }
  // method_label(), "Method ..." at the start of the sentence.
  Sentence& label(std::size_t m) {
    std::string label = method_label(names_, m);
    if (finding_.sentence.empty()) label[0] = 'M';
    if (!names_[m].empty()) {  // the name ends the label, before its ')'
      finding_.name_spans.emplace_back(
          finding_.sentence.size() + label.size() - 1 - names_[m].size(), names_[m].size());
    }
    finding_.sentence += label;
    return *this;
  }

 private:
  Finding& finding_;
  const std::vector<std::string>& names_;
};

// "bound 0.5", "bounds 0.5 and 1.0", "bounds 0.5, 1.0 and 1.5".
std::string bounds_phrase(const std::vector<double>& bounds) {
  std::string text = bounds.size() == 1 ? "bound " : "bounds ";
  for (std::size_t i = 0; i < bounds.size(); ++i) {
    if (i > 0) text += i + 1 == bounds.size() ? " and " : ", ";
    text += bound_text(bounds[i]);
  }
  return text;
}

// The bounds at which the relation of a finding is `order` (+1, -1 or 0).
std::vector<double> bounds_with(const Finding& f, int order) {
  std::vector<double> bounds;
  for (std::size_t i = 0; i < f.order_at_bound.size(); ++i) {
    if (f.order_at_bound[i] == order) bounds.push_back(bound_at(i));
  }
  return bounds;
}

std::string bounds_field(const std::vector<double>& bounds) {
  std::string text;
  for (const double bound : bounds) {
    if (!text.empty()) text += ' ';
    text += bound_text(bound);
  }
  return text;
}

// The problems on which leaving one method out changes the best measure:
// where that method alone has the smallest count and some other method solved
// the problem. Everywhere else every other method keeps its log2 ratio.
struct AloneBest {
  std::vector<std::vector<std::size_t>> problems;  // per method
  std::vector<double> runner_up;                   // per problem: the best measure of the others
  // Per problem, the methods that solved it with their measures, in method
  // order (only for the problems above: solvers[solvers_from[p] ...]).
  std::vector<std::size_t> solvers_from;  // problems + 1
  std::vector<std::pair<std::size_t, double>> solvers;
};

AloneBest alone_best(const table::MeasureTable& t) {
  const std::size_t methods = t.methods();
  AloneBest a;
  a.problems.resize(methods);
  a.runner_up.assign(t.problems, table::k_failed);
  std::vector<double> best(t.problems, table::k_failed), second(t.problems, table::k_failed);
  std::vector<std::size_t> best_method(t.problems, 0);
  for (std::size_t m = 0; m < methods; ++m) {
    t.visit(m, [&](std::size_t p, double measure) {
      if (measure == table::k_failed) return;
      if (best[p] == table::k_failed || measure < best[p]) {
        second[p] = best[p];
        best[p] = measure;
        best_method[p] = m;
      } else if (second[p] == table::k_failed || measure < second[p]) {
        second[p] = measure;
      }
    });
  }
  a.solvers_from.assign(t.problems + 1, 0);
  for (std::size_t p = 0; p < t.problems; ++p) {
    if (best[p] != table::k_failed && second[p] != table::k_failed && second[p] != best[p]) {
      a.problems[best_method[p]].push_back(p);
      a.runner_up[p] = second[p];
    }
  }
  // The solvers of those problems, counted, then placed in method order.
  const auto changes = [&](std::size_t p) { return a.runner_up[p] != table::k_failed; };
  for (std::size_t m = 0; m < methods; ++m) {
    t.visit(m, [&](std::size_t p, double measure) {
      if (measure != table::k_failed && changes(p)) ++a.solvers_from[p + 1];
    });
  }
  for (std::size_t p = 0; p < t.problems; ++p) a.solvers_from[p + 1] += a.solvers_from[p];
  a.solvers.resize(a.solvers_from.back());
  std::vector<std::size_t> next(a.solvers_from.begin(), a.solvers_from.end() - 1);
  for (std::size_t m = 0; m < methods; ++m) {
    t.visit(m, [&](std::size_t p, double measure) {
      if (measure != table::k_failed && changes(p)) a.solvers[next[p]++] = {m, measure};
    });
  }
  return a;
}

int sum_order(std::int64_t x, std::int64_t y) {
  return x > y ? 1 : x < y ? -1 : 0;
}

class Collector {
 public:
  Collector(StabilityFindings& s, std::size_t limit) : m_s(s), m_limit(limit) {}
  // Whether a finding of `kind` is still listed; counts it as omitted otherwise.
  bool take(FindingKind kind) {
    const auto k = static_cast<std::size_t>(kind);
    if (m_listed[k] < m_limit) {
      ++m_listed[k];
      return true;
    }
    ++m_s.omitted[k];
    return false;
  }
  // How many more findings of `kind` are listed.
  std::size_t room(FindingKind kind) const {
    return m_limit - m_listed[static_cast<std::size_t>(kind)];
  }
  // Counts `count` findings of `kind` as omitted; only when there is no room.
  void omit(FindingKind kind, std::size_t count) {
    m_s.omitted[static_cast<std::size_t>(kind)] += count;
  }

 private:
  StabilityFindings& m_s;
  std::size_t m_limit;
  std::size_t m_listed[3] = {0, 0, 0};
};

// The pairs of methods (a, b), a < b, ordered by a then b.
using MethodPair = std::pair<std::size_t, std::size_t>;

// The figures with one method left out, exactly as compute_figures would
// give them on the table without it. Only the methods that solved one of the
// problems whose best measure changes change their MEAN VALUE: the whole
// table's counts are corrected on those problems and summed over the
// abscissae in order.
class LeftOutSums : public LeftOutFigures {
 public:
  LeftOutSums(const table::MeasureTable& t, const analysis::Figures& full)
      : m_t(t), m_alone(alone_best(t)), m_best(analysis::best_measures(t)) {
    m_full = &full;
    m_slot.assign(t.methods(), k_none);
    // The whole table's profile counts: profile values are count / problems.
    m_counts.resize(t.methods());
    for (std::size_t m = 0; m < t.methods(); ++m) {
      for (const double value : full.profile[m]) {
        m_counts[m].push_back(std::llround(value * static_cast<double>(t.problems)));
      }
    }
  }

  // Whether leaving out `left` changes some problem's best measure; if not,
  // no MEAN VALUE changes.
  bool changes_anything(std::size_t left) const { return !m_alone.problems[left].empty(); }

  // The figures without `left`, in place of those without the one before.
  void leave_out(std::size_t left) {
    for (const std::size_t m : m_changed) m_slot[m] = k_none;
    const std::vector<double>& x = m_full->abscissae;
    m_changed.clear();
    m_delta.clear();
    for (const std::size_t p : m_alone.problems[left]) {
      for (std::size_t i = m_alone.solvers_from[p]; i < m_alone.solvers_from[p + 1]; ++i) {
        const auto [m, measure] = m_alone.solvers[i];
        if (m == left) continue;
        if (m_slot[m] == k_none) {
          m_slot[m] = m_changed.size();
          m_changed.push_back(m);
          m_delta.resize(m_delta.size() + x.size(), 0);
        }
        const double before = analysis::log2_ratio_of(measure, m_best.best[p]);
        const double after = analysis::log2_ratio_of(measure, m_alone.runner_up[p]);
        std::int64_t* delta = m_delta.data() + m_slot[m] * x.size();
        for (std::size_t j = 0; j < x.size(); ++j) {
          delta[j] += (after <= x[j] ? 1 : 0) - (before <= x[j] ? 1 : 0);
        }
      }
    }
    m_value.resize(m_changed.size());
    m_sum.resize(m_changed.size());
    for (std::size_t k = 0; k < m_changed.size(); ++k) {
      const std::size_t m = m_changed[k];
      profiles::MeanValueSum sum(static_cast<std::int64_t>(m_t.problems));
      for (std::size_t j = 0; j < x.size(); ++j)
        sum.add(m_counts[m][j] + m_delta[k * x.size() + j]);
      m_value[k] = sum.mean_value();
      m_sum[k] = sum.count_sum();
    }
  }

 private:
  const table::MeasureTable& m_t;
  AloneBest m_alone;
  analysis::ProblemBest m_best;
  std::vector<std::vector<std::int64_t>> m_counts;
  std::vector<std::int64_t> m_delta;  // per changed method: the count changes per abscissa
};

// The leave-one-out check for one left-out method. A pair of two unchanged
// methods keeps its order. A changed method x changes order with an
// unchanged y exactly when y's count sum lies strictly between x's sums
// before and after, which the methods sorted by count sum (`by_sum`) give by
// binary search.
class LeaveOneOut {
 public:
  LeaveOneOut(const table::MeasureTable& t, const analysis::Figures& full, StabilityFindings& s,
              Collector& collect)
      : m_t(t), m_full(full), m_s(s), m_collect(collect), m_without(t, full) {
    const std::size_t methods = t.methods();
    m_by_sum.resize(methods);
    for (std::size_t m = 0; m < methods; ++m) m_by_sum[m] = {full.mean_value_sum[m], m};
    std::sort(m_by_sum.begin(), m_by_sum.end());
  }

  void run() {
    for (std::size_t left = 0; left < m_t.methods(); ++left) {
      if (m_without.changes_anything(left)) without(left);
    }
  }

 private:
  static constexpr std::size_t k_none = ~std::size_t{0};

  std::int64_t sum_without(std::size_t m) const { return m_without.sum_without(m); }
  double value_without(std::size_t m) const { return m_without.value_without(m); }
  bool reverses(std::size_t a, std::size_t b) const {
    return analysis::mean_value_order(m_full, a, b) * sum_order(sum_without(a), sum_without(b)) ==
           -1;
  }

  void without(std::size_t left) {
    m_without.leave_out(left);
    const std::vector<std::size_t>& changed = m_without.changed();
    // Affected x against unaffected y: the y whose sum lies strictly between
    // x's sums before and after, a range of m_by_sum less the affected
    // methods and the left-out one in it.
    using Place = std::vector<std::pair<std::int64_t, std::size_t>>::const_iterator;
    struct Range {
      std::int64_t lo, hi;
      Place first, last;
    };
    const auto range_of = [&](std::size_t x) {
      Range r{std::min(m_full.mean_value_sum[x], sum_without(x)),
              std::max(m_full.mean_value_sum[x], sum_without(x)), m_by_sum.cend(), m_by_sum.cend()};
      r.first = std::upper_bound(m_by_sum.cbegin(), m_by_sum.cend(), std::make_pair(r.lo, k_none));
      r.last = std::max(r.first, std::lower_bound(m_by_sum.cbegin(), m_by_sum.cend(),
                                                  std::make_pair(r.hi, std::size_t{0})));
      return r;
    };
    const auto inside = [&](const Range& r, std::size_t y) {
      return r.lo < m_full.mean_value_sum[y] && m_full.mean_value_sum[y] < r.hi;
    };
    std::size_t count = 0;
    for (std::size_t i = 0; i < changed.size(); ++i) {
      const std::size_t x = changed[i];
      const Range r = range_of(x);
      if (r.first != r.last) {
        count += static_cast<std::size_t>(r.last - r.first);
        for (const std::size_t y : changed) count -= inside(r, y) ? 1 : 0;
        count -= inside(r, left) ? 1 : 0;
      }
      // Pairs of two affected methods, each once.
      for (std::size_t k = i + 1; k < changed.size(); ++k) {
        count += reverses(x, changed[k]) ? 1 : 0;
      }
    }
    const FindingKind kind = FindingKind::leave_one_out;
    const std::size_t room = m_collect.room(kind);
    if (count > room) m_collect.omit(kind, count - room);
    if (room > 0 && count > 0) {
      // The first `room` pairs in pair order, kept in a bounded heap.
      std::vector<MethodPair> listed;
      const auto offer = [&](std::size_t a, std::size_t b) {
        const MethodPair pair = a < b ? MethodPair{a, b} : MethodPair{b, a};
        if (listed.size() < room) {
          listed.push_back(pair);
          std::push_heap(listed.begin(), listed.end());
        } else if (pair < listed.front()) {
          std::pop_heap(listed.begin(), listed.end());
          listed.back() = pair;
          std::push_heap(listed.begin(), listed.end());
        }
      };
      for (std::size_t i = 0; i < changed.size(); ++i) {
        const std::size_t x = changed[i];
        const Range r = range_of(x);
        for (Place y = r.first; y != r.last; ++y) {
          if (y->second != left && !m_without.changes(y->second)) offer(x, y->second);
        }
        for (std::size_t k = i + 1; k < changed.size(); ++k) {
          if (reverses(x, changed[k])) offer(x, changed[k]);
        }
      }
      std::sort(listed.begin(), listed.end());
      for (const auto& [a, b] : listed) {
        m_collect.take(kind);
        add(left, a, b);
      }
    }
  }

  void add(std::size_t left, std::size_t a, std::size_t b) {
    const int before = analysis::mean_value_order(m_full, a, b);
    Finding f;
    f.kind = FindingKind::leave_one_out;
    f.a = before > 0 ? a : b;
    f.b = before > 0 ? b : a;
    f.left_out = left;
    f.value_a = m_s.mean_value[f.a];
    f.value_b = m_s.mean_value[f.b];
    f.reversed_a = value_without(f.a);
    f.reversed_b = value_without(f.b);
    Sentence say(f, m_t.names);
    say << "With every method, ";
    say.label(f.a) << " is ahead of ";
    say.label(f.b) << " by MEAN VALUE, " << fixed(f.value_a, 4) << " to " << fixed(f.value_b, 4)
                   << "; without ";
    say.label(left) << ", ";
    say.label(f.b) << " is ahead, " << fixed(f.reversed_b, 4) << " to " << fixed(f.reversed_a, 4)
                   << ".";
    m_s.findings.push_back(std::move(f));
  }

  const table::MeasureTable& m_t;
  const analysis::Figures& m_full;
  StabilityFindings& m_s;
  Collector& m_collect;
  LeftOutSums m_without;
  std::vector<std::pair<std::int64_t, std::size_t>> m_by_sum;  // (count sum, method), ascending
};

void find_leave_one_out(const table::MeasureTable& t, const analysis::Figures& full,
                        StabilityFindings& s, Collector& collect) {
  if (t.methods() < 3 || t.problems == 0) return;
  LeaveOneOut(t, full, s, collect).run();
}

// Lists through add(a, b) the pairs a < b of methods whose groups are
// `related` (a test on two groups' first members, never true within a
// group), in pair order while `collect` takes findings of `kind`, and
// counts the rest as omitted. Methods of one group relate alike to every
// other method, so the count costs O(groups^2) and the listing O(methods x
// groups) at most.
template <typename Related, typename Add>
void pairs_of_groups(const std::vector<std::size_t>& group_of, FindingKind kind, Collector& collect,
                     Related&& related, Add&& add) {
  std::vector<std::vector<std::size_t>> members;
  for (std::size_t m = 0; m < group_of.size(); ++m) {
    if (group_of[m] >= members.size()) members.resize(group_of[m] + 1);
    members[group_of[m]].push_back(m);
  }
  const std::size_t groups = members.size();
  const auto relates = [&](std::size_t g, std::size_t h) {
    return g != h && related(members[g].front(), members[h].front());
  };
  std::size_t count = 0;
  for (std::size_t g = 0; g < groups; ++g) {
    for (std::size_t h = g + 1; h < groups; ++h) {
      if (relates(g, h)) count += members[g].size() * members[h].size();
    }
  }
  const std::size_t room = collect.room(kind);
  if (count > room) collect.omit(kind, count - room);
  std::size_t left = std::min(room, count);
  std::vector<std::size_t> partners;
  for (std::size_t a = 0; a < group_of.size() && left > 0; ++a) {
    partners.clear();
    for (std::size_t h = 0; h < groups; ++h) {
      if (!relates(group_of[a], h)) continue;
      const std::vector<std::size_t>& in = members[h];
      auto b = std::upper_bound(in.begin(), in.end(), a);
      for (std::size_t k = 0; b != in.end() && k < left; ++b, ++k) partners.push_back(*b);
    }
    std::sort(partners.begin(), partners.end());
    for (std::size_t k = 0; k < partners.size() && left > 0; ++k, --left) {
      collect.take(kind);
      add(a, partners[k]);
    }
  }
}

// Numbers methods by the value of `key`: equal keys, one group.
template <typename Key>
std::vector<std::size_t> groups_by(std::size_t methods, Key&& key) {
  using K = decltype(key(std::size_t{0}));
  std::map<K, std::size_t> number;
  std::vector<std::size_t> group_of(methods);
  for (std::size_t m = 0; m < methods; ++m) {
    group_of[m] = number.try_emplace(key(m), number.size()).first->second;
  }
  return group_of;
}

void find_bound_changes(const table::MeasureTable& t, StabilityFindings& s, Collector& collect) {
  const std::size_t methods = t.methods();
  if (methods < 2) return;
  std::vector<analysis::Figures> at_bound;
  for (std::size_t i = 0; i < k_bound_count; ++i) {
    at_bound.push_back(analysis::compute_figures(t, bound_at(i)));
  }
  // Methods with the same count sum at every bound are never a finding.
  const auto group_of = groups_by(methods, [&](std::size_t m) {
    std::array<std::int64_t, k_bound_count> sums{};
    for (std::size_t i = 0; i < k_bound_count; ++i) sums[i] = at_bound[i].mean_value_sum[m];
    return sums;
  });
  const auto orders = [&](std::size_t a, std::size_t b) {
    std::vector<int> order(k_bound_count);
    for (std::size_t i = 0; i < k_bound_count; ++i) {
      order[i] = analysis::mean_value_order(at_bound[i], a, b);
    }
    return order;
  };
  const auto changes = [&](std::size_t a, std::size_t b) {
    bool ahead = false, behind = false;
    for (std::size_t i = 0; i < k_bound_count; ++i) {
      const int order = analysis::mean_value_order(at_bound[i], a, b);
      ahead = ahead || order > 0;
      behind = behind || order < 0;
    }
    return ahead && behind;
  };
  pairs_of_groups(
      group_of, FindingKind::bound, collect, changes, [&](std::size_t a, std::size_t b) {
        std::vector<int> order = orders(a, b);
        // The method ahead at the lowest bound where the two differ comes first.
        const int first = *std::find_if(order.begin(), order.end(), [](int o) { return o != 0; });
        Finding f;
        f.kind = FindingKind::bound;
        f.a = first > 0 ? a : b;
        f.b = first > 0 ? b : a;
        for (int& o : order) o *= first;
        f.order_at_bound = std::move(order);
        Sentence say(f, t.names);
        say << "By MEAN VALUE, ";
        say.label(f.a) << " is ahead of ";
        say.label(f.b) << " at " << bounds_phrase(bounds_with(f, 1));
        const std::vector<double> tied = bounds_with(f, 0);
        say << (tied.empty() ? ", and " : ", ");
        say.label(f.b) << " is ahead at " << bounds_phrase(bounds_with(f, -1));
        if (!tied.empty()) say << ", and they are tied at " << bounds_phrase(tied);
        say << ".";
        s.findings.push_back(std::move(f));
      });
}

void find_efficiency_disagreements(const table::MeasureTable& t, const analysis::Figures& full,
                                   StabilityFindings& s, Collector& collect) {
  // Methods with the same count sum and the same EFFICIENCY are never a finding.
  const auto group_of = groups_by(t.methods(), [&](std::size_t m) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &s.efficiency[m], sizeof bits);
    return std::make_pair(full.mean_value_sum[m], bits);
  });
  const auto disagree = [&](std::size_t a, std::size_t b) {
    return analysis::mean_value_order(full, a, b) *
               analysis::efficiency_order(s.efficiency[a], s.efficiency[b]) ==
           -1;
  };
  pairs_of_groups(
      group_of, FindingKind::efficiency, collect, disagree, [&](std::size_t a, std::size_t b) {
        const int by_mean = analysis::mean_value_order(full, a, b);
        Finding f;
        f.kind = FindingKind::efficiency;
        f.a = by_mean > 0 ? a : b;
        f.b = by_mean > 0 ? b : a;
        f.value_a = s.mean_value[f.a];
        f.value_b = s.mean_value[f.b];
        f.reversed_a = s.efficiency[f.a];
        f.reversed_b = s.efficiency[f.b];
        Sentence say(f, t.names);
        say.label(f.a) << " is ahead of ";
        say.label(f.b) << " by MEAN VALUE, " << fixed(f.value_a, 4) << " to " << fixed(f.value_b, 4)
                       << ", but behind by EFFICIENCY, " << fixed(f.reversed_a, 4) << " to "
                       << fixed(f.reversed_b, 4) << ".";
        s.findings.push_back(std::move(f));
      });
}

const char* kind_name(FindingKind kind) {
  switch (kind) {
    case FindingKind::leave_one_out:
      return "leave_one_out";
    case FindingKind::bound:
      return "bound";
    case FindingKind::efficiency:
      return "efficiency";
  }
  return "";
}

std::string omitted_sentence(std::size_t count, FindingKind kind) {
  return std::to_string(count) + " more " + kind_name(kind) + " finding" +
         (count == 1 ? " is" : "s are") + " not listed.";
}

}  // namespace

void for_each_method_left_out(const table::MeasureTable& t, const analysis::Figures& full,
                              const LeftOutVisitor& visit) {
  if (t.methods() < 3 || t.problems == 0) return;
  LeftOutSums without(t, full);
  for (std::size_t left = 0; left < t.methods(); ++left) {
    if (!without.changes_anything(left)) continue;
    without.leave_out(left);
    visit(left, without);
  }
}

double bound_at(std::size_t i) {
  return 0.5 * static_cast<double>(i + 1);
}

std::string efficiency_rule() {
  return std::string("EFFICIENCYs within a relative ") + analysis::k_efficiency_tolerance_text +
         " of each other tie";
}

bool StabilityFindings::stable() const {
  return findings.empty() && omitted[0] == 0 && omitted[1] == 0 && omitted[2] == 0;
}

std::string method_label(const std::vector<std::string>& names, std::size_t m) {
  std::string label = "method " + std::to_string(m + 1);
  if (!names[m].empty()) label += " (" + names[m] + ")";
  return label;
}

StabilityFindings find_instabilities(const table::MeasureTable& t, double bound,
                                     std::size_t limit) {
  StabilityFindings s;
  const analysis::Figures full = analysis::compute_figures(t, bound);
  s.bound = full.bound;
  s.methods = t.methods();
  s.problems = t.problems;
  s.mean_value = full.mean_value;
  s.mean_value_sum = full.mean_value_sum;
  s.efficiency = full.efficiency;
  Collector collect(s, limit);
  find_leave_one_out(t, full, s, collect);
  find_bound_changes(t, s, collect);
  find_efficiency_disagreements(t, full, s, collect);
  return s;
}

void write_stability_text(std::ostream& out, const StabilityFindings& s) {
  out << "Stability of the MEAN VALUE ranking: " << s.methods
      << (s.methods == 1 ? " method, " : " methods, ") << s.problems
      << (s.problems == 1 ? " problem" : " problems") << ", bound " << bound_text(s.bound) << ".\n";
  if (s.stable()) {
    out << "Nothing changes: no pair of methods changes order by MEAN VALUE when one other "
           "method is left out or between the bounds 0.5 and 5.0, and EFFICIENCY orders every "
           "pair as MEAN VALUE does.\n";
    return;
  }
  const std::string efficiency_heading =
      std::string("EFFICIENCY against MEAN VALUE (") + efficiency_rule() + "):";
  struct Section {
    FindingKind kind;
    const char* heading;
    const char* none;
  };
  const Section sections[] = {
      {FindingKind::leave_one_out,
       "Leaving one method out:", "No pair changes order when one other method is left out."},
      {FindingKind::bound, "Changing the bound from 0.5 to 5.0:",
       "No pair changes order between the bounds 0.5 and 5.0."},
      {FindingKind::efficiency, efficiency_heading.c_str(),
       "EFFICIENCY orders every pair as MEAN VALUE does."},
  };
  for (const Section& section : sections) {
    out << section.heading << '\n';
    bool any = false;
    for (const Finding& f : s.findings) {
      if (f.kind != section.kind) continue;
      out << "  " << textkit::terminal(f.sentence) << '\n';
      any = true;
    }
    const std::size_t omitted = s.omitted[static_cast<std::size_t>(section.kind)];
    if (omitted > 0) {
      out << "  " << omitted_sentence(omitted, section.kind) << '\n';
    } else if (!any) {
      out << "  " << section.none << '\n';
    }
  }
}

void write_stability_csv(std::ostream& out, const std::vector<std::string>& names,
                         const StabilityFindings& s) {
  out << "kind,method_a_number,method_a,method_b_number,method_b,left_out_number,left_out,"
         "a_ahead_at,b_ahead_at,tied_at,value_a,value_b,reversed_a,reversed_b,sentence\r\n";
  for (const Finding& f : s.findings) {
    out << kind_name(f.kind) << ',' << f.a + 1 << ',' << csv_field(names[f.a]) << ',' << f.b + 1
        << ',' << csv_field(names[f.b]) << ',';
    if (f.kind == FindingKind::leave_one_out) {
      out << f.left_out + 1 << ',' << csv_field(names[f.left_out]) << ',';
    } else {
      out << ",,";
    }
    if (f.kind == FindingKind::bound) {
      out << bounds_field(bounds_with(f, 1)) << ',' << bounds_field(bounds_with(f, -1)) << ','
          << bounds_field(bounds_with(f, 0)) << ",,,,,";
    } else {
      out << ",,," << shortest(f.value_a) << ',' << shortest(f.value_b) << ','
          << shortest(f.reversed_a) << ',' << shortest(f.reversed_b) << ',';
    }
    out << csv_field(f.sentence) << "\r\n";
  }
  for (std::size_t k = 0; k < 3; ++k) {
    if (s.omitted[k] == 0) continue;
    out << "omitted,,,,,,,,,,,,,," << csv_field(omitted_sentence(s.omitted[k], FindingKind(k)))
        << "\r\n";
  }
}

}  // namespace compare
