// Placeholder until the check subcommand lands.
#include <CLI/CLI.hpp>

#include "profkit/commands.h"
#include "profkit/common.h"

namespace kit {

void add_check_command(CLI::App& app) {
  app.add_subcommand("check", "(not built yet)")->callback([] { fail("check: not built yet", 1); });
}

}  // namespace kit
