// profkit pairs: wins, ties and losses of every ordered pair of methods on the
// criterion, as CSV rows or a terminal matrix.
#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "profkit/cli/commands.h"
#include "profkit/cli/common.h"
#include "profkit/compare/pairs.h"

namespace kit {
namespace {

struct PairsOptions {
  TableOptions table;
  std::string output;
  std::string format = "text";
  std::string tie_tolerance = "0";
  bool every_pair = false;
};

}  // namespace

void add_pairs_command(CLI::App& app) {
  auto options = std::make_shared<PairsOptions>();
  CLI::App* sub = app.add_subcommand(
      "pairs",
      "For every ordered pair of methods A, B: the problems on which A wins (a smaller count, or "
      "solved where B failed), ties (equal counts, or both failed) and loses");
  add_table_options(*sub, options->table);
  add_output_option(*sub, options->output);
  add_format_option(*sub, options->format,
                    "text: a matrix of wins-ties-losses (row method against column method); csv: "
                    "one row per ordered pair (RFC 4180)");
  sub->add_option("--tie-tolerance", options->tie_tolerance,
                  "two counts x, y tie when |x - y| <= REL x min(x, y)")
      ->type_name("REL")
      ->capture_default_str();
  sub->add_flag("--all-pairs", options->every_pair,
                "every ordered pair even above 50 methods (the output then grows with the square "
                "of the methods; by default a larger table shows each method against the best and "
                "the next by MEAN VALUE)");
  sub->callback([options] {
    const double tolerance = parse_tie_tolerance(options->tie_tolerance);
    refuse_output_over_input(options->output, options->table.files);
    const bool csv = options->format == "csv";
    write_each_table(
        options->table, options->output, csv, [&](const LoadedTable& loaded, std::ostream& out) {
          const auto& names = loaded.measures.names;
          if (!options->every_pair && loaded.measures.methods() > compare::k_every_pair_limit) {
            const compare::RankedPairs ranked = compare::rank_pairs(loaded.measures, tolerance);
            if (csv) {
              compare::write_ranked_pairs_csv(out, names, ranked);
            } else {
              compare::write_ranked_pairs_text(out, names, ranked, "--all-pairs");
            }
            return;
          }
          const compare::PairCounts counts = compare::count_pairs(loaded.measures, tolerance);
          if (csv) {
            compare::write_pairs_csv(out, names, counts);
          } else {
            compare::write_pairs_text(out, names, counts);
          }
        });
  });
}

}  // namespace kit
