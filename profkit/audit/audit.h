// The audit of a results table (`profkit check`): findings about what makes
// profcmp stop or misread the table (errors) or read it most likely not as
// meant (warnings), and notes, each at a line and column of the file.
#ifndef PROFCMP_PROFKIT_AUDIT_AUDIT_H_
#define PROFCMP_PROFKIT_AUDIT_AUDIT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "profkit/table/results_table.h"

namespace audit {

enum class Severity : std::uint8_t { error, warning, note };

// What a finding is about; findings of one rule are capped together on output.
enum class Rule : std::uint8_t {
  conversion,        // a count that is not a whole number or beyond 32 bits
  not_text,          // NUL bytes
  cr_line_end,       // a CR inside a record: CR-only line ends
  tab,               // tab characters
  byte_order_mark,   // a UTF-8 byte-order mark on line 1
  blanks_in_count,   // blanks between the digits of a count
  run_in,            // digits running from one count field into the next
  columns_7_8,       // text in the skipped columns 7-8
  beyond_72,         // text after the last count field
  below_one,         // a count of 0, negative or blank
  short_group,       // a group shorter than the longest
  name_mismatch,     // another problem name at the same position
  leading_records,   // records before the first method record
  method_case,       // "method" in another case
  method_column,     // "METHOD" not in column 1
  duplicate_method,  // a method name used twice
  capacity,          // where profcmp stops with message 120
  ties,              // a problem on which every method ties
  blank_column,      // a count column blank throughout
  end_marker,        // a lone Ctrl-Z that ends the table before the end of the file
};
inline constexpr std::size_t k_rules = static_cast<std::size_t>(Rule::end_marker) + 1;

struct Finding {
  std::uint64_t line = 0;
  std::size_t column = 1;  // from 1
  Severity severity = Severity::warning;
  Rule rule = Rule::conversion;
  std::string message;
};

// How many findings of one rule are kept; the rest are only counted.
inline constexpr std::size_t k_shown_per_rule = 10;

struct Options {
  // 1..5: limit the count findings to that column and look for ties in it;
  // 0: count findings for all five columns, ties in NFV.
  int measure_index = 0;
  // Further columns compared beside measure_index's (bit k for count k, with
  // measure_index 1..5): each is checked, and looked at for ties, as it is.
  std::uint8_t more_measures = 0;
  std::size_t shown_per_rule = k_shown_per_rule;
  // profkit's --failures rule: under "nonpositive" or "sentinel" a count of 0
  // or less, or a blank one, is a failure rather than the 1 profcmp takes it
  // as, and the findings on such counts say so.
  std::string failures = "clamp";
  bool failures_nonpositive() const { return failures != "clamp"; }
};

// The findings of one rule beyond those kept: how many, from where to where.
struct Hidden {
  Rule rule = Rule::conversion;
  Severity severity = Severity::warning;
  std::size_t count = 0;
  std::uint64_t line = 0;  // the first one not kept
  std::size_t column = 1;
  std::uint64_t last_line = 0;
};

struct Audit {
  std::vector<Finding> findings;  // the kept findings, sorted by line, then column
  std::vector<Hidden> hidden;     // per rule with more findings than kept
  // Every finding, kept or not.
  std::size_t errors = 0;
  std::size_t warnings = 0;
  std::size_t notes = 0;
  std::size_t methods = 0;
  std::size_t problems = 0;
};

// Collects the findings of one table: feed every record to observe() while
// the table is read (table::read_results' observer), then call finish().
class Auditor {
 public:
  explicit Auditor(const Options& options) : m_options(options), m_rules(k_rules) {}
  void observe(const table::ParsedRecord& record);
  Audit finish(const table::ResultsTable& table);

 private:
  struct RuleLog {
    std::vector<Finding> kept;
    Hidden hidden;
  };
  void add(std::uint64_t line, std::size_t column, Severity severity, Rule rule,
           std::string message);
  bool checks_column(int k) const;
  void observe_counts(const table::ParsedRecord& record);
  // One function per rule that looks at the whole table; finish() calls them.
  void leading_records(const table::ResultsTable& table);
  void capacity(const table::ResultsTable& table);
  void duplicate_methods(const table::ResultsTable& table);
  void short_groups(const table::ResultsTable& table);
  void problem_names(const table::ResultsTable& table);
  std::uint8_t blank_columns(const table::ResultsTable& table);
  void method_blank_columns(const table::ResultsTable& table, std::uint8_t unused_everywhere);
  void below_one(const table::ResultsTable& table, std::uint8_t unused_everywhere);
  void end_marker(const table::ResultsTable& table);
  // Whether column k is a compared measure.
  bool compares(int k) const;
  void ties(const table::ResultsTable& table, std::uint8_t unused_everywhere, int k);
  Audit collect(const table::ResultsTable& table);
  Options m_options;
  bool m_in_group = false;
  std::vector<RuleLog> m_rules;
  // Problem records whose counts say nothing on their own: a count that did
  // not convert (the rest read as 0), a method record read as a problem. In line order.
  std::vector<std::uint64_t> m_skip_counts;
  // The count fields' columns of the records whose fields a comma moved.
  std::unordered_map<std::uint64_t, std::array<std::uint32_t, records::k_count_fields>> m_moved;
};

// Writes "FILE:LINE:COLUMN: SEVERITY: message" per kept finding and
// "FILE:LINE:COLUMN: note: N more like this (what) up to line L, not shown" per
// rule with hidden findings, in line order, then the summary line
// "FILE: M methods, P problems; E errors, W warnings, N notes". FILE is shown
// as textkit::terminal shows it; the messages quote fields byte for byte
// (textkit::quoted_bytes).
void write_audit(std::ostream& out, std::string_view file, const Audit& audit);

// "error", "warning" or "note".
std::string_view severity_name(Severity severity);

}  // namespace audit

#endif  // PROFCMP_PROFKIT_AUDIT_AUDIT_H_
