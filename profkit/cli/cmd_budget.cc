// profkit budget: the share of all problems each method, and the virtual best
// method, solves within a budget of the raw count; shifted geometric means.
#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "profkit/budget/budget.h"
#include "profkit/cli/commands.h"
#include "profkit/cli/common.h"

namespace kit {
namespace {

struct BudgetOptions {
  TableOptions table;
  std::string output;
  std::string format = "text";
};

}  // namespace

void add_budget_command(CLI::App& app) {
  auto options = std::make_shared<BudgetOptions>();
  CLI::App* sub = app.add_subcommand(
      "budget",
      "For every method and the virtual best (the smallest count on each problem): the share of "
      "all problems solved within each count; in text also shifted geometric means (shift 10)");
  add_table_options(*sub, options->table);
  add_output_option(*sub, options->output);
  add_format_option(*sub, options->format,
                    "text: the shares under each method and the geometric means; csv: "
                    "method_number,method,count,fraction rows (RFC 4180), method 0 the virtual "
                    "best");
  sub->callback([options] {
    refuse_output_over_input(options->output, options->table.files);
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
