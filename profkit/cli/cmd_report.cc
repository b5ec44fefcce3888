// profkit report: one self-contained HTML page with the verdict, the audit,
// the profiles, the summary, pairs, stability, bootstrap and budget views of a
// table; for several criteria, or a history's tolerances, those views (the
// verdict first) for each of them.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "profkit/audit/audit.h"
#include "profkit/bootstrap/bootstrap.h"
#include "profkit/cli/commands.h"
#include "profkit/cli/common.h"
#include "profkit/html/report.h"

namespace kit {
namespace {

struct ReportOptions {
  TableOptions table;
  std::string output;
  std::string bound = "2.0";
  std::string replicates = "1000";
  std::string seed = "1";
  bool every_pair = false;
  FigureArgs figure;
};

// The names of --criterion C,...: blanks around each trimmed; an empty name
// or one given twice (in any case) is a usage error.
std::vector<std::string> criteria_of(const std::string& text) {
  std::vector<std::string> names;
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    std::string name = text.substr(start, end - start);
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    if (name.empty()) usage_error("--criterion: an empty name in '" + text + "'");
    for (const std::string& before : names) {
      if (table::same_name(before, name)) {
        usage_error("--criterion: '" + name + "' is given twice in '" + text + "'");
      }
    }
    names.push_back(std::move(name));
    if (end == text.size()) return names;
    start = end + 1;
  }
}

// The audit items and summary of a table read by a CSV, perprof or history reader.
void take_findings(const table::InputFormat format, const table::ReadTable& read,
                   report::Settings& settings) {
  for (const table::SourceFinding& f : read.findings) {
    settings.audit.push_back({f.error ? "error" : "warning",
                              f.file + (f.line > 0 ? ", line " + std::to_string(f.line) : "") +
                                  (f.column > 0 ? ", column " + std::to_string(f.column) : ""),
                              f.message});
  }
  settings.audit_summary = "Read as " + std::string(table::format_name(format)) + ": " +
                           std::to_string(read.errors) + " errors, " +
                           std::to_string(read.warnings) + " warnings.";
}

// The report of a convergence history: a part per tolerance (the one
// --tolerance picks, or every one of --tolerances), with data profiles.
void write_history_report(const ReportOptions& options, InputTable& input,
                          report::Settings& settings) {
  const TableOptions& t = options.table;
  refuse_errors(t, input.read);
  refuse_empty(t.file, input.read.methods(), input.read.problem_names.size());
  take_findings(input.format, input.read, settings);
  settings.criterion = input.read.measure_names.front();
  settings.figure = figure_options_of(options.figure, input.history.method_names, t.file, false);
  settings.history = true;
  const table::History& history = input.history;
  if (history.dimensions_known()) {
    settings.dimensions = history.dimensions;
  } else {
    for (std::size_t p = 0; p < history.problem_names.size(); ++p) {
      if (history.dimensions[p] > 0) continue;
      settings.without_dimension = history.problem_names[p];
      break;
    }
  }
  input.read = table::ReadTable();  // its table of the first tolerance is made again below
  std::vector<table::MeasureTable> tables;
  tables.reserve(input.tolerances.size());
  std::vector<report::Part> parts;
  for (std::size_t k = 0; k < input.tolerances.size(); ++k) {
    tables.push_back(table::history_table(history, input.tolerances[k]));
    parts.push_back({input.tolerance_labels[k], &tables.back()});
  }
  write_output(options.output,
               [&](std::ostream& out) { report::write_report(out, parts, settings); });
}

void run_report(ReportOptions& options) {
  report::Settings settings;
  settings.bound = parse_bound(options.bound);
  settings.replicates = static_cast<std::size_t>(
      parse_whole("--replicates", options.replicates, 1, bootstrap::k_max_replicates));
  settings.seed = parse_whole("--seed", options.seed, 0, UINT64_MAX);
  settings.every_pair = options.every_pair;
  TableOptions& t = options.table;
  const std::vector<std::string> criteria = criteria_of(t.criterion);
  std::vector<std::string> inputs = t.files;
  if (!t.dimensions_file.empty()) inputs.push_back(t.dimensions_file);
  refuse_output_over_input(options.output, inputs);
  int fd = -1;
  std::string head;
  const table::InputFormat format = input_format_of(t, fd, head);
  settings.source = t.file == "-" ? "standard input" : t.file;
  settings.failures_nonpositive = t.failures_nonpositive;
  if (criteria.size() > 1 && format != table::InputFormat::pper &&
      format != table::InputFormat::csv) {
    usage_error(
        "--criterion: " +
        std::string(format == table::InputFormat::history
                        ? "a convergence history has one cost, its evaluations"
                        : "a " + std::string(table::format_name(format)) + " table has one cost") +
        "; several criteria are measure columns of a long CSV table or keywords of a "
        "results table");
  }
  // One read feeds both the audit and the measures (standard input cannot be read twice).
  std::vector<int> indexes;
  if (format == table::InputFormat::pper) {
    for (const std::string& name : criteria) {
      const int index = records::measure_index_of_any_case(name);
      if (index == 0) usage_error("--criterion: " + not_a_criterion(name));
      indexes.push_back(index);
    }
  } else if (criteria.size() > 1) {
    t.criteria = criteria;
  }
  audit::Options audit_options;
  audit_options.measure_index = indexes.empty() ? 0 : indexes.front();
  for (std::size_t i = 1; i < indexes.size(); ++i) {
    audit_options.more_measures =
        static_cast<std::uint8_t>(audit_options.more_measures | (1u << (indexes[i] - 1)));
  }
  audit_options.failures = t.failures;
  audit::Auditor auditor(audit_options);
  InputTable input = read_opened(
      t, format, fd, head,
      [&auditor](const table::ParsedRecord& record) { auditor.observe(record); },
      table::AfterEnd::count);
  const std::string& file = t.file;
  if (format == table::InputFormat::history) {
    write_history_report(options, input, settings);
    return;
  }
  std::vector<table::MeasureTable> tables;
  std::vector<std::string> names;
  if (format != table::InputFormat::pper) {
    refuse_errors(t, input.read);
    take_findings(format, input.read, settings);
    tables = std::move(input.read.measures);
    names = std::move(input.read.measure_names);
  } else {
    const table::ResultsTable& results = input.results;
    if (!results.conversion_errors.empty()) {
      fail(conversion_message(file, results.conversion_errors.front()));
    }
    const audit::Audit found = auditor.finish(results);
    for (const audit::Finding& f : found.findings) {
      settings.audit.push_back(
          {std::string(audit::severity_name(f.severity)),
           "line " + std::to_string(f.line) + ", column " + std::to_string(f.column), f.message});
    }
    for (const audit::Hidden& h : found.hidden) {
      settings.audit.push_back(
          {std::string(audit::severity_name(h.severity)),
           "lines " + std::to_string(h.line) + " to " + std::to_string(h.last_line),
           std::to_string(h.count) + " more like the " + std::to_string(audit::k_shown_per_rule) +
               " above of this kind, not shown"});
    }
    std::string checked;
    for (const int index : indexes) {
      checked += (checked.empty() ? "" : ",") + std::string(records::count_name(index - 1));
    }
    settings.audit_summary =
        "Checked with --criterion " + checked + ": " + std::to_string(found.errors) + " errors, " +
        std::to_string(found.warnings) + " warnings, " + std::to_string(found.notes) + " notes.";
    const table::FailureRule rule = t.failures == "sentinel"      ? table::FailureRule::sentinel
                                    : t.failures == "nonpositive" ? table::FailureRule::nonpositive
                                                                  : table::FailureRule::clamp;
    for (const int index : indexes) {
      tables.push_back(table::measures_of(results, index, rule));
      names.emplace_back(records::count_name(index - 1));
    }
  }
  refuse_empty(file, tables.front().methods(), tables.front().problems);
  settings.criterion = names.front();
  settings.figure = figure_options_of(options.figure, tables.front().names, file, false);
  std::vector<report::Part> parts;
  for (std::size_t k = 0; k < tables.size(); ++k) parts.push_back({names[k], &tables[k]});
  write_output(options.output,
               [&](std::ostream& out) { report::write_report(out, parts, settings); });
}

}  // namespace

