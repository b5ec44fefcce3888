// profkit report: one self-contained HTML page with the audit, the profiles,
// the summary, pairs, stability, bootstrap and budget views of a table.
#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>

#include "bootstrap/bootstrap.h"
#include "profkit/commands.h"
#include "profkit/common.h"
#include "report/report.h"

namespace kit {
namespace {

struct ReportOptions {
  TableOptions table;
  std::string output;
  std::string bound = "2.0";
  std::string replicates = "1000";
  std::string seed = "1";
};

bool parse_unsigned(const std::string& text, std::uint64_t& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// --bound: a decimal number, normalised later as profcmp does.
double parse_bound_option(const std::string& text) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (text.empty() || result.ec != std::errc() || result.ptr != end || std::isnan(value)) {
    fail("--bound: '" + text + "' is not a number (e.g. 2.0)");
  }
  return value;
}

void run_report(const ReportOptions& options) {
  report::Settings settings;
  settings.bound = parse_bound_option(options.bound);
  std::uint64_t replicates = 0;
  if (!parse_unsigned(options.replicates, replicates) || replicates < 1 ||
      replicates > bootstrap::k_max_replicates) {
    fail("--replicates: '" + options.replicates + "' is not a whole number from 1 to " +
         std::to_string(bootstrap::k_max_replicates));
  }
  settings.replicates = static_cast<std::size_t>(replicates);
  if (!parse_unsigned(options.seed, settings.seed)) {
    fail("--seed: '" + options.seed + "' is not a whole number from 0 to 18446744073709551615");
  }
  const LoadedTable loaded = load_table(options.table);
  settings.source = options.table.file == "-" ? "standard input" : options.table.file;
  settings.criterion = loaded.criterion.substr(0, loaded.criterion.find_last_not_of(' ') + 1);
  settings.failures_nonpositive = options.table.failures_nonpositive;
  write_output(options.output,
               [&](std::ostream& out) { report::write_report(out, loaded.measures, settings); });
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
  sub->callback([options] { run_report(*options); });
}

}  // namespace kit
