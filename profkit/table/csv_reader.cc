// Long and wide CSV tables: RFC 4180 fields (quotes, doubled quotes, line
// ends inside quotes), a UTF-8 byte-order mark, comma, semicolon or tab.
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <initializer_list>
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

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

// The value of a plain decimal `text` (digits, a fraction and an exponent,
// no sign or blanks) when it has at most 19 digits whose whole number is
// exact in a double and a power of ten up to 22: one multiplication or
// division of two exact doubles, so rounded as parse_number rounds it.
// False for anything else, which parse_number then reads.
bool plain_decimal(std::string_view text, double& value) {
  static constexpr double k_powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const char* at = text.data();
  const char* const end = at + text.size();
  std::uint64_t digits = 0;
  int count = 0;
  int exponent = 0;
  const auto digit = [](char c) { return static_cast<unsigned>(c - '0') < 10; };
  if (at == end || !digit(*at)) return false;
  for (; at != end && digit(*at); ++at, ++count) {
    digits = digits * 10 + static_cast<unsigned>(*at - '0');
  }
  if (at != end && *at == '.') {
    ++at;
    if (at == end || !digit(*at)) return false;
    for (; at != end && digit(*at); ++at, ++count, --exponent) {
      digits = digits * 10 + static_cast<unsigned>(*at - '0');
    }
  }
  if (count > 19) return false;
  if (at != end && (*at == 'e' || *at == 'E')) {
    ++at;
    bool negative = false;
    if (at != end && (*at == '+' || *at == '-')) negative = *at++ == '-';
    if (at == end || !digit(*at)) return false;
    int power = 0;
    for (int n = 0; at != end && digit(*at); ++at, ++n) {
      if (n == 4) return false;
      power = power * 10 + (*at - '0');
    }
    exponent += negative ? -power : power;
  }
  if (at != end || digits > (std::uint64_t{1} << 53) || exponent < -22 || exponent > 22) {
    return false;
  }
  const double whole = static_cast<double>(digits);
  value = exponent < 0 ? whole / k_powers[-exponent] : whole * k_powers[exponent];
  return true;
}

// The first numeric column of a data row that is not the method, problem or
// status column, or -1: the measure read when none is named.
int first_numeric_column(const std::vector<Field>& fields, std::size_t width, int method_col,
                         int problem_col, int status_col) {
  for (std::size_t c = 0; c < width; ++c) {
    const int column = static_cast<int>(c);
    if (column == method_col || column == problem_col || column == status_col) continue;
    double v = 0;
    if (parse_number(fields[c].text, v) > 0) return column;
  }
  return -1;
}

// The most batches of rows read ahead of the storing thread.
constexpr std::size_t k_batches = 32;

// The most fields a row split by the reading thread has.
constexpr std::size_t k_plain_fields = 64;

// The bytes of `word` equal to `byte`, as the high bit of each such byte.
std::uint64_t bytes_equal(std::uint64_t word, char byte) {
  constexpr std::uint64_t k_low7 = 0x7F7F7F7F7F7F7F7Full;
  const std::uint64_t x = word ^ (0x0101010101010101ull * static_cast<unsigned char>(byte));
  // Exact per byte: no carry crosses from one byte into the next.
  return ~(((x & k_low7) + k_low7) | x | k_low7);
}

// The offsets of the delimiters in `text` into `ends` (`count` of them),
// eight bytes at a time; false at a quote or at more than k_plain_fields
// fields, where the row is split by the one-thread rules instead.
bool find_delimiters(std::string_view text, char delimiter, std::uint32_t* ends,
                     std::size_t& count) {
  count = 0;
  const char* const bytes = text.data();
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= text.size(); i += 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, bytes + i, 8);
      if (bytes_equal(word, '"') != 0) return false;
      for (std::uint64_t found = bytes_equal(word, delimiter); found != 0; found &= found - 1) {
        if (count + 1 == k_plain_fields) return false;
        ends[count++] = static_cast<std::uint32_t>(i + std::countr_zero(found) / 8);
      }
    }
  }
  for (; i < text.size(); ++i) {
    if (bytes[i] == '"') return false;
    if (bytes[i] == delimiter) {
      if (count + 1 == k_plain_fields) return false;
      ends[count++] = static_cast<std::uint32_t>(i);
    }
  }
  return true;
}

