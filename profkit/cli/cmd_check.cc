// profkit check: the audit of a results table, or the findings of reading a
// table in another format. Findings go to standard output; exit status 1
// when there is an error (with --strict: an error or a warning), else 0; 2
// when the table cannot be read or has no method or no problem.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <tuple>
#include <vector>

#include "profkit/audit/audit.h"
#include "profkit/cli/commands.h"
#include "profkit/cli/common.h"

namespace kit {
namespace {

struct CheckOptions {
  TableOptions table;
  bool strict = false;
};

std::string plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

void run_check(CheckOptions& options) {
  TableOptions& t = options.table;
  audit::Options audit_options;
  audit_options.failures = t.failures;
  audit::Auditor auditor(audit_options);
  bool pper_criterion = true;
  if (t.input_format.empty() || t.input_format == "pper") {
    audit_options.measure_index =
        t.criterion.empty() ? 0 : records::measure_index_of_any_case(t.criterion);
    pper_criterion = t.criterion.empty() || audit_options.measure_index != 0;
    auditor = audit::Auditor(audit_options);
  }
  const InputTable input = read_input(
      t, [&auditor](const table::ParsedRecord& record) { auditor.observe(record); },
      table::AfterEnd::count);
  if (input.format == table::InputFormat::pper) {
    if (!pper_criterion) {
      usage_error("--criterion: " + not_a_criterion(t.criterion));
    }
    const audit::Audit found = auditor.finish(input.results);
    write_output({}, [&](std::ostream& out) { audit::write_audit(out, t.file, found); });
    refuse_empty(t.file, found.methods, found.problems);
    std::exit(found.errors > 0 || (options.strict && found.warnings > 0) ? 1 : 0);
  }
  const table::ReadTable& read = input.read;
  const std::size_t methods = read.methods();
  const std::size_t problems = read.problem_names.size();
  // In file order, then by line and column; findings about a whole file last.
  std::vector<table::SourceFinding> findings = read.findings;
  std::vector<std::string> order;
  const auto file_rank = [&order](const std::string& file) {
    const auto at = std::find(order.begin(), order.end(), file);
    return static_cast<std::size_t>(at - order.begin());
  };
  for (const table::SourceFinding& f : findings) {
    if (std::find(order.begin(), order.end(), f.file) == order.end()) order.push_back(f.file);
  }
  std::stable_sort(findings.begin(), findings.end(),
                   [&](const table::SourceFinding& a, const table::SourceFinding& b) {
                     return std::make_tuple(file_rank(a.file), a.line == 0, a.line, a.column) <
                            std::make_tuple(file_rank(b.file), b.line == 0, b.line, b.column);
                   });
  write_output({}, [&](std::ostream& out) {
    for (const table::SourceFinding& f : findings) {
      table::SourceFinding shown = f;
      shown.message = std::string(f.error ? "error: " : "warning: ") + f.message;
      out << for_terminal(finding_text(shown)) << '\n';
    }
    const std::string file = for_terminal(t.file);
    const std::size_t hidden = read.errors + read.warnings - read.findings.size();
    if (hidden > 0) out << file << ": note: " << hidden << " more findings, not shown\n";
    out << file << ": " << plural(methods, "method", "methods") << ", "
        << plural(problems, "problem", "problems") << "; " << plural(read.errors, "error", "errors")
        << ", " << plural(read.warnings, "warning", "warnings") << ", "
        << plural(hidden > 0 ? 1 : 0, "note", "notes") << '\n';
  });
  if (read.stopped) std::exit(k_exit_usage);
  refuse_empty(t.file, methods, problems);
  std::exit(read.errors > 0 || (options.strict && read.warnings > 0) ? 1 : 0);
}

}  // namespace

void add_check_command(CLI::App& app) {
  auto options = std::make_shared<CheckOptions>();
  options->table.criterion.clear();
  CLI::App* sub = app.add_subcommand(
      "check",
      "Audit a results table: what makes profcmp stop or misread it (errors), what it reads "
      "most likely not as meant (warnings), and notes; for the other formats, what their "
      "reading finds. Exit status 1 when there is an error.");
  add_table_options(*sub, options->table);
  sub->get_option("--criterion")
      ->description(
          "results tables: limit the count findings to this column (" + keywords_in_words() +
          ", any case) and look for ties in it; default: every column, ties in NFV. CSV "
          "tables: the measure column whose cells are checked (default: the first numeric one)");
  sub->add_flag("--strict", options->strict, "exit with status 1 on warnings too");
  sub->callback([options] { run_check(*options); });
}

}  // namespace kit
