// What every profkit subcommand shares: the options that choose and read the
// results table (FILE, --criterion, --failures), -o and --format, the error
// path (usage errors exit 2, as does a file that cannot be read).
#ifndef PROFCMP_PROFKIT_CLI_COMMON_H_
#define PROFCMP_PROFKIT_CLI_COMMON_H_

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "profkit/table/measure_table.h"
#include "profkit/table/results_table.h"

namespace CLI {
class App;
}

namespace kit {

// Exit status of a usage error and of an input that cannot be read.
inline constexpr int k_exit_usage = 2;

struct TableOptions {
  std::string file = "P.PER";         // "-" reads standard input
  std::string criterion = "NFV";      // upper case after parsing: NIT, NFV, NFG, NCGR or TIME
  bool failures_nonpositive = false;  // --failures nonpositive (default: clamp)
};

// Adds the positional FILE, --criterion NIT|NFV|NFG|NCGR|TIME (any case) and
// --failures clamp|nonpositive to `sub`.
void add_table_options(CLI::App& sub, TableOptions& options);

// Adds only the positional FILE and --criterion (as add_table_options does).
void add_file_option(CLI::App& sub, std::string& file);
void add_criterion_option(CLI::App& sub, std::string& criterion);

// Adds -o/--output OUT to `sub` (empty or "-": standard output).
void add_output_option(CLI::App& sub, std::string& output);

// 1..5 for NIT, NFV, NFG, NCGR, TIME (any case), 0 for anything else.
int measure_index_of(const std::string& criterion);

// The table read for one subcommand.
struct LoadedTable {
  std::string criterion;           // the keyword, 4 characters blank-padded ("NFV ")
  std::int32_t measure_index = 0;  // 1..5
  table::MeasureTable measures;
};

// Opens `file` for reading ("-": standard input) and reads the whole results
// table. A file that cannot be read ends the process with
// "profkit: error: FILE: <reason>" and status 2.
table::ResultsTable read_table_file(
    const std::string& file, const std::function<void(const table::ParsedRecord&)>& observer = {});

// Reads the table the options name. Besides read_table_file's errors, a count
// that does not convert (profcmp's message 64) ends the process with
// "profkit: error: FILE:LINE:COLUMN: count NFV 'text' is not a whole number
// (profcmp stops here with message 64); 'profkit check' lists every problem" and status 2.
LoadedTable load_table(const TableOptions& options);

// Reads the table the options name as load_table() does, with the same
// diagnostics, but straight into the criterion's measures (see
// table::read_measures): no problem names, no other counts.
LoadedTable load_measures(const TableOptions& options);

// Runs `write` on the output file `path` (standard output when empty or "-").
// The file is replaced whole when the write is complete, or not at all (see
// atomic_output.h). An output that cannot be written ends the process with
// "profkit: error: OUT: <reason>" and status 2.
void write_output(const std::string& path, const std::function<void(std::ostream&)>& write);

// A usage error when `output` is one of `inputs` (after symbolic links): to be
// called before any input is read.
void refuse_output_over_input(const std::string& output, const std::vector<std::string>& inputs);

// `message` with every line (the line feeds between them kept) cleaned for
// the terminal by textkit::terminal: names and arguments it quotes may hold
// any byte.
std::string for_terminal(std::string_view message);

// Ends the process with "profkit: error: <message>" on standard error and
// `status`; the message is cleaned by for_terminal().
[[noreturn]] void fail(const std::string& message, int status = k_exit_usage);

// A usage error: fail() with the hint "Run 'profkit --help' for usage." on the next line.
[[noreturn]] void usage_error(const std::string& message);

// Adds --format with the choices text and csv (text by default, unless
// `format` holds another default).
void add_format_option(CLI::App& sub, std::string& format, const std::string& help);

// --bound B: any decimal number but NaN, normalised later as profcmp does.
// Anything else is a usage error "--bound: 'B' is not a number (e.g. 2.0)".
double parse_bound(const std::string& text);

// `option`'s whole number from `low` to `high`; anything else is a usage
// error "OPTION: 'TEXT' is not a whole number from LOW to HIGH".
std::uint64_t parse_whole(const std::string& option, const std::string& text, std::uint64_t low,
                          std::uint64_t high);

// "FILE:LINE:COLUMN: count NFV 'text' is not a whole number (...)": the count
// that stops profcmp with message 64, as every subcommand but check reports it.
std::string conversion_message(const std::string& file, const table::ConversionError& error);

}  // namespace kit

#endif  // PROFCMP_PROFKIT_CLI_COMMON_H_
