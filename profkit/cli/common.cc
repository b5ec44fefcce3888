#include "profkit/cli/common.h"

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
  sub.add_option("--criterion", criterion, "count compared: " + keywords_in_words() + " (any case)")
      ->capture_default_str()
      ->type_name("C")
      ->transform(CLI::Validator(
          [](std::string& value) -> std::string {
            const int measure_index = records::measure_index_of_any_case(value);
            if (measure_index == 0) return not_a_criterion(value);
            value = records::count_name(measure_index - 1);
            return {};
          },
          keyword_list("|", "|")));
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
  loaded.measure_index = records::measure_index_of_any_case(options.criterion);
  if (loaded.measure_index == 0) fail("--criterion: " + not_a_criterion(options.criterion));
  loaded.criterion = std::string(records::k_keywords[loaded.measure_index - 1]);
  return loaded;
}

table::FailureRule failure_rule_of(const TableOptions& options) {
  return options.failures_nonpositive ? table::FailureRule::nonpositive : table::FailureRule::clamp;
}

}  // namespace

// Ends the process when the records ended early: a read error, or a record
// profcmp refuses for its length.
void fail_on_early_end(const std::string& file, int read_error, std::uint64_t too_long_line) {
  if (read_error != 0) fail(file + ": " + std::strerror(read_error));
  if (too_long_line != 0) {
    fail(file + ":" + std::to_string(too_long_line) + ": record longer than " +
         std::to_string(records::k_max_record_length) +
         " characters (profcmp stops here with message 22)");
  }
}

table::ResultsTable read_table_file(const std::string& file,
                                    const std::function<void(const table::ParsedRecord&)>& observer,
                                    table::AfterEnd after_end) {
  const int fd = open_table(file);
  table::RecordReader reader(fd);
  table::ResultsTable results;
  table::read_results(reader, results, observer, after_end);
  close_table(file, fd);
  fail_on_early_end(file, reader.error(), results.too_long_line);
  return results;
}

LoadedTable load_measures(const TableOptions& options) {
  LoadedTable loaded = criterion_of(options);
  const int fd = open_table(options.file);
  table::MeasureRead read =
      table::read_measures(fd, loaded.measure_index, failure_rule_of(options));
  close_table(options.file, fd);
  fail_on_early_end(options.file, read.read_error, read.too_long_line);
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
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) fail(path + ": " + std::strerror(errno));
  write(out);
  out.flush();
  if (!out) fail(path + ": " + std::strerror(errno));
  out.close();
  if (out.fail()) fail(path + ": " + std::strerror(errno));
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

void fail(const std::string& message, int status) {
  std::cout.flush();
  std::cerr << "profkit: error: " << message << "\n";
  std::exit(status);
}

}  // namespace kit
