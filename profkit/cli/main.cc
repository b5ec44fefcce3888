// profkit: audits results tables and draws, compares and reports the
// performance profiles of any number of methods. Usage errors exit 2.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "profkit/cli/atomic_output.h"

#include "profkit/cli/commands.h"
#include "profkit/cli/common.h"

namespace {

// What an exception that ends the run says after "profkit: error: ".
std::string describe(const std::exception_ptr& caught) {
  try {
    if (caught) std::rethrow_exception(caught);
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& e) {
    try {
      return kit::for_terminal(e.what());  // it may quote a name
    } catch (...) {
      return "out of memory";
    }
  } catch (...) {
  }
  return "unexpected failure";
}

// Every exception nobody caught (on any thread) ends the run the one way a
// failure ends it: a message, no partial output, exit status 2.
[[noreturn]] void on_terminate() {
  kit::remove_pending_outputs();
  std::string line = "profkit: error: ";
  line += describe(std::current_exception());
  line += '\n';
  if (::write(STDERR_FILENO, line.data(), line.size()) < 0) {
    // Nothing more can be said.
  }
  ::_exit(kit::k_exit_usage);
}

}  // namespace

int main(int argc, char** argv) {
  std::set_terminate(on_terminate);
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
  kit::add_verdict_command(app);
  kit::add_report_command(app);
  kit::add_import_command(app);
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
  } catch (...) {
    kit::remove_pending_outputs();
    std::cout.flush();
    std::cerr << "profkit: error: " << describe(std::current_exception()) << "\n";
    return kit::k_exit_usage;
  }
  return 0;
}
