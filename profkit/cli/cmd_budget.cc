// profkit budget: the share of all problems each method, and the virtual best
// method, solves within a budget of the raw count; shifted geometric means.
#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "profkit/budget/budget.h"
#include "profkit/cli/commands.h"
#include "profkit/cli/common.h"
#include "profkit/curves/tex_plot.h"

namespace kit {
namespace {

struct BudgetOptions {
  TableOptions table;
  std::string output;
  std::string format = "text";
  FigureArgs figure;
};

// The budget plot of one table as an SVG document or a pgfplots picture.
void run_budget_figure(BudgetOptions& options) {
  TableOptions& t = options.table;
  int fd = -1;
  std::string head;
  const table::InputFormat format = input_format_of(t, fd, head);
  if (format == table::InputFormat::history && t.tolerance.empty()) {
    usage_error(
        "budget: a history's budget plot is drawn one tolerance at a time: give "
        "--tolerance T");
  }
  const LoadedTable loaded = load_measures_opened(t, format, fd, head);
  const bool tex = options.format == "tex";
  const curves::FigureOptions figure =
      figure_options_of(options.figure, loaded.measures.names, t.file, tex);
  const curves::Chart chart = budget::budget_plot(
      loaded.measures.names, budget::compute(loaded.measures), loaded.criterion, figure);
  write_output(options.output, [&](std::ostream& out) {
    if (tex) {
      curves::write_tex_picture(out, chart, figure, "budget");
    } else {
      curves::write_svg_document(out, chart);
    }
  });
}

}  // namespace

void add_budget_command(CLI::App& app) {
  auto options = std::make_shared<BudgetOptions>();
  CLI::App* sub = app.add_subcommand(
      "budget",
      "For every method and the virtual best (the smallest count on each problem): the share of "
      "all problems solved within each count; in text also shifted geometric means (shift 10)");
  add_table_options(*sub, options->table);
  add_output_option(*sub, options->output);
  sub->add_option("--format", options->format,
                  "text: the shares under each method and the geometric means; csv: "
                  "method_number,method,count,fraction rows (RFC 4180), method 0 the virtual "
                  "best; svg: the budget plot as a standalone SVG 1.1 document; tex: the same "
                  "plot as a pgfplots tikzpicture")
      ->type_name("FORMAT")
      ->check(CLI::IsMember({"text", "csv", "svg", "tex"}))
      ->capture_default_str();
  add_figure_options(*sub, options->figure, false);
  sub->callback([options, sub] {
    refuse_output_over_input(options->output, options->table.files);
    if (options->format == "svg" || options->format == "tex") {
      run_budget_figure(*options);
      return;
    }
    if (figure_args_given(*sub)) {
      usage_error("budget: --methods, --title, --width and --height go with --format svg or tex");
    }
    const bool csv = options->format == "csv";
    write_each_table(
        options->table, options->output, csv, [&](const LoadedTable& loaded, std::ostream& out) {
          const budget::BudgetCurves curves = budget::compute(loaded.measures);
          if (csv) {
            budget::write_budget_csv(out, loaded.measures.names, curves);
          } else {
            budget::write_budget_text(out, loaded.measures.names, curves,
                                      budget::shifted_geometric_means(loaded.measures));
          }
        });
  });
}

}  // namespace kit
