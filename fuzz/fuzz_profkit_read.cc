// profkit's readers on any bytes. Results tables (pper): the whole-table
// read (with the audit watching it) and the criterion's direct read, in one
// stream and split into two halves read on two threads, all give the same
// methods, measures and first conversion error; the audit counts the table
// as the reader does. Long and wide CSV: the file read at once and the same
// bytes arriving through a socket in small pieces after a head of any length
// give the same tables and findings. perprof files and format detection:
// never a crash, every measure a failure or a positive finite number.
// Histories: every run's improvements finite and strictly descending, every
// cost of the convergence test a failure or an evaluation the run has.
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "profkit/audit/audit.h"
#include "profkit/table/history_reader.h"
#include "profkit/table/results_table.h"
#include "profkit/table/table_model.h"

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

void expect_sound(const table::ReadTable& read) {
  if (read.stopped) return;  // the run ends with the last finding; no table is used
  if (read.measures.size() != read.measure_names.size()) fail("a table per measure name");
  for (const table::MeasureTable& t : read.measures) {
    if (t.names.size() != read.methods()) fail("measure tables of different methods");
    for (std::size_t m = 0; m < t.methods(); ++m) {
      for (std::size_t p = 0; p < t.problems; ++p) {
        const double v = t.at(m, p);
        if (v != table::k_failed && !(std::isfinite(v) && v > 0)) fail("a measure out of range");
      }
    }
  }
}

bool same_tables(const table::ReadTable& a, const table::ReadTable& b) {
  if (a.measure_names != b.measure_names || a.problem_names != b.problem_names ||
      a.errors != b.errors || a.warnings != b.warnings || a.stopped != b.stopped ||
      a.findings.size() != b.findings.size() || a.measures.size() != b.measures.size()) {
    return false;
  }
  for (std::size_t k = 0; k < a.findings.size(); ++k) {
    const auto &x = a.findings[k], &y = b.findings[k];
    if (x.line != y.line || x.column != y.column || x.error != y.error || x.message != y.message) {
      return false;
    }
  }
  for (std::size_t k = 0; k < a.measures.size(); ++k) {
    const table::MeasureTable &x = a.measures[k], &y = b.measures[k];
    if (x.names != y.names || x.problems != y.problems) return false;
    for (std::size_t m = 0; m < x.methods(); ++m) {
      for (std::size_t p = 0; p < x.problems; ++p) {
        if (x.at(m, p) != y.at(m, p)) return false;
      }
    }
  }
  return true;
}

// The CSV bytes read from a memory file at once, and again with the first
// `head` bytes already read and the rest arriving in pieces of `piece` bytes.
void check_csv(const std::string& bytes, bool wide, std::size_t head, std::size_t piece) {
  const table::ReadOptions options;
  const int fd = ::memfd_create("csv", MFD_CLOEXEC);
  if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    fail("memory file");
  }
  ::lseek(fd, 0, SEEK_SET);
  const table::ReadTable whole = table::read_csv(fd, {}, "t.csv", options, wide);
  ::close(fd);
  expect_sound(whole);

  head = std::min(head, bytes.size());
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) fail("socketpair");
  std::thread writer([&] {
    for (std::size_t at = head; at < bytes.size(); at += piece) {
      const std::size_t n = std::min(piece, bytes.size() - at);
      if (::send(ends[1], bytes.data() + at, n, MSG_NOSIGNAL) != static_cast<ssize_t>(n)) break;
    }
    ::close(ends[1]);
  });
  const table::ReadTable pieces =
      table::read_csv(ends[0], std::string_view(bytes).substr(0, head), "t.csv", options, wide);
  // A reader that stopped early leaves bytes unread: end the writer first.
  ::shutdown(ends[0], SHUT_RDWR);
  writer.join();
  ::close(ends[0]);
  if (!same_tables(whole, pieces)) fail("the CSV read in pieces differs from the read at once");
}

void check_history(const std::string& bytes) {
  const int fd = ::memfd_create("history", MFD_CLOEXEC);
  if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    fail("memory file");
  }
  ::lseek(fd, 0, SEEK_SET);
  const table::History h = table::read_history(fd, {}, "h.csv", {});
  ::close(fd);
  for (const table::HistoryRun& run : h.runs) {
    for (std::size_t i = 0; i < run.improvements.size(); ++i) {
      const table::Improvement& at = run.improvements[i];
      if (!std::isfinite(at.value) || at.evaluation < 1 || at.evaluation > run.evaluations ||
          (i > 0 && !(at.value < run.improvements[i - 1].value &&
                      at.evaluation > run.improvements[i - 1].evaluation))) {
        fail("a run's improvements are not finite and strictly descending");
      }
    }
    for (const double tolerance : {0.0, 1e-3, 1.0}) {
      const double cost = table::convergence_cost(run, h.lowest[run.problem], tolerance);
      if (cost != table::k_failed && !(cost >= 1 && cost <= static_cast<double>(run.evaluations) &&
                                       cost == std::floor(cost))) {
        fail("a convergence cost that is not an evaluation of the run");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  table::InputFormat detected;
  std::string why;
  if (table::detect_format(bytes, true, detected, why) && detected == table::InputFormat::history) {
    check_history(bytes);
  }
  switch ((data[0] >> 5) & 3) {
    case 1:
    case 2:
      check_csv(bytes, ((data[0] >> 5) & 3) == 2, data[0] & 7 ? size / (data[0] & 7) : 0,
                1 + (data[0] & 0x18));
      return 0;
    case 3: {
      const int fd = ::memfd_create("perprof", MFD_CLOEXEC);
      if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        fail("memory file");
      }
      expect_sound(table::read_perprof({"/proc/self/fd/" + std::to_string(fd)}, {}));
      ::close(fd);
      return 0;
    }
    default:
      break;
  }
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
