// Placeholder until the stability subcommand lands.
#include <CLI/CLI.hpp>

#include "profkit/commands.h"
#include "profkit/common.h"

namespace kit {

void add_stability_command(CLI::App& app) {
  app.add_subcommand("stability", "(not built yet)")->callback([] {
    fail("stability: not built yet", 1);
  });
}

}  // namespace kit