// A row of a batch: for a plain row (no quotes, the header's width, no
// finding in its status or measures), its names one after the other in
// Batch::bytes, their columns and its measures in Batch::values; any other
// row as its text, to be read whole by the one-thread rules.
constexpr std::uint32_t k_whole_row = std::numeric_limits<std::uint32_t>::max();

struct Entry {
  std::uint64_t line = 0;
  std::uint32_t offset = 0;         // in Batch::bytes
  std::uint32_t size = 0;           // of the method name, or of the whole row's text
  std::uint32_t problem_size = 0;   // k_whole_row: a whole row
  std::uint32_t method_column = 0;  // from 1, of the field
  std::uint32_t problem_column = 0;
};

struct Batch {
  std::vector<Entry> entries;
  std::string bytes;
  std::vector<double> values;
  // The end of the rows, in the last batch: what CsvRows says then.
  bool last = false;
  bool open_quote = false;
  int error = 0;
  std::uint64_t error_line = 0;
  std::uint64_t line = 0;
  std::exception_ptr failure;

  void clear() {
    entries.clear();
    bytes.clear();
    values.clear();
  }
};

// Batches handed from the reading thread to the storing one and back. Up to
// `count` of them are made, as the reading thread gets ahead: enough to keep
// it busy while the storing one numbers a long run of new names, few enough
// that memory stays bounded.
class BatchQueue {
 public:
  explicit BatchQueue(std::size_t count) : m_count(count) {}
  // An empty batch to fill; null once cancelled.
  Batch* take_empty() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_cancelled || !m_free.empty() || m_all.size() < m_count; });
    if (m_cancelled) return nullptr;
    if (m_free.empty()) {
      m_all.push_back(std::make_unique<Batch>());
      return m_all.back().get();
    }
    Batch* batch = m_free.back();
    m_free.pop_back();
    return batch;
  }
  void put_filled(Batch* batch) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_filled.push_back(batch);
    m_changed.notify_all();
  }
  Batch* take_filled() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return !m_filled.empty(); });
    Batch* batch = m_filled.front();
    m_filled.pop_front();
    return batch;
  }
  void give_back(Batch* batch) {
    batch->clear();
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_free.push_back(batch);
    m_changed.notify_all();
  }
  void cancel() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled = true;
    m_changed.notify_all();
  }

 private:
  std::size_t m_count;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::unique_ptr<Batch>> m_all;
  std::vector<Batch*> m_free;
  std::deque<Batch*> m_filled;
  bool m_cancelled = false;
};

// The reading of a CSV table after its header: the columns found there and
// what the rows make of them.
class CsvTable {
 public:
  CsvTable(const std::string& file, const ReadOptions& options, ReadTable& out)
      : m_file(file), m_options(options), m_out(out) {}

  // Reads the header row; false when the table cannot be read on.
  bool header(CsvRows& rows, bool wide);
  // Reads a row; false when the table cannot be read on.
  bool row(const std::vector<Field>& fields, std::string_view row, std::uint64_t line);
  // Stores a row whose fields give no finding but for new names and pairs
  // given twice: its trimmed names and their columns, its measures.
  void plain_row(const Entry& e, const char* bytes, const double* values);
  // Ends the table after the rows: what ended them, and the last row's line.
  void end(bool open_quote, int error, std::uint64_t error_line, std::uint64_t line);

  // Reads the rows with a second thread: see CsvReading. False, with no row
  // read, when the system gives no thread.
  bool pipeline(CsvRows& rows, std::size_t batch_rows);

  char delimiter() const { return m_delimiter; }

 private:
  // The measure of a solved run's cell: k_failed for an empty cell, NaN,
  // infinity, a negative value or text that is not a number (an error).
  double measure_of_cell(const Field& f, std::uint64_t line);
  bool solved_status(std::string_view status) const {
    status = trim(status);
    for (const std::string& s : m_success) {
      if (same_name(status, s)) return true;
    }
    return false;
  }
  // The reading thread of pipeline().
  void read_batches(CsvRows& rows, BatchQueue& queue, std::size_t batch_rows) const;

  const std::string& m_file;
  const ReadOptions& m_options;
  ReadTable& m_out;
  char m_delimiter = ',';
  bool m_wide = false;
  std::vector<std::string> m_header;
  std::size_t m_width = 0;
  int m_method_col = -1, m_problem_col = -1, m_status_col = -1;
  std::vector<int> m_measure_cols;
  std::vector<std::string> m_success;
  std::vector<std::uint32_t> m_wide_methods;
  std::unique_ptr<TableBuilder> m_builder;
  std::vector<double> m_values;
};

