#include "profkit/cli/common.h"

#include "profkit/cli/atomic_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#include "profkit/text/escape.h"
#include "profkit/text/numbers.h"

namespace kit {
namespace {

// The keywords in field order, `separator` between them and `last` before
// the last one: "NIT, NFV, NFG, NCGR or TIME".
std::string keyword_list(std::string_view separator, std::string_view last) {
  std::string list;
  for (int k = 0; k < records::k_count_fields; ++k) {
    if (k > 0) list += k + 1 == records::k_count_fields ? last : separator;
    list += records::count_name(k);
  }
  return list;
}

}  // namespace

std::string keywords_in_words() {
  return keyword_list(", ", " or ");
}

std::string not_a_criterion(const std::string& value) {
  return "'" + value + "' is not one of " + keyword_list(", ", ", ");
}

void add_file_option(CLI::App& sub, std::string& file) {
  sub.add_option("FILE", file, "results table to read ('-': standard input)")
      ->capture_default_str();
}

void add_criterion_option(CLI::App& sub, std::string& criterion) {
  sub.add_option(
         "--criterion", criterion,
         "measure compared: " + keywords_in_words() +
             " (any case) for a results table; "
             "any column (any case) of a long CSV table, whose first numeric measure column "
             "is the default")
      ->capture_default_str()
      ->type_name("C");
}

void add_input_options(CLI::App& sub, TableOptions& options) {
  sub.add_option("--input-format", options.input_format,
                 "pper: a results table (P.PER); csv: a long CSV table, one row per method and "
                 "problem; wide: a CSV table with one row per problem and one column per method; "
                 "perprof: perprof tables, one FILE per solver. Without it the format is told "
                 "from the first 64 KiB of the first FILE: a first line '---' or blank-separated "
                 "lines of name, flag and cost are perprof, a line starting with METHOD is pper, "
                 "a delimited header row is csv when it names a method and a problem column, "
                 "else wide")
      ->type_name("FORMAT")
      ->check(CLI::IsMember({"pper", "csv", "wide", "perprof", "history"}));
  sub.add_option("--delimiter", options.delimiter,
                 "field delimiter of a CSV table: ',', ';' or 'tab' (default: the one of the "
                 "three met most often outside quotes in the header row)")
      ->type_name("D")
      ->check(CLI::IsMember({",", ";", "tab", "\t"}));
  sub.add_option("--method-column", options.method_column,
                 "method column of a long CSV table (default: solver, method or algorithm)")
      ->type_name("NAME");
  sub.add_option("--problem-column", options.problem_column,
                 "problem column of a long CSV table (default: problem, instance or name)")
      ->type_name("NAME");
  sub.add_option("--status-column", options.status_column,
                 "status column of a long CSV table (default: status, exitflag or flag, when "
                 "there is one)")
      ->type_name("NAME");
  sub.add_option("--success", options.success,
                 "status values that mean solved, comma-separated, any case (default for csv: "
                 "0,success,solved,converged,first_order,optimal; perprof tables say theirs, "
                 "else c)")
      ->type_name("VALUE,...");
  sub.add_option("--min-cost", options.min_cost,
                 "raise every non-negative cost below X to X (a solved run's cost of 0 is an "
                 "error without it)")
      ->type_name("X")
      ->check(CLI::PositiveNumber);
  sub.add_option("--evaluation-column", options.evaluation_column,
                 "evaluation column of a history (default: evaluation or eval)")
      ->type_name("NAME");
  sub.add_option("--value-column", options.value_column,
                 "function value column of a history (default: fvalue, f, value or objective)")
      ->type_name("NAME");
  sub.add_option("--dimension-column", options.dimension_column,
                 "dimension column of a history (default: dimension, when there is one)")
      ->type_name("NAME");
  sub.add_option("--dimensions", options.dimensions_file,
                 "the problems' dimensions for a history: a CSV with the header problem,dimension")
      ->type_name("FILE");
  sub.add_option("--tolerances", options.tolerances,
                 "tolerances of the convergence test of a history, from 0 to 1")
      ->type_name("T,...")
      ->capture_default_str();
  sub.add_option("--tolerance", options.tolerance,
                 "read a history as the table of the convergence test at T")
      ->type_name("T");
}

void add_table_options(CLI::App& sub, TableOptions& options) {
  sub.add_option("FILE", options.files,
                 "results table to read ('-': standard input); several FILEs for perprof tables")
      ->capture_default_str();
  add_criterion_option(sub, options.criterion);
  sub.get_option("--criterion")->each([&options](const std::string&) {
    options.criterion_given = true;
  });
  add_input_options(sub, options);
  sub.add_option_function<std::string>(
         "--failures",
         [&options](const std::string& rule) {
           options.failures = rule;
           options.failures_nonpositive = rule != "clamp";
         },
         "clamp: a count below 1 is 1, as profcmp takes it (default); nonpositive: a count of 0 "
         "or less, or a blank count, is a failure; sentinel: nonpositive, and a count of "
         "2147483647 (a failure as 'profkit import' writes it) is a failure too")
      ->type_name("RULE")
      ->check(CLI::IsMember({"clamp", "nonpositive", "sentinel"}));
}

void add_output_option(CLI::App& sub, std::string& output) {
  sub.add_option("-o,--output", output, "write to OUT instead of standard output")
      ->type_name("OUT");
}

int open_table(const std::string& file) {
  if (file.empty()) fail("FILE: an empty name");
  if (file == "-") return 0;
  int fd = -1;
  do {
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) fail(file + ": " + std::strerror(errno));
  return fd;
}

namespace {

void close_table(const std::string& file, int fd) {
  if (file != "-") ::close(fd);
}

// A LoadedTable with the criterion of the options and no measures yet.
LoadedTable criterion_of(const TableOptions& options) {
  LoadedTable loaded;
  loaded.measure_index = records::measure_index_of_any_case(options.criterion);
  if (loaded.measure_index == 0) usage_error("--criterion: " + not_a_criterion(options.criterion));
  loaded.criterion = std::string(records::k_keywords[loaded.measure_index - 1]);
  return loaded;
}

table::FailureRule failure_rule_of(const TableOptions& options) {
  if (options.failures == "sentinel") return table::FailureRule::sentinel;
  return options.failures == "nonpositive" ? table::FailureRule::nonpositive
                                           : table::FailureRule::clamp;
}

}  // namespace

std::string read_failure(const std::string& file, int error, std::uint64_t line) {
  if (error == table::k_record_too_long) return file + ":" + table::read_error_text(error, line);
  return file + ": " + table::read_error_text(error, line);
}

table::ResultsTable read_table_file(
    const std::string& file, const std::function<void(const table::ParsedRecord&)>& observer) {
  const int fd = open_table(file);
  table::RecordReader reader(fd);
  table::ResultsTable results;
  const bool read = table::read_results(reader, results, observer);
  close_table(file, fd);
  if (!read) fail(read_failure(file, reader.error(), reader.line()));
  return results;
}

LoadedTable load_measures(const TableOptions& given) {
  TableOptions options = given;
  int fd = 0;
  std::string head;
  const table::InputFormat format = input_format_of(options, fd, head);
  return load_measures_opened(options, format, fd, head);
}

LoadedTable load_measures_opened(const TableOptions& options, table::InputFormat format, int fd,
                                 const std::string& head) {
  if (format != table::InputFormat::pper || !head.empty()) {
    return loaded_of(options, read_opened(options, format, fd, head));
  }
  LoadedTable loaded = criterion_of(options);
  table::MeasureRead read =
      table::read_measures(fd, loaded.measure_index, failure_rule_of(options));
  close_table(options.file, fd);
  if (read.read_error != 0) {
    fail(read_failure(options.file, read.read_error, read.error_line));
  }
  if (read.conversion_failed) fail(conversion_message(options.file, read.first_error));
  loaded.measures = std::move(read.measures);
  refuse_empty(options.file, loaded.measures.methods(), loaded.measures.problems);
  return loaded;
}

LoadedTable load_table(const TableOptions& given) {
  TableOptions options = given;
  return loaded_of(options, read_input(options));
}

LoadedTable loaded_of(const TableOptions& options, InputTable input) {
  LoadedTable loaded;
  if (input.format == table::InputFormat::pper) {
    loaded = criterion_of(options);
    if (!input.results.conversion_errors.empty()) {
      fail(conversion_message(options.file, input.results.conversion_errors.front()));
    }
    loaded.measures =
        table::measures_of(input.results, loaded.measure_index, failure_rule_of(options));
  } else {
    if (input.format == table::InputFormat::history && options.tolerance.empty()) {
      usage_error(options.file +
                  " is a convergence history: this subcommand reads the table of one tolerance; "
                  "pick it with --tolerance T (e.g. --tolerance " +
                  input.tolerance_labels.front() + ")");
    }
    refuse_errors(options, input.read);
    loaded.criterion = input.read.measure_names.front();
    loaded.measures = std::move(input.read.measures.front());
  }
  refuse_empty(options.file, loaded.measures.methods(), loaded.measures.problems);
  return loaded;
}

void write_output(const std::string& path, const std::function<void(std::ostream&)>& write) {
  if (path.empty() || path == "-") {
    write(std::cout);
    std::cout.flush();
    if (!std::cout) fail("standard output: " + std::string(std::strerror(errno)));
    return;
  }
  AtomicOutput out;
  if (!out.open(path)) fail(path + ": " + out.error());
  write(out.stream());
  if (!out.commit()) fail(path + ": " + out.error());
}

void refuse_output_over_input(const std::string& output, const std::vector<std::string>& inputs) {
  if (output_is_an_input(output, inputs)) {
    usage_error("-o " + output + ": is an input file of this run; write the output elsewhere");
  }
}

std::string conversion_message(const std::string& file, const table::ConversionError& e) {
  std::string message = file + ":" + std::to_string(e.line) + ":" + std::to_string(e.column + 1) +
                        ": count " + std::string(records::count_name(e.field)) + " '" + e.text +
                        "' is " +
                        (e.out_of_range ? "beyond the 32-bit range" : "not a whole number") +
                        " (profcmp stops here with message 64); 'profkit check " + file +
                        "' lists every problem of the table";
  return message;
}

void usage_error(const std::string& message) {
  fail(message + "\nRun 'profkit --help' for usage.");
}

void add_format_option(CLI::App& sub, std::string& format, const std::string& help) {
  sub.add_option("--format", format, help)
      ->type_name("FORMAT")
      ->check(CLI::IsMember({"text", "csv"}))
      ->capture_default_str();
}

double parse_bound(const std::string& text) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (text.empty() || result.ec != std::errc() || result.ptr != end || std::isnan(value)) {
    usage_error("--bound: '" + text + "' is not a number (e.g. 2.0)");
  }
  return value;
}