void add_report_command(CLI::App& app) {
  auto options = std::make_shared<ReportOptions>();
  CLI::App* sub = app.add_subcommand(
      "report",
      "One self-contained HTML page (inline CSS and SVG, no script): verdict, audit, profiles, "
      "summary, pairs, stability, bootstrap and budget, for each criterion given or each "
      "tolerance of a history; written to standard output without -o");
  add_table_options(*sub, options->table);
  sub->get_option("--criterion")
      ->description("measure compared: " + keywords_in_words() +
                    " (any case) for a results table, any column (any case) of a long CSV "
                    "table; several, comma-separated (NFV,NIT), give the page a part each")
      ->type_name("C,...");
  add_output_option(*sub, options->output);
  sub->add_option("--bound", options->bound,
                  "upper end of the abscissa (log2 of the ratio), normalised as profcmp does")
      ->type_name("B")
      ->capture_default_str();
  sub->add_option("--replicates", options->replicates,
                  "bootstrap replicates, 1 to " + std::to_string(bootstrap::k_max_replicates))
      ->type_name("N")
      ->capture_default_str();
  sub->add_option("--seed", options->seed, "seed of the bootstrap's generator")
      ->type_name("S")
      ->capture_default_str();
  sub->add_flag("--all-pairs", options->every_pair,
                "the full pairs matrix even above 50 methods (by default a larger table shows "
                "each method against the best and the next by MEAN VALUE)");
  add_figure_options(*sub, options->figure, true);
  sub->callback([options] { run_report(*options); });
}

}  // namespace kit
