// One self-contained HTML5 page on a measure table: the verdict on the
// ranking (html/verdict_section.h), audit findings, the exact profiles, a
// summary with profcmp's figures and bootstrap intervals, pairwise verdicts,
// stability of the ranking, the bootstrap and the budget view. Inline CSS
// and SVG only (no script, nothing loaded from elsewhere), with a print
// stylesheet; every name is escaped. Same input, same bytes.
//
// A page may cover several tables of the same methods and problems (parts):
// the criteria of one table, or the convergence test of a history at each
// tolerance. The audit is given once; each part then has its own sections,
// the same ones a page of that table alone has (its verdict first), with ids
// led by the part's.
#ifndef PROFCMP_PROFKIT_HTML_REPORT_H_
#define PROFCMP_PROFKIT_HTML_REPORT_H_

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "profkit/curves/figure_options.h"
#include "profkit/table/measure_table.h"

namespace report {

// The ids of the page's sections, in page order.
inline constexpr std::string_view k_section_ids[] = {"verdict", "audit",     "profiles",  "summary",
                                                     "pairs",   "stability", "bootstrap", "budget"};

// The ids of a history's extra sections: the summary figure of every
// tolerance (pages of several tolerances) and each tolerance's data profiles.
inline constexpr std::string_view k_overview_id = "overview";
inline constexpr std::string_view k_data_id = "data";

// One finding of the audit, as the page lists it.
struct AuditItem {
  std::string severity;  // e.g. "error", "warning", "note"
  std::string where;     // e.g. "line 12, columns 33-42" (may be empty)
  std::string message;
};

struct Settings {
  std::string source;  // the table's name as the heading shows it
  // The criterion of a page of one table: a keyword without trailing blanks
  // ("NFV") or a column's name; a history's cost ("evaluations"). Pages of
  // several criteria take each part's from its label.
  std::string criterion;
  bool failures_nonpositive = false;
  double bound = 2.0;  // as requested; normalised as profcmp does
  std::size_t replicates = 1000;
  bool every_pair = false;  // the full pairs matrix above compare::k_every_pair_limit methods
  std::uint64_t seed = 1;
  std::vector<AuditItem> audit;  // the findings of `profkit check`
  std::string audit_summary;     // one line on the audit as a whole (may be empty)
  // The methods the figures draw, their size and x axis; a title given here
  // is the page's heading (each figure keeps its own).
  curves::FigureOptions figure;
  // Convergence histories: the parts are tolerances, each with its data
  // profiles, drawn from every problem's dimension (empty when some problem
  // has none: `without_dimension` names the first such problem).
  bool history = false;
  std::vector<std::uint64_t> dimensions;
  std::string without_dimension;
};

// One table of a page.
struct Part {
  std::string label;  // the criterion ("NFV", a column's name) or a history's tolerance ("1e-3")
  const table::MeasureTable* table = nullptr;
};

// Writes the whole page (UTF-8, LF line ends). Work: the bootstrap
// (replicates x problems x methods), the pairs (methods^2 x problems) and
// the stability check (methods figure computations) dominate.
void write_report(std::ostream& out, const table::MeasureTable& t, const Settings& settings);

// A page of several parts (one part of a table gives write_report()'s page;
// one of a history adds its data profiles). On a page of several, a part is
// a section with its id of part_ids() holding the sections of its own page
// but the audit (and a history's data profiles), their ids led by the
// part's and "-"; a history's summary figure comes first. Each part costs
// what its own page costs.
void write_report(std::ostream& out, const std::vector<Part>& parts, const Settings& settings);

// The id of each part: "criterion-" or "tolerance-" and its label in lower
// case, every run of characters other than ASCII letters and digits as one
// "-"; "-2", "-3", ... when that id, or one of its sections', is taken.
std::vector<std::string> part_ids(const std::vector<Part>& parts, bool history);

// `text` for HTML character data or a quoted attribute value: & < > " '
// escaped; control characters and bytes that are not valid UTF-8 become U+FFFD.
std::string html_escape(std::string_view text);

}  // namespace report

#endif  // PROFCMP_PROFKIT_HTML_REPORT_H_
