#include "profkit/audit/audit.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "profkit/text/escape.h"
#include "records/run_files.h"

namespace audit {
namespace {

constexpr std::size_t k_max_methods = records::k_max_methods;
constexpr std::size_t k_max_problems = records::k_max_problems;
constexpr int k_default_measure = 2;  // NFV
constexpr std::string_view k_bom = "\xEF\xBB\xBF";
constexpr std::size_t k_shown_text = 24;  // characters of a quoted text

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_word(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (lower(text[i]) != lower(word[i])) return false;
  }
  return true;
}

// `text` in single quotes, its bytes as they are (textkit::quoted_bytes), cut
// after k_shown_text bytes.
std::string quoted(std::string_view text) {
  return textkit::quoted_bytes(text, k_shown_text);
}

std::string name_of(std::string_view raw) {
  return quoted(table::trim_name(raw));
}

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string count_name(int k) {
  return std::string(records::count_name(k));
}

std::string ordinal(std::size_t n) {
  const char* suffix = "th";
  if (n % 100 < 11 || n % 100 > 13) {
    if (n % 10 == 1) suffix = "st";
    if (n % 10 == 2) suffix = "nd";
    if (n % 10 == 3) suffix = "rd";
  }
  return std::to_string(n) + suffix;
}

std::string plural(std::size_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string_view rule_label(Rule rule) {
  switch (rule) {
    case Rule::conversion:
      return "count not a whole number";
    case Rule::not_text:
      return "NUL bytes";
    case Rule::cr_line_end:
      return "CR without LF";
    case Rule::tab:
      return "tabs";
    case Rule::byte_order_mark:
      return "byte-order mark";
    case Rule::blanks_in_count:
      return "blanks between digits";
    case Rule::run_in:
      return "digits across count fields";
    case Rule::columns_7_8:
      return "text in columns 7-8";
    case Rule::beyond_72:
      return "text beyond the counts";
    case Rule::below_one:
      return "counts below 1";
    case Rule::short_group:
      return "short groups";
    case Rule::name_mismatch:
      return "problem names differ";
    case Rule::leading_records:
      return "records before the first method";
    case Rule::method_case:
      return "'method' in another case";
    case Rule::method_column:
      return "'METHOD' not in column 1";
    case Rule::duplicate_method:
      return "method names used twice";
    case Rule::capacity:
      return "beyond profcmp's capacity";
    case Rule::ties:
      return "ties";
    case Rule::blank_column:
      return "blank columns";
    case Rule::end_marker:
      return "Ctrl-Z ends the table";
  }
  return "";
}

// Bit k: count k is 0 or blank on every problem of group g (a count the
// method does not record). 0 for a group without problems.
std::uint8_t group_unused(const table::ResultsTable& t, std::size_t g) {
  if (t.groups[g].length == 0) return 0;
  std::uint8_t unused = 0x1f;
  for (std::size_t p = 0; p < t.groups[g].length; ++p) {
    for (int k = 0; k < records::k_count_fields; ++k) {
      if (t.count(g, p, k) != 0) unused = static_cast<std::uint8_t>(unused & ~(1u << k));
    }
  }
  return unused;
}

}  // namespace

std::string_view severity_name(Severity severity) {
  switch (severity) {
    case Severity::error:
      return "error";
    case Severity::warning:
      return "warning";
    case Severity::note:
      return "note";
  }
  return "";
}

bool Auditor::compares(int k) const {
  return m_options.measure_index == k + 1 || ((m_options.more_measures >> k) & 1u) != 0;
}

bool Auditor::checks_column(int k) const {
  return m_options.measure_index == 0 || compares(k);
}

void Auditor::add(std::uint64_t line, std::size_t column, Severity severity, Rule rule,
                  std::string message) {
  RuleLog& log = m_rules[static_cast<std::size_t>(rule)];
  if (log.kept.size() < m_options.shown_per_rule) {
    log.kept.push_back({line, column, severity, rule, std::move(message)});
    return;
  }
  Hidden& hidden = log.hidden;
  if (hidden.count == 0) {
    hidden.rule = rule;
    hidden.severity = severity;
    hidden.line = line;
    hidden.column = column;
  }
  ++hidden.count;
  hidden.last_line = std::max(hidden.last_line, line);
}

void Auditor::observe(const table::ParsedRecord& r) {
  const std::string_view record = r.record;
  const std::uint64_t line = r.line;
  const bool bom = line == 1 && record.starts_with(k_bom);
  if (bom) {
    add(line, 1, Severity::warning, Rule::byte_order_mark,
        "UTF-8 byte-order mark: profcmp reads its 3 bytes as columns 1-3, so every field of this "
        "line is shifted (a method record becomes a problem record); save the file without it");
  }
  if (const std::size_t nul = record.find('\0'); nul != std::string_view::npos) {
    add(line, nul + 1, Severity::error, Rule::not_text,
        "NUL byte: this is not a text line (a UTF-16 or word-processor file?); save the table as "
        "plain text");
  }
  bool cr_inside = false;
  if (const std::size_t cr = record.find('\r');
      cr != std::string_view::npos && cr + 1 < record.size()) {
    cr_inside = true;
    const auto lines = static_cast<std::size_t>(std::count(record.begin(), record.end() - 1, '\r'));
    add(line, cr + 1, Severity::error, Rule::cr_line_end,
        "CR without LF: profcmp ends lines only at LF, so it reads the " +
            plural(lines + 1, "line", "lines") +
            " from here to the next LF as one record; convert the line ends to LF or CR LF");
  }
  if (const std::size_t tab = record.find('\t'); tab != std::string_view::npos) {
    add(line, tab + 1, Severity::warning, Rule::tab,
        "tab: profcmp reads a tab as one column, so the fields after it are not in the columns "
        "they appear in; use blanks");
  }
  bool method_like = false;
  if (!r.is_method() && !bom) {
    method_like = true;
    if (same_word(record.substr(0, records::k_key_length), records::k_method_key)) {
      add(line, 1, Severity::warning, Rule::method_case,
          quoted(record.substr(0, records::k_key_length)) +
              " is not 'METHOD' in capitals: profcmp reads this line as a problem record; write "
              "METHOD");
    } else if (const std::size_t at = record.find_first_not_of(" \t");
               at != std::string_view::npos && at > 0 &&
               same_word(record.substr(at, records::k_key_length), records::k_method_key)) {
      add(line, at + 1, Severity::warning, Rule::method_column,
          quoted(record.substr(at, records::k_key_length)) + " in column " +
              std::to_string(at + 1) +
              ", not 1: profcmp reads this line as a problem record; start it in column 1");
    } else {
      method_like = false;
    }
  }
  if (r.is_method()) m_in_group = true;
  const bool read = m_in_group;  // a line whose fields profcmp uses
  if (read) {
    const std::string_view skipped = record.substr(std::min<std::size_t>(6, record.size()), 2);
    if (const std::size_t at = skipped.find_first_not_of(' ');
        at != std::string_view::npos && !method_like) {
      add(line, 7 + at, Severity::warning, Rule::columns_7_8,
          "text " + quoted(skipped) +
              " in columns 7-8: profcmp skips these columns (names are in columns 9-22)");
    }
    if (r.end_column < record.size() && !cr_inside) {
      const std::string_view rest = record.substr(r.end_column);
      if (const std::size_t at = rest.find_first_not_of(' '); at != std::string_view::npos) {
        add(line, r.end_column + at + 1, Severity::warning, Rule::beyond_72,
            "text " + quoted(trimmed(rest)) +
                (r.end_column == 72 ? " beyond column 72" : " after the fifth count") +
                ": profcmp ignores it (the counts NIT, NFV, NFG, NCGR, TIME are in columns "
                "23-72)");
      }
    }
  }
  if (r.failed_field >= 0) {
    const int k = r.failed_field;
    add(line, r.fields[k].column + 1, Severity::error, Rule::conversion,
        "count " + count_name(k) + " " + quoted(r.field_text(k)) + " is " +
            (r.out_of_range ? "beyond the 32-bit range" : "not a whole number") +
            ": profcmp stops with message 64; write a whole number up to 2147483647");
  }
  if (read && !r.is_method()) {
    if (r.failed_field >= 0 || method_like) m_skip_counts.push_back(line);
    observe_counts(r);
  }
}

void Auditor::observe_counts(const table::ParsedRecord& r) {
  const int readable = r.failed_field >= 0 ? r.failed_field : records::k_count_fields;
  for (int k = 0; k < readable; ++k) {
    if (!checks_column(k)) continue;
    const std::string_view text = trimmed(r.field_text(k));
    if (text.find(' ') != std::string_view::npos) {
      add(r.line, r.fields[k].column + 1, Severity::warning, Rule::blanks_in_count,
          "count " + count_name(k) + " " + quoted(text) +
              " has blanks between its digits: profcmp ignores blanks and reads " +
              std::to_string(r.counts[k]) + "; check the columns");
    }
  }
  for (int k = 0; k + 1 < readable; ++k) {
    if (!checks_column(k) && !checks_column(k + 1)) continue;
    const std::string_view left = r.field_text(k);
    const std::string_view right = r.field_text(k + 1);
    if (r.fields[k].comma || left.size() < 10 || right.empty()) continue;
    if (is_digit(left.back()) && is_digit(right.front())) {
      const std::size_t column = r.fields[k + 1].column + 1;
      add(r.line, column, Severity::warning, Rule::run_in,
          "digits run from count " + count_name(k) + " into count " + count_name(k + 1) +
              " (columns " + std::to_string(column - 1) + "-" + std::to_string(column) +
              "): profcmp reads " + std::to_string(r.counts[k]) + " and " +
              std::to_string(r.counts[k + 1]) +
              "; the columns are shifted: right-align each count in its 10 columns");
    }
  }
  if (r.fields[records::k_count_fields - 1].column != 22 + 10 * (records::k_count_fields - 1)) {
    std::array<std::uint32_t, records::k_count_fields> columns;
    for (int k = 0; k < records::k_count_fields; ++k) {
      columns[k] = static_cast<std::uint32_t>(r.fields[k].column);
    }
    m_moved.emplace(r.line, columns);
  }
}

// One warning per problem record with counts of 0, below 0 or blank, leaving
// out the columns its method does not record (0 or blank on every problem).
void Auditor::below_one(const table::ResultsTable& t, std::uint8_t unused_everywhere) {
  for (std::size_t g = 0; g < t.groups.size(); ++g) {
    const table::Group& group = t.groups[g];
    const std::uint8_t unused = group_unused(t, g) | unused_everywhere;
    for (std::size_t p = 0; p < group.length; ++p) {
      const std::uint64_t line = t.line_of(g, p);
      if (std::binary_search(m_skip_counts.begin(), m_skip_counts.end(), line)) continue;
      std::string parts;
      std::size_t column = 0;
      int fields = 0;
      for (int k = 0; k < records::k_count_fields; ++k) {
        if (!checks_column(k)) continue;
        const std::int32_t count = t.count(g, p, k);
        if (count > 0 || (count == 0 && ((unused >> k) & 1u))) continue;
        if (fields++ == 0) {
          const auto moved = m_moved.find(line);
          column =
              (moved == m_moved.end() ? 22 + 10 * static_cast<std::size_t>(k) : moved->second[k]) +
              1;
        }
        parts += (parts.empty() ? "" : ", ") + count_name(k) + " " +
                 (t.blank(g, p, k) ? std::string("blank") : std::to_string(count));
      }
      if (fields == 0) continue;
      if (m_options.failures_nonpositive()) {
        add(line, column, Severity::note, Rule::below_one,
            std::string(fields == 1 ? "count " : "counts ") + parts +
                (fields == 1 ? ": a failure" : ": failures") + " (--failures " +
                m_options.failures + ")");
        continue;
      }
      add(line, column, Severity::warning, Rule::below_one,
          std::string(fields == 1 ? "count " : "counts ") + parts +
              ": profcmp takes a count below 1 as 1, the best possible count; profkit's "
              "--failures nonpositive takes it as a failure");
    }
  }
}

// Records before the first method record, which profcmp reads as problems of
// no method.
void Auditor::leading_records(const table::ResultsTable& t) {
  if (t.leading_records == 0) return;
  if (t.groups.empty()) {
    add(1, 1, Severity::warning, Rule::leading_records,
        "no method record ('METHOD' in columns 1-6) in " +
            plural(t.leading_records, "record", "records") +
            ": profcmp reads no method and no problem; start each group with a METHOD record");
  } else {
    add(1, 1, Severity::warning, Rule::leading_records,
        plural(t.leading_records, "record", "records") + " before the first method record (line " +
            std::to_string(t.groups[0].line) +
            "): profcmp reads them as problems of no method and ignores them; remove them or "
            "start with a METHOD record");
  }
}

// Where profcmp stops with message 120: the 21st method or the 201st problem
// of a group, whichever comes first.
void Auditor::capacity(const table::ResultsTable& t) {
  const std::size_t methods = t.groups.size();
  std::uint64_t stop = 0;
  std::string message;
  if (methods > k_max_methods) {
    stop = t.groups[k_max_methods].line;
    message = ordinal(k_max_methods + 1) +
              " method: profcmp stops here with message 120 (at most " +
              std::to_string(k_max_methods) + " methods); profkit reads on";
  }
  for (std::size_t g = 0; g < methods && g < k_max_methods + 1; ++g) {
    if (t.groups[g].length <= k_max_problems) continue;
    const std::uint64_t line = t.line_of(g, k_max_problems);
    if (stop == 0 || line < stop) {
      stop = line;
      message = ordinal(k_max_problems + 1) + " problem of method " + name_of(t.groups[g].name) +
                ": profcmp stops here with message 120 (at most " + std::to_string(k_max_problems) +
                " problems per method); profkit reads on";
    }
    break;
  }
  if (stop != 0) add(stop, 1, Severity::warning, Rule::capacity, message);
}

// Methods of the same name.
void Auditor::duplicate_methods(const table::ResultsTable& t) {
  std::map<std::string, std::size_t> seen;
  for (std::size_t g = 0; g < t.groups.size(); ++g) {
    const table::Group& group = t.groups[g];
    const auto [at, added] = seen.try_emplace(table::trim_name(group.name), g);
    if (added) continue;
    add(group.line, 9, Severity::warning, Rule::duplicate_method,
        "method name " + name_of(group.name) + " is used again (first at line " +
            std::to_string(t.groups[at->second].line) +
            "): the two cannot be told apart in the results; rename one");
  }
}

// Groups with fewer problems than the longest, whose missing problems profcmp
// counts as failures.
void Auditor::short_groups(const table::ResultsTable& t) {
  const std::size_t methods = t.groups.size();
  const std::size_t problems = t.problems();
  std::size_t longest = 0;
  for (std::size_t g = 0; g < methods; ++g) {
    if (t.groups[g].length > t.groups[longest].length) longest = g;
  }
  for (std::size_t g = 0; g < methods; ++g) {
    const table::Group& group = t.groups[g];
    if (group.length >= problems) continue;
    const std::size_t lacking = problems - group.length;
    const std::string missing = lacking == 1 ? "problem " + std::to_string(problems)
                                             : "problems " + std::to_string(group.length + 1) +
                                                   "-" + std::to_string(problems);
    add(group.line, 1, Severity::warning, Rule::short_group,
        "method " + name_of(group.name) + " has " + plural(group.length, "problem", "problems") +
            ", " + std::to_string(lacking) + " fewer than method " +
            name_of(t.groups[longest].name) + " (line " + std::to_string(t.groups[longest].line) +
            "): profcmp counts its " + missing + " as " +
            (lacking == 1 ? "a failure" : "failures") + "; add the missing records");
  }
}

// Problem names by position: the first group that has a position names it.
void Auditor::problem_names(const table::ResultsTable& t) {
  std::vector<std::uint32_t> reference;  // group index per position
  for (std::size_t g = 0; g < t.groups.size(); ++g) {
    const table::Group& group = t.groups[g];
    for (std::size_t p = 0; p < group.length; ++p) {
      if (p >= reference.size()) {
        reference.push_back(static_cast<std::uint32_t>(g));
        continue;
      }
      const std::size_t r = reference[p];
      if (t.name_ids[group.first + p] == t.name_ids[t.groups[r].first + p]) continue;
      add(t.line_of(g, p), 9, Severity::warning, Rule::name_mismatch,
          "problem " + name_of(t.problem_name(g, p)) + " differs from " +
              name_of(t.problem_name(r, p)) + ", problem " + std::to_string(p + 1) + " of method " +
              name_of(t.groups[r].name) + " (line " + std::to_string(t.line_of(r, p)) +
              "): profcmp matches problems by position only; list them in the same order in "
              "every group");
    }
  }
}

// Columns that are 0 or blank in every problem record: not recorded. Returns
// them as bits (bit k: count k).
std::uint8_t Auditor::blank_columns(const table::ResultsTable& t) {
  std::uint8_t unused = 0;
  if (t.blanks.empty()) return unused;
  std::uint8_t all = 0x1f;
  std::uint8_t blank = 0x1f;
  for (std::size_t i = 0; i < t.blanks.size(); ++i) {
    blank &= t.blanks[i];
    for (int k = 0; k < records::k_count_fields; ++k) {
      if (t.counts[i * records::k_count_fields + static_cast<std::size_t>(k)] != 0) {
        all = static_cast<std::uint8_t>(all & ~(1u << k));
      }
    }
  }
  std::uint64_t first_line = 0;
  for (std::size_t g = 0; g < t.groups.size() && first_line == 0; ++g) {
    if (t.groups[g].length > 0) first_line = t.line_of(g, 0);
  }
  for (int k = 0; k < records::k_count_fields; ++k) {
    if (!checks_column(k) || !((all >> k) & 1u)) continue;
    unused = static_cast<std::uint8_t>(unused | (1u << k));
    add(first_line, 23 + 10 * static_cast<std::size_t>(k), Severity::note, Rule::blank_column,
        "count " + count_name(k) + " is " + ((blank >> k) & 1u ? "blank" : "0 or blank") +
            " in all " + plural(t.blanks.size(), "problem record", "problem records") +
            ": with --criterion " + count_name(k) +
            (m_options.failures_nonpositive()
                 ? " every method fails every problem (--failures " + m_options.failures + ")"
                 : " profcmp takes every count as 1 and every method ties on every problem"));
  }
  return unused;
}

// Columns that one method does not record (beyond those no method records).
void Auditor::method_blank_columns(const table::ResultsTable& t, std::uint8_t unused_everywhere) {
  const std::size_t methods = t.groups.size();
  for (std::size_t g = 0; g < methods && methods > 1; ++g) {
    const std::uint8_t own = group_unused(t, g) & static_cast<std::uint8_t>(~unused_everywhere);
    for (int k = 0; k < records::k_count_fields; ++k) {
      if (!checks_column(k) || !((own >> k) & 1u)) continue;
      const bool compared = compares(k);
      add(t.groups[g].line, 1, compared ? Severity::warning : Severity::note, Rule::blank_column,
          "method " + name_of(t.groups[g].name) + " has " + count_name(k) +
              " 0 or blank on every problem: with --criterion " + count_name(k) +
              (m_options.failures_nonpositive()
                   ? " it fails every problem (--failures " + m_options.failures + ")"
                   : " profcmp takes them as 1, the best possible count, so it is best on every "
                     "problem"));
    }
  }
}

// Problems on which every method has the same measure in column k.
void Auditor::ties(const table::ResultsTable& t, std::uint8_t unused_everywhere, int k) {
  const std::size_t methods = t.groups.size();
  if (methods < 2) return;
  if ((unused_everywhere >> k) & 1u) return;
  const table::FailureRule rule = m_options.failures_nonpositive() ? table::FailureRule::nonpositive
                                                                   : table::FailureRule::clamp;
  for (std::size_t p = 0; p < t.problems(); ++p) {
    bool tie = true;
    double measure = 0;
    for (std::size_t g = 0; g < methods && tie; ++g) {
      if (p >= t.groups[g].length) {
        tie = false;
      } else {
        const double m = table::measure_of(t.count(g, p, k), rule);
        if (g == 0) measure = m;
        tie = m == measure;
      }
    }
    if (!tie) continue;
    const std::string what = measure == table::k_failed
                                 ? "every method fails (" + count_name(k) + " 0 or less, or blank)"
                                 : "every method has " + count_name(k) + " " +
                                       std::to_string(static_cast<std::int64_t>(measure));
    add(t.line_of(0, p), 9, Severity::note, Rule::ties,
        what + " on problem " + std::to_string(p + 1) + " " + name_of(t.problem_name(0, p)) +
            ": it does not tell the methods apart");
  }
}

// A lone Ctrl-Z with lines after it: the table ends there, which a
// word processor's or an old editor's end-of-file mark makes by accident.
void Auditor::end_marker(const table::ResultsTable& t) {
  if (t.end_marker_line == 0 || t.lines_after_end == 0) return;
  add(t.end_marker_line, 1, Severity::warning, Rule::end_marker,
      "Ctrl-Z (byte 26) alone on a line ends the table: profcmp does not read the " +
          plural(t.lines_after_end, "line", "lines") +
          " after it (nor does profkit); delete this line if they belong to the table");
}

// The kept findings of every rule in line order, the hidden ones summed up,
// and the counts by severity.
Audit Auditor::collect(const table::ResultsTable& t) {
  Audit result;
  result.methods = t.groups.size();
  result.problems = t.problems();
  const auto count = [&](Severity severity, std::size_t n) {
    switch (severity) {
      case Severity::error:
        result.errors += n;
        break;
      case Severity::warning:
        result.warnings += n;
        break;
      case Severity::note:
        result.notes += n;
        break;
    }
  };
  for (RuleLog& log : m_rules) {
    for (Finding& f : log.kept) {
      count(f.severity, 1);
      result.findings.push_back(std::move(f));
    }
    if (log.hidden.count > 0) {
      count(log.hidden.severity, log.hidden.count);
      result.hidden.push_back(log.hidden);
    }
  }
  std::stable_sort(result.findings.begin(), result.findings.end(),
                   [](const Finding& a, const Finding& b) {
                     return std::tie(a.line, a.column) < std::tie(b.line, b.column);
                   });
  return result;
}

Audit Auditor::finish(const table::ResultsTable& t) {
  leading_records(t);
  capacity(t);
  duplicate_methods(t);
  short_groups(t);
  problem_names(t);
  const std::uint8_t unused = blank_columns(t);
  method_blank_columns(t, unused);
  below_one(t, unused);
  for (int k = 0; k < records::k_count_fields; ++k) {
    if (m_options.measure_index == 0 ? k + 1 == k_default_measure : compares(k)) {
      ties(t, unused, k);
    }
  }
  end_marker(t);
  return collect(t);
}

void write_audit(std::ostream& out, std::string_view file, const Audit& audit) {
  // Kept findings and the lines that sum up hidden ones, merged in line order.
  const std::string shown_file = textkit::terminal(file);
  std::size_t h = 0;
  const auto write_hidden = [&](const Hidden& hidden) {
    out << shown_file << ':' << hidden.line << ':' << hidden.column << ": note: " << hidden.count
        << " more " << severity_name(hidden.severity) << (hidden.count == 1 ? "" : "s") << " ("
        << rule_label(hidden.rule) << ") from here to line " << hidden.last_line << ", not shown\n";
  };
  std::vector<Hidden> hidden = audit.hidden;
  std::stable_sort(hidden.begin(), hidden.end(), [](const Hidden& a, const Hidden& b) {
    return std::tie(a.line, a.column) < std::tie(b.line, b.column);
  });
  for (const Finding& f : audit.findings) {
    while (h < hidden.size() &&
           std::tie(hidden[h].line, hidden[h].column) < std::tie(f.line, f.column)) {
      write_hidden(hidden[h++]);
    }
    out << shown_file << ':' << f.line << ':' << f.column << ": " << severity_name(f.severity)
        << ": " << f.message << '\n';
  }
  while (h < hidden.size()) write_hidden(hidden[h++]);
  out << shown_file << ": " << plural(audit.methods, "method", "methods") << ", "
      << plural(audit.problems, "problem", "problems") << "; "
      << plural(audit.errors, "error", "errors") << ", "
      << plural(audit.warnings, "warning", "warnings") << ", "
      << plural(audit.notes, "note", "notes") << '\n';
}

}  // namespace audit
