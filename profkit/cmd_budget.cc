// Placeholder until the budget subcommand lands.
#include <CLI/CLI.hpp>

#include "profkit/commands.h"
#include "profkit/common.h"

namespace kit {

void add_budget_command(CLI::App& app) {
  app.add_subcommand("budget", "(not built yet)")->callback([] {
    fail("budget: not built yet", 1);
  });
}

}  // namespace kit
