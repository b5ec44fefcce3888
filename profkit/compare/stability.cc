#include "profkit/compare/stability.h"

#include <algorithm>
#include <cmath>
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
};

AloneBest alone_best(const table::MeasureTable& t) {
  const std::size_t methods = t.methods();
  AloneBest a;
  a.problems.resize(methods);
  a.runner_up.assign(t.problems, table::k_failed);
  for (std::size_t p = 0; p < t.problems; ++p) {
    double best = table::k_failed, second = table::k_failed;
    std::size_t best_method = 0;
    for (std::size_t m = 0; m < methods; ++m) {
      const double measure = t.at(m, p);
      if (measure == table::k_failed) continue;
      if (best == table::k_failed || measure < best) {
        second = best;
        best = measure;
        best_method = m;
      } else if (second == table::k_failed || measure < second) {
        second = measure;
      }
    }
    if (best != table::k_failed && second != table::k_failed && second != best) {
      a.problems[best_method].push_back(p);
      a.runner_up[p] = second;
    }
  }
  return a;
}

int sum_order(std::int64_t x, std::int64_t y) {
  return x > y ? 1 : x < y ? -1 : 0;
}

// MEAN VALUEs of every method with method `left` left out (left's own entry
// is not meaningful), exactly as compute_figures would give them on the
// table without it: the profile counts of the whole table, corrected on the
// problems whose best measure changes, summed over the abscissae in order as
// compute_figures sums them. `counts[m][j]` are the whole table's counts.
MeanValues mean_values_without(const table::MeasureTable& t, analysis::ProblemBest& best,
                               const analysis::Figures& full,
                               const std::vector<std::vector<std::int64_t>>& counts,
                               const AloneBest& alone, std::size_t left) {
  const std::size_t methods = t.methods();
  const std::size_t abscissae = full.abscissae.size();
  const std::vector<std::size_t>& changed = alone.problems[left];
  MeanValues means{std::vector<double>(methods, 0.0), std::vector<std::int64_t>(methods, 0)};
  std::vector<std::int64_t> count(abscissae);
  std::vector<double> before(changed.size()), after(changed.size());
  for (std::size_t m = 0; m < methods; ++m) {
    if (m == left) continue;
    for (std::size_t i = 0; i < changed.size(); ++i) {
      const std::size_t p = changed[i];
      before[i] = analysis::log2_ratio_at(t, best, m, p);
      const double old_best = best.best[p];
      best.best[p] = alone.runner_up[p];
      after[i] = analysis::log2_ratio_at(t, best, m, p);
      best.best[p] = old_best;
    }
    for (std::size_t j = 0; j < abscissae; ++j) {
      std::int64_t c = counts[m][j];
      for (std::size_t i = 0; i < changed.size(); ++i) {
        c += (after[i] <= full.abscissae[j] ? 1 : 0) - (before[i] <= full.abscissae[j] ? 1 : 0);
      }
      count[j] = c;
    }
    profiles::MeanValueSum sum(static_cast<std::int64_t>(t.problems));
    for (std::size_t j = 0; j < abscissae; ++j) sum.add(count[j]);
    means.value[m] = sum.mean_value();
    means.sum[m] = sum.count_sum();
  }
  return means;
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

 private:
  StabilityFindings& m_s;
  std::size_t m_limit;
  std::size_t m_listed[3] = {0, 0, 0};
};

void find_leave_one_out(const table::MeasureTable& t, const analysis::Figures& full,
                        StabilityFindings& s, Collector& collect) {
  const std::size_t methods = t.methods();
  for_each_method_left_out(t, full, [&](std::size_t left, const MeanValues& reduced) {
    for (std::size_t a = 0; a < methods; ++a) {
      if (a == left) continue;
      for (std::size_t b = a + 1; b < methods; ++b) {
        if (b == left) continue;
        const int before = analysis::mean_value_order(full, a, b);
        const int after = sum_order(reduced.sum[a], reduced.sum[b]);
        if (before * after != -1 || !collect.take(FindingKind::leave_one_out)) continue;
        Finding f;
        f.kind = FindingKind::leave_one_out;
        f.a = before > 0 ? a : b;
        f.b = before > 0 ? b : a;
        f.left_out = left;
        f.value_a = s.mean_value[f.a];
        f.value_b = s.mean_value[f.b];
        f.reversed_a = reduced.value[f.a];
        f.reversed_b = reduced.value[f.b];
        Sentence say(f, t.names);
        say << "With every method, ";
        say.label(f.a) << " is ahead of ";
        say.label(f.b) << " by MEAN VALUE, " << fixed(f.value_a, 4) << " to " << fixed(f.value_b, 4)
                       << "; without ";
        say.label(left) << ", ";
        say.label(f.b) << " is ahead, " << fixed(f.reversed_b, 4) << " to "
                       << fixed(f.reversed_a, 4) << ".";
        s.findings.push_back(std::move(f));
      }
    }
  });
}

void find_bound_changes(const table::MeasureTable& t, StabilityFindings& s, Collector& collect) {
  const std::size_t methods = t.methods();
  if (methods < 2) return;
  std::vector<analysis::Figures> at_bound;
  for (std::size_t i = 0; i < k_bound_count; ++i) {
    at_bound.push_back(analysis::compute_figures(t, bound_at(i)));
  }
  for (std::size_t a = 0; a < methods; ++a) {
    for (std::size_t b = a + 1; b < methods; ++b) {
      std::vector<int> order(k_bound_count);
      bool ahead = false, behind = false;
      for (std::size_t i = 0; i < k_bound_count; ++i) {
        order[i] = analysis::mean_value_order(at_bound[i], a, b);
        ahead = ahead || order[i] > 0;
        behind = behind || order[i] < 0;
      }
      if (!ahead || !behind || !collect.take(FindingKind::bound)) continue;
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
    }
  }
}

void find_efficiency_disagreements(const table::MeasureTable& t, const analysis::Figures& full,
                                   StabilityFindings& s, Collector& collect) {
  const std::size_t methods = t.methods();
  for (std::size_t a = 0; a < methods; ++a) {
    for (std::size_t b = a + 1; b < methods; ++b) {
      const int by_mean = analysis::mean_value_order(full, a, b);
      const int by_efficiency = analysis::efficiency_order(s.efficiency[a], s.efficiency[b]);
      if (by_mean * by_efficiency != -1 || !collect.take(FindingKind::efficiency)) continue;
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
    }
  }
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

void for_each_method_left_out(
    const table::MeasureTable& t, const analysis::Figures& full,
    const std::function<void(std::size_t left, const MeanValues& without)>& visit) {
  const std::size_t methods = t.methods();
  if (methods < 3 || t.problems == 0) return;
  const AloneBest alone = alone_best(t);
  analysis::ProblemBest best = analysis::best_measures(t);
  // The whole table's profile counts: profile values are count / problems.
  std::vector<std::vector<std::int64_t>> counts(methods);
  for (std::size_t m = 0; m < methods; ++m) {
    for (const double value : full.profile[m]) {
      counts[m].push_back(std::llround(value * static_cast<double>(t.problems)));
    }
  }
  for (std::size_t left = 0; left < methods; ++left) {
    if (alone.problems[left].empty()) continue;
    visit(left, mean_values_without(t, best, full, counts, alone, left));
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
