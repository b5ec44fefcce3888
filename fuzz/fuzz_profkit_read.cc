// profkit's reader of results tables on any bytes: the whole-table read (with
// the audit watching it) and the criterion's direct read, in one stream and
// split into two halves read on two threads, all give the same methods,
// measures and first conversion error; the audit never fails and counts the
// table as the reader does.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "profkit/audit/audit.h"
#include "profkit/table/results_table.h"

namespace {

void fail(const char* what) {
  std::fprintf(stderr, "fuzz_profkit_read: %s\n", what);
  std::abort();
}

bool same(const table::MeasureRead& a, const table::MeasureRead& b) {
  if (a.conversion_failed || b.conversion_failed) {
    // A run stops at the first count that does not convert: only it counts.
    return a.conversion_failed == b.conversion_failed && a.first_error.line == b.first_error.line &&
           a.first_error.column == b.first_error.column && a.first_error.text == b.first_error.text;
  }
  return a.measures.names == b.measures.names && a.measures.problems == b.measures.problems &&
         a.measures.measures == b.measures.measures && a.records == b.records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int measure_index = 1 + data[0] % 5;
  const table::FailureRule rule =
      data[0] & 0x80 ? table::FailureRule::nonpositive : table::FailureRule::clamp;
  const int fd = ::memfd_create("table", MFD_CLOEXEC);
  if (fd < 0) fail("memfd_create");
  if (::write(fd, data + 1, size - 1) != static_cast<ssize_t>(size - 1)) fail("write");

  ::lseek(fd, 0, SEEK_SET);
  audit::Options options;
  options.measure_index = measure_index;
  audit::Auditor auditor(options);
  table::RecordReader reader(fd);
  table::ResultsTable whole;
  if (!table::read_results(reader, whole,
                           [&](const table::ParsedRecord& r) { auditor.observe(r); })) {
    fail("read error on a memory file");
  }
  const audit::Audit found = auditor.finish(whole);
  std::ostringstream text;
  audit::write_audit(text, "t", found);
  if (found.methods != whole.groups.size()) fail("the audit counts other methods");

  table::MeasureRead from_whole;
  from_whole.measures = table::measures_of(whole, measure_index, rule);
  from_whole.records = whole.records;
  from_whole.conversion_failed = !whole.conversion_errors.empty();
  if (from_whole.conversion_failed) from_whole.first_error = whole.conversion_errors.front();

  ::lseek(fd, 0, SEEK_SET);
  const table::MeasureRead streamed =
      table::read_measures(fd, measure_index, rule, std::size_t{1} << 40);
  ::lseek(fd, 0, SEEK_SET);
  const table::MeasureRead split =
      table::read_measures(fd, measure_index, rule, size > 2 ? (size - 1) / 2 : 1);
  ::close(fd);
  if (!same(streamed, from_whole)) fail("the direct read differs from the whole-table read");
  if (!same(split, streamed)) fail("the split read differs from the streamed read");
  return 0;
}
