#include "records/record_split.h"

#include <cstdlib>

namespace records {

RecordSplitter::~RecordSplitter() {
  std::free(m_buffer);
}

void RecordSplitter::restart(ReadBytes read, void* source) {
  m_read = read;
  m_source = source;
  m_start = 0;
  m_end = 0;
  m_exhausted = false;
  m_ended = Split::record;
}

bool RecordSplitter::preload(std::string_view bytes) {
  if (bytes.size() > m_capacity) {
    const std::size_t size = bytes.size() > m_first_size ? bytes.size() : m_first_size;
    void* grown = std::realloc(m_buffer, size);
    if (grown == nullptr) return false;
    m_buffer = static_cast<char*>(grown);
    m_capacity = size;
  }
  if (!bytes.empty()) std::memcpy(m_buffer, bytes.data(), bytes.size());
  m_start = 0;
  m_end = bytes.size();
  return true;
}

// Reads one more block behind the held bytes, which move to the front of the
// buffer first; when they fill it, it doubles.
Split RecordSplitter::fill() {
  if (m_start > 0) {
    const std::size_t kept = m_end - m_start;
    std::memmove(m_buffer, m_buffer + m_start, kept);
    m_start = 0;
    m_end = kept;
  }
  if (m_end == m_capacity) {
    const std::size_t doubled = m_capacity == 0 ? m_first_size : m_capacity * 2;
    if (doubled < m_capacity) return Split::out_of_memory;
    void* grown = std::realloc(m_buffer, doubled);
    if (grown == nullptr) return Split::out_of_memory;
    m_buffer = static_cast<char*>(grown);
    m_capacity = doubled;
  }
  std::size_t room = m_capacity - m_end;
  if (room > m_block) room = m_block;
  const std::ptrdiff_t got = m_read(m_source, m_buffer + m_end, room);
  if (got < 0) return Split::read_error;
  if (got == 0) {
    m_exhausted = true;
  } else {
    m_end += static_cast<std::size_t>(got);
  }
  return Split::record;
}

// next() when next_held() has served nothing: the line held is not an
// ordinary record, or no whole line is held, and then more is read until one
// is or the bytes end.
Split RecordSplitter::next_filling(std::string_view& record) {
  if (m_ended != Split::record) return m_ended;
  std::size_t searched = 0;  // the held bytes from m_start hold no line feed up to here
  for (;;) {
    const char* begin = m_buffer + m_start;
    const std::size_t pending = m_end - m_start;
    const void* line_feed =
        pending > searched ? std::memchr(begin + searched, '\n', pending - searched) : nullptr;
    if (line_feed != nullptr) {
      const auto line = static_cast<std::size_t>(static_cast<const char*>(line_feed) - begin);
      m_start += line + 1;
      return serve(begin, without_cr(begin, line), record);
    }
    if (m_exhausted) {
      if (pending == 0) return end(Split::end_of_data);
      // The last line has no line feed.
      m_start = m_end;
      return serve(begin, pending, record);
    }
    // The held bytes hold no line feed: a record that long is refused before
    // more memory is taken for it. A CR may still precede the line feed, so
    // one byte more than the limit is allowed.
    if (pending > k_max_record_length + 1) return end(Split::too_long);
    const Split filled = fill();
    if (filled != Split::record) return end(filled);
    searched = pending;
  }
}

bool RecordSplitter::count_lines_after_end(std::uint64_t& lines) {
  lines = 0;
  bool open_line = false;  // the bytes counted last end inside a line
  for (;;) {
    const char* at = m_buffer + m_start;
    const char* const stop = m_buffer + m_end;
    if (at < stop) open_line = stop[-1] != '\n';
    while (at < stop) {
      const void* line_feed = std::memchr(at, '\n', static_cast<std::size_t>(stop - at));
      if (line_feed == nullptr) break;
      ++lines;
      at = static_cast<const char*>(line_feed) + 1;
    }
    m_start = m_end;
    if (m_exhausted) break;
    // Nothing is held now, so the buffer does not grow.
    if (fill() != Split::record) return false;
  }
  if (open_line) ++lines;
  return true;
}

}  // namespace records
