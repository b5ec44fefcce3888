// profkit import: a table in any other format written as a results table
// (P.PER) that profcmp reads, with what P.PER cannot carry said on standard
// error.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "profkit/cli/commands.h"
#include "profkit/cli/common.h"
#include "profkit/table/results_writer.h"

namespace kit {
namespace {

struct ImportOptions {
  TableOptions table;
  std::string output;
  std::string columns[records::k_count_fields];  // --nit .. --time
  std::vector<std::string> scales;               // --scale COL=FACTOR
};

const char* const k_field_options[records::k_count_fields] = {"--nit", "--nfv", "--nfg", "--ncgr",
                                                              "--time"};

// The scale factors of --scale COL=FACTOR, by column.
std::vector<std::pair<std::string, double>> scales_of(const std::vector<std::string>& given) {
  std::vector<std::pair<std::string, double>> scales;
  for (const std::string& s : given) {
    const std::size_t eq = s.rfind('=');
    double factor = 0;
    const char* end = s.data() + s.size();
    const auto parsed = eq == std::string::npos
                            ? std::from_chars_result{s.data(), std::errc::invalid_argument}
                            : std::from_chars(s.data() + eq + 1, end, factor);
    if (eq == std::string::npos || eq == 0 || parsed.ec != std::errc() || parsed.ptr != end ||
        !std::isfinite(factor) || !(factor > 0)) {
      usage_error("--scale: '" + s + "' is not COLUMN=FACTOR with a positive factor");
    }
    scales.emplace_back(s.substr(0, eq), factor);
  }
  return scales;
}

void run_import(ImportOptions& options) {
  refuse_output_over_input(options.output, options.table.files);
  const auto scales = scales_of(options.scales);

  // The measure columns to read, each once; without a mapping, the table's
  // first numeric measure goes to NFV.
  std::vector<table::FieldSource> fields;
  std::vector<std::string> columns, options_of_columns;
  for (int k = 0; k < records::k_count_fields; ++k) {
    const std::string& column = options.columns[k];
    if (column.empty()) continue;
    table::FieldSource f;
    f.field = k;
    std::size_t at = 0;
    while (at < columns.size() && !table::same_name(columns[at], column)) ++at;
    if (at == columns.size()) {
      columns.push_back(column);
      options_of_columns.push_back(k_field_options[k]);
    }
    f.measure = at;
    f.column = column;
    fields.push_back(f);
  }
  if (fields.empty()) {
    table::FieldSource f;
    f.field = 1;
    fields.push_back(f);
  }
  int fd = -1;
  std::string head;
  const table::InputFormat format = input_format_of(options.table, fd, head);
  if (format == table::InputFormat::pper) {
    fail(options.table.file +
         ": is a results table already; import reads csv, wide and perprof "
         "tables");
  }
  options.table.criterion_given = false;
  table::ReadOptions read = read_options_of(options.table);
  const bool long_csv = format == table::InputFormat::csv;
  if (long_csv) {
    read.measures = columns;
    read.measure_options = options_of_columns;
  }
  InputTable input;
  input.format = format;
  if (format == table::InputFormat::history) {
    // A history is written as the table of one tolerance, its evaluations.
    if (options.table.tolerance.empty()) {
      usage_error("import: " + options.table.file +
                  " is a convergence history; a results table holds the costs of one "
                  "tolerance: pick it with --tolerance T");
    }
    input = read_opened(options.table, format, fd, head);
  } else if (long_csv || format == table::InputFormat::wide) {
    input.read = table::read_csv(fd, head, options.table.file, read, !long_csv);
    if (options.table.file != "-") ::close(fd);
  } else {
    input.read = table::read_perprof(options.table.files, read);
  }
  refuse_errors(options.table, input.read);
  const table::ReadTable& t = input.read;
  if (!long_csv) {
    // Wide and perprof tables hold one measure, their cost.
    for (const std::string& column : columns) {
      if (!table::same_name(column, t.measure_names.front())) {
        fail(options.table.file + ": no measure '" + column + "'; a " +
             std::string(table::format_name(format)) + " table holds one, '" +
             t.measure_names.front() + "'");
      }
    }
    for (table::FieldSource& f : fields) f.measure = 0;
  }
  for (table::FieldSource& f : fields) f.column = t.measure_names[f.measure];
  for (const auto& [column, factor] : scales) {
    bool used = false;
    for (table::FieldSource& f : fields) {
      if (!table::same_name(f.column, column)) continue;
      f.scale = factor;
      f.scaled = true;
      used = true;
    }
    if (!used) usage_error("--scale: column '" + column + "' is written to no count field");
  }
  refuse_empty(options.table.file, t.methods(), t.problem_names.size());

  const table::ResultsPlan plan = table::plan_results(t.measures, t.problem_names, fields);
  if (!plan.error.empty()) fail(options.table.file + ": " + plan.error);
  write_output(options.output,
               [&](std::ostream& out) { table::write_results(out, t.measures, plan); });
  for (const std::string& note : plan.notes) std::cerr << for_terminal(note) << "\n";
}

}  // namespace

void add_import_command(CLI::App& app) {
  auto options = std::make_shared<ImportOptions>();
  CLI::App* sub = app.add_subcommand(
      "import",
      "Write a csv, wide or perprof table as a results table (P.PER) that profcmp reads: "
      "measures mapped to the count fields, failures as 2147483647, names cut to 14 bytes "
      "(the mapping and every other loss said on standard error)");
  sub->add_option("FILE", options->table.files,
                  "table to read ('-': standard input); several FILEs for perprof tables")
      ->required();
  add_input_options(*sub, options->table);
  add_output_option(*sub, options->output);
  const char* const fields[records::k_count_fields] = {"NIT", "NFV", "NFG", "NCGR", "TIME"};
  for (int k = 0; k < records::k_count_fields; ++k) {
    sub->add_option(k_field_options[k], options->columns[k],
                    std::string("measure column written as the ") + fields[k] +
                        " count (unmapped counts are blank; without any mapping the first "
                        "numeric measure is NFV)")
        ->type_name("COL");
  }
  sub->add_option("--scale", options->scales,
                  "multiply column COL by FACTOR and round up, to turn real costs into whole "
                  "counts (e.g. time=1000 for milliseconds); repeatable")
      ->type_name("COL=FACTOR");
  sub->callback([options] { run_import(*options); });
}

}  // namespace kit
