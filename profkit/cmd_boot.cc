// Placeholder until the boot subcommand lands.
#include <CLI/CLI.hpp>

#include "profkit/commands.h"
#include "profkit/common.h"

namespace kit {

void add_boot_command(CLI::App& app) {
  app.add_subcommand("boot", "(not built yet)")->callback([] { fail("boot: not built yet", 1); });
}

}  // namespace kit
