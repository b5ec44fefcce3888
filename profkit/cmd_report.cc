// Placeholder until the report subcommand lands.
#include <CLI/CLI.hpp>

#include "profkit/commands.h"
#include "profkit/common.h"

namespace kit {

void add_report_command(CLI::App& app) {
  app.add_subcommand("report", "(not built yet)")->callback([] {
    fail("report: not built yet", 1);
  });
}

}  // namespace kit