bool CsvTable::header(CsvRows& rows, bool wide) {
  m_wide = wide;
  std::vector<Field> fields;
  std::string_view row;
  std::uint64_t line = 0;
  const char given = m_options.delimiter;
  // Peek at the header with a comma, then split it again with its delimiter.
  if (!header_row(rows, given != 0 ? given : ',', fields, row, line, m_file, m_out)) return false;
  const std::string header_line(row);
  m_delimiter = given != 0 ? given : guess_delimiter(header_line);
  std::string scratch;
  split_row(header_line, m_delimiter, fields.empty() ? 1 : fields.front().column, fields, scratch);
  std::vector<std::size_t> header_columns;
  for (const Field& f : fields) {
    m_header.emplace_back(trim(f.text));
    header_columns.push_back(f.column);
  }
  m_width = m_header.size();

  if (wide) {
    m_problem_col = 0;
    if (m_width < 2) {
      m_out.stop(m_file, 1, 0,
                 "a wide table needs a problem column and at least one method column");
      return false;
    }
  } else {
    m_method_col = column_of(m_header, m_options.method_column, {"solver", "method", "algorithm"});
    m_problem_col = column_of(m_header, m_options.problem_column, {"problem", "instance", "name"});
    m_status_col = column_of(m_header, m_options.status_column, {"status", "exitflag", "flag"});
    if (m_method_col < 0) {
      m_out.stop(
          m_file, 1, 0,
          m_options.method_column.empty()
              ? "no method column (solver, method or algorithm); name it with --method-column"
              : "no column " + quoted(m_options.method_column) + " (--method-column)");
      return false;
    }
    if (m_problem_col < 0) {
      m_out.stop(
          m_file, 1, 0,
          m_options.problem_column.empty()
              ? "no problem column (problem, instance or name); name it with --problem-column"
              : "no column " + quoted(m_options.problem_column) + " (--problem-column)");
      return false;
    }
    if (!m_options.status_column.empty() && m_status_col < 0) {
      m_out.stop(m_file, 1, 0,
                 "no column " + quoted(m_options.status_column) + " (--status-column)");
      return false;
    }
    for (std::size_t k = 0; k < m_options.measures.size(); ++k) {
      const std::string& name = m_options.measures[k];
      const int c = column_of(m_header, name, {});
      if (c < 0) {
        const std::string option =
            k < m_options.measure_options.size() ? m_options.measure_options[k] : "--criterion";
        m_out.stop(m_file, 1, 0, "no column " + quoted(name) + " (" + option + ")");
        return false;
      }
      m_measure_cols.push_back(c);
      m_out.measure_names.push_back(m_header[static_cast<std::size_t>(c)]);
    }
  }

  m_success = m_options.success;
  if (m_success.empty()) {
    m_success = {"0", "success", "solved", "converged", "first_order", "optimal"};
  }
  for (std::string& s : m_success) s = lowered(trim(s));

  if (wide) {
    m_out.measure_names.push_back("cost");
    m_builder = std::make_unique<TableBuilder>(1);
    for (std::size_t c = 1; c < m_width; ++c) {
      if (has_control_bytes(m_header[c])) {
        m_out.add(m_file, 1, header_columns[c], false,
                  "method name " + quoted(m_header[c]) + " holds control bytes");
      }
      m_wide_methods.push_back(m_builder->new_method(m_header[c]));
    }
  } else if (!m_measure_cols.empty()) {
    m_builder = std::make_unique<TableBuilder>(m_measure_cols.size());
  }
  return true;
}

double CsvTable::measure_of_cell(const Field& f, std::uint64_t line) {
  double v = 0;
  const int kind = parse_number(f.text, v);
  if (kind == -1) {
    m_out.add(m_file, line, f.column, true, "measure " + quoted(trim(f.text)) + " is not a number");
    return k_failed;
  }
  if (kind != 1 || v < 0) return k_failed;
  if (m_options.min_cost > 0 && v < m_options.min_cost) return m_options.min_cost;
  if (v == 0) {
    m_out.add(m_file, line, f.column, true,
              "cost 0 for a solved run; give --min-cost X to raise costs below X to X");
    return k_failed;
  }
  return v;
}

