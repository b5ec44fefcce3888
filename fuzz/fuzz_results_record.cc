// Results-table records: the input is the whole contents of a P.PER, which
// is read record by record with (A6,2X,A14,5I10) through the real unit layer
// and record engine, exactly as compute_profiles reads it. Every record is
// compared with what the reference splitting, field extraction and integer
// parsing make of the same bytes: the key, the name and the five counts, or
// the input conversion error for unit 7 where a count is no whole number.
//
// A conversion error would end the process; in this build the failure stop
// throws instead (failure_seam.cc), so the target catches it, checks that the
// reference expected exactly that failure, and goes on with the next input.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "failure_seam.h"
#include "records/record_format.h"
#include "records/units.h"
#include "reference.h"
#include "scratch_dir.h"

namespace {

constexpr int k_unit = 7;
constexpr int k_max_records = 64;

struct ExpectedRecord {
  std::string key;
  std::string name;
  std::int32_t counts[5];
  bool conversion_error;
};

// The records of a file: up to each LF, a CR right before it dropped, a last
// record without LF kept, and a lone byte 26 the end of the file.
std::vector<std::string> split_records(std::string_view bytes) {
  std::vector<std::string> records;
  std::size_t start = 0;
  while (start < bytes.size() && records.size() < k_max_records + 1) {
    std::size_t end = bytes.find('\n', start);
    std::string record(bytes.substr(start, end == std::string_view::npos ? end : end - start));
    if (end != std::string_view::npos && !record.empty() && record.back() == '\r')
      record.pop_back();
    if (record == "\x1a") break;
    records.push_back(record);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return records;
}

// A text field of `width` columns at column `column` (0-based), blank-padded.
std::string text_field(const std::string& record, std::size_t column, std::size_t width) {
  std::string field = column < record.size() ? record.substr(column, width) : std::string();
  field.resize(width, ' ');
  return field;
}

ExpectedRecord expect(const std::string& record) {
  ExpectedRecord expected{};
  expected.key = text_field(record, 0, 6);
  expected.name = text_field(record, 8, 14);
  std::size_t column = 22;
  for (std::int32_t& count : expected.counts) {
    std::string field = column < record.size() ? record.substr(column, 10) : std::string();
    const std::size_t comma = field.find(',');
    if (comma != std::string::npos) {
      field.resize(comma);
      column += comma + 1;
    } else {
      field.resize(10, ' ');
      column += 10;
    }
    if (fuzz::reference_integer(field, false, count) != fuzz::Verdict::accept) {
      expected.conversion_error = true;
      break;
    }
  }
  return expected;
}

[[noreturn]] void fail(const char* what, int record_number, const std::string& record) {
  std::fprintf(stderr, "fuzz_results_record: record %d: %s; record [%s]\n", record_number, what,
               record.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::make_scratch("record");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::InScratch scratch;
  fuzz::write_table(data, size);
  const std::vector<std::string> expected_records =
      split_records(std::string_view(reinterpret_cast<const char*>(data), size));

  int number = 0;
  try {
    records::open_unit(k_unit, "P.PER", records::OpenStatus::unknown, records::BlankMode::null);
    for (; number < k_max_records; ++number) {
      char key[6];
      char name[14];
      std::int32_t counts[5] = {};
      const int result = records::read_formatted(
          k_unit, records::formats::k_results_record,
          {records::in_text(key, 6), records::in_text(name, 14), records::in_integers(counts, 5)},
          records::EndOfFile::branch);
      const bool have = number < static_cast<int>(expected_records.size());
      if (result == -1) {
        if (have) fail("end of file before this record", number, expected_records[number]);
        break;
      }
      if (result != 0) fail("result neither 0 nor -1", number, "");
      if (!have) fail("a record after the end of the file", number, "");
      const std::string& record = expected_records[number];
      const ExpectedRecord expected = expect(record);
      if (expected.conversion_error) fail("read without the conversion error", number, record);
      if (std::string_view(key, 6) != expected.key) fail("key differs", number, record);
      if (std::string_view(name, 14) != expected.name) fail("name differs", number, record);
      for (int i = 0; i < 5; ++i) {
        if (counts[i] != expected.counts[i]) fail("count differs", number, record);
      }
    }
    records::close_unit(k_unit);
  } catch (const fuzz::FailureStop& stop) {
    const std::string record =
        number < static_cast<int>(expected_records.size()) ? expected_records[number] : "";
    if (stop.message != records::Message::input_conversion || stop.unit != k_unit) {
      std::fprintf(stderr, "failure stop %d for unit %d, file %.*s\n",
                   static_cast<int>(stop.message), stop.unit,
                   static_cast<int>(stop.file_name().size()), stop.file_name().data());
      fail("unexpected failure stop", number, record);
    }
    if (number >= static_cast<int>(expected_records.size()) || !expect(record).conversion_error) {
      fail("conversion error where the reference reads the record", number, record);
    }
    if (!stop.file_name().ends_with("/P.PER"))
      fail("diagnostic names another file", number, record);
  }
  if (records::unit_connected(k_unit)) fail("unit left connected", number, "");
  return 0;
}