double parse_tie_tolerance(const std::string& text) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (text.empty() || result.ec != std::errc() || result.ptr != end || std::isnan(value) ||
      value < 0) {
    usage_error("--tie-tolerance: '" + text + "' is not a number >= 0 (e.g. 0.05)");
  }
  return value;
}

void add_figure_options(CLI::App& sub, FigureArgs& args, bool axis) {
  sub.add_option("--methods", args.methods,
                 "the methods drawn, in this order, by name (or number from 1), separated by "
                 "commas; each keeps its style (default: every method in table order)")
      ->type_name("NAME,...");
  sub.add_option("--title", args.title, "the figure's title")->type_name("TEXT");
  sub.add_option("--width", args.width,
                 "svg: the width in px (" + std::to_string(static_cast<int>(curves::k_min_width)) +
                     " to 100000, default 640); tex: a TeX length such as 8cm, 240pt or "
                     "0.9\\linewidth (default \\linewidth)")
      ->type_name("W");
  sub.add_option("--height", args.height,
                 "svg: the height in px (the plot area fills what the title, labels and legend "
                 "leave); tex: the axis' height as a TeX length (default 0.62 of the width), "
                 "the legend below it")
      ->type_name("H");
  if (axis) {
    sub.add_option("--axis", args.axis,
                   "ratio: the x axis labelled with the ratio to the best count (1, 2, 4, 8, "
                   "...) on a log2 scale; log2: labelled with its log2")
        ->type_name("ratio|log2")
        ->capture_default_str();
  }
}

