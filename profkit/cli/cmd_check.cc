// profkit check: the audit of a results table. Findings go to standard
// output; exit status 1 when there is an error (with --strict: an error or a
// warning), else 0.
#include <CLI/CLI.hpp>

#include <cstdlib>
#include <iostream>
#include <memory>

#include "profkit/audit/audit.h"
#include "profkit/cli/commands.h"
#include "profkit/cli/common.h"

namespace kit {
namespace {

struct CheckOptions {
  std::string file = "P.PER";
  std::string criterion;  // empty: every count column
  bool strict = false;
};

void run_check(const CheckOptions& options) {
  audit::Options audit_options;
  audit_options.measure_index =
      options.criterion.empty() ? 0 : records::measure_index_of_any_case(options.criterion);
  audit::Auditor auditor(audit_options);
  const table::ResultsTable results = read_table_file(
      options.file, [&auditor](const table::ParsedRecord& record) { auditor.observe(record); },
      table::AfterEnd::count);
  const audit::Audit found = auditor.finish(results);
  write_output({}, [&](std::ostream& out) { audit::write_audit(out, options.file, found); });
  const bool failed = found.errors > 0 || (options.strict && found.warnings > 0);
  std::exit(failed ? 1 : 0);
}

}  // namespace

void add_check_command(CLI::App& app) {
  auto options = std::make_shared<CheckOptions>();
  CLI::App* sub = app.add_subcommand(
      "check",
      "Audit a results table: what makes profcmp stop or misread it (errors), what it reads "
      "most likely not as meant (warnings), and notes. Exit status 1 when there is an error.");
  add_file_option(*sub, options->file);
  add_criterion_option(*sub, options->criterion);
  sub->get_option("--criterion")
      ->description("limit the count findings to this column (" + keywords_in_words() +
                    ", any case) and look for ties in it; default: every column, ties in NFV");
  sub->add_flag("--strict", options->strict, "exit with status 1 on warnings too");
  sub->callback([options] { run_check(*options); });
}

}  // namespace kit
