#include "profkit/table/results_table.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "profkit/table/large_pages.h"
#include "records/record_format.h"

namespace table {
namespace {

constexpr std::size_t k_first_block = 1 << 16;
constexpr std::size_t k_read_block = 1 << 20;
constexpr std::size_t k_count_column = 22;  // column 23, from 0
constexpr std::size_t k_count_width = 10;

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// True when `text` is a sign and digits with blanks among them: a whole
// number that failed only because it is too large.
bool whole_number(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  bool digits = false;
  for (; i < text.size(); ++i) {
    if (text[i] == ' ') continue;
    if (!is_digit(text[i])) return false;
    digits = true;
  }
  return digits;
}

// Hashes names as views, so that a lookup needs no std::string.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const {
    return std::hash<std::string_view>{}(name);
  }
};

}  // namespace

RecordReader::RecordReader(int fd) : m_split(k_first_block, k_read_block), m_fd(fd) {
  m_split.restart(read_bytes, this);
}

// Positional readers work on large files: whole blocks from the start.
RecordReader::RecordReader(int fd, std::uint64_t offset, std::uint64_t limit)
    : m_split(k_read_block, k_read_block),
      m_fd(fd),
      m_positional(true),
      m_offset(offset),
      m_limit(limit) {
  m_split.restart(read_bytes, this);
}

std::ptrdiff_t RecordReader::read_bytes(void* source, char* into, std::size_t room) {
  RecordReader& reader = *static_cast<RecordReader*>(source);
  if (reader.m_positional) {
    if (reader.m_offset >= reader.m_limit) return 0;
    if (room > reader.m_limit - reader.m_offset) {
      room = static_cast<std::size_t>(reader.m_limit - reader.m_offset);
    }
  }
  for (;;) {
    const ssize_t got = reader.m_positional
                            ? ::pread(reader.m_fd, into, room, static_cast<off_t>(reader.m_offset))
                            : ::read(reader.m_fd, into, room);
    if (got >= 0) {
      reader.m_offset += static_cast<std::uint64_t>(got);
      return got;
    }
    if (errno == EINTR) continue;
    reader.m_error = errno;
    return -1;
  }
}

bool RecordReader::next_further(std::string_view& record) {
  const records::Split split = m_split.next(record);
  if (split == records::Split::record) {
    ++m_line;
    return true;
  }
  if (m_end == records::Split::record) {
    m_end = split;
    // The lone Ctrl-Z and the record too long take a line of their own.
    if (split == records::Split::end_marker || split == records::Split::too_long) ++m_line;
    if (split == records::Split::too_long) m_error = k_record_too_long;
  }
  if (split == records::Split::out_of_memory) throw std::bad_alloc();
  return false;
}