bool CsvTable::row(const std::vector<Field>& fields, std::string_view row, std::uint64_t line) {
  if (row.empty()) return true;
  if (!row_fits_header(fields, row, m_width, line, m_file, m_out)) return true;
  if (m_wide) {
    const Field& name = fields[0];
    const std::string_view problem_name = trim(name.text);
    if (has_control_bytes(problem_name)) {
      m_out.add(m_file, line, name.column, false,
                "problem name " + quoted(problem_name) + " holds control bytes");
    }
    const std::uint32_t p = m_builder->problem(problem_name);
    for (std::size_t c = 1; c < m_width; ++c) {
      const double v = measure_of_cell(fields[c], line);
      if (!m_builder->put(m_wide_methods[c - 1], p, &v)) {
        m_out.add(m_file, line, name.column, true,
                  "problem " + quoted(problem_name) + " given twice");
        break;
      }
    }
    return true;
  }
  if (!m_builder) {
    const int c = first_numeric_column(fields, m_width, m_method_col, m_problem_col, m_status_col);
    if (c < 0) {
      m_out.stop(m_file, line, 0, "no numeric measure column; name one with --criterion");
      return false;
    }
    m_measure_cols.push_back(c);
    m_out.measure_names.push_back(m_header[static_cast<std::size_t>(c)]);
    m_builder = std::make_unique<TableBuilder>(m_measure_cols.size());
  }
  const Field& method_field = fields[static_cast<std::size_t>(m_method_col)];
  const Field& problem_field = fields[static_cast<std::size_t>(m_problem_col)];
  const std::string_view method_name = trim(method_field.text);
  const std::string_view problem_name = trim(problem_field.text);
  const std::size_t before = m_builder->methods();
  const std::uint32_t m = m_builder->method(method_name);
  if (m_builder->methods() > before && has_control_bytes(method_name)) {
    m_out.add(m_file, line, method_field.column, false,
              "method name " + quoted(method_name) + " holds control bytes");
  }
  const std::size_t problems_before = m_builder->problems();
  const std::uint32_t p = m_builder->problem(problem_name);
  if (m_builder->problems() > problems_before && has_control_bytes(problem_name)) {
    m_out.add(m_file, line, problem_field.column, false,
              "problem name " + quoted(problem_name) + " holds control bytes");
  }
  bool solved = true;
  if (m_status_col >= 0) {
    const Field& status = fields[static_cast<std::size_t>(m_status_col)];
    solved = solved_status(status.text);
    if (!solved && !plain_failure(trim(status.text))) {
      m_out.add(m_file, line, status.column, false,
                "status " + quoted(trim(status.text)) +
                    " is neither a success value (--success) nor a usual failure; read as a "
                    "failure");
    }
  }
  m_values.resize(m_measure_cols.size());
  for (std::size_t k = 0; k < m_measure_cols.size(); ++k) {
    const Field& f = fields[static_cast<std::size_t>(m_measure_cols[k])];
    if (solved) {
      m_values[k] = measure_of_cell(f, line);
    } else {
      double v = 0;
      if (parse_number(f.text, v) == -1) {
        m_out.add(m_file, line, f.column, true,
                  "measure " + quoted(trim(f.text)) + " is not a number");
      }
      m_values[k] = k_failed;
    }
  }
  if (!m_builder->put(m, p, m_values.data())) {
    m_out.add(m_file, line, method_field.column, true,
              "method " + quoted(method_name) + " has problem " + quoted(problem_name) + " twice");
  }
  return true;
}

void CsvTable::plain_row(const Entry& e, const char* bytes, const double* values) {
  const std::string_view method_name(bytes, e.size);
  const std::size_t before = m_builder->methods();
  const std::uint32_t m = m_builder->method(method_name);
  if (m_builder->methods() > before && has_control_bytes(method_name)) {
    m_out.add(m_file, e.line, e.method_column, false,
              "method name " + quoted(method_name) + " holds control bytes");
  }
  const std::string_view problem_name(bytes + e.size, e.problem_size);
  const std::size_t problems_before = m_builder->problems();
  const std::uint32_t p = m_builder->problem(problem_name);
  if (m_builder->problems() > problems_before && has_control_bytes(problem_name)) {
    m_out.add(m_file, e.line, e.problem_column, false,
              "problem name " + quoted(problem_name) + " holds control bytes");
  }
  if (!m_builder->put(m, p, values)) {
    m_out.add(m_file, e.line, e.method_column, true,
              "method " + quoted(method_name) + " has problem " + quoted(problem_name) + " twice");
  }
}

