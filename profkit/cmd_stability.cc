// profkit stability: the pairs of methods whose MEAN VALUE order reverses when
// one other method is left out, between two bounds, or under EFFICIENCY.
#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>
#include <memory>
#include <string>

#include "compare/stability.h"
#include "profkit/commands.h"
#include "profkit/common.h"

namespace kit {
namespace {

struct StabilityOptions {
  TableOptions table;
  std::string output;
  std::string format = "text";
  std::string bound = "2.0";
  std::string limit = "1000";
};

// --bound: a decimal number, normalised later as profcmp does (rounded up to
// a multiple of 0.5 within 0.5 .. 5.0).
double parse_bound(const std::string& text) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (text.empty() || result.ec != std::errc() || result.ptr != end || std::isnan(value)) {
    fail("--bound: '" + text + "' is not a number (e.g. 2.0)");
  }
  return value;
}

std::size_t parse_limit(const std::string& text) {
  std::size_t value = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (text.empty() || result.ec != std::errc() || result.ptr != end || value < 1) {
    fail("--limit: '" + text + "' is not a whole number >= 1");
  }
  return value;
}

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
  sub->add_option("--format", options->format,
                  "text: one sentence per finding under a heading per kind; csv: one row per "
                  "finding (RFC 4180)")
      ->check(CLI::IsMember({"text", "csv"}))
      ->capture_default_str();
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
    const std::size_t limit = parse_limit(options->limit);
    const LoadedTable loaded = load_table(options->table);
    const compare::StabilityFindings findings =
        compare::find_instabilities(loaded.measures, bound, limit);
    write_output(options->output, [&](std::ostream& out) {
      if (options->format == "csv") {
        compare::write_stability_csv(out, loaded.measures.names, findings);
      } else {
        compare::write_stability_text(out, findings);
      }
    });
  });
}

}  // namespace kit