bool parse_record(std::string_view record, std::uint64_t line, ParsedRecord& out) {
  out.record = record;
  out.line = line;
  out.blank = 0;
  out.failed_field = -1;
  out.out_of_range = false;
  // The count fields' places, as the record engine moves through them. A
  // record without a comma has them at fixed columns.
  std::size_t column = k_count_column;
  const bool has_comma =
      !record.empty() && std::memchr(record.data(), ',', record.size()) != nullptr;
  for (int k = 0; k < records::k_count_fields && !has_comma; ++k) {
    const std::size_t from = std::min(column, record.size());
    const std::size_t width = std::min(k_count_width, record.size() - from);
    FieldSpan& span = out.fields[k];
    span.column = column;
    span.comma = false;
    span.width = width;
    const char* text = record.data() + from;
    std::size_t i = 0;
    while (i < width && text[i] == ' ') ++i;
    if (i == width) out.blank = static_cast<std::uint8_t>(out.blank | (1u << k));
    column += k_count_width;
  }
  for (int k = 0; k < records::k_count_fields && has_comma; ++k) {
    const std::size_t from = std::min(column, record.size());
    std::string_view text = record.substr(from, k_count_width);
    FieldSpan& span = out.fields[k];
    span.column = column;
    const std::size_t comma = text.find(',');
    span.comma = comma != std::string_view::npos;
    if (span.comma) {
      text = text.substr(0, comma);
      column += comma + 1;
    } else {
      column += k_count_width;
    }
    span.width = text.size();
    if (text.find_first_not_of(' ') == std::string_view::npos) {
      out.blank = static_cast<std::uint8_t>(out.blank | (1u << k));
    }
  }
  out.end_column = column;

  std::memset(out.counts, 0, sizeof out.counts);
  records::FieldFailure failure;
  const bool read =
      records::try_read_record(record, records::formats::k_results_record,
                               {records::in_text(out.key, records::k_key_length),
                                records::in_text(out.name, records::k_name_length),
                                records::in_integers(out.counts, records::k_count_fields)},
                               records::BlankMode::null, failure);
  if (read) return true;
  for (int k = 0; k < records::k_count_fields; ++k) {
    if (static_cast<std::int64_t>(out.fields[k].column) == failure.column) out.failed_field = k;
  }
  if (out.failed_field < 0) out.failed_field = 0;  // cannot happen: only counts convert
  for (int k = out.failed_field; k < records::k_count_fields; ++k) out.counts[k] = 0;
  out.out_of_range = whole_number(out.field_text(out.failed_field));
  return false;
}

std::size_t ResultsTable::problems() const {
  std::size_t longest = 0;
  for (const Group& g : groups) longest = std::max(longest, g.length);
  return longest;
}

bool read_results(RecordReader& reader, ResultsTable& table,
                  const std::function<void(const ParsedRecord&)>& observer, AfterEnd after_end) {
  std::unordered_map<std::string, std::uint32_t, NameHash, std::equal_to<>> name_index;
  ParsedRecord parsed;
  std::string_view record;
  while (reader.next(record)) {
    ++table.records;
    if (!parse_record(record, reader.line(), parsed)) {
      const int k = parsed.failed_field;
      table.conversion_errors.push_back({parsed.line, parsed.fields[k].column, k,
                                         std::string(parsed.field_text(k)), parsed.out_of_range});
    }
    if (observer) observer(parsed);
    if (parsed.is_method()) {
      table.groups.push_back(
          {std::string(parsed.name, records::k_name_length), parsed.line, table.blanks.size(), 0});
    } else if (table.groups.empty()) {
      ++table.leading_records;
    } else {
      table.counts.insert(table.counts.end(), parsed.counts,
                          parsed.counts + records::k_count_fields);
      table.blanks.push_back(parsed.blank);
      // Looked up by view: a name met before costs no string.
      const std::string_view name(parsed.name, records::k_name_length);
      auto at = name_index.find(name);
      if (at == name_index.end()) {
        at = name_index
                 .emplace(std::string(name), static_cast<std::uint32_t>(table.problem_names.size()))
                 .first;
        table.problem_names.push_back(at->first);
      }
      table.name_ids.push_back(at->second);
      ++table.groups.back().length;
    }
  }
  if (reader.end_marker()) {
    table.end_marker_line = reader.line();
    if (after_end == AfterEnd::count) reader.count_lines_after_end(table.lines_after_end);
  }
  return reader.error() == 0;
}

MeasureTable measures_of(const ResultsTable& table, int measure_index, FailureRule rule) {
  MeasureTable measures;
  measures.names.reserve(table.groups.size());
  measures.measures.reserve(table.blanks.size());
  measures.row_end.reserve(table.groups.size());
  for (std::size_t g = 0; g < table.groups.size(); ++g) {
    measures.names.push_back(trim_name(table.groups[g].name));
    for (std::size_t p = 0; p < table.groups[g].length; ++p) {
      measures.measures.push_back(measure_of(table.count(g, p, measure_index - 1), rule));
    }
    measures.row_end.push_back(measures.measures.size());
    measures.problems = std::max(measures.problems, table.groups[g].length);
  }
  return measures;
}

