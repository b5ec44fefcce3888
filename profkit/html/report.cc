#include "profkit/html/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>

#include "arithmetic/profile_arithmetic.h"
#include "profkit/analysis/figures.h"
#include "profkit/bootstrap/bootstrap.h"
#include "profkit/budget/budget.h"
#include "profkit/compare/pairs.h"
#include "profkit/compare/stability.h"
#include "profkit/curves/export.h"
#include "profkit/curves/summary_figure.h"
#include "profkit/curves/svg_plot.h"
#include "profkit/html/verdict_section.h"
#include "profkit/text/escape.h"
#include "profkit/text/numbers.h"
#include "profkit/verdict/verdict.h"

namespace report {
namespace {

constexpr const char* k_style =
    R"(body{font:15px/1.45 system-ui,-apple-system,"Segoe UI",sans-serif;color:#1a1a1a;background:#fff;max-width:72rem;margin:0 auto;padding:1rem 1.5rem}
h1{font-size:1.6rem;margin:.5rem 0}
h2{font-size:1.25rem;border-bottom:1px solid #bbb;padding-bottom:.2rem;margin:2.2rem 0 .3rem}
h3{font-size:1.05rem;margin:1rem 0 .3rem}
p.how{color:#444;font-style:italic;margin:.2rem 0 .8rem}
p.meta{color:#333;margin:.2rem 0}
p.note{color:#333;font-size:.92rem}
nav ul{list-style:none;padding:0;margin:.6rem 0;display:flex;flex-wrap:wrap;gap:.2rem 1.2rem}
table{border-collapse:collapse;margin:.4rem 0 .8rem;font-variant-numeric:tabular-nums}
th,td{padding:.2rem .55rem;border-bottom:1px solid #ddd;text-align:left;vertical-align:top}
thead th{border-bottom:2px solid #888}
th[colspan]{text-align:center}
th.n,td.n{text-align:right}
td.n{white-space:nowrap}
td.name,th.name{white-space:pre}
td.msg{white-space:pre-wrap}
figure{margin:.5rem 0}
svg{max-width:100%;height:auto}
.scroll{overflow-x:auto}
.error{color:#a00020}
.warning{color:#8a5200}
@page{margin:15mm}
@media print{body{max-width:none;font-size:10pt;padding:0}nav{display:none}.scroll{overflow:visible}h2{break-after:avoid}figure,tr{break-inside:avoid}a{color:inherit;text-decoration:none}}
)";

// Added to k_style on a page of several parts: a part's heading above its sections'.
constexpr const char* k_parts_style =
    "h2.part{font-size:1.5rem;border-bottom:3px solid #555;margin-top:3rem}\n";

constexpr const char* k_no_method = "The table holds no method.";

// `value` with 4 decimals as profcmp writes an F10.4 field, without its
// blanks ("0.7381"), or "not defined".
std::string fixed4(double value) {
  return textkit::figure(value, 4);
}

// The line under a heading that says how to read the section.
void how(std::ostream& out, std::string_view text) {
  out << "<p class=\"how\">" << text << "</p>\n";
}

// `prefix` leads the id on a page of several parts ("criterion-nit-").
void open_section(std::ostream& out, std::string_view prefix, std::string_view id,
                  std::string_view title) {
  out << "<section id=\"" << prefix << id << "\">\n<h2>" << title << "</h2>\n";
}

// What the sections of one table are drawn from.
struct SectionInputs {
  const table::MeasureTable& t;
  std::string criterion;  // the measure's name as the plots label it
  std::string label;      // the part's label (a history's tolerance)
  std::string prefix;     // led before the sections' ids
};

std::string number_cell(const std::string& text) {
  return "<td class=\"n\">" + text + "</td>";
}

// A name as the page shows it: escaped, and isolated from the text around it
// so that right-to-left characters or direction controls in it cannot
// reorder that text.
std::string isolated(std::string_view name) {
  return "<bdi>" + html_escape(name) + "</bdi>";
}

std::string name_cell(const std::string& name) {
  return "<td class=\"name\">" + isolated(name) + "</td>";
}

// compare::method_label() with the name isolated.
std::string method_label(const std::vector<std::string>& names, std::size_t m) {
  const std::string label = compare::method_label(names, m);
  if (names[m].empty()) return html_escape(label);
  const std::size_t name_at = label.size() - 1 - names[m].size();  // the name ends before ')'
  return html_escape(label.substr(0, name_at)) + isolated(names[m]) + ")";
}

// A finding's sentence with the names in it isolated.
std::string sentence_html(const compare::Finding& finding) {
  std::string html;
  std::size_t at = 0;
  for (const auto& [start, length] : finding.name_spans) {
    html += html_escape(std::string_view(finding.sentence).substr(at, start - at));
    html += isolated(std::string_view(finding.sentence).substr(start, length));
    at = start + length;
  }
  return html + html_escape(std::string_view(finding.sentence).substr(at));
}

std::string interval_text(const bootstrap::Interval& i) {
  if (std::isnan(i.lower) && std::isnan(i.upper)) return fixed4(i.lower);
  return fixed4(i.lower) + "\xE2\x80\x93" + fixed4(i.upper);  // en dash
}

void write_audit(std::ostream& out, const Settings& s) {
  open_section(out, "", "audit", "Audit of the table");
  how(out,
      "What <code>profkit check</code> finds in the table: errors change or stop what profcmp "
      "computes, warnings point at entries it most likely reads not as meant, notes say what "
      "is worth knowing.");
  if (!s.audit_summary.empty()) out << "<p>" << html_escape(s.audit_summary) << "</p>\n";
  if (s.audit.empty()) {
    out << "<p>No findings.</p>\n";
  } else {
    out << "<div class=\"scroll\"><table>\n<thead><tr><th>kind</th><th>where</th>"
           "<th>finding</th></tr></thead>\n<tbody>\n";
    for (const AuditItem& item : s.audit) {
      const std::string kind = html_escape(item.severity);
      out << "<tr><td class=\"" << kind << "\">" << kind << "</td><td>" << html_escape(item.where)
          << "</td><td class=\"msg\">" << html_escape(item.message) << "</td></tr>\n";
    }
    out << "</tbody>\n</table></div>\n";
  }
  out << "</section>\n";
}

// The exported SVG document without its XML prolog, as an element of the page.
void write_profiles(std::ostream& out, const SectionInputs& in, const Settings& s,
                    const analysis::Figures& f) {
  open_section(out, in.prefix, "profiles", "Performance profiles");
  how(out,
      "At x, the share of problems on which the method's count is within a factor 2<sup>x</sup> "
      "of the best count: higher is better; the value at 0 is the share of problems on which it "
      "is best, the level far right the share it solved.");
  std::ostringstream svg;
  curves::PlotOptions options;
  options.figure = s.figure;
  options.figure.title.clear();
  options.criterion = in.criterion;
  options.failures_nonpositive = s.failures_nonpositive;
  curves::write_svg(svg, in.t, options);
  const std::string document = svg.str();
  const std::size_t start = document.find("<svg");
  out << "<figure>\n"
      << (start == std::string::npos ? document : document.substr(start)) << "</figure>\n";
  const std::string bound = textkit::bound_text(f.bound);
  char ratio[32];
  std::snprintf(ratio, sizeof ratio, "%g", std::exp2(f.bound));
  char step[32];
  std::snprintf(step, sizeof step, "%g", f.step);
  out << "<p class=\"note\">The plot shows each exact staircase over every ratio the table "
         "holds. profcmp's figures (MEAN VALUE, and rho at the bound below) look only at x from "
         "0 to the bound "
      << bound << " (ratios up to " << ratio << "), at 21 abscissae in steps of " << step;
  if (f.bound != s.bound) {
    out << "; the bound asked for, " << html_escape(fixed4(s.bound))
        << ", is rounded up to a multiple of 0.5 within 0.5 to 5.0 as profcmp does";
  }
  out << ".</p>\n</section>\n";
}

void write_summary(std::ostream& out, const SectionInputs& in, const analysis::Figures& f,
                   const bootstrap::Result& boot) {
  const table::MeasureTable& t = in.t;
  const std::string bound = textkit::bound_text(f.bound);
  open_section(out, in.prefix, "summary", "Summary");
  how(out,
      "MEAN VALUE and EFFICIENCY as profcmp reports them (larger is better, 1 at most); rho at 0: "
      "share of problems on which the method is best; rho at the bound: share within the bound; "
      "the ranges are 95 % bootstrap intervals.");
  if (t.methods() == 0) {
    out << "<p>" << k_no_method << "</p>\n</section>\n";
    return;
  }
  out << "<div class=\"scroll\"><table>\n<thead><tr><th class=\"n\">#</th><th>method</th>"
         "<th class=\"n\">MEAN VALUE</th><th class=\"n\">EFFICIENCY</th>"
         "<th class=\"n\">rho at 0</th><th class=\"n\">rho at "
      << bound
      << "</th><th class=\"n\">failures</th><th class=\"n\">MEAN VALUE 95 %</th>"
         "<th class=\"n\">rho at 0, 95 %</th><th class=\"n\">rho at "
      << bound << ", 95 %</th></tr></thead>\n<tbody>\n";
  std::vector<std::size_t> solved_nothing;
  for (std::size_t m = 0; m < t.methods(); ++m) {
    const std::size_t failures = t.problems - t.solved_count(m);
    if (t.problems > 0 && failures == t.problems && f.efficiency[m] > 0.0) {
      solved_nothing.push_back(m);
    }
    const bootstrap::MethodResult& b = boot.methods[m];
    out << "<tr>" << number_cell(std::to_string(m + 1)) << name_cell(t.names[m])
        << number_cell(fixed4(f.mean_value[m])) << number_cell(fixed4(f.efficiency[m]))
        << number_cell(fixed4(f.profile[m].front())) << number_cell(fixed4(f.profile[m].back()))
        << number_cell(std::to_string(failures)) << number_cell(interval_text(b.mean_value))
        << number_cell(interval_text(b.rho_0)) << number_cell(interval_text(b.rho_bound))
        << "</tr>\n";
  }
  out << "</tbody>\n</table></div>\n";
  // EFFICIENCY charges a failure an excess of 1, which a solved problem's
  // excess over the best (a share of the problem's total) can approach, so a
  // method that failed everywhere still has a finite score.
  if (!solved_nothing.empty()) {
    out << "<p>";
    for (std::size_t i = 0; i < solved_nothing.size(); ++i) {
      if (i > 0) out << (i + 1 == solved_nothing.size() ? " and " : ", ");
      out << method_label(t.names, solved_nothing[i]);
    }
    out << " solved no problem"
        << (solved_nothing.size() == 1 ? " and still shows" : " and still show")
        << " an EFFICIENCY above 0: EFFICIENCY is the problem count over the sum of the "
           "relative excesses, and profcmp counts a failure's excess as 1, the largest a solved "
           "problem's excess over the best can approach, so a method that failed everywhere has "
           "a finite score, whose share of the largest is above 0.</p>\n";
  }
  out << "</section>\n";
}

// Above compare::k_every_pair_limit methods: each method against the best and
// the next by MEAN VALUE, so the section grows with the methods, not their square.
void write_ranked_pairs(std::ostream& out, const SectionInputs& in, double bound) {
  const table::MeasureTable& t = in.t;
  const compare::RankedPairs r = compare::rank_pairs(t, 0.0, bound);
  const std::size_t m = t.methods();
  open_section(out, in.prefix, "pairs", "Pairwise verdicts");
  how(out,
      "Each cell: problems the method wins, ties and loses against the best method by MEAN VALUE "
      "and against the next method in the MEAN VALUE ranking. The smaller count wins; a solved "
      "problem wins against a failure; equal counts and two failures tie.");
  out << "<p class=\"note\">" << m << " methods are more than " << compare::k_every_pair_limit
      << ", so not every pair is shown: <code>profkit report --all-pairs</code> or "
         "<code>profkit pairs --all-pairs</code> gives all "
      << m * (m - 1) << " ordered pairs.</p>\n";
  out << "<div class=\"scroll\"><table>\n<thead><tr><th class=\"n\">rank</th>"
         "<th class=\"n\">#</th><th>method</th><th class=\"n\">MEAN VALUE</th>"
         "<th class=\"n\">against best</th><th class=\"n\">against next</th></tr></thead>\n"
         "<tbody>\n";
  auto cell = [](const compare::RankedPairs::Row& row) {
    return std::to_string(row.wins) + "-" + std::to_string(row.ties) + "-" +
           std::to_string(row.losses);
  };
  for (std::size_t rank = 0; rank < m; ++rank) {
    const std::size_t method = r.order[rank];
    out << "<tr>" << number_cell(std::to_string(rank + 1))
        << number_cell(std::to_string(method + 1)) << name_cell(t.names[method])
        << number_cell(fixed4(r.mean_value[method]))
        << number_cell(rank == 0 ? "\xE2\x80\x94" : cell(r.against_best[rank]))
        << number_cell(rank + 1 == m ? "\xE2\x80\x94" : cell(r.against_next[rank])) << "</tr>\n";
  }
  out << "</tbody>\n</table></div>\n</section>\n";
}

void write_pairs(std::ostream& out, const SectionInputs& in, const Settings& s) {
  const table::MeasureTable& t = in.t;
  if (!s.every_pair && t.methods() > compare::k_every_pair_limit) {
    write_ranked_pairs(out, in, s.bound);
    return;
  }
  const compare::PairCounts pairs = compare::count_pairs(t, 0.0);
  open_section(out, in.prefix, "pairs", "Pairwise verdicts");
  how(out,
      "Each cell: problems the row method wins, ties and loses against the column method. The "
      "smaller count wins; a solved problem wins against a failure; equal counts and two "
      "failures tie.");
  if (t.methods() == 0) {
    out << "<p>" << k_no_method << "</p>\n</section>\n";
    return;
  }
  out << "<div class=\"scroll\"><table>\n<thead><tr><th class=\"n\">#</th><th>method</th>";
  for (std::size_t b = 0; b < t.methods(); ++b) {
    out << "<th class=\"n\" title=\"" << html_escape(t.names[b]) << "\">" << b + 1 << "</th>";
  }
  out << "</tr></thead>\n<tbody>\n";
  for (std::size_t a = 0; a < t.methods(); ++a) {
    out << "<tr>" << number_cell(std::to_string(a + 1)) << name_cell(t.names[a]);
    for (std::size_t b = 0; b < t.methods(); ++b) {
      if (a == b) {
        out << number_cell("\xE2\x80\x94");  // em dash
        continue;
      }
      out << number_cell(std::to_string(pairs.wins(a, b)) + "-" + std::to_string(pairs.ties(a, b)) +
                         "-" + std::to_string(pairs.losses(a, b)));
    }
    out << "</tr>\n";
  }
  out << "</tbody>\n</table></div>\n</section>\n";
}

void write_stability(std::ostream& out, const SectionInputs& in, double bound) {
  const table::MeasureTable& t = in.t;
  const compare::StabilityFindings s = compare::find_instabilities(t, bound);
  open_section(out, in.prefix, "stability", "Stability of the verdict");
  how(out,
      "Whether the order by MEAN VALUE holds when one other method is left out, when the bound "
      "is any of 0.5 to 5.0, and under EFFICIENCY. A reversal listed here means the verdict "
      "depends on that choice.");
  // The ranking itself: by MEAN VALUE compared exactly, larger first, ties in
  // table order.
  std::vector<std::size_t> order(t.methods());
  for (std::size_t m = 0; m < order.size(); ++m) order[m] = m;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return s.mean_value_sum[a] > s.mean_value_sum[b];
  });
  if (t.methods() == 0) {
    out << "<p>" << k_no_method << "</p>\n</section>\n";
    return;
  }
  out << "<p>Ranking by MEAN VALUE at the bound " << textkit::bound_text(s.bound)
      << ":</p>\n<ol>\n";
  for (const std::size_t m : order) {
    out << "<li>" << method_label(t.names, m) << ", " << fixed4(s.mean_value[m]) << "</li>\n";
  }
  out << "</ol>\n";
  if (s.stable()) {
    out << "<p>No pair of methods changes order: leaving out any one method, moving the bound "
           "between 0.5 and 5.0 and ranking by EFFICIENCY all keep the MEAN VALUE order.</p>\n";
    out << "</section>\n";
    return;
  }
  const struct {
    compare::FindingKind kind;
    const char* title;
    const char* none;
  } kinds[] = {
      {compare::FindingKind::leave_one_out, "Leaving one method out",
       "Leaving out any one method keeps the order of the others."},
      {compare::FindingKind::bound, "Changing the bound",
       "No pair changes order between the bounds 0.5 and 5.0."},
      {compare::FindingKind::efficiency, "EFFICIENCY against MEAN VALUE",
       "EFFICIENCY orders every pair as MEAN VALUE does."},
  };
  for (const auto& kind : kinds) {
    out << "<h3>" << kind.title;
    if (kind.kind == compare::FindingKind::efficiency) {
      out << " (" << html_escape(compare::efficiency_rule()) << ")";
    }
    out << "</h3>\n";
    std::size_t listed = 0;
    for (const compare::Finding& finding : s.findings) {
      if (finding.kind != kind.kind) continue;
      if (listed++ == 0) out << "<ul>\n";
      out << "<li>" << sentence_html(finding) << "</li>\n";
    }
    const std::size_t omitted = s.omitted[static_cast<std::size_t>(kind.kind)];
    if (listed > 0) out << "</ul>\n";
    if (omitted > 0) out << "<p>" << omitted << " more of this kind are not listed.</p>\n";
    if (listed == 0 && omitted == 0) out << "<p>" << kind.none << "</p>\n";
  }
  out << "</section>\n";
}

void write_bootstrap(std::ostream& out, const SectionInputs& in, const bootstrap::Result& b,
                     const analysis::Figures& f) {
  const table::MeasureTable& t = in.t;
  const std::string bound = textkit::bound_text(f.bound);
  open_section(out, in.prefix, "bootstrap", "Bootstrap over problems");
  how(out,
      "The problems are a sample: each replicate draws as many problems with replacement and "
      "recomputes. Estimate on the whole table, then the 95 % percentile interval; first: share "
      "of replicates in which the method has the largest MEAN VALUE (tied methods all count).");
  out << "<p class=\"meta\">" << b.replicates << " replicates of " << b.problems
      << " problems, seed " << b.seed
      << " (std::mt19937_64); interval ends: the sorted replicate values at ranks "
         "floor(0.025 (N&#8722;1)) and ceil(0.975 (N&#8722;1)).</p>\n";
  if (t.methods() == 0) {
    out << "<p>" << k_no_method << "</p>\n</section>\n";
    return;
  }
  out << "<div class=\"scroll\"><table>\n<thead>\n<tr><th class=\"n\" rowspan=\"2\">#</th>"
         "<th rowspan=\"2\">method</th><th colspan=\"3\">MEAN VALUE</th><th colspan=\"3\">rho "
         "at 0</th><th colspan=\"3\">rho at "
      << bound << "</th><th class=\"n\" rowspan=\"2\">first</th></tr>\n<tr>";
  for (int i = 0; i < 3; ++i) {
    out << "<th class=\"n\">estimate</th><th class=\"n\">lower</th><th class=\"n\">upper</th>";
  }
  out << "</tr>\n</thead>\n<tbody>\n";
  for (std::size_t m = 0; m < t.methods(); ++m) {
    const bootstrap::MethodResult& r = b.methods[m];
    out << "<tr>" << number_cell(std::to_string(m + 1)) << name_cell(t.names[m]);
    for (const bootstrap::Interval* i : {&r.mean_value, &r.rho_0, &r.rho_bound}) {
      out << number_cell(fixed4(i->estimate)) << number_cell(fixed4(i->lower))
          << number_cell(fixed4(i->upper));
    }
    out << number_cell(fixed4(r.p_first)) << "</tr>\n";
  }
  out << "</tbody>\n</table></div>\n</section>\n";
}

void write_budget(std::ostream& out, const SectionInputs& in, const Settings& s) {
  const table::MeasureTable& t = in.t;
  const budget::BudgetCurves curves = budget::compute(t);
  const budget::GeometricMeans means = budget::shifted_geometric_means(t);
  open_section(out, in.prefix, "budget", "Budget view");
  how(out,
      "Independent of which methods are compared: at a count c, the share of all problems the "
      "method solved with at most c; the virtual best takes the smallest count of any method. "
      "Smaller shifted geometric means are better.");
  out << "<figure>\n";
  curves::FigureOptions figure = s.figure;
  figure.title.clear();
  curves::write_svg_element(out, budget::budget_plot(t.names, curves, in.criterion, figure));
  out << "</figure>\n";
  out << "<table>\n<thead><tr><th class=\"n\">#</th><th>method</th>"
         "<th class=\"n\">shifted geometric mean</th><th class=\"n\">failures</th></tr>"
         "</thead>\n<tbody>\n";
  out << "<tr>" << number_cell("0") << name_cell(budget::k_virtual_best_name)
      << number_cell(textkit::figure(means.virtual_best, 2))
      << number_cell(std::to_string(means.virtual_best_failures)) << "</tr>\n";
  for (std::size_t m = 0; m < t.methods(); ++m) {
    out << "<tr>" << number_cell(std::to_string(m + 1)) << name_cell(t.names[m])
        << number_cell(textkit::figure(means.methods[m], 2))
        << number_cell(std::to_string(means.failures[m])) << "</tr>\n";
  }
  out << "</tbody>\n</table>\n<p class=\"note\">Shifted geometric mean: exp(mean(log(count + "
      << textkit::figure(means.shift, 2) << "))) &#8722; " << textkit::figure(means.shift, 2)
      << " over all problems, a failure charged at twice the largest count in the table (2 "
         "&#215; "
      << budget::count_text(means.largest) << " = " << textkit::figure(means.failure_charge, 2)
      << ").</p>\n</section>\n";
}

// How to give the dimensions data profiles need, when some problem has none.
void write_missing_dimensions(std::ostream& out, const Settings& s) {
  out << "<p>Data profiles need every problem's dimension, and problem "
      << isolated(s.without_dimension)
      << " has none: give them in a dimension column (<code>--dimension-column NAME</code>, by "
         "default <code>dimension</code>) or with <code>--dimensions FILE</code>, a CSV with the "
         "header <code>problem,dimension</code>.</p>\n";
}

void write_data_profiles(std::ostream& out, const SectionInputs& in, const Settings& s) {
  open_section(out, in.prefix, k_data_id, "Data profiles");
  how(out,
      "At kappa, the share of problems the method solved within kappa simplex gradients, that is "
      "kappa (n + 1) evaluations for a problem of dimension n: higher is better. Unlike the "
      "performance profiles, the cost is not compared with the best method's.");
  if (s.dimensions.empty()) {
    write_missing_dimensions(out, s);
  } else {
    out << "<figure>\n";
    curves::FigureOptions figure = s.figure;
    figure.title.clear();
    curves::write_svg_element(out,
                              curves::data_profile_chart(in.t, s.dimensions, in.label, {}, figure));
    out << "</figure>\n";
  }
  out << "</section>\n";
}

// The verdict and the bootstrap of one table, from one bootstrap draw.
struct Decided {
  bootstrap::Result boot;
  verdict::Verdict ranked;
};

Decided decide(const table::MeasureTable& t, const Settings& s) {
  Decided d;
  d.ranked = verdict::decide(t, {s.bound, 0.0, s.replicates, s.seed}, &d.boot);
  return d;
}

// Every section of one table after its verdict, in page order. The figures
// are computed once here and shared, with the bootstrap of `d`, by the
// sections that show them.
void write_section(std::ostream& out, const SectionInputs& in, const Settings& s,
                   const Decided& d) {
  const analysis::Figures f = analysis::compute_figures(in.t, s.bound);
  const bootstrap::Result& boot = d.boot;
  write_profiles(out, in, s, f);
  write_summary(out, in, f, boot);
  write_pairs(out, in, s);
  write_stability(out, in, s.bound);
  write_bootstrap(out, in, boot, f);
  write_budget(out, in, s);
  if (s.history) write_data_profiles(out, in, s);
}

// The page up to its heading's end: head, styles, <body>, <header>, <h1>.
void write_head(std::ostream& out, const Settings& s, std::string_view more_style) {
  const std::string source = html_escape(s.source);
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<title>"
      << (s.figure.title.empty() ? "profkit report: " + source : html_escape(s.figure.title))
      << "</title>\n<style>\n"
      << k_style << more_style << "</style>\n</head>\n<body>\n<header>\n<h1>"
      << (s.figure.title.empty() ? "Performance profiles of <bdi>" + source + "</bdi>"
                                 : "<bdi>" + html_escape(s.figure.title) + "</bdi>")
      << "</h1>\n";
}

std::string counts_text(const table::MeasureTable& t) {
  return std::to_string(t.methods()) + (t.methods() == 1 ? " method, " : " methods, ") +
         std::to_string(t.problems) + (t.problems == 1 ? " problem" : " problems");
}

std::string failure_rule_text(const Settings& s) {
  return s.failures_nonpositive ? "a count of 0 or less, or a blank count, is a failure"
                                : "counts below 1 are taken as 1, as profcmp does";
}

// "a", "a and b", "a, b and c", each escaped.
std::string listed(const std::vector<Part>& parts) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) text += i + 1 == parts.size() ? " and " : ", ";
    text += isolated(parts[i].label);
  }
  return text;
}

// The meta line of a history's page.
void write_history_meta(std::ostream& out, const std::vector<Part>& parts, double bound) {
  out << "<p class=\"meta\">Convergence history: a run's cost is its first evaluation with f "
         "&#8804; f<sub>L</sub> + tau (f(x<sub>0</sub>) &#8722; f<sub>L</sub>), f<sub>L</sub> "
         "being the lowest value any run reached on the problem, at "
      << (parts.size() == 1 ? "tolerance " : "tolerances ") << listed(parts) << "; bound "
      << textkit::bound_text(bound) << ", " << counts_text(*parts.front().table)
      << "; a run that never passes is a failure.</p>\n";
}

// The summary figure of a history's tolerances, above their sections.
void write_overview(std::ostream& out, const std::vector<Part>& parts, const Settings& s) {
  open_section(out, "", k_overview_id, "Every tolerance");
  how(out, std::string(s.dimensions.empty() ? "Performance profiles"
                                            : "Performance profiles (top) and data profiles "
                                              "(bottom)") +
               " at each tolerance of the convergence test, each method in one style throughout; "
               "the sections below give each tolerance in full.");
  std::vector<std::string> labels;
  std::vector<const table::MeasureTable*> tables;
  for (const Part& part : parts) {
    labels.push_back(part.label);
    tables.push_back(part.table);
  }
  std::ostringstream svg;
  curves::FigureOptions figure = s.figure;
  figure.title.clear();
  curves::write_summary_svg(svg, labels, tables, s.dimensions, std::nullopt, figure);
  const std::string document = svg.str();
  const std::size_t start = document.find("<svg");
  out << "<figure>\n"
      << (start == std::string::npos ? document : document.substr(start)) << "</figure>\n";
  if (s.dimensions.empty()) write_missing_dimensions(out, s);
  out << "</section>\n";
}

}  // namespace

std::string html_escape(std::string_view text) {
  return textkit::xml_escape(text);
}

std::vector<std::string> part_ids(const std::vector<Part>& parts, bool history) {
  std::vector<std::string> ids;
  // Every id given so far, the parts' sections' ids too: a part's id is
  // taken only when neither it nor any id of its sections is in use.
  std::set<std::string> taken;
  const auto section_ids = [](const std::string& id) {
    std::vector<std::string> all{id, id + "-" + std::string(k_data_id)};
    for (const std::string_view section : k_section_ids)
      all.push_back(id + "-" + std::string(section));
    return all;
  };
  for (const Part& part : parts) {
    std::string id = history ? "tolerance" : "criterion";
    bool gap = true;  // a "-" is due before the next letter or digit
    for (const char c : part.label) {
      const bool lower = c >= 'a' && c <= 'z', upper = c >= 'A' && c <= 'Z';
      if (!lower && !upper && !(c >= '0' && c <= '9')) {
        gap = true;
        continue;
      }
      if (gap) id += '-';
      gap = false;
      id += upper ? static_cast<char>(c - 'A' + 'a') : c;
    }
    std::string unique = id;
    for (std::size_t n = 2;; ++n) {
      const std::vector<std::string> all = section_ids(unique);
      if (std::none_of(all.begin(), all.end(),
                       [&](const std::string& x) { return taken.count(x) > 0; })) {
        taken.insert(all.begin(), all.end());
        break;
      }
      unique = id + "-" + std::to_string(n);
    }
    ids.push_back(unique);
  }
  return ids;
}

void write_report(std::ostream& out, const table::MeasureTable& t, const Settings& s) {
  write_report(out, std::vector<Part>{{s.criterion, &t}}, s);
}

void write_report(std::ostream& out, const std::vector<Part>& parts, const Settings& s) {
  if (parts.empty()) {
    write_report(out, table::MeasureTable{}, s);
    return;
  }
  double bound = s.bound;
  profiles::normalise_bound(bound);
  const bool one = parts.size() == 1;
  // A part's measure as the plots name it: the criterion, or a history's cost.
  const auto criterion = [&](const Part& part) { return s.history ? s.criterion : part.label; };
  write_head(out, s, one ? "" : k_parts_style);
  if (s.history) {
    write_history_meta(out, parts, bound);
  } else {
    out << "<p class=\"meta\">" << (one ? "Criterion " : "Criteria ")
        << (one ? html_escape(parts.front().label) : listed(parts)) << ", bound "
        << textkit::bound_text(bound) << ", " << counts_text(*parts.front().table) << "; "
        << failure_rule_text(s) << ".</p>\n";
  }
  out << "<nav>\n<ul>\n";
  if (one) {
    const char* titles[] = {"Verdict", "Audit",     "Profiles",  "Summary",
                            "Pairs",   "Stability", "Bootstrap", "Budget"};
    for (std::size_t i = 0; i < std::size(k_section_ids); ++i) {
      out << "<li><a href=\"#" << k_section_ids[i] << "\">" << titles[i] << "</a></li>\n";
    }
    if (s.history) out << "<li><a href=\"#" << k_data_id << "\">Data profiles</a></li>\n";
    out << "</ul>\n</nav>\n</header>\n<main>\n";
    // The page opens with the verdict.
    const Decided d = decide(*parts.front().table, s);
    write_verdict_section(out, "", parts.front().table->names, d.ranked);
    write_audit(out, s);
    write_section(out, {*parts.front().table, criterion(parts.front()), parts.front().label, ""}, s,
                  d);
    out << "</main>\n</body>\n</html>\n";
    return;
  }
  const std::vector<std::string> ids = part_ids(parts, s.history);
  const char* kind = s.history ? "Tolerance " : "Criterion ";
  out << "<li><a href=\"#audit\">Audit</a></li>\n";
  if (s.history) out << "<li><a href=\"#" << k_overview_id << "\">Every tolerance</a></li>\n";
  for (std::size_t k = 0; k < parts.size(); ++k) {
    out << "<li><a href=\"#" << ids[k] << "\">" << kind << isolated(parts[k].label)
        << "</a></li>\n";
  }
  out << "</ul>\n</nav>\n</header>\n<main>\n";
  write_audit(out, s);
  if (s.history) write_overview(out, parts, s);
  for (std::size_t k = 0; k < parts.size(); ++k) {
    out << "<section id=\"" << ids[k] << "\" class=\"part\">\n<h2 class=\"part\">" << kind
        << isolated(parts[k].label) << "</h2>\n";
    // Each part opens with its verdict.
    const Decided d = decide(*parts[k].table, s);
    write_verdict_section(out, ids[k] + "-", parts[k].table->names, d.ranked);
    write_section(out, {*parts[k].table, criterion(parts[k]), parts[k].label, ids[k] + "-"}, s, d);
    out << "</section>\n";
  }
  out << "</main>\n</body>\n</html>\n";
}

}  // namespace report
