#include "profkit/cli/common.h"

#include "profkit/cli/atomic_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#include "profkit/text/escape.h"

namespace kit {
namespace {

std::string upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace

int measure_index_of(const std::string& criterion) {
  const std::string key = upper(criterion);
  for (int k = 0; k < table::k_counts; ++k) {
    if (key == table::k_count_names[k]) return k + 1;
  }
  return 0;
}

void add_file_option(CLI::App& sub, std::string& file) {
  sub.add_option("FILE", file, "results table to read ('-': standard input)")
      ->capture_default_str();
}

void add_criterion_option(CLI::App& sub, std::string& criterion) {
  sub.add_option("--criterion", criterion, "count compared: NIT, NFV, NFG, NCGR or TIME (any case)")
      ->capture_default_str()
      ->type_name("C")
      ->transform(CLI::Validator(
          [](std::string& value) -> std::string {
            if (measure_index_of(value) == 0) {
              return "'" + value + "' is not one of NIT, NFV, NFG, NCGR, TIME";
            }
            value = upper(value);
            return {};
          },
          "NIT|NFV|NFG|NCGR|TIME"));
}

void add_table_options(CLI::App& sub, TableOptions& options) {
  add_file_option(sub, options.file);
  add_criterion_option(sub, options.criterion);
  sub.add_option_function<std::string>(
         "--failures",
         [&options](const std::string& rule) {
           options.failures_nonpositive = rule == "nonpositive";
         },
         "clamp: a count below 1 is 1, as profcmp takes it (default); nonpositive: a count of 0 "
         "or less, or a blank count, is a failure")
      ->type_name("RULE")
      ->check(CLI::IsMember({"clamp", "nonpositive"}));
}

void add_output_option(CLI::App& sub, std::string& output) {
  sub.add_option("-o,--output", output, "write to OUT instead of standard output")
      ->type_name("OUT");
}

namespace {

// The descriptor to read `file` from: 0 for "-" (standard input), else the
// file opened for reading; a file that cannot be opened ends the process.
int open_table(const std::string& file) {
  if (file == "-") return 0;
  int fd = -1;
  do {
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) fail(file + ": " + std::strerror(errno));
  return fd;
}

void close_table(const std::string& file, int fd) {
  if (file != "-") ::close(fd);
}

// A LoadedTable with the criterion of the options and no measures yet.
LoadedTable criterion_of(const TableOptions& options) {
  LoadedTable loaded;
  loaded.measure_index = measure_index_of(options.criterion);
  if (loaded.measure_index == 0) {
    fail("--criterion: '" + options.criterion + "' is not one of NIT, NFV, NFG, NCGR, TIME");
  }
  loaded.criterion = std::string(table::k_count_names[loaded.measure_index - 1]);
  loaded.criterion.resize(4, ' ');
  return loaded;
}

table::FailureRule failure_rule_of(const TableOptions& options) {
  return options.failures_nonpositive ? table::FailureRule::nonpositive : table::FailureRule::clamp;
}

}  // namespace

table::ResultsTable read_table_file(
    const std::string& file, const std::function<void(const table::ParsedRecord&)>& observer) {
  const int fd = open_table(file);
  table::RecordReader reader(fd);
  table::ResultsTable results;
  const bool read = table::read_results(reader, results, observer);
  close_table(file, fd);
  if (!read) fail(file + ": " + std::strerror(reader.error()));
  return results;
}

LoadedTable load_measures(const TableOptions& options) {
  LoadedTable loaded = criterion_of(options);
  const int fd = open_table(options.file);
  table::MeasureRead read =
      table::read_measures(fd, loaded.measure_index, failure_rule_of(options));
  close_table(options.file, fd);
  if (read.read_error != 0) fail(options.file + ": " + std::strerror(read.read_error));
  if (read.conversion_failed) fail(conversion_message(options.file, read.first_error));
  loaded.measures = std::move(read.measures);
  return loaded;
}

LoadedTable load_table(const TableOptions& options) {
  LoadedTable loaded = criterion_of(options);
  const table::ResultsTable results = read_table_file(options.file);
  if (!results.conversion_errors.empty()) {
    fail(conversion_message(options.file, results.conversion_errors.front()));
  }
  loaded.measures = table::measures_of(results, loaded.measure_index, failure_rule_of(options));
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
                        ": count " + std::string(table::k_count_names[e.field]) + " '" + e.text +
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
