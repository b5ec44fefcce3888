// Reading a results table (P.PER) of any size with profcmp's record rules:
// records split by records::RecordSplitter (LF ends a record, a CR right
// before it is dropped, a lone Ctrl-Z record ends the file, a record over
// 1 MiB is refused), and every record read with the layout (A6,2X,A14,5I10)
// through the record engine, blanks in counts ignored. The reader never stops
// on bad counts: it keeps where they are, so callers decide what to do.
#ifndef PROFCMP_PROFKIT_TABLE_RESULTS_TABLE_H_
#define PROFCMP_PROFKIT_TABLE_RESULTS_TABLE_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "profkit/table/measure_table.h"
#include "records/record_split.h"
#include "records/run_files.h"

namespace table {

// The error() of a RecordReader that met a record longer than
// records::k_max_record_length (never an errno, which are positive).
inline constexpr int k_record_too_long = -1;

// "LINE: record longer than 1 MiB ..." for k_record_too_long, else the
// errno's text.
std::string read_error_text(int error, std::uint64_t line);

// The records of a file descriptor, split by records::RecordSplitter as
// profcmp's unit layer splits them. The record stays valid until the next
// call. A record longer than records::k_max_record_length ends the reading
// with error() k_record_too_long and line() its line, having held at most
// about twice that many bytes.
class RecordReader {
 public:
  explicit RecordReader(int fd);
  // Reads bytes `offset` up to `limit` (or to the end of the file when
  // `limit` is past it) with positional reads; the file offset is not moved.
  RecordReader(int fd, std::uint64_t offset, std::uint64_t limit);
  RecordReader(const RecordReader&) = delete;
  RecordReader& operator=(const RecordReader&) = delete;
  // Takes `bytes`, already read from the descriptor, as the first bytes of
  // the file; call before next().
  void preload(std::string_view bytes) {
    if (!m_split.preload(bytes)) throw std::bad_alloc();
  }
  // The next record, or false at the end of the records: the end of the
  // file, a lone Ctrl-Z (end_marker()), a record too long or a read error
  // (error() is k_record_too_long or the errno).
  bool next(std::string_view& record) {
    if (m_split.next_held(record)) [[likely]] {
      ++m_line;
      return true;
    }
    return next_further(record);
  }
  std::uint64_t line() const { return m_line; }  // line of the last record, from 1
  int error() const { return m_error; }
  bool end_marker() const { return m_end == records::Split::end_marker; }
  // After end_marker(): reads the rest of the file and counts its lines,
  // none of which is a record. False on a read error.
  bool count_lines_after_end(std::uint64_t& lines) { return m_split.count_lines_after_end(lines); }

 private:
  static std::ptrdiff_t read_bytes(void* reader, char* into, std::size_t room);
  bool next_further(std::string_view& record);
  records::RecordSplitter m_split;
  int m_fd;
  bool m_positional = false;
  std::uint64_t m_offset = 0;
  std::uint64_t m_limit = 0;
  records::Split m_end = records::Split::record;  // what ended the records
  int m_error = 0;
  std::uint64_t m_line = 0;
};

// Where a count field lies in its record: 0-based first column and the number
// of record characters it covers (a comma ends a field early, and the next one
// starts after it, as in the record engine).
struct FieldSpan {
  std::size_t column = 0;
  std::size_t width = 0;
  bool comma = false;  // the field was ended by a comma
};

// One record as the layout reads it.
struct ParsedRecord {
  std::string_view record;
  std::uint64_t line = 0;
  char key[records::k_key_length];
  char name[records::k_name_length];
  std::int32_t counts[records::k_count_fields] = {};
  std::uint8_t blank = 0;  // bit k: count field k holds only blanks (reads as 0)
  FieldSpan fields[records::k_count_fields];
  std::size_t end_column = 0;  // the column after the last count field
  int failed_field = -1;       // the count field that did not convert, or -1
  bool out_of_range = false;   // it is a whole number beyond the 32-bit range

