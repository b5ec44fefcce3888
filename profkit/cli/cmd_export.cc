// profkit export: every method's exact profile as CSV rows, an SVG plot or a
// pgfplots picture.
#include <CLI/CLI.hpp>
#include <cmath>
#include <memory>
#include <optional>
#include <string>

#include "profkit/cli/commands.h"
#include "profkit/cli/common.h"
#include "profkit/curves/export.h"

namespace kit {
namespace {

struct ExportOptions {
  TableOptions table;
  std::string output;
  std::string format = "csv";
  std::string bound;
};

void run_export(const ExportOptions& options, bool bound_given) {
  if (bound_given && options.format == "csv") {
    usage_error(
        "export: --bound sets the x axis of --format svg or tex; CSV holds every breakpoint");
  }
  const double bound = bound_given ? parse_bound(options.bound) : 0.0;
  if (bound_given && !(std::isfinite(bound) && bound > 0)) {
    usage_error("export: --bound must be a positive finite number");
  }
  refuse_output_over_input(options.output, options.table.files);
  const LoadedTable loaded = load_measures(options.table);
  curves::PlotOptions plot;
  plot.criterion = loaded.criterion.substr(0, loaded.criterion.find_last_not_of(' ') + 1);
  if (bound_given) plot.bound = bound;
  plot.failures_nonpositive = options.table.failures_nonpositive;
  write_output(options.output, [&](std::ostream& out) {
    if (options.format == "csv") {
      curves::write_csv(out, loaded.measures);
    } else if (options.format == "svg") {
      curves::write_svg(out, loaded.measures, plot);
    } else {
      curves::write_tex(out, loaded.measures, plot);
    }
  });
}

}  // namespace

void add_export_command(CLI::App& app) {
  auto options = std::make_shared<ExportOptions>();
  CLI::App* sub = app.add_subcommand(
      "export",
      "Write every method's exact performance profile (a step function of the log2 ratio to the "
      "best count) as CSV rows, an SVG plot or a pgfplots picture");
  add_table_options(*sub, options->table);
  add_output_option(*sub, options->output);
  sub->add_option("--format", options->format,
                  "csv: one row per breakpoint (RFC 4180); svg: a standalone SVG 1.1 plot; tex: a "
                  "pgfplots tikzpicture (needs \\usepackage{pgfplots} and "
                  "\\pgfplotsset{compat=1.18})")
      ->capture_default_str()
      ->check(CLI::IsMember({"csv", "svg", "tex"}));
  CLI::Option* bound = sub->add_option(
      "--bound", options->bound,
      "right end of the x axis of svg and tex (default: the largest finite log2 ratio rounded up "
      "to a tick)");
  bound->type_name("B");
  sub->callback([options, bound] { run_export(*options, bound->count() > 0); });
}

}  // namespace kit
