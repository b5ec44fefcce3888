// The record splitter against a plain model of its rule, on random bytes fed
// in random pieces through buffers that start tiny and must grow.
#include "records/record_split.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using records::Split;

// What a splitter gives for `bytes`: the records, what ended them and, after
// a lone Ctrl-Z, the lines left.
struct Outcome {
  std::vector<std::string> records;
  Split end = Split::end_of_data;
  std::uint64_t lines_after = 0;
  bool operator==(const Outcome&) const = default;
};

// The rule, written the plain way: lines end at LF; a CR before the LF goes;
// a lone byte 26 ends the records; a record over the limit is refused.
Outcome model(const std::string& bytes) {
  Outcome out;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t line_feed = bytes.find('\n', at);
    std::string record =
        bytes.substr(at, line_feed == std::string::npos ? std::string::npos : line_feed - at);
    at = line_feed == std::string::npos ? bytes.size() : line_feed + 1;
    if (line_feed != std::string::npos && !record.empty() && record.back() == '\r') {
      record.pop_back();
    }
    if (record.size() > records::k_max_record_length) {
      out.end = Split::too_long;
      return out;
    }
    if (record == "\x1a") {
      out.end = Split::end_marker;
      for (std::size_t rest = at; rest < bytes.size(); ++out.lines_after) {
        const std::size_t next = bytes.find('\n', rest);
        rest = next == std::string::npos ? bytes.size() : next + 1;
      }
      return out;
    }
    out.records.push_back(record);
  }
  return out;
}

// Bytes served in pieces of random size.
struct Pieces {
  const std::string* bytes;
  std::size_t at = 0;
  std::mt19937* rng;
  static std::ptrdiff_t read(void* source, char* into, std::size_t room) {
    Pieces& p = *static_cast<Pieces*>(source);
    std::size_t n = std::uniform_int_distribution<std::size_t>(1, room)(*p.rng);
    n = std::min(n, p.bytes->size() - p.at);
    p.bytes->copy(into, n, p.at);
    p.at += n;
    return static_cast<std::ptrdiff_t>(n);
  }
};

Outcome split(const std::string& bytes, std::size_t first_size, std::size_t block,
              std::mt19937& rng) {
  records::RecordSplitter splitter(first_size, block);
  Pieces pieces{&bytes, 0, &rng};
  splitter.restart(Pieces::read, &pieces);
  Outcome out;
  std::string_view record;
  for (;;) {
    const Split s = splitter.next(record);
    if (s != Split::record) {
      out.end = s;
      // Whatever ended the records, ends them for good.
      EXPECT_EQ(splitter.next(record), s);
      break;
    }
    out.records.emplace_back(record);
  }
  if (out.end == Split::end_marker) {
    EXPECT_TRUE(splitter.count_lines_after_end(out.lines_after));
  }
  return out;
}

// Lines of the bytes that matter: Ctrl-Z alone or leading, CR in every
// place, empty lines, text; in a few tables one line around the record limit.
std::string random_bytes(std::mt19937& rng) {
  static const char* const pieces[] = {"\x1a",
                                       "\x1a\r",
                                       "\r",
                                       "\r\r",
                                       "a",
                                       "bc",
                                       "\x1a\x1a",
                                       " ",
                                       "\x1az",
                                       "",
                                       "12345678901234567890"};
  std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> count(0, 40);
  std::uniform_int_distribution<int> percent(0, 99);
  std::string bytes;
  const int lines = count(rng);
  for (int l = 0; l < lines; ++l) {
    if (l == lines / 2 && percent(rng) < 3) {
      const std::size_t around = records::k_max_record_length - 1 + piece(rng) % 3;
      bytes += std::string(around, 'x');
    } else {
      // A lone Ctrl-Z is rarer than the rest, so records often follow.
      for (int p = count(rng) % 4; p > 0; --p) bytes += pieces[piece(rng)];
      if (bytes.ends_with("\n\x1a") && percent(rng) < 70) bytes += "y";
    }
    if (l + 1 < lines || percent(rng) < 50) bytes += percent(rng) < 50 ? "\n" : "\r\n";
  }
  return bytes;
}

TEST(RecordSplit, RandomBytesSplitAsTheRuleSays) {
  std::mt19937 rng(20261209);
  for (int round = 0; round < 3000; ++round) {
    const std::string bytes = random_bytes(rng);
    const Outcome want = model(bytes);
    // Tiny blocks, except for the tables with a line of a megabyte.
    const std::size_t small = bytes.size() < 100000 ? 5 : 65536;
    for (const std::size_t first_size : {std::size_t{1}, std::size_t{7}, std::size_t{8192}}) {
      ASSERT_EQ(split(bytes, first_size, first_size < 8192 ? small : 8192, rng), want)
          << "round " << round << " first size " << first_size;
    }
  }
}

}  // namespace
