// profkit export: every method's exact profile as CSV rows, an SVG plot (or
// that plot drawn as PDF or PNG) or a pgfplots picture.
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "profkit/cli/commands.h"
#include "profkit/cli/common.h"
#include "profkit/curves/data_profile.h"
#include "profkit/curves/export.h"
#include "profkit/curves/summary_figure.h"
#include "profkit/render/render.h"

namespace kit {
namespace {

struct ExportOptions {
  TableOptions table;
  std::string output;
  std::string format = "csv";
  std::string bound;
  std::string profile = "performance";
  std::string max_kappa;
  FigureArgs figure;
  std::string dpi;  // --dpi D for png; empty: 96
};

// --dpi's largest value: a figure of 800 px is then 20,000 pixels wide.
constexpr std::uint64_t k_max_dpi = 2400;

// pdf and png are the SVG figure drawn by the renderer.
bool drawn_from_svg(const std::string& format) {
  return format == "svg" || format == "pdf" || format == "png";
}

// Writes the figure `write_svg` makes in the format the options ask: the SVG
// itself, or its PDF or PNG rendering.
void write_figure(const ExportOptions& options,
                  const std::function<void(std::ostream&)>& write_svg) {
  if (options.format == "svg") {
    write_output(options.output, write_svg);
    return;
  }
  render::Options render_options;
  if (!options.dpi.empty()) {
    render_options.dpi = static_cast<double>(parse_whole("--dpi", options.dpi, 1, k_max_dpi));
  }
  std::ostringstream svg;
  write_svg(svg);
  const render::Rendered rendered = render::render_svg(
      std::move(svg).str(), options.format == "pdf" ? render::Format::pdf : render::Format::png,
      render_options);
  if (!rendered.ok()) fail("export: " + rendered.error);
  write_output(options.output, [&](std::ostream& out) {
    out.write(rendered.bytes.data(), static_cast<std::streamsize>(rendered.bytes.size()));
  });
}

// export of a history: data profiles, or the performance profiles of every
// tolerance (or of the one --tolerance picks) with a first column tolerance.
void run_history_export(const ExportOptions& options, TableOptions& t, int fd,
                        const std::string& head, bool figure_given) {
  const bool data = options.profile == "data";
  std::optional<double> max_kappa;
  if (!options.max_kappa.empty()) {
    double value = 0;
    if (table::parse_number(options.max_kappa, value) != 1 || !(value > 0)) {
      usage_error("export: --max-kappa: '" + options.max_kappa +
                  "' is not a positive finite number");
    }
    max_kappa = value;
  }
  // Without --tolerance, svg (and pdf, png) and tex give the summary figure:
  // performance and data profiles at every tolerance.
  const bool summary = options.format != "csv" && t.tolerance.empty() && !data;
  if (data && options.format != "csv") {
    usage_error("export: data profiles are written as --format csv");
  }
  if (figure_given && !summary) {
    usage_error(
        "export: --methods, --title, --width, --height and --axis go with --format svg, pdf, "
        "png or tex");
  }
  InputTable input = read_opened(t, table::InputFormat::history, fd, head);
  refuse_errors(t, input.read);
  refuse_empty(t.file, input.read.methods(), input.read.problem_names.size());
  const table::History& history = input.history;
  if ((data || summary) && !history.dimensions_known()) {
    std::string missing;
    for (std::size_t p = 0; p < history.problem_names.size(); ++p) {
      if (history.dimensions[p] == 0) {
        missing = history.problem_names[p];
        break;
      }
    }
    fail(t.file + ": data profiles" +
         (summary ? std::string(" (drawn in the summary figure)") : "") +
         " need every problem's dimension, and problem '" + missing +
         "' has none; give them in a dimension column (--dimension-column NAME) or with "
         "--dimensions FILE, a CSV with the header problem,dimension");
  }
  std::vector<table::MeasureTable> tables;
  for (const double tolerance : input.tolerances) {
    tables.push_back(table::history_table(history, tolerance));
  }
  if (summary) {
    const bool tex = options.format == "tex";
    const curves::FigureOptions figure =
        figure_options_of(options.figure, history.method_names, t.file, tex);
    if (tex) {
      write_output(options.output, [&](std::ostream& out) {
        curves::write_summary_tex(out, input.tolerance_labels, tables, history.dimensions,
                                  max_kappa, figure);
      });
      return;
    }
    write_figure(options, [&](std::ostream& out) {
      curves::write_summary_svg(out, input.tolerance_labels, tables, history.dimensions, max_kappa,
                                figure);
    });
    return;
  }
  write_output(options.output, [&](std::ostream& out) {
    if (data) {
      curves::write_data_csv(out, input.tolerance_labels, tables, history.dimensions, max_kappa);
      return;
    }
    curves::write_labelled_csv(out, input.tolerance_labels, tables);
  });
}

void run_export(const ExportOptions& options, bool bound_given, bool figure_given) {
  const bool binary = options.format == "pdf" || options.format == "png";
  if (!options.dpi.empty()) {
    if (options.format != "png") usage_error("export: --dpi sets the resolution of --format png");
    parse_whole("--dpi", options.dpi, 1, k_max_dpi);
  }
  if (binary && (options.output.empty() || options.output == "-") && isatty(STDOUT_FILENO) == 1) {
    usage_error("export: --format " + options.format +
                " is binary and the standard output is a terminal; give -o FILE or redirect it");
  }
  if (bound_given && options.format == "csv") {
    usage_error(
        "export: --bound sets the x axis of --format svg, pdf, png or tex; CSV holds every "
        "breakpoint");
  }
  if (figure_given && options.format == "csv") {
    usage_error(
        "export: --methods, --title, --width, --height and --axis go with --format svg, pdf, "
        "png or tex; CSV holds every method's breakpoints");
  }
  const double bound = bound_given ? parse_bound(options.bound) : 0.0;
  if (bound_given && !(std::isfinite(bound) && bound > 0)) {
    usage_error("export: --bound must be a positive finite number");
  }
  std::vector<std::string> inputs = options.table.files;
  if (!options.table.dimensions_file.empty()) inputs.push_back(options.table.dimensions_file);
  refuse_output_over_input(options.output, inputs);
  TableOptions t = options.table;
  int fd = -1;
  std::string head;
  const table::InputFormat format = input_format_of(t, fd, head);
  if (format == table::InputFormat::history && (options.profile == "data" || t.tolerance.empty())) {
    run_history_export(options, t, fd, head, figure_given);
    return;
  }
  if (options.profile == "data") {
    usage_error(
        "export: data profiles are drawn from convergence histories (--input-format "
        "history); '" +
        t.file + "' is read as " + std::string(table::format_name(format)));
  }
  if (!options.max_kappa.empty()) usage_error("export: --max-kappa goes with --profile data");
  const LoadedTable loaded = load_measures_opened(t, format, fd, head);
  curves::PlotOptions plot;
  plot.criterion = loaded.criterion.substr(0, loaded.criterion.find_last_not_of(' ') + 1);
  if (bound_given) plot.bound = bound;
  plot.failures_nonpositive = options.table.failures_nonpositive;
  if (options.format != "csv") {
    plot.figure =
        figure_options_of(options.figure, loaded.measures.names, t.file, options.format == "tex");
  }
  if (drawn_from_svg(options.format)) {
    write_figure(options,
                 [&](std::ostream& out) { curves::write_svg(out, loaded.measures, plot); });
    return;
  }
  write_output(options.output, [&](std::ostream& out) {
    if (options.format == "csv") {
      curves::write_csv(out, loaded.measures);
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
                  "csv: one row per breakpoint (RFC 4180); svg: a standalone SVG 1.1 plot; pdf, "
                  "png: that plot drawn as a PDF page (1 SVG px = 0.75 pt) or a PNG image (1 "
                  "pixel per SVG px at --dpi 96); tex: a pgfplots tikzpicture (needs "
                  "\\usepackage{pgfplots} and \\pgfplotsset{compat=1.18}); of a history without "
                  "--tolerance, svg, pdf, png and tex give the summary figure of every tolerance")
      ->capture_default_str()
      ->check(CLI::IsMember({"csv", "svg", "pdf", "png", "tex"}));
  CLI::Option* bound = sub->add_option(
      "--bound", options->bound,
      "right end of the x axis of svg, pdf, png and tex (default: the largest finite log2 ratio "
      "rounded up to a tick)");
  bound->type_name("B");
  sub->add_option("--dpi", options->dpi,
                  "png: pixels per inch, the SVG drawn at 96 per inch (default 96: one pixel per "
                  "SVG px; 1 to 2400)")
      ->type_name("D");
  sub->add_option("--profile", options->profile,
                  "performance: performance profiles; data: data profiles of a history (the "
                  "share of problems solved within kappa simplex gradients, kappa (n + 1) "
                  "evaluations for a problem of dimension n), CSV only")
      ->capture_default_str()
      ->check(CLI::IsMember({"performance", "data"}));
  sub->add_option("--max-kappa", options->max_kappa,
                  "data profiles: the largest kappa drawn (default: the largest a method reaches)")
      ->type_name("K");
  add_figure_options(*sub, options->figure, true);
  sub->callback(
      [options, bound, sub] { run_export(*options, bound->count() > 0, figure_args_given(*sub)); });
}

}  // namespace kit
