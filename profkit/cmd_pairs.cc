// Placeholder until the pairs subcommand lands.
#include <CLI/CLI.hpp>

#include "profkit/commands.h"
#include "profkit/common.h"

namespace kit {

void add_pairs_command(CLI::App& app) {
  app.add_subcommand("pairs", "(not built yet)")->callback([] { fail("pairs: not built yet", 1); });
}

}  // namespace kit
