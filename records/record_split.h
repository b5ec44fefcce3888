// Splitting a stream of bytes into records: the one rule by which every
// reader of a results table or a report finds its records.
//
// A record ends at LF, and a CR right before the LF is not part of it; the
// last line needs no LF (and then keeps a CR at its end). A record of exactly
// one byte 26 (Ctrl-Z) marks the end of the records: nothing after it is
// served. A record longer than k_max_record_length is refused, and at most
// about twice that many bytes are ever held, whatever the input (an endless
// line, a device that never ends a line).
#ifndef PROFCMP_RECORDS_RECORD_SPLIT_H_
#define PROFCMP_RECORDS_RECORD_SPLIT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace records {

// Longest record accepted, line end not counted.
inline constexpr std::size_t k_max_record_length = std::size_t{1} << 20;

// The byte that, alone on its line, ends the records.
inline constexpr char k_end_marker = '\x1a';

// What RecordSplitter::next() found.
enum class Split : std::uint8_t {
  record,         // the next record
  end_marker,     // a lone Ctrl-Z: the records end here
  end_of_data,    // the bytes ran out after the last record
  too_long,       // a record longer than k_max_record_length
  out_of_memory,  // the buffer could not grow to hold the record
  read_error,     // the source of the bytes failed
};

// Where a splitter's bytes come from: reads at most `room` bytes into `into`
// and returns how many, 0 at the end of the bytes, or -1 after a failure the
// source has recorded itself (or it does not return at all).
using ReadBytes = std::ptrdiff_t (*)(void* source, char* into, std::size_t room);

// Serves the records of a stream of bytes one at a time. The bytes are read
// in blocks into a buffer that grows by doubling while a record is longer
// than the buffer, up to the record limit. Anything but Split::record ends
// the records for good: every later call returns the same.
class RecordSplitter {
 public:
  // Reads blocks of at most `block` bytes into a buffer of `first_size`
  // bytes at first (8192 and 8192 by default). No bytes until restart().
  constexpr RecordSplitter() = default;
  constexpr RecordSplitter(std::size_t first_size, std::size_t block)
      : m_first_size(first_size), m_block(block) {}
  ~RecordSplitter();
  RecordSplitter(const RecordSplitter&) = delete;
  RecordSplitter& operator=(const RecordSplitter&) = delete;

  // Starts on a new stream of bytes; the buffer is kept for it.
  void restart(ReadBytes read, void* source);

  // After restart(): takes `bytes`, already read from the source, as the
  // first bytes of the stream. False when the buffer cannot hold them.
  bool preload(std::string_view bytes);

  // The next record, valid until the next call.
  Split next(std::string_view& record) {
    return next_held(record) ? Split::record : next_filling(record);
  }

  // The quick part of next(): true with the next record when the bytes held
  // already hold its whole line and it is an ordinary record; false, with
  // nothing served, when next() has more to do.
  bool next_held(std::string_view& record) {
    if (m_ended != Split::record) return false;
    const char* begin = m_buffer + m_start;
    const std::size_t pending = m_end - m_start;
    if (pending == 0) return false;
    const void* line_feed = std::memchr(begin, '\n', pending);
    if (line_feed == nullptr) return false;
    const std::size_t line = static_cast<std::size_t>(static_cast<const char*>(line_feed) - begin);
    const std::size_t length = without_cr(begin, line);
    if (kind_of(begin, length) != Split::record) return false;
    m_start += line + 1;
    record = std::string_view(begin, length);
    return true;
  }

  // After Split::end_marker: reads the rest of the bytes without keeping
  // them and counts its lines (a last line without LF counts too). False
  // when the source fails on the way.
  bool count_lines_after_end(std::uint64_t& lines);

 private:
  // The length of the record whose line of `line` bytes before its LF starts
  // at `begin`: a CR right before the LF is not part of it.
  static std::size_t without_cr(const char* begin, std::size_t line) {
    return line > 0 && begin[line - 1] == '\r' ? line - 1 : line;
  }
  // What the `length` bytes at `begin` are as a record.
  static Split kind_of(const char* begin, std::size_t length) {
    if (length > k_max_record_length) return Split::too_long;
    if (length == 1 && begin[0] == k_end_marker) return Split::end_marker;
    return Split::record;
  }
  Split serve(const char* begin, std::size_t length, std::string_view& record) {
    const Split kind = kind_of(begin, length);
    if (kind != Split::record) return end(kind);
    record = std::string_view(begin, length);
    return Split::record;
  }
  Split end(Split why) {
    m_ended = why;
    return why;
  }
  Split next_filling(std::string_view& record);
  Split fill();

  std::size_t m_first_size = 8192;
  std::size_t m_block = 8192;
  ReadBytes m_read = nullptr;
  void* m_source = nullptr;
  char* m_buffer = nullptr;
  std::size_t m_capacity = 0;
  std::size_t m_start = 0;  // [m_start, m_end) are held and not yet served
  std::size_t m_end = 0;
  bool m_exhausted = false;            // the source has reported the end of the bytes
  Split m_ended = Split::end_of_data;  // Split::record while records may follow
};

}  // namespace records

#endif  // PROFCMP_RECORDS_RECORD_SPLIT_H_
