// profkit stability: the pairs of methods whose MEAN VALUE order reverses when
// one other method is left out, between two bounds, or under EFFICIENCY.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <memory>
#include <string>

#include "profkit/cli/commands.h"
#include "profkit/cli/common.h"
#include "profkit/compare/stability.h"

namespace kit {
namespace {

struct StabilityOptions {
  TableOptions table;
  std::string output;
  std::string format = "text";
  std::string bound = "2.0";
  std::string limit = "1000";
};

}  // namespace

void add_stability_command(CLI::App& app) {
  auto options = std::make_shared<StabilityOptions>();
  CLI::App* sub = app.add_subcommand(
      "stability",
      "How the MEAN VALUE ranking depends on the table: pairs of methods whose order reverses "
      "when one other method is left out, between two of the bounds 0.5 .. 5.0, or by "
      "EFFICIENCY");
  add_table_options(*sub, options->table);
  add_output_option(*sub, options->output);
  add_format_option(*sub, options->format,
                    "text: one sentence per finding under a heading per kind; csv: one row per "
                    "finding (RFC 4180)");
  sub->add_option("--bound", options->bound,
                  "bound of the ranking that leaving a method out and EFFICIENCY are compared "
                  "with, normalised as profcmp does")
      ->type_name("B")
      ->capture_default_str();
  sub->add_option("--limit", options->limit,
                  "findings listed of each kind; the rest are counted in one line")
      ->type_name("N")
      ->capture_default_str();
  sub->callback([options] {
    const double bound = parse_bound(options->bound);
    const auto limit =
        static_cast<std::size_t>(parse_whole("--limit", options->limit, 1, SIZE_MAX));
    refuse_output_over_input(options->output, options->table.files);
    const bool csv = options->format == "csv";
    write_each_table(options->table, options->output, csv,
                     [&](const LoadedTable& loaded, std::ostream& out) {
                       const compare::StabilityFindings findings =
                           compare::find_instabilities(loaded.measures, bound, limit);
                       if (csv) {
                         compare::write_stability_csv(out, loaded.measures.names, findings);
                       } else {
                         compare::write_stability_text(out, findings);
                       }
                     });
  });
}

}  // namespace kit
