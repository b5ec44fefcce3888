// profkit: audits results tables and draws, compares and reports the
// performance profiles of any number of methods. Usage errors exit 2.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <string>

#include "profkit/cli/commands.h"
#include "profkit/cli/common.h"

int main(int argc, char** argv) {
  CLI::App app{"profkit: audit results tables and compare methods by their performance profiles",
               "profkit"};
  app.set_version_flag("--version", std::string("profkit ") + PROFKIT_VERSION);
  app.require_subcommand(1);
  kit::add_check_command(app);
  kit::add_export_command(app);
  kit::add_pairs_command(app);
  kit::add_stability_command(app);
  kit::add_boot_command(app);
  kit::add_budget_command(app);
  kit::add_report_command(app);
  // CLI11 would take an unknown word for a stray argument and only say that
  // a subcommand is required; name it and the subcommands instead.
  if (argc > 1 && argv[1][0] != '-') {
    std::string known;
    bool found = false;
    for (const CLI::App* sub : app.get_subcommands({})) {
      found = found || sub->get_name() == argv[1];
      known += (known.empty() ? "" : ", ") + sub->get_name();
    }
    if (!found) {
      std::cerr << "profkit: error: unknown subcommand '" << kit::for_terminal(argv[1])
                << "' (one of " << known << ")\nRun 'profkit --help' for usage.\n";
      return kit::k_exit_usage;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "profkit: error: " << kit::for_terminal(e.what()) << "\n"
              << "Run 'profkit --help' for usage.\n";
    return kit::k_exit_usage;
  }
  return 0;
}
