// profkit boot: bootstrap intervals over problems of MEAN VALUE, rho at 0,
// rho at the bound, and the share of replicates each method ranks first.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <memory>
#include <string>

#include "profkit/bootstrap/bootstrap.h"
#include "profkit/cli/commands.h"
#include "profkit/cli/common.h"

namespace kit {
namespace {

struct BootOptions {
  TableOptions table;
  std::string output;
  std::string format = "text";
  std::string replicates = "1000";
  std::string seed = "1";
  std::string bound = "2.0";
};

}  // namespace

void add_boot_command(CLI::App& app) {
  auto options = std::make_shared<BootOptions>();
  CLI::App* sub = app.add_subcommand(
      "boot",
      "Bootstrap over problems: estimate and 95 % percentile interval of MEAN VALUE, rho at 0 "
      "and rho at the bound for every method, and the share of replicates it ranks first");
  add_table_options(*sub, options->table);
  add_output_option(*sub, options->output);
  add_format_option(*sub, options->format, "text (aligned columns) or csv");
  sub->add_option(
         "--replicates", options->replicates,
         "number of bootstrap replicates, 1 to " + std::to_string(bootstrap::k_max_replicates))
      ->type_name("N")
      ->capture_default_str();
  sub->add_option("--seed", options->seed,
                  "seed of the generator (std::mt19937_64), 0 to 18446744073709551615; the "
                  "same seed gives the same output")
      ->type_name("S")
      ->capture_default_str();
  sub->add_option("--bound", options->bound,
                  "upper end of the abscissa (log2 of the ratio), normalised as profcmp does")
      ->type_name("B")
      ->capture_default_str();
  sub->callback([options] {
    bootstrap::Options boot;
    boot.replicates = static_cast<std::size_t>(
        parse_whole("--replicates", options->replicates, 1, bootstrap::k_max_replicates));
    boot.seed = parse_whole("--seed", options->seed, 0, UINT64_MAX);
    boot.bound = parse_bound(options->bound);
    refuse_output_over_input(options->output, options->table.files);
    const bool csv = options->format == "csv";
    write_each_table(options->table, options->output, csv,
                     [&](const LoadedTable& loaded, std::ostream& out) {
                       const bootstrap::Result result = bootstrap::run(loaded.measures, boot);
                       if (csv) {
                         bootstrap::write_csv(out, loaded.measures, result);
                       } else {
                         bootstrap::write_text(out, loaded.measures, result);
                       }
                     });
  });
}

}  // namespace kit