void CsvTable::end(bool open_quote, int error, std::uint64_t error_line, std::uint64_t line) {
  if (open_quote) {
    m_out.stop(m_file, line + 1, 0, "the file ends inside a quoted field");
    return;
  }
  if (error != 0) {
    if (error == k_record_too_long) {
      m_out.stop(m_file, error_line, 0,
                 "row longer than 1 MiB (1048576 bytes; profcmp stops at such a record with "
                 "message 22)");
    } else {
      m_out.stop(m_file, 0, 0, std::string("cannot be read: ") + std::strerror(error));
    }
    return;
  }
  if (!m_builder) {
    m_out.stop(m_file, 1, 0, "a header row without rows");
    return;
  }
  const std::size_t problems = m_builder->problems();
  for (std::uint32_t m = 0; m < m_builder->methods(); ++m) {
    const std::size_t lacking = problems - m_builder->given(m);
    if (lacking > 0) {
      m_out.add(m_file, 0, 0, false,
                "method " + quoted(m_builder->method_name(m)) + " lacks " +
                    std::to_string(lacking) + " of the " + std::to_string(problems) +
                    " problems; they count as its failures");
    }
  }
  m_builder->finish(m_out);
}

// The reading thread: rows split at the delimiter as far as they need no
// quote handling, their status and measures converted. A row that would give
// a finding, or that decides the measure column, is handed on whole.
void CsvTable::read_batches(CsvRows& rows, BatchQueue& queue, std::size_t batch_rows) const {
  std::vector<int> measure_cols = m_measure_cols;
  // The last status texts met and what they mean: solved, or a failure
  // needing no warning; a status needing one makes its row a whole row.
  struct Status {
    std::string text;
    bool solved = false;
    bool plain = false;
  };
  Status statuses[2];
  std::size_t next_status = 0;
  std::uint32_t ends[k_plain_fields];
  std::vector<Field> fields;
  std::vector<double> values(std::max<std::size_t>(m_measure_cols.size(), 1));
  std::uint64_t line = 0;
  Batch* batch = nullptr;
  try {
    const auto whole_row = [&](std::string_view text) {
      Entry e;
      e.line = line;
      e.offset = static_cast<std::uint32_t>(batch->bytes.size());
      e.size = static_cast<std::uint32_t>(text.size());
      e.problem_size = k_whole_row;
      batch->bytes.append(text);
      batch->entries.push_back(e);
    };
    std::string_view text;
    for (;;) {
      if (batch == nullptr) {
        batch = queue.take_empty();
        if (batch == nullptr) return;
      }
      if (!rows.next_line(text)) break;
      line = rows.line();
      if (text.empty()) continue;
      // A quote, or more fields than a plain row has, sends the row whole.
      std::size_t count = 0;
      const bool split = find_delimiters(text, m_delimiter, ends, count);
      if (!split || count + 1 != m_width || measure_cols.empty()) {
        std::string_view row;
        if (!rows.complete(text, line, m_delimiter, fields, row)) break;
        if (measure_cols.empty() && fields.size() >= m_width) {
          const int c =
              first_numeric_column(fields, m_width, m_method_col, m_problem_col, m_status_col);
          if (c < 0) {
            // The storing thread stops at this row.
            whole_row(row);
            break;
          }
          measure_cols.push_back(c);
        }
        whole_row(row);
      } else {
        ends[count] = static_cast<std::uint32_t>(text.size());
        const auto field = [&](int c) {
          const std::size_t start = c == 0 ? 0 : ends[static_cast<std::size_t>(c) - 1] + 1;
          return text.substr(start, ends[static_cast<std::size_t>(c)] - start);
        };
        const auto start_of = [&](int c) {
          return c == 0 ? std::size_t{0} : std::size_t{ends[static_cast<std::size_t>(c) - 1]} + 1;
        };
        bool plain = true;
        bool solved = true;
        if (m_status_col >= 0) {
          const std::string_view status = field(m_status_col);
          Status* known = nullptr;
          for (Status& s : statuses) {
            if (same_bytes(s.text, status)) known = &s;
          }
          if (known == nullptr) {
            known = &statuses[next_status];
            next_status = (next_status + 1) % 2;
            known->text.assign(status);
            known->solved = solved_status(status);
            known->plain = known->solved || plain_failure(trim(status));
          }
          solved = known->solved;
          plain = known->plain;
        }
        for (std::size_t k = 0; plain && k < measure_cols.size(); ++k) {
          const std::string_view cell = field(measure_cols[k]);
          double v = 0;
          const int kind = plain_decimal(cell, v) ? 1 : parse_number(cell, v);
          if (kind == -1) {
            plain = false;
          } else if (!solved || kind != 1 || v < 0) {
            values[k] = k_failed;
          } else if (m_options.min_cost > 0 && v < m_options.min_cost) {
            values[k] = m_options.min_cost;
          } else if (v == 0) {
            plain = false;
          } else {
            values[k] = v;
          }
        }
        if (plain) {
          const std::string_view method_name = trim(field(m_method_col));
          const std::string_view problem_name = trim(field(m_problem_col));
          Entry e;
          e.line = line;
          e.offset = static_cast<std::uint32_t>(batch->bytes.size());
          e.size = static_cast<std::uint32_t>(method_name.size());
          e.problem_size = static_cast<std::uint32_t>(problem_name.size());
          e.method_column = static_cast<std::uint32_t>(start_of(m_method_col) + 1);
          e.problem_column = static_cast<std::uint32_t>(start_of(m_problem_col) + 1);
          batch->bytes.append(method_name);
          batch->bytes.append(problem_name);
          batch->values.insert(batch->values.end(), values.begin(),
                               values.begin() + static_cast<std::ptrdiff_t>(measure_cols.size()));
          batch->entries.push_back(e);
        } else {
          whole_row(text);
        }
      }
      if (batch->entries.size() >= batch_rows || batch->bytes.size() >= k_max_row_bytes) {
        queue.put_filled(batch);
        batch = nullptr;
      }
    }
    if (batch == nullptr) {
      batch = queue.take_empty();
      if (batch == nullptr) return;
    }
    batch->open_quote = rows.open_quote();
    batch->error = rows.error();
    batch->error_line = rows.line();
  } catch (...) {
    if (batch == nullptr) batch = queue.take_empty();
    if (batch == nullptr) return;
    batch->failure = std::current_exception();
  }
  batch->line = line;
  batch->last = true;
  queue.put_filled(batch);
}