namespace {

// The records of one stretch of the file, as read_measures needs them.
struct Stretch {
  struct Method {
    char name[records::k_name_length];
    std::size_t first = 0;  // index of its first measure
    std::size_t length = 0;
  };
  std::vector<double> measures;  // every problem record's measure, in order
  std::size_t orphans = 0;       // problem records ahead of the stretch's first method
  std::vector<Method> methods;
  std::uint64_t records = 0;
  bool end_marker = false;
  int read_error = 0;
  std::uint64_t error_line = 0;  // of a record too long, from the stretch's first record
  bool conversion_failed = false;
  ConversionError first_error;  // line counted from the stretch's first record
};

void read_stretch(RecordReader& reader, int count_index, FailureRule rule,
                  std::size_t expected_records, Stretch& out) {
  out.measures.reserve(expected_records);
  advise_large_pages(out.measures.data(), out.measures.capacity() * sizeof(double));
  char key[records::k_key_length];
  char name[records::k_name_length];
  std::int32_t counts[records::k_count_fields] = {};
  records::FieldFailure failure;
  // The same targets for every record: the item list is built once.
  const records::InItem items[] = {records::in_text(key, records::k_key_length),
                                   records::in_text(name, records::k_name_length),
                                   records::in_integers(counts, records::k_count_fields)};
  std::string_view record;
  while (reader.next(record)) {
    ++out.records;
    std::int32_t count = 0;
    bool method = false;
    if (records::try_read_record(record, records::formats::k_results_record, items,
                                 records::BlankMode::null, failure)) {
      count = counts[count_index];
      method = std::memcmp(key, records::k_method_key.data(), records::k_key_length) == 0;
    } else {
      // The rare path: the whole record again, for the error's details.
      ParsedRecord parsed;
      parse_record(record, reader.line(), parsed);
      if (!out.conversion_failed) {
        const int k = parsed.failed_field;
        out.conversion_failed = true;
        out.first_error = {parsed.line, parsed.fields[k].column, k,
                           std::string(parsed.field_text(k)), parsed.out_of_range};
      }
      count = parsed.counts[count_index];
      method = parsed.is_method();
      std::memcpy(name, parsed.name, records::k_name_length);
    }
    if (method) {
      Stretch::Method& m = out.methods.emplace_back();
      std::memcpy(m.name, name, records::k_name_length);
      m.first = out.measures.size();
    } else {
      if (out.methods.empty()) {
        ++out.orphans;
      } else {
        ++out.methods.back().length;
      }
      out.measures.push_back(measure_of(count, rule));
    }
  }
  out.end_marker = reader.end_marker();
  out.read_error = reader.error();
  out.error_line = reader.line();
}

// Where the second half of [start, size) begins: after the first LF at or
// past the middle, or `size` when there is none.
std::uint64_t split_point(int fd, std::uint64_t start, std::uint64_t size) {
  std::uint64_t at = start + (size - start) / 2;
  char block[1 << 16];
  while (at < size) {
    const ssize_t got = ::pread(fd, block, sizeof block, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return size;
    const void* line_feed = std::memchr(block, '\n', static_cast<std::size_t>(got));
    if (line_feed != nullptr) {
      return at + static_cast<std::uint64_t>(static_cast<const char*>(line_feed) - block) + 1;
    }
    at += static_cast<std::uint64_t>(got);
  }
  return size;
}

// Problem records are rarely shorter than this; the measures are reserved for it.
constexpr std::size_t k_typical_record = 64;

}  // namespace

MeasureRead read_measures(int fd, int measure_index, FailureRule rule, std::size_t split_bytes) {
  const int count_index = measure_index - 1;
  Stretch first;
  Stretch second;
  bool halves = false;
  struct stat status {};
  const off_t start = ::lseek(fd, 0, SEEK_CUR);
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && start >= 0 &&
      status.st_size > start && split_bytes > 0 &&
      static_cast<std::uint64_t>(status.st_size - start) >= split_bytes) {
    const auto from = static_cast<std::uint64_t>(start);
    const auto size = static_cast<std::uint64_t>(status.st_size);
    const std::uint64_t middle = split_point(fd, from, size);
    if (middle < size) {
      halves = true;
      RecordReader head(fd, from, middle);
      RecordReader tail(fd, middle, UINT64_MAX);
      const auto expected = [](std::uint64_t bytes) {
        return static_cast<std::size_t>(bytes / k_typical_record);
      };
      const auto read_tail = [&] {
        read_stretch(tail, count_index, rule, expected(size - middle), second);
      };
      std::thread worker;
      try {
        worker = std::thread(read_tail);
      } catch (const std::system_error&) {
        // No second thread: both halves on this one, one after the other.
      }
      // The first half's measures are reserved for the whole table: they
      // take the second half's after it without moving.
      read_stretch(head, count_index, rule, expected(size - from), first);
      if (worker.joinable()) {
        worker.join();
      } else {
        read_tail();
      }
      // The file offset ends where a reader in order would leave it.
      ::lseek(fd, 0, SEEK_END);
    }
  }
  if (!halves) {
    RecordReader reader(fd);
    std::size_t expected = 0;
    if (S_ISREG(status.st_mode) && start >= 0 && status.st_size > start) {
      expected = static_cast<std::size_t>(status.st_size - start) / k_typical_record;
    }
    read_stretch(reader, count_index, rule, expected, first);
  }

