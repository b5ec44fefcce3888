// profkit report: one self-contained HTML page with the audit, the profiles,
// the summary, pairs, stability, bootstrap and budget views of a table.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

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

void run_report(ReportOptions& options) {
  report::Settings settings;
  settings.bound = parse_bound(options.bound);
  settings.replicates = static_cast<std::size_t>(
      parse_whole("--replicates", options.replicates, 1, bootstrap::k_max_replicates));
  settings.seed = parse_whole("--seed", options.seed, 0, UINT64_MAX);
  settings.every_pair = options.every_pair;
  const int measure_index = records::measure_index_of_any_case(options.table.criterion);
  refuse_output_over_input(options.output, options.table.files);
  // One read feeds both the audit and the measures (standard input cannot be read twice).
  audit::Options audit_options;
  audit_options.measure_index = measure_index;
  audit_options.failures = options.table.failures;
  audit::Auditor auditor(audit_options);
  InputTable input = read_input(
      options.table, [&auditor](const table::ParsedRecord& record) { auditor.observe(record); },
      table::AfterEnd::count);
  const std::string& file = options.table.file;
  settings.source = file == "-" ? "standard input" : file;
  settings.failures_nonpositive = options.table.failures_nonpositive;
  table::MeasureTable measures;
  if (input.format == table::InputFormat::history && options.table.tolerance.empty()) {
    usage_error("report: " + file +
                " is a convergence history; the report shows the table of one tolerance: pick it "
                "with --tolerance T (e.g. --tolerance " +
                input.tolerance_labels.front() + ")");
  }
  if (input.format != table::InputFormat::pper) {
    refuse_errors(options.table, input.read);
    for (const table::SourceFinding& f : input.read.findings) {
      settings.audit.push_back({f.error ? "error" : "warning",
                                f.file + (f.line > 0 ? ", line " + std::to_string(f.line) : "") +
                                    (f.column > 0 ? ", column " + std::to_string(f.column) : ""),
                                f.message});
    }
    settings.audit_summary = "Read as " + std::string(table::format_name(input.format)) + ": " +
                             std::to_string(input.read.errors) + " errors, " +
                             std::to_string(input.read.warnings) + " warnings.";
    settings.criterion = input.read.measure_names.front();
    measures = std::move(input.read.measures.front());
  } else {
    if (measure_index == 0) {
      usage_error("--criterion: " + not_a_criterion(options.table.criterion));
    }
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
    settings.audit_summary =
        "Checked with --criterion " + std::string(records::count_name(measure_index - 1)) + ": " +
        std::to_string(found.errors) + " errors, " + std::to_string(found.warnings) +
        " warnings, " + std::to_string(found.notes) + " notes.";
    const table::FailureRule rule =
        options.table.failures == "sentinel"      ? table::FailureRule::sentinel
        : options.table.failures == "nonpositive" ? table::FailureRule::nonpositive
                                                  : table::FailureRule::clamp;
    measures = table::measures_of(results, measure_index, rule);
    settings.criterion = std::string(records::count_name(measure_index - 1));
  }
  refuse_empty(file, measures.methods(), measures.problems);
  settings.figure = figure_options_of(options.figure, measures.names, file, false);
  write_output(options.output,
               [&](std::ostream& out) { report::write_report(out, measures, settings); });
}

}  // namespace

void add_report_command(CLI::App& app) {
  auto options = std::make_shared<ReportOptions>();
  CLI::App* sub = app.add_subcommand(
      "report",
      "One self-contained HTML page (inline CSS and SVG, no script): audit, profiles, summary, "
      "pairs, stability, bootstrap and budget; written to standard output without -o");
  add_table_options(*sub, options->table);
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
