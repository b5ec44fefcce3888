// Long and wide CSV tables: RFC 4180 fields (quotes, doubled quotes, line
// ends inside quotes), a UTF-8 byte-order mark, comma, semicolon or tab.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "profkit/table/csv_rows.h"
#include "profkit/table/results_table.h"
#include "profkit/table/table_model.h"

namespace table {

// Splits `row` at `delimiter` into `fields`; quoted fields are unquoted into
// `unquoted`, which has room for the whole row so that no view moves.
// Returns false when a quote is still open at the end of the row.
bool split_row(std::string_view row, char delimiter, std::size_t first_column,
               std::vector<Field>& fields, std::string& unquoted) {
  fields.clear();
  unquoted.clear();
  if (unquoted.capacity() < row.size()) unquoted.reserve(row.size());
  // Without a quote the fields are the pieces between delimiters.
  if (std::memchr(row.data(), '"', row.size()) == nullptr) {
    std::size_t start = 0;
    for (;;) {
      const void* at = std::memchr(row.data() + start, delimiter, row.size() - start);
      const std::size_t end =
          at == nullptr ? row.size()
                        : static_cast<std::size_t>(static_cast<const char*>(at) - row.data());
      fields.push_back({row.substr(start, end - start), first_column + start});
      if (at == nullptr) return true;
      start = end + 1;
    }
  }
  std::size_t i = 0;
  for (;;) {
    const std::size_t start = i;
    if (i < row.size() && row[i] == '"') {
      const std::size_t from = unquoted.size();
      ++i;
      bool closed = false;
      while (i < row.size()) {
        if (row[i] == '"') {
          if (i + 1 < row.size() && row[i + 1] == '"') {
            unquoted.push_back('"');
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        unquoted.push_back(row[i++]);
      }
      if (!closed) return false;
      // Bytes after the closing quote belong to the field as they are.
      while (i < row.size() && row[i] != delimiter) unquoted.push_back(row[i++]);
      fields.push_back({std::string_view(unquoted).substr(from), first_column + start});
    } else {
      while (i < row.size() && row[i] != delimiter) ++i;
      fields.push_back({row.substr(start, i - start), first_column + start});
    }
    if (i >= row.size()) return true;
    ++i;  // the delimiter
    if (i == row.size()) {
      fields.push_back({std::string_view(), first_column + i});
      return true;
    }
  }
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

char guess_delimiter(std::string_view header) {
  std::size_t counts[3] = {0, 0, 0};
  bool quoted = false;
  for (const char c : header) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    counts[0] += c == ',' ? 1 : 0;
    counts[1] += c == ';' ? 1 : 0;
    counts[2] += c == '\t' ? 1 : 0;
  }
  if (counts[1] > counts[0] && counts[1] >= counts[2]) return ';';
  if (counts[2] > counts[0] && counts[2] > counts[1]) return '\t';
  return ',';
}

// The column named `name`, or one of `defaults` when `name` is empty; -1 when none.
int column_of(const std::vector<std::string>& header, const std::string& name,
              std::initializer_list<std::string_view> defaults) {
  if (!name.empty()) {
    for (std::size_t c = 0; c < header.size(); ++c) {
      if (same_name(header[c], name)) return static_cast<int>(c);
    }
    return -1;
  }
  for (const std::string_view d : defaults) {
    for (std::size_t c = 0; c < header.size(); ++c) {
      if (same_name(header[c], d)) return static_cast<int>(c);
    }
  }
  return -1;
}

namespace {

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Status words that plainly mean a failed run, so that they need no warning.
bool plain_failure(std::string_view status) {
  double number = 0;
  if (parse_number(status, number) != -1) return true;
  static constexpr std::string_view k_parts[] = {
      "fail",   "error", "diverg", "limit",  "max",     "time",  "infeas", "unbound", "stall",
      "except", "crash", "abort",  "memory", "unknown", "false", "not",    "nan",     "inf"};
  const std::string text = lowered(status);
  if (text == "d") return true;
  for (const std::string_view part : k_parts) {
    if (text.find(part) != std::string::npos) return true;
  }
  return false;
}

std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  out.append(text);
  out += '\'';
  return out;
}

}  // namespace

ReadTable read_csv(int fd, std::string_view head, const std::string& file,
                   const ReadOptions& options, bool wide) {
  ReadTable out;
  CsvRows rows(fd, head);
  std::vector<Field> fields;
  std::string_view row;
  std::uint64_t line = 0;

  // The header: its delimiter is guessed from it before it is split.
  std::string header_line;
  const char given = options.delimiter;
  // Peek at the header with a comma, then split it again with its delimiter.
  if (!header_row(rows, given != 0 ? given : ',', fields, row, line, file, out)) return out;
  header_line.assign(row);
  const char delimiter = given != 0 ? given : guess_delimiter(header_line);
  std::string scratch;
  split_row(header_line, delimiter, fields.empty() ? 1 : fields.front().column, fields, scratch);
  std::vector<std::string> header;
  std::vector<std::size_t> header_columns;
  for (const Field& f : fields) {
    header.emplace_back(trim(f.text));
    header_columns.push_back(f.column);
  }
  const std::size_t width = header.size();

  int method_col = -1, problem_col = -1, status_col = -1;
  std::vector<int> measure_cols;
  if (wide) {
    problem_col = 0;
    if (width < 2) {
      out.stop(file, 1, 0, "a wide table needs a problem column and at least one method column");
      return out;
    }
  } else {
    method_col = column_of(header, options.method_column, {"solver", "method", "algorithm"});
    problem_col = column_of(header, options.problem_column, {"problem", "instance", "name"});
    status_col = column_of(header, options.status_column, {"status", "exitflag", "flag"});
    if (method_col < 0) {
      out.stop(file, 1, 0,
               options.method_column.empty()
                   ? "no method column (solver, method or algorithm); name it with --method-column"
                   : "no column " + quoted(options.method_column) + " (--method-column)");
      return out;
    }
    if (problem_col < 0) {
      out.stop(file, 1, 0,
               options.problem_column.empty()
                   ? "no problem column (problem, instance or name); name it with --problem-column"
                   : "no column " + quoted(options.problem_column) + " (--problem-column)");
      return out;
    }
    if (!options.status_column.empty() && status_col < 0) {
      out.stop(file, 1, 0, "no column " + quoted(options.status_column) + " (--status-column)");
      return out;
    }
    for (std::size_t k = 0; k < options.measures.size(); ++k) {
      const std::string& name = options.measures[k];
      const int c = column_of(header, name, {});
      if (c < 0) {
        const std::string option =
            k < options.measure_options.size() ? options.measure_options[k] : "--criterion";
        out.stop(file, 1, 0, "no column " + quoted(name) + " (" + option + ")");
        return out;
      }
      measure_cols.push_back(c);
      out.measure_names.push_back(header[static_cast<std::size_t>(c)]);
    }
  }

  std::vector<std::string> success = options.success;
  if (success.empty()) {
    success = {"0", "success", "solved", "converged", "first_order", "optimal"};
  }
  for (std::string& s : success) s = lowered(trim(s));
  const auto solved_status = [&](std::string_view status) {
    status = trim(status);
    for (const std::string& s : success) {
      if (same_name(status, s)) return true;
    }
    return false;
  };

  std::vector<std::uint32_t> wide_methods;
  if (wide) {
    out.measure_names.push_back("cost");
  }
  std::unique_ptr<TableBuilder> builder;
  if (wide) {
    builder = std::make_unique<TableBuilder>(1);
    for (std::size_t c = 1; c < width; ++c) {
      if (has_control_bytes(header[c])) {
        out.add(file, 1, header_columns[c], false,
                "method name " + quoted(header[c]) + " holds control bytes");
      }
      wide_methods.push_back(builder->new_method(header[c]));
    }
  } else if (!measure_cols.empty()) {
    builder = std::make_unique<TableBuilder>(measure_cols.size());
  }

  std::vector<double> values;
  // One cell: k_failed for an empty cell, NaN, infinity, a negative value or
  // text that is not a number (an error).
  const auto measure_of_cell = [&](const Field& f, std::uint64_t at_line) {
    double v = 0;
    const int kind = parse_number(f.text, v);
    if (kind == -1) {
      out.add(file, at_line, f.column, true,
              "measure " + quoted(trim(f.text)) + " is not a number");
      return k_failed;
    }
    if (kind != 1 || v < 0) return k_failed;
    if (options.min_cost > 0 && v < options.min_cost) return options.min_cost;
    if (v == 0) {
      out.add(file, at_line, f.column, true,
              "cost 0 for a solved run; give --min-cost X to raise costs below X to X");
      return k_failed;
    }
    return v;
  };

  while (rows.next(delimiter, fields, row, line)) {
    if (row.empty()) continue;
    if (!row_fits_header(fields, row, width, line, file, out)) continue;
    if (wide) {
      const Field& name = fields[0];
      const std::string_view problem_name = trim(name.text);
      if (has_control_bytes(problem_name)) {
        out.add(file, line, name.column, false,
                "problem name " + quoted(problem_name) + " holds control bytes");
      }
      const std::uint32_t p = builder->problem(problem_name);
      for (std::size_t c = 1; c < width; ++c) {
        const double v = measure_of_cell(fields[c], line);
        if (!builder->put(wide_methods[c - 1], p, &v)) {
          out.add(file, line, name.column, true,
                  "problem " + quoted(problem_name) + " given twice");
          break;
        }
      }
      continue;
    }
    if (!builder) {
      // The first numeric column that is not the method, problem or status.
      for (std::size_t c = 0; c < width; ++c) {
        if (static_cast<int>(c) == method_col || static_cast<int>(c) == problem_col ||
            static_cast<int>(c) == status_col) {
          continue;
        }
        double v = 0;
        if (parse_number(fields[c].text, v) > 0) {
          measure_cols.push_back(static_cast<int>(c));
          out.measure_names.push_back(header[c]);
          break;
        }
      }
      if (measure_cols.empty()) {
        out.stop(file, line, 0, "no numeric measure column; name one with --criterion");
        return out;
      }
      builder = std::make_unique<TableBuilder>(measure_cols.size());
    }
    const Field& method_field = fields[static_cast<std::size_t>(method_col)];
    const Field& problem_field = fields[static_cast<std::size_t>(problem_col)];
    const std::string_view method_name = trim(method_field.text);
    const std::string_view problem_name = trim(problem_field.text);
    const std::size_t before = builder->methods();
    const std::uint32_t m = builder->method(method_name);
    if (builder->methods() > before && has_control_bytes(method_name)) {
      out.add(file, line, method_field.column, false,
              "method name " + quoted(method_name) + " holds control bytes");
    }
    const std::size_t problems_before = builder->problems();
    const std::uint32_t p = builder->problem(problem_name);
    if (builder->problems() > problems_before && has_control_bytes(problem_name)) {
      out.add(file, line, problem_field.column, false,
              "problem name " + quoted(problem_name) + " holds control bytes");
    }
    bool solved = true;
    if (status_col >= 0) {
      const Field& status = fields[static_cast<std::size_t>(status_col)];
      solved = solved_status(status.text);
      if (!solved && !plain_failure(trim(status.text))) {
        out.add(file, line, status.column, false,
                "status " + quoted(trim(status.text)) +
                    " is neither a success value (--success) nor a usual failure; read as a "
                    "failure");
      }
    }
    values.resize(measure_cols.size());
    for (std::size_t k = 0; k < measure_cols.size(); ++k) {
      const Field& f = fields[static_cast<std::size_t>(measure_cols[k])];
      if (solved) {
        values[k] = measure_of_cell(f, line);
      } else {
        double v = 0;
        if (parse_number(f.text, v) == -1) {
          out.add(file, line, f.column, true,
                  "measure " + quoted(trim(f.text)) + " is not a number");
        }
        values[k] = k_failed;
      }
    }
    if (!builder->put(m, p, values.data())) {
      out.add(file, line, method_field.column, true,
              "method " + quoted(method_name) + " has problem " + quoted(problem_name) + " twice");
    }
  }
  if (rows.open_quote()) {
    out.stop(file, line + 1, 0, "the file ends inside a quoted field");
    return out;
  }
  if (rows.error() != 0) {
    if (rows.error() == k_record_too_long) {
      out.stop(file, rows.line(), 0,
               "row longer than 1 MiB (1048576 bytes; profcmp stops at such a record with "
               "message 22)");
    } else {
      out.stop(file, 0, 0, std::string("cannot be read: ") + std::strerror(rows.error()));
    }
    return out;
  }
  if (!builder) {
    out.stop(file, 1, 0, "a header row without rows");
    return out;
  }
  const std::size_t problems = builder->problems();
  for (std::uint32_t m = 0; m < builder->methods(); ++m) {
    const std::size_t lacking = problems - builder->given(m);
    if (lacking > 0) {
      out.add(file, 0, 0, false,
              "method " + quoted(builder->method_name(m)) + " lacks " + std::to_string(lacking) +
                  " of the " + std::to_string(problems) + " problems; they count as its failures");
    }
  }
  builder->finish(out);
  return out;
}

}  // namespace table
