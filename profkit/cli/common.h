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

#include "profkit/curves/figure_options.h"
#include "profkit/curves/svg_plot.h"
#include "profkit/table/history_reader.h"
#include "profkit/table/measure_table.h"
#include "profkit/table/results_table.h"
#include "profkit/table/table_model.h"
#include "records/run_files.h"

namespace CLI {
class App;
}

namespace kit {

// Exit status of a usage error and of an input that cannot be read.
inline constexpr int k_exit_usage = 2;

struct TableOptions {
  std::string file = "P.PER";               // the first of `files`, set when the table is read
  std::vector<std::string> files{"P.PER"};  // FILE...; several only for perprof tables
  std::string input_format;  // pper, csv, wide, perprof, history; empty: from the content
  std::string delimiter;     // --delimiter: , ; or tab
  std::string method_column, problem_column, status_column;
  std::string success;  // --success VALUE,...
  double min_cost = 0;  // --min-cost X
  // NIT, NFV, NFG, NCGR or TIME (any case) for a results table; a column
  // name for a CSV table; "NFV" there means its first numeric measure column.
  std::string criterion = "NFV";
  bool criterion_given = false;
  // Several measure columns of a long CSV table to read (report's --criterion
  // C,...); empty: the one of `criterion`.
  std::vector<std::string> criteria;
  bool failures_nonpositive = false;  // --failures nonpositive or sentinel (default: clamp)
  std::string failures = "clamp";     // --failures clamp|nonpositive|sentinel
  // Convergence histories: their columns, the problems' dimensions, the
  // tolerances of the convergence test and the one a subcommand reads.
  std::string evaluation_column, value_column, dimension_column;
  std::string dimensions_file;                     // --dimensions FILE
  std::string tolerances = "1e-1,1e-3,1e-5,1e-7";  // --tolerances T,...
  std::string tolerance;                           // --tolerance T; empty: none
};

// Adds the positional FILE, --criterion NIT|NFV|NFG|NCGR|TIME (any case) and
// --failures clamp|nonpositive to `sub`.
void add_table_options(CLI::App& sub, TableOptions& options);

// Adds only the positional FILE and --criterion (as add_table_options does).
void add_file_option(CLI::App& sub, std::string& file);
void add_criterion_option(CLI::App& sub, std::string& criterion);

// Adds -o/--output OUT to `sub` (empty or "-": standard output).
void add_output_option(CLI::App& sub, std::string& output);

// "NIT, NFV, NFG, NCGR or TIME": the criterion keywords for a help text.
std::string keywords_in_words();

// "'VALUE' is not one of NIT, NFV, ...": the refusal of a criterion that is
// no keyword (records::measure_index_of_any_case gives 0).
std::string not_a_criterion(const std::string& value);

// The table read for one subcommand.
struct LoadedTable {
  std::string criterion;           // the keyword, 4 characters blank-padded ("NFV "), or the
                                   // name of the measure column of a CSV table
  std::int32_t measure_index = 0;  // 1..5 for a results table, 0 for the other formats
  table::MeasureTable measures;
};

// A table in any format as read for `check` and `report`: a results table
// with its audit's records, or the cells and findings of another format.
struct InputTable {
  table::InputFormat format = table::InputFormat::pper;
  table::ResultsTable results;                // format pper
  table::ReadTable read;                      // the other formats; for a history, the table of its
                                              // first tolerance
  table::History history;                     // format history (its findings moved to `read`)
  std::vector<std::string> tolerance_labels;  // format history: as given
  std::vector<double> tolerances;             // and their values
};

// Adds --input-format, --delimiter, --method-column, --problem-column,
// --status-column, --success, --min-cost and the options of histories
// (add_table_options adds them too).
void add_input_options(CLI::App& sub, TableOptions& options);

// The format of the options' input: --input-format, else detected from the
// first bytes of the first file. Leaves `fd` open on the first file (0 for
// "-") with `head` holding the bytes read from it; pper files that can be
// sought are left at their start with `head` empty. Refusals end the process.
table::InputFormat input_format_of(TableOptions& options, int& fd, std::string& head);

// Reads the table of the options in any format; for pper through
// read_results with `observer` and `after_end`. Unreadable input ends the
// process.
InputTable read_input(TableOptions& options,
                      const std::function<void(const table::ParsedRecord&)>& observer = {},
                      table::AfterEnd after_end = table::AfterEnd::leave);

// load_measures() on the input input_format_of() opened.
LoadedTable load_measures_opened(const TableOptions& options, table::InputFormat format, int fd,
                                 const std::string& head);

// read_input() on the input input_format_of() opened.
InputTable read_opened(const TableOptions& options, table::InputFormat format, int fd,
                       const std::string& head,
                       const std::function<void(const table::ParsedRecord&)>& observer = {},
                       table::AfterEnd after_end = table::AfterEnd::leave);

// The measures of `input` for the options' criterion; refusals end the process.
LoadedTable loaded_of(const TableOptions& options, InputTable input);

// The reader options of a CSV or perprof table.
table::ReadOptions read_options_of(const TableOptions& options);

// Ends the process (status 2) when `read` stopped or found an error, with its
// first error and a pointer to 'profkit check'.
void refuse_errors(const TableOptions& options, const table::ReadTable& read);

// Reads the options' input and runs `write` on its table into the output
// `output`. A history without --tolerance gives a table per tolerance: with
// `csv`, the rows of each behind a first column "tolerance" (the header once,
// led by "tolerance,"); else each tolerance's text under a line
// "Tolerance T:", the sections apart by an empty line.
void write_each_table(TableOptions options, const std::string& output, bool csv,
                      const std::function<void(const LoadedTable&, std::ostream&)>& write);

// Ends the process (status 2) for a table without a method or a problem.
void refuse_empty(const std::string& file, std::size_t methods, std::size_t problems);

// "FILE:LINE:COLUMN: " (without LINE or COLUMN where they are 0) and the message.
std::string finding_text(const table::SourceFinding& f);

// Opens `file` for reading ("-": standard input) and reads the whole results
// table. A file that cannot be read ends the process with
// "profkit: error: FILE: <reason>" and status 2.
table::ResultsTable read_table_file(
    const std::string& file, const std::function<void(const table::ParsedRecord&)>& observer = {});

// The descriptor to read `file` from: 0 for "-" (standard input), else the
// file opened for reading; a file that cannot be opened (or an empty name)
// ends the process with "profkit: error: FILE: <reason>" and status 2.
int open_table(const std::string& file);

// Reads the table the options name. Besides read_table_file's errors, a count
// that does not convert (profcmp's message 64) ends the process with
// "profkit: error: FILE:LINE:COLUMN: count NFV 'text' is not a whole number
// (profcmp stops here with message 64); 'profkit check' lists every problem" and status 2.
LoadedTable load_table(const TableOptions& options);

// Reads the table the options name as load_table() does, with the same
// diagnostics, but straight into the criterion's measures (see
// table::read_measures): no problem names, no other counts.
LoadedTable load_measures(const TableOptions& options);

// "FILE: reason" for an errno, "FILE:LINE: record longer than 1 MiB ..." for
// table::k_record_too_long.
std::string read_failure(const std::string& file, int error, std::uint64_t line);

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

// --tie-tolerance REL: a decimal number >= 0 (infinity ties every two solved
// counts); anything else is a usage error "--tie-tolerance: 'REL' is not a
// number >= 0 (e.g. 0.05)".
double parse_tie_tolerance(const std::string& text);

// The options of the subcommands that draw figures, as given.
struct FigureArgs {
  std::string methods;  // --methods NAME,...: empty: every method in table order
  std::string title, width, height;
  std::string axis = "ratio";  // --axis ratio|log2
};

// Adds --methods, --title, --width, --height and, with `axis`, --axis.
void add_figure_options(CLI::App& sub, FigureArgs& args, bool axis);

// Whether any figure option was given on the command line of `sub`.
bool figure_args_given(const CLI::App& sub);

// The figure options for a table of methods `names` read from `file`, for
// an SVG (`tex` false: sizes in px) or a pgfplots picture (TeX lengths).
// Every bad value is a usage error that says what is expected: a name
// --methods gives that is no method's (nor a method number 1..methods), a
// name given twice, a size that is not one.
curves::FigureOptions figure_options_of(const FigureArgs& args,
                                        const std::vector<std::string>& names,
                                        const std::string& file, bool tex);

// `option`'s whole number from `low` to `high`; anything else is a usage
// error "OPTION: 'TEXT' is not a whole number from LOW to HIGH".
std::uint64_t parse_whole(const std::string& option, const std::string& text, std::uint64_t low,
                          std::uint64_t high);

// "FILE:LINE:COLUMN: count NFV 'text' is not a whole number (...)": the count
// that stops profcmp with message 64, as every subcommand but check reports it.
std::string conversion_message(const std::string& file, const table::ConversionError& error);

}  // namespace kit

#endif  // PROFCMP_PROFKIT_CLI_COMMON_H_