bool figure_args_given(const CLI::App& sub) {
  for (const char* name : {"--methods", "--title", "--width", "--height", "--axis"}) {
    const CLI::Option* option = sub.get_option_no_throw(name);
    if (option != nullptr && option->count() > 0) return true;
  }
  return false;
}

namespace {

// A size in px: a number, optionally followed by "px", from `low` to 100000.
double parse_pixels(const std::string& option, const std::string& text, double low) {
  std::string_view number = text;
  if (number.size() > 2 && number.substr(number.size() - 2) == "px") {
    number.remove_suffix(2);
  }
  double value = 0;
  const char* end = number.data() + number.size();
  const auto result = std::from_chars(number.data(), end, value, std::chars_format::fixed);
  if (number.empty() || result.ec != std::errc() || result.ptr != end || !(value >= low) ||
      !(value <= 100000)) {
    usage_error(option + ": '" + text + "' is not a size in px from " + textkit::shortest(low) +
                " to 100000 (e.g. 640)");
  }
  return value;
}

curves::TexLength parse_length(const std::string& option, const std::string& text) {
  const std::optional<curves::TexLength> length = curves::parse_tex_length(text);
  if (!length) {
    usage_error(option + ": '" + text +
                "' is not a TeX length: a positive number and one of pt, bp, mm, cm, in, "
                "\\linewidth, \\columnwidth, \\textwidth (e.g. 8cm, 0.9\\linewidth)");
  }
  return *length;
}

}  // namespace

