// profkit verdict: the methods ranked by MEAN VALUE and, for each and the
// next, whether the order separates them (stable, bootstrap interval above
// 0, sign test), or what fails.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <memory>
#include <string>

#include "profkit/bootstrap/bootstrap.h"
#include "profkit/cli/commands.h"
#include "profkit/cli/common.h"
#include "profkit/verdict/verdict.h"

namespace kit {
namespace {

struct VerdictOptions {
  TableOptions table;
  std::string output;
  std::string format = "text";
  std::string bound = "2.0";
  std::string tie_tolerance = "0";
  std::string replicates = "1000";
  std::string seed = "1";
};

}  // namespace

void add_verdict_command(CLI::App& app) {
  auto options = std::make_shared<VerdictOptions>();
  CLI::App* sub = app.add_subcommand(
      "verdict",
      "The methods ranked by MEAN VALUE and, for each method and the next, whether they are "
      "separable: the order holds with any one other method left out, at every bound 0.5 .. 5.0 "
      "and by EFFICIENCY; the paired bootstrap interval of the difference lies above 0; the sign "
      "test of wins and losses gives p < 0.05");
  add_table_options(*sub, options->table);
  add_output_option(*sub, options->output);
  add_format_option(*sub, options->format,
                    "text: one line per rank with the verdict against the next; csv: one row per "
                    "pair of neighbours in the ranking (RFC 4180)");
  sub->add_option("--bound", options->bound, "bound of the ranking, normalised as profcmp does")
      ->type_name("B")
      ->capture_default_str();
  sub->add_option("--tie-tolerance", options->tie_tolerance,
                  "two counts x, y tie in the sign test when |x - y| <= REL x min(x, y)")
      ->type_name("REL")
      ->capture_default_str();
  sub->add_option("--replicates", options->replicates,
                  "bootstrap replicates, 1 to " + std::to_string(bootstrap::k_max_replicates))
      ->type_name("N")
      ->capture_default_str();
  sub->add_option("--seed", options->seed,
                  "seed of the bootstrap's generator (std::mt19937_64), 0 to "
                  "18446744073709551615")
      ->type_name("S")
      ->capture_default_str();
  sub->callback([options] {
    verdict::Options settings;
    settings.bound = parse_bound(options->bound);
    settings.tie_tolerance = parse_tie_tolerance(options->tie_tolerance);
    settings.replicates = static_cast<std::size_t>(
        parse_whole("--replicates", options->replicates, 1, bootstrap::k_max_replicates));
    settings.seed = parse_whole("--seed", options->seed, 0, UINT64_MAX);
    refuse_output_over_input(options->output, options->table.files);
    const bool csv = options->format == "csv";
    write_each_table(options->table, options->output, csv,
                     [&](const LoadedTable& loaded, std::ostream& out) {
                       const verdict::Verdict v = verdict::decide(loaded.measures, settings);
                       if (csv) {
                         verdict::write_csv(out, loaded.measures.names, v);
                       } else {
                         verdict::write_text(out, loaded.measures.names, v);
                       }
                     });
  });
}

}  // namespace kit
