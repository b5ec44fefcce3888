#include "profkit/table/history_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "profkit/table/csv_rows.h"

namespace table {
namespace {

constexpr double k_infinity = std::numeric_limits<double>::infinity();
// Evaluation numbers and dimensions above it are not whole doubles any more.
constexpr double k_largest_whole = 9007199254740992.0;

std::string quoted(std::string_view text) {
  std::string out = "'";
  out.append(text);
  out += '\'';
  return out;
}

std::string shortest(double v) {
  char buffer[64];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
}

// The whole number from 1 `text` holds; 0 when it holds none.
std::uint64_t whole_of(std::string_view text) {
  double v = 0;
  if (parse_number(text, v) != 1 || v < 1 || v > k_largest_whole || v != std::floor(v)) return 0;
  return static_cast<std::uint64_t>(v);
}

// Reads the header of `rows`: its fields trimmed, with their columns, split
// at the given delimiter or the one guessed from it. False at an empty or
// unreadable file, with the reason stopped in `out`.
bool read_header(CsvRows& rows, char& delimiter, const std::string& file,
                 std::vector<std::string>& header, std::vector<std::size_t>& columns,
                 ReadTable& out) {
  std::vector<Field> fields;
  std::string_view row;
  std::uint64_t line = 0;
  if (!header_row(rows, delimiter != 0 ? delimiter : ',', fields, row, line, file, out)) {
    return false;
  }
  const std::string header_line(row);
  if (delimiter == 0) delimiter = guess_delimiter(header_line);
  std::string scratch;
  split_row(header_line, delimiter, fields.empty() ? 1 : fields.front().column, fields, scratch);
  for (const Field& f : fields) {
    header.emplace_back(trim(f.text));
    columns.push_back(f.column);
  }
  return true;
}

// Stops `out` when the rows ended at an open quote or a read error.
bool rows_ended_well(const CsvRows& rows, const std::string& file, std::uint64_t line,
                     ReadTable& out) {
  if (rows.open_quote()) {
    out.stop(file, line + 1, 0, "the file ends inside a quoted field");
    return false;
  }
  if (rows.error() == k_record_too_long) {
    out.stop(file, rows.line(), 0, "row longer than 1 MiB (1048576 bytes)");
    return false;
  }
  if (rows.error() != 0) {
    out.stop(file, 0, 0, std::string("cannot be read: ") + std::strerror(rows.error()));
    return false;
  }
  return true;
}

std::string missing_column(const std::string& given, const char* option, const char* defaults) {
  if (given.empty()) {
    return std::string("no ") + defaults + "; name it with " + option;
  }
  return "no column " + quoted(given) + " (" + option + ")";
}

std::string run_name(const History& h, const HistoryRun& run) {
  return "the run of " + quoted(h.method_names[run.method]) + " on " +
         quoted(h.problem_names[run.problem]);
}

// The warnings of a history read whole: starts that differ or are not
// finite, budgets that differ, methods without a run on some problem.
void add_history_findings(History& h, const std::string& file) {
  const std::size_t problems = h.problem_names.size();
  std::vector<double> low_start(problems, k_infinity), high_start(problems, -k_infinity);
  std::vector<std::uint64_t> shortest_run(problems, std::numeric_limits<std::uint64_t>::max());
  std::vector<std::uint64_t> longest_run(problems, 0);
  std::vector<std::size_t> runs_of_method(h.method_names.size(), 0);
  for (const HistoryRun& run : h.runs) {
    const std::uint32_t p = run.problem;
    ++runs_of_method[run.method];
    shortest_run[p] = std::min(shortest_run[p], run.evaluations);
    longest_run[p] = std::max(longest_run[p], run.evaluations);
    if (std::isfinite(run.start)) {
      low_start[p] = std::min(low_start[p], run.start);
      high_start[p] = std::max(high_start[p], run.start);
    } else if (run.evaluations > 0) {
      h.read.add(
          file, 0, 0, false,
          run_name(h, run) + " starts at a value that is not finite; it fails at every tolerance");
    }
  }
  for (std::size_t p = 0; p < problems; ++p) {
    if (low_start[p] < high_start[p]) {
      h.read.add(file, 0, 0, false,
                 "problem " + quoted(h.problem_names[p]) + ": runs start at different values (" +
                     shortest(low_start[p]) + " to " + shortest(high_start[p]) +
                     "); the convergence test assumes one starting point");
    }
    if (shortest_run[p] < longest_run[p]) {
      h.read.add(file, 0, 0, false,
                 "problem " + quoted(h.problem_names[p]) + ": runs of " +
                     std::to_string(shortest_run[p]) + " to " + std::to_string(longest_run[p]) +
                     " evaluations; budgets differ");
    }
  }
  for (std::size_t m = 0; m < h.method_names.size(); ++m) {
    const std::size_t lacking = problems - runs_of_method[m];
    if (lacking > 0) {
      h.read.add(file, 0, 0, false,
                 "method " + quoted(h.method_names[m]) + " lacks " + std::to_string(lacking) +
                     " of the " + std::to_string(problems) +
                     " problems; they count as its failures");
    }
  }
}

}  // namespace

bool History::dimensions_known() const {
  return std::find(dimensions.begin(), dimensions.end(), std::uint64_t{0}) == dimensions.end();
}

History read_history(int fd, std::string_view head, const std::string& file,
                     const HistoryOptions& options) {
  History h;
  ReadTable& out = h.read;
  CsvRows rows(fd, head);
  char delimiter = options.read.delimiter;
  std::vector<std::string> header;
  std::vector<std::size_t> header_columns;
  if (!read_header(rows, delimiter, file, header, header_columns, out)) return h;
  const std::size_t width = header.size();

  const int method_col =
      column_of(header, options.read.method_column, {"solver", "method", "algorithm"});
  const int problem_col =
      column_of(header, options.read.problem_column, {"problem", "instance", "name"});
  const int evaluation_col = column_of(header, options.evaluation_column, {"evaluation", "eval"});
  const int value_col =
      column_of(header, options.value_column, {"fvalue", "f", "value", "objective"});
  const int dimension_col = column_of(header, options.dimension_column, {"dimension"});
  const struct {
    int column;
    const std::string& given;
    const char* option;
    const char* defaults;
  } needed[] = {
      {method_col, options.read.method_column, "--method-column",
       "method column (solver, method or algorithm)"},
      {problem_col, options.read.problem_column, "--problem-column",
       "problem column (problem, instance or name)"},
      {evaluation_col, options.evaluation_column, "--evaluation-column",
       "evaluation column (evaluation or eval)"},
      {value_col, options.value_column, "--value-column",
       "value column (fvalue, f, value or objective)"},
  };
  for (const auto& n : needed) {
    if (n.column < 0) {
      out.stop(file, 1, 0, missing_column(n.given, n.option, n.defaults));
      return h;
    }
  }
  if (!options.dimension_column.empty() && dimension_col < 0) {
    out.stop(file, 1, 0, missing_column(options.dimension_column, "--dimension-column", ""));
    return h;
  }

  NameIndex methods, problems;
  std::unordered_map<std::uint64_t, std::uint32_t> run_of;
  std::uint64_t last_key = std::numeric_limits<std::uint64_t>::max();
  std::uint32_t last_run = 0;
  std::vector<Field> fields;
  std::string_view row;
  std::uint64_t line = 0;
  while (rows.next(delimiter, fields, row, line)) {
    if (row.empty()) continue;
    if (!row_fits_header(fields, row, width, line, file, out)) continue;
    const Field& method_field = fields[static_cast<std::size_t>(method_col)];
    const Field& problem_field = fields[static_cast<std::size_t>(problem_col)];
    const Field& evaluation_field = fields[static_cast<std::size_t>(evaluation_col)];
    const Field& value_field = fields[static_cast<std::size_t>(value_col)];
    const std::string_view method_name = trim(method_field.text);
    const std::string_view problem_name = trim(problem_field.text);
    bool added = false;
    const std::uint32_t m = methods.find_or_add(method_name, added);
    if (added) {
      h.method_names.emplace_back(method_name);
      if (has_control_bytes(method_name)) {
        out.add(file, line, method_field.column, false,
                "method name " + quoted(method_name) + " holds control bytes");
      }
    }
    const std::uint32_t p = problems.find_or_add(problem_name, added);
    if (added) {
      h.problem_names.emplace_back(problem_name);
      h.lowest.push_back(k_infinity);
      h.dimensions.push_back(0);
      if (has_control_bytes(problem_name)) {
        out.add(file, line, problem_field.column, false,
                "problem name " + quoted(problem_name) + " holds control bytes");
      }
    }
    if (dimension_col >= 0) {
      const Field& f = fields[static_cast<std::size_t>(dimension_col)];
      if (!trim(f.text).empty()) {
        const std::uint64_t d = whole_of(f.text);
        if (d == 0) {
          out.add(file, line, f.column, true,
                  "dimension " + quoted(trim(f.text)) + " is not a whole number from 1");
        } else if (h.dimensions[p] == 0) {
          h.dimensions[p] = d;
        } else if (h.dimensions[p] != d) {
          out.add(file, line, f.column, true,
                  "problem " + quoted(problem_name) + " has dimension " + std::to_string(d) +
                      " here and " + std::to_string(h.dimensions[p]) + " before");
        }
      }
    }
    const std::uint64_t evaluation = whole_of(evaluation_field.text);
    if (evaluation == 0) {
      out.add(
          file, line, evaluation_field.column, true,
          "evaluation " + quoted(trim(evaluation_field.text)) + " is not a whole number from 1");
      continue;
    }
    double value = 0;
    const int kind = parse_number(value_field.text, value);
    if (kind == -1 || kind == 0) {
      out.add(file, line, value_field.column, true,
              kind == 0 ? std::string("an empty value")
                        : "value " + quoted(trim(value_field.text)) + " is not a number");
      continue;
    }
    // The run of (m, p): mostly the one of the row before.
    const std::uint64_t key = (std::uint64_t{m} << 32) | p;
    if (key != last_key) {
      const auto found = run_of.try_emplace(key, static_cast<std::uint32_t>(h.runs.size()));
      if (found.second) {
        HistoryRun run;
        run.method = m;
        run.problem = p;
        run.start = std::numeric_limits<double>::quiet_NaN();
        h.runs.push_back(std::move(run));
      }
      last_key = key;
      last_run = found.first->second;
    }
    HistoryRun& run = h.runs[last_run];
    if (evaluation != run.evaluations + 1) {
      std::string message =
          run.evaluations == 0
              ? run_name(h, run) + " starts at evaluation " + std::to_string(evaluation) + ", not 1"
          : evaluation <= run.evaluations
              ? "evaluation " + std::to_string(evaluation) + " of " + run_name(h, run) +
                    " repeats or goes back (after " + std::to_string(run.evaluations) + ")"
              : "evaluation " + std::to_string(evaluation) + " of " + run_name(h, run) +
                    " skips from " + std::to_string(run.evaluations);
      out.add(file, line, evaluation_field.column, true, std::move(message));
      if (evaluation <= run.evaluations) continue;
    }
    run.evaluations = evaluation;
    if (evaluation == 1) run.start = value;
    if (kind != 1) {
      out.add(
          file, line, value_field.column, false,
          "value " + quoted(trim(value_field.text)) + " is not finite; it never improves the run");
      continue;
    }
    if (run.improvements.empty() || value < run.improvements.back().value) {
      run.improvements.push_back({evaluation, value});
      if (value < h.lowest[p]) h.lowest[p] = value;
    }
  }
  if (!rows_ended_well(rows, file, line, out)) return h;
  if (h.runs.empty() && out.errors == 0) {
    out.stop(file, 1, 0, "a header row without rows");
    return h;
  }
  add_history_findings(h, file);
  return h;
}

void read_dimensions(int fd, const std::string& file, char delimiter, History& history) {
  ReadTable& out = history.read;
  CsvRows rows(fd, {});
  std::vector<std::string> header;
  std::vector<std::size_t> header_columns;
  if (!read_header(rows, delimiter, file, header, header_columns, out)) return;
  const int problem_col = column_of(header, "problem", {});
  const int dimension_col = column_of(header, "dimension", {});
  if (problem_col < 0 || dimension_col < 0) {
    out.stop(file, 1, 0, "a dimensions file needs the header problem,dimension");
    return;
  }
  std::unordered_map<std::string_view, std::uint32_t> index;
  for (std::uint32_t p = 0; p < history.problem_names.size(); ++p) {
    index.emplace(history.problem_names[p], p);
  }
  std::vector<Field> fields;
  std::string_view row;
  std::uint64_t line = 0;
  std::size_t unknown = 0;
  while (rows.next(delimiter, fields, row, line)) {
    if (row.empty()) continue;
    if (fields.size() != header.size()) {
      out.add(file, line, 0, true,
              "row has " + std::to_string(fields.size()) + " fields, the header " +
                  std::to_string(header.size()));
      continue;
    }
    const Field& name = fields[static_cast<std::size_t>(problem_col)];
    const Field& value = fields[static_cast<std::size_t>(dimension_col)];
    const std::uint64_t d = whole_of(value.text);
    if (d == 0) {
      out.add(file, line, value.column, true,
              "dimension " + quoted(trim(value.text)) + " is not a whole number from 1");
      continue;
    }
    const auto at = index.find(trim(name.text));
    if (at == index.end()) {
      ++unknown;
      continue;
    }
    std::uint64_t& known = history.dimensions[at->second];
    if (known != 0 && known != d) {
      out.add(file, line, value.column, true,
              "problem " + quoted(trim(name.text)) + " has dimension " + std::to_string(d) +
                  " here and " + std::to_string(known) + " before");
      continue;
    }
    known = d;
  }
  if (!rows_ended_well(rows, file, line, out)) return;
  if (unknown > 0) {
    out.add(file, 0, 0, false,
            std::to_string(unknown) + (unknown == 1 ? " problem" : " problems") +
                " of the dimensions file not in the history; left out");
  }
}

double convergence_cost(const HistoryRun& run, double lowest, double tolerance) {
  if (!std::isfinite(run.start) || run.improvements.empty()) return k_failed;
  const double threshold = lowest + tolerance * (run.start - lowest);
  // Improvements descend strictly: the first that passes is the answer.
  const auto at =
      std::partition_point(run.improvements.begin(), run.improvements.end(),
                           [threshold](const Improvement& i) { return !(i.value <= threshold); });
  if (at == run.improvements.end()) return k_failed;
  return static_cast<double>(at->evaluation);
}

MeasureTable history_table(const History& history, double tolerance) {
  // The runs of each method together, each method's by problem: its cells.
  const std::size_t methods = history.method_names.size();
  std::vector<std::size_t> begin(methods + 1, 0);
  for (const HistoryRun& run : history.runs) ++begin[run.method + 1];
  for (std::size_t m = 0; m < methods; ++m) begin[m + 1] += begin[m];
  std::vector<std::uint32_t> order(history.runs.size());
  std::vector<std::size_t> next(begin.begin(), begin.end() - 1);
  for (std::size_t r = 0; r < history.runs.size(); ++r) {
    order[next[history.runs[r].method]++] = static_cast<std::uint32_t>(r);
  }
  MeasureTable t;
  std::vector<std::uint32_t> problems;
  std::vector<double> costs;
  for (std::size_t m = 0; m < methods; ++m) {
    const auto first = order.begin() + static_cast<std::ptrdiff_t>(begin[m]);
    const auto last = order.begin() + static_cast<std::ptrdiff_t>(begin[m + 1]);
    std::sort(first, last, [&](std::uint32_t a, std::uint32_t b) {
      return history.runs[a].problem < history.runs[b].problem;
    });
    problems.clear();
    costs.clear();
    for (auto r = first; r != last; ++r) {
      const HistoryRun& run = history.runs[*r];
      problems.push_back(run.problem);
      costs.push_back(convergence_cost(run, history.lowest[run.problem], tolerance));
    }
    t.add_cells(history.method_names[m], problems.data(), costs.data(), problems.size());
  }
  t.problems = history.problem_names.size();
  return t;
}

bool parse_tolerances(std::string_view text, std::vector<std::string>& labels,
                      std::vector<double>& values, std::string& why) {
  labels.clear();
  values.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    const std::string_view part = trim(text.substr(start, end - start));
    double v = 0;
    if (part.empty()) {
      why = "an empty tolerance";
      return false;
    }
    if (parse_number(part, v) != 1 || v < 0 || v > 1) {
      why = quoted(part) + " is not a number from 0 to 1";
      return false;
    }
    labels.emplace_back(part);
    values.push_back(v);
    if (end == text.size()) return true;
    start = end + 1;
  }
}

}  // namespace table
