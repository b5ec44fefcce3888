// One self-contained HTML5 page on a measure table: audit findings, the
// exact profiles, a summary with profcmp's figures and bootstrap intervals,
// pairwise verdicts, stability of the ranking, the bootstrap and the budget
// view. Inline CSS and SVG only (no script, nothing loaded from elsewhere),
// with a print stylesheet; every name is escaped. Same input, same bytes.
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
inline constexpr std::string_view k_section_ids[] = {"audit",     "profiles",  "summary", "pairs",
                                                     "stability", "bootstrap", "budget"};

// One finding of the audit, as the page lists it.
struct AuditItem {
  std::string severity;  // e.g. "error", "warning", "note"
  std::string where;     // e.g. "line 12, columns 33-42" (may be empty)
  std::string message;
};

struct Settings {
  std::string source;     // the table's name as the heading shows it
  std::string criterion;  // keyword without trailing blanks, e.g. "NFV"
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
};

// Writes the whole page (UTF-8, LF line ends). Work: the bootstrap
// (replicates x problems x methods), the pairs (methods^2 x problems) and
// the stability check (methods figure computations) dominate.
void write_report(std::ostream& out, const table::MeasureTable& t, const Settings& settings);

// `text` for HTML character data or a quoted attribute value: & < > " '
// escaped; control characters and bytes that are not valid UTF-8 become U+FFFD.
std::string html_escape(std::string_view text);

}  // namespace report

#endif  // PROFCMP_PROFKIT_HTML_REPORT_H_