  bool is_method() const {
    return std::string_view(key, records::k_key_length) == records::k_method_key;
  }
  // The text of count field k as it lies in the record.
  std::string_view field_text(int k) const {
    return record.substr(std::min(fields[k].column, record.size()), fields[k].width);
  }
};

// Parses `record` (line `line`). Returns false when a count does not convert
// (failed_field says which); the counts before it are stored, the others are 0.
bool parse_record(std::string_view record, std::uint64_t line, ParsedRecord& out);

// A count field that stops profcmp with message 64.
struct ConversionError {
  std::uint64_t line = 0;
  std::size_t column = 0;  // from 0
  int field = 0;           // 0..4
  std::string text;        // the field as written
  bool out_of_range = false;
};

// A method record and the problem records after it.
struct Group {
  std::string name;        // columns 9-22 as read (14 characters)
  std::uint64_t line = 0;  // line of the method record
  std::size_t first = 0;   // index of its first problem record in ResultsTable's vectors
  std::size_t length = 0;  // problem records
};

// The whole table. Problem records are stored group after group; their line
// numbers follow from the group's line, since every record is one line.
struct ResultsTable {
  std::uint64_t records = 0;          // every record read
  std::uint64_t leading_records = 0;  // records ahead of the first method record
  std::vector<Group> groups;
  std::vector<std::int32_t> counts;        // records::k_count_fields per problem record
  std::vector<std::uint8_t> blanks;        // per problem record: bit k when count k is blank
  std::vector<std::uint32_t> name_ids;     // per problem record, into problem_names
  std::vector<std::string> problem_names;  // distinct names (columns 9-22, 14 characters)
  std::vector<ConversionError> conversion_errors;  // in line order
  std::uint64_t end_marker_line = 0;  // the line of a lone Ctrl-Z that ended the records, or 0
  std::uint64_t lines_after_end = 0;  // the lines after it, when read_results counted them

  std::size_t problems() const;  // the longest group's length
  std::uint64_t line_of(std::size_t g, std::size_t p) const { return groups[g].line + 1 + p; }
  std::int32_t count(std::size_t g, std::size_t p, int k) const {
    return counts[(groups[g].first + p) * records::k_count_fields + static_cast<std::size_t>(k)];
  }
  bool blank(std::size_t g, std::size_t p, int k) const {
    return (blanks[groups[g].first + p] >> k) & 1u;
  }
  const std::string& problem_name(std::size_t g, std::size_t p) const {
    return problem_names[name_ids[groups[g].first + p]];
  }
};

// What read_results does with the bytes after a lone Ctrl-Z: leaves them
// unread, or reads them only to count their lines (lines_after_end).
enum class AfterEnd : std::uint8_t { leave, count };

// Reads every record of `reader` into `table`, calling `observer` (when set)
// with each parsed record first. Returns false when the records end early:
// on a read error or a record too long (reader.error()).
bool read_results(RecordReader& reader, ResultsTable& table,
                  const std::function<void(const ParsedRecord&)>& observer = {},
                  AfterEnd after_end = AfterEnd::leave);

// How counts below 1 are taken: as 1, as profcmp does, or as failures.
enum class FailureRule : std::uint8_t { clamp, nonpositive, sentinel };

// The count that stands for a failed run in a table written by profkit import.
inline constexpr std::int32_t k_sentinel_count = 2147483647;

// The measure of a count: at least 1, or k_failed under FailureRule::nonpositive
// for a count of 0 or less (a blank count reads as 0). FailureRule::sentinel
// is nonpositive that also reads k_sentinel_count as a failure, the count
// `profkit import` writes for one.
inline double measure_of(std::int32_t count, FailureRule rule) {
  if (count < 1) return rule == FailureRule::clamp ? 1.0 : k_failed;
  if (rule == FailureRule::sentinel && count == k_sentinel_count) return k_failed;
  return static_cast<double>(count);
}

// The measures of count `measure_index` (1..5), one row per group: the
// problems a short group lacks are failures of its method, stored as nothing.
MeasureTable measures_of(const ResultsTable& table, int measure_index, FailureRule rule);

// What read_measures gives: the measure table of one criterion and what
// stops a run on the way.
struct MeasureRead {
  MeasureTable measures;
  std::uint64_t records = 0;  // every record read (up to a lone Ctrl-Z)
  bool conversion_failed = false;
  ConversionError first_error;   // the first count that does not convert, when conversion_failed
  int read_error = 0;            // errno of a failed read, k_record_too_long, else 0
  std::uint64_t error_line = 0;  // the line of a record too long
};

// Reads the results table on `fd` straight into the measures of count
// `measure_index` (1..5): the same records, groups, measures and first
// conversion error as read_results followed by measures_of, without keeping
// problem names or the other counts. A regular file of at least
// `split_bytes` is read as two halves on two threads (positional reads, one
// block buffer each); anything else is read in order from where it stands.
// Memory: the measures plus one block buffer per thread.
MeasureRead read_measures(int fd, int measure_index, FailureRule rule,
                          std::size_t split_bytes = std::size_t{8} << 20);

// `name` without its trailing blanks.
std::string trim_name(std::string_view name);

}  // namespace table

#endif  // PROFCMP_PROFKIT_TABLE_RESULTS_TABLE_H_
