// Placeholder until the export subcommand lands.
#include <CLI/CLI.hpp>

#include "profkit/commands.h"
#include "profkit/common.h"

namespace kit {

void add_export_command(CLI::App& app) {
  app.add_subcommand("export", "(not built yet)")->callback([] {
    fail("export: not built yet", 1);
  });
}

}  // namespace kit