  MeasureRead result;
  // A lone Ctrl-Z, a read error or a record too long in the first half ends
  // the file there.
  const bool use_second = halves && !first.end_marker && first.read_error == 0;
  result.records = first.records + (use_second ? second.records : 0);
  result.read_error = first.read_error != 0 ? first.read_error : use_second ? second.read_error : 0;
  result.error_line = first.read_error != 0 ? first.error_line : second.error_line + first.records;
  if (first.conversion_failed) {
    result.conversion_failed = true;
    result.first_error = std::move(first.first_error);
  } else if (use_second && second.conversion_failed) {
    result.conversion_failed = true;
    result.first_error = std::move(second.first_error);
    result.first_error.line += first.records;
  }

  // Every group's measures one after the other; records ahead of the first
  // method record belong to no group.
  std::vector<double> flat = std::move(first.measures);
  flat.erase(flat.begin(), flat.begin() + static_cast<std::ptrdiff_t>(first.orphans));
  std::vector<Stretch::Method> methods = std::move(first.methods);
  for (Stretch::Method& m : methods) m.first -= first.orphans;
  if (use_second) {
    const std::size_t skipped = methods.empty() ? second.orphans : 0;
    if (!methods.empty()) methods.back().length += second.orphans;
    const std::size_t base = flat.size();
    flat.insert(flat.end(), second.measures.begin() + static_cast<std::ptrdiff_t>(skipped),
                second.measures.end());
    for (Stretch::Method m : second.methods) {
      m.first = m.first + base - skipped;
      methods.push_back(m);
    }
  }
  second = Stretch();

  // The groups lie one after the other already: each is one row, as long
  // as the group.
  MeasureTable& t = result.measures;
  t.names.reserve(methods.size());
  t.row_end.reserve(methods.size());
  for (const Stretch::Method& m : methods) {
    t.names.push_back(trim_name(std::string_view(m.name, records::k_name_length)));
    t.row_end.push_back(m.first + m.length);
    t.problems = std::max(t.problems, m.length);
  }
  t.measures = std::move(flat);
  return result;
}

std::string read_error_text(int error, std::uint64_t line) {
  if (error == k_record_too_long) {
    return std::to_string(line) +
           ": record longer than 1 MiB (1048576 bytes; profcmp stops here with message 22)";
  }
  return std::strerror(error);
}

std::string trim_name(std::string_view name) {
  const std::size_t end = name.find_last_not_of(' ');
  return std::string(name.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

}  // namespace table
