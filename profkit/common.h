// What every profkit subcommand shares: the options that choose and read the
// results table (FILE, --criterion, --failures), -o and --format, the error
// path (usage errors exit 2, as does a file that cannot be read).
#ifndef PROFCMP_PROFKIT_COMMON_H_
#define PROFCMP_PROFKIT_COMMON_H_

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "table/measure_table.h"

namespace CLI {
class App;
}

namespace kit {

// Exit status of a usage error and of an input that cannot be read.
inline constexpr int k_exit_usage = 2;

struct TableOptions {
  std::string file = "P.PER";  // "-" reads standard input
  std::string criterion = "NFV";
  bool failures_nonpositive = false;  // --failures nonpositive (default: clamp)
};

// Adds the positional FILE, --criterion NIT|NFV|NFG|NCGR|TIME (any case) and
// --failures clamp|nonpositive to `sub`.
void add_table_options(CLI::App& sub, TableOptions& options);

// Adds -o/--output OUT to `sub` (empty: standard output).
void add_output_option(CLI::App& sub, std::string& output);

// The table read for one subcommand.
struct LoadedTable {
  std::string criterion;           // the keyword, 4 characters blank-padded ("NFV ")
  std::int32_t measure_index = 0;  // 1..5
  table::MeasureTable measures;
};

// Reads the table the options name. A file that cannot be read ends the
// process with "profkit: error: FILE: <reason>" and status 2.
LoadedTable load_table(const TableOptions& options);

// Runs `write` on the output file `path` (standard output when empty). An
// output that cannot be written ends the process with status 2 and the reason.
void write_output(const std::string& path, const std::function<void(std::ostream&)>& write);

// Ends the process with "profkit: error: <message>" on standard error and `status`.
[[noreturn]] void fail(const std::string& message, int status = k_exit_usage);

}  // namespace kit

#endif  // PROFCMP_PROFKIT_COMMON_H_
