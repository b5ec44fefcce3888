// The subcommands of profkit. Each add_*_command() adds one subcommand with
// its options and help to `app`, and sets the callback that runs it.
#ifndef PROFCMP_PROFKIT_CLI_COMMANDS_H_
#define PROFCMP_PROFKIT_CLI_COMMANDS_H_

namespace CLI {
class App;
}

namespace kit {

void add_check_command(CLI::App& app);      // the audit of a results table
void add_export_command(CLI::App& app);     // exact profiles as CSV, SVG or TeX
void add_pairs_command(CLI::App& app);      // wins, ties and losses of every ordered pair
void add_stability_command(CLI::App& app);  // how the MEAN VALUE ranking depends on the table
void add_boot_command(CLI::App& app);       // bootstrap intervals over problems
void add_budget_command(CLI::App& app);     // shares solved within a raw-count budget
void add_verdict_command(CLI::App& app);    // the ranking and whether neighbours separate
void add_report_command(CLI::App& app);     // one self-contained HTML page
void add_import_command(CLI::App& app);     // any other format written as a results table

}  // namespace kit

#endif  // PROFCMP_PROFKIT_CLI_COMMANDS_H_