bool CsvTable::pipeline(CsvRows& rows, std::size_t batch_rows) {
  BatchQueue queue(k_batches);
  std::thread reader;
  try {
    reader = std::thread([&] { read_batches(rows, queue, std::max<std::size_t>(batch_rows, 1)); });
  } catch (const std::system_error&) {
    return false;
  }
  // The reader is stopped and joined however this thread leaves.
  struct Join {
    BatchQueue& queue;
    std::thread& thread;
    ~Join() {
      queue.cancel();
      thread.join();
    }
  } join{queue, reader};
  std::vector<Field> fields;
  std::string unquoted;
  for (;;) {
    Batch* batch = queue.take_filled();
    const double* values = batch->values.data();
    for (const Entry& e : batch->entries) {
      const char* bytes = batch->bytes.data() + e.offset;
      if (e.problem_size != k_whole_row) {
        plain_row(e, bytes, values);
        values += m_measure_cols.size();
        continue;
      }
      const std::string_view text(bytes, e.size);
      split_row(text, m_delimiter, 1, fields, unquoted);
      if (!row(fields, text, e.line)) return true;
    }
    if (batch->last) {
      if (batch->failure) std::rethrow_exception(batch->failure);
      end(batch->open_quote, batch->error, batch->error_line, batch->line);
      return true;
    }
    queue.give_back(batch);
  }
}

}  // namespace

ReadTable read_csv(int fd, std::string_view head, const std::string& file,
                   const ReadOptions& options, bool wide, const CsvReading& reading) {
  ReadTable out;
  CsvRows rows(fd, head);
  CsvTable table(file, options, out);
  if (!table.header(rows, wide)) return out;
  if (!wide && reading.pipeline && table.pipeline(rows, reading.batch_rows)) return out;
  std::vector<Field> fields;
  std::string_view row;
  std::uint64_t line = 0;
  while (rows.next(table.delimiter(), fields, row, line)) {
    if (!table.row(fields, row, line)) return out;
  }
  table.end(rows.open_quote(), rows.error(), rows.line(), line);
  return out;
}

// A regular file under 4 MiB is read by one thread: a second one would not
// pay for itself.
ReadTable read_csv(int fd, std::string_view head, const std::string& file,
                   const ReadOptions& options, bool wide) {
  struct stat about {};
  const bool small =
      ::fstat(fd, &about) == 0 && S_ISREG(about.st_mode) && about.st_size < (off_t{4} << 20);
  CsvReading reading;
  reading.pipeline = !small;
  return read_csv(fd, head, file, options, wide, reading);
}

}  // namespace table
