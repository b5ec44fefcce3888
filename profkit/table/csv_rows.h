// The CSV layer the table readers share: rows split into fields by RFC 4180
// (quotes, doubled quotes, line ends inside quotes, a UTF-8 byte-order mark),
// the delimiter guessed from a header, and columns found by name.
#ifndef PROFCMP_PROFKIT_TABLE_CSV_ROWS_H_
#define PROFCMP_PROFKIT_TABLE_CSV_ROWS_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "profkit/table/results_table.h"
#include "profkit/table/table_model.h"

namespace table {

inline constexpr std::string_view k_bom = "\xEF\xBB\xBF";

struct Field {
  std::string_view text;
  std::size_t column = 1;  // byte column of its first byte, from 1
};

// Splits `row` at `delimiter` into `fields`; quoted fields are unquoted into
// `unquoted`, which has room for the whole row so that no view moves.
// Returns false when a quote is still open at the end of the row.
bool split_row(std::string_view row, char delimiter, std::size_t first_column,
               std::vector<Field>& fields, std::string& unquoted);

// The one of , ; and tab met most often outside quotes in `header` (a comma on a tie).
char guess_delimiter(std::string_view header);

// `text` without blanks and tabs around it.
inline std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The column named `name` (any case), or the first of `defaults` the header
// has when `name` is empty; -1 when none.
int column_of(const std::vector<std::string>& header, const std::string& name,
              std::initializer_list<std::string_view> defaults);

// Reads the rows of a CSV file: lines from a RecordReader, joined while a
// quote is open.
class CsvRows {
 public:
  CsvRows(int fd, std::string_view head) : m_reader(fd) { m_reader.preload(head); }
  // The next row and its first line; false at the end, or on an error
  // (error() non-zero, k_record_too_long for a row over 1 MiB).
  bool next(char delimiter, std::vector<Field>& fields, std::string_view& row,
            std::uint64_t& line) {
    std::string_view text;
    if (!next_line(text)) return false;
    line = m_line;
    return complete(text, line, delimiter, fields, row);
  }
  // The next line as it stands (a byte-order mark on line 1 removed), its
  // number in line(); false at the end or on an error, as next().
  bool next_line(std::string_view& text) {
    if (!m_reader.next(text)) {
      m_error = m_reader.error();
      m_line = m_reader.line();
      return false;
    }
    m_line = m_reader.line();
    if (m_line == 1 && text.substr(0, 3) == k_bom) {
      text.remove_prefix(3);
      m_bom = 3;
    }
    return true;
  }
  // The row that starts with `text`, line `line` from next_line(): split,
  // joined with the lines after it while a quote is open.
  bool complete(std::string_view text, std::uint64_t line, char delimiter,
                std::vector<Field>& fields, std::string_view& row) {
    const std::size_t first_column = line == 1 ? m_bom + 1 : 1;
    if (split_row(text, delimiter, first_column, fields, m_unquoted)) {
      row = text;
      return true;
    }
    m_joined.assign(text);
    for (;;) {
      if (!next_line(text)) {
        m_open_quote = m_error == 0;  // the file ends inside quotes
        return false;
      }
      m_joined += '\n';
      m_joined.append(text);
      if (m_joined.size() > k_max_row_bytes) {
        m_error = k_record_too_long;
        return false;
      }
      if (split_row(m_joined, delimiter, first_column, fields, m_unquoted)) {
        row = m_joined;
        return true;
      }
    }
  }
  int error() const { return m_error; }
  bool open_quote() const { return m_open_quote; }
  std::uint64_t line() const { return m_line; }

 private:
  RecordReader m_reader;
  std::size_t m_bom = 0;
  std::uint64_t m_line = 0;
  int m_error = 0;
  bool m_open_quote = false;
  std::string m_unquoted;
  std::string m_joined;
};

// The header row of `rows`, split at `delimiter`; false at an empty or
// unreadable file, with the reason stopped in `out`.
inline bool header_row(CsvRows& rows, char delimiter, std::vector<Field>& fields,
                       std::string_view& row, std::uint64_t& line, const std::string& file,
                       ReadTable& out) {
  if (rows.next(delimiter, fields, row, line)) return true;
  if (rows.error() == 0) {
    out.stop(file, 0, 0, "an empty file: no header row");
  } else {
    out.stop(file, rows.line(), 0,
             rows.error() == k_record_too_long ? "row longer than 1 MiB (1048576 bytes)"
                                               : "cannot be read");
  }
  return false;
}

// Checks a data row's field count against the header's `width`: another
// count is an error at the first extra field (or after the row); false when
// the row is too short to be read on.
inline bool row_fits_header(const std::vector<Field>& fields, std::string_view row,
                            std::size_t width, std::uint64_t line, const std::string& file,
                            ReadTable& out) {
  if (fields.size() == width) return true;
  out.add(
      file, line, fields.size() > width ? fields[width].column : row.size() + 1, true,
      "row has " + std::to_string(fields.size()) + " fields, the header " + std::to_string(width));
  return fields.size() > width;
}

// How a long CSV table is read: by one thread, or as a pipeline where a
// second thread reads, splits and converts rows in batches of `batch_rows`
// while the calling one numbers the names and stores the cells. Both give
// the same table and the same findings in the same order.
struct CsvReading {
  bool pipeline = true;
  std::size_t batch_rows = std::size_t{1} << 14;
};

// read_csv (table_model.h) with the way of reading given; a wide table is
// always read by one thread.
ReadTable read_csv(int fd, std::string_view head, const std::string& file,
                   const ReadOptions& options, bool wide, const CsvReading& reading);

}  // namespace table

#endif  // PROFCMP_PROFKIT_TABLE_CSV_ROWS_H_
