#include "table/results_table.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string_view>
#include <unordered_map>

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

bool RecordReader::fill() {
  if (m_start > 0) {
    const std::size_t kept = m_end - m_start;
    std::memmove(m_buffer.data(), m_buffer.data() + m_start, kept);
    m_start = 0;
    m_end = kept;
  }
  if (m_end == m_buffer.size()) {
    m_buffer.resize(m_buffer.empty() ? k_first_block : m_buffer.size() * 2);
  }
  std::size_t room = m_buffer.size() - m_end;
  if (room > k_read_block) room = k_read_block;
  for (;;) {
    const ssize_t got = ::read(m_fd, m_buffer.data() + m_end, room);
    if (got > 0) {
      m_end += static_cast<std::size_t>(got);
      return true;
    }
    if (got == 0) {
      m_exhausted = true;
      return true;
    }
    if (errno == EINTR) continue;
    m_error = errno;
    return false;
  }
}

bool RecordReader::next(std::string_view& record) {
  if (m_end_met || m_error != 0) return false;
  for (;;) {
    const char* begin = m_buffer.data() + m_start;
    const std::size_t pending = m_end - m_start;
    const void* line_feed = pending > m_searched
                                ? std::memchr(begin + m_searched, '\n', pending - m_searched)
                                : nullptr;
    std::size_t length = 0;
    if (line_feed != nullptr) {
      length = static_cast<std::size_t>(static_cast<const char*>(line_feed) - begin);
      m_start += length + 1;
      if (length > 0 && begin[length - 1] == '\r') --length;
    } else if (m_exhausted) {
      if (pending == 0) {
        m_end_met = true;
        return false;
      }
      length = pending;  // the last line has no line feed
      m_start = m_end;
    } else {
      m_searched = pending;
      if (!fill()) return false;
      continue;
    }
    m_searched = 0;
    ++m_line;
    if (length == 1 && begin[0] == '\x1a') {
      m_end_met = true;
      return false;
    }
    record = std::string_view(begin, length);
    return true;
  }
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
  for (int k = 0; k < k_counts && !has_comma; ++k) {
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
  for (int k = 0; k < k_counts && has_comma; ++k) {
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
                               {records::in_text(out.key, static_cast<int>(k_key_width)),
                                records::in_text(out.name, static_cast<int>(k_name_width)),
                                records::in_integers(out.counts, k_counts)},
                               records::BlankMode::null, failure);
  if (read) return true;
  for (int k = 0; k < k_counts; ++k) {
    if (static_cast<std::int64_t>(out.fields[k].column) == failure.column) out.failed_field = k;
  }
  if (out.failed_field < 0) out.failed_field = 0;  // cannot happen: only counts convert
  for (int k = out.failed_field; k < k_counts; ++k) out.counts[k] = 0;
  out.out_of_range = whole_number(out.field_text(out.failed_field));
  return false;
}

std::size_t ResultsTable::problems() const {
  std::size_t longest = 0;
  for (const Group& g : groups) longest = std::max(longest, g.length);
  return longest;
}

bool read_results(RecordReader& reader, ResultsTable& table,
                  const std::function<void(const ParsedRecord&)>& observer) {
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
          {std::string(parsed.name, k_name_width), parsed.line, table.blanks.size(), 0});
    } else if (table.groups.empty()) {
      ++table.leading_records;
    } else {
      table.counts.insert(table.counts.end(), parsed.counts, parsed.counts + k_counts);
      table.blanks.push_back(parsed.blank);
      // Looked up by view: a name met before costs no string.
      const std::string_view name(parsed.name, k_name_width);
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
  return reader.error() == 0;
}

MeasureTable measures_of(const ResultsTable& table, int measure_index, FailureRule rule) {
  MeasureTable measures;
  measures.problems = table.problems();
  measures.names.reserve(table.groups.size());
  measures.measures.assign(table.groups.size() * measures.problems, k_failed);
  for (std::size_t g = 0; g < table.groups.size(); ++g) {
    measures.names.push_back(trim_name(table.groups[g].name));
    std::int32_t* row = measures.measures.data() + g * measures.problems;
    for (std::size_t p = 0; p < table.groups[g].length; ++p) {
      row[p] = measure_of(table.count(g, p, measure_index - 1), rule);
    }
  }
  return measures;
}

std::string trim_name(std::string_view name) {
  const std::size_t end = name.find_last_not_of(' ');
  return std::string(name.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

}  // namespace table