curves::FigureOptions figure_options_of(const FigureArgs& args,
                                        const std::vector<std::string>& names,
                                        const std::string& file, bool tex) {
  curves::FigureOptions options;
  options.title = args.title;
  if (args.axis != "ratio" && args.axis != "log2") {
    usage_error("--axis: '" + args.axis + "' is not one of ratio, log2");
  }
  options.log2_labels = args.axis == "log2";
  if (tex) {
    if (!args.width.empty()) options.tex_width = parse_length("--width", args.width);
    if (!args.height.empty()) options.tex_height = parse_length("--height", args.height);
  } else {
    if (!args.width.empty())
      options.width = parse_pixels("--width", args.width, curves::k_min_width);
    if (!args.height.empty()) options.height = parse_pixels("--height", args.height, 100);
  }
  if (args.methods.empty()) return options;
  std::vector<bool> taken(names.size(), false);
  for (std::size_t start = 0; start <= args.methods.size();) {
    std::size_t end = args.methods.find(',', start);
    if (end == std::string::npos) end = args.methods.size();
    const std::string item = args.methods.substr(start, end - start);
    start = end + 1;
    std::size_t m = std::find(names.begin(), names.end(), item) - names.begin();
    if (m == names.size()) {
      std::uint64_t number = 0;
      const char* last = item.data() + item.size();
      const auto result = std::from_chars(item.data(), last, number);
      if (!item.empty() && result.ec == std::errc() && result.ptr == last && number >= 1 &&
          number <= names.size()) {
        m = number - 1;
      }
    }
    if (m == names.size()) {
      std::string known;
      for (std::size_t k = 0; k < names.size() && k < 10; ++k) {
        known += (k == 0 ? "'" : ", '") + names[k] + "'";
      }
      if (names.size() > 10) known += ", ... (" + std::to_string(names.size()) + " in all)";
      usage_error("--methods: " +
                  (item.empty() ? std::string("an empty name") : "'" + item + "' is no method") +
                  " of " + file + "; its methods are " + known + " (a method number from 1 to " +
                  std::to_string(names.size()) + " also works)");
    }
    if (taken[m]) usage_error("--methods: '" + item + "' is given twice");
    taken[m] = true;
    options.methods.push_back(m);
  }
  return options;
}

std::uint64_t parse_whole(const std::string& option, const std::string& text, std::uint64_t low,
                          std::uint64_t high) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (text.empty() || result.ec != std::errc() || result.ptr != end || value < low ||
      value > high) {
    usage_error(option + ": '" + text + "' is not a whole number from " + std::to_string(low) +
                " to " + std::to_string(high));
  }
  return value;
}

std::string for_terminal(std::string_view message) {
  std::string shown;
  for (std::size_t start = 0;;) {
    const std::size_t end = message.find('\n', start);
    shown += textkit::terminal(message.substr(start, end - start));
    if (end == std::string_view::npos) return shown;
    shown += '\n';
    start = end + 1;
  }
}

void fail(const std::string& message, int status) {
  remove_pending_outputs();
  std::cout.flush();
  std::cerr << "profkit: error: " << for_terminal(message) << "\n";
  std::exit(status);
}

}  // namespace kit
