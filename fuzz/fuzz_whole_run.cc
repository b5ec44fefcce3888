// The whole run in process: the input is the contents of P.PER, the arguments
// follow from its size (run_arguments.h). Each input runs the real driver in
// a scratch directory and checks the run's contract:
//   - P.PER is left byte for byte as it was;
//   - a run that ends normally leaves a complete report (header, blank
//     record, six records per announced method, every record ending in
//     CR LF) and a complete script (13, 20, 29, 38 or 47 lines by the count,
//     the last one the export line);
//   - a run that stops does so only with the conversion error for unit 7
//     (report and script still empty), the capacity message 120 for unit 7
//     (likewise), or the conversion error for unit 8 when the report holds
//     values that are not numbers (the script then holds the abscissa line
//     alone).
// The failure stop throws in this build (failure_seam.cc), so the checks run
// after a failed run too.
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
#include "profcmp/run.h"
#include "records/units.h"
#include "run_arguments.h"
#include "scratch_dir.h"

namespace {

using records::Message;

std::string read_file(const char* name) {
  std::string bytes;
  const int fd = ::open(name, O_RDONLY);
  if (fd < 0) return "<missing>";
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return bytes;
}

// Reports a broken contract with the files as the run left them.
[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "fuzz_whole_run: %s\n", what);
  for (const char* name : {"P.PRO", "P.sci"}) {
    const std::string bytes = read_file(name);
    std::fprintf(stderr, "---- %s (%zu bytes)\n%s\n", name, bytes.size(), bytes.c_str());
  }
  std::abort();
}

// Splits a written file into its records; every record must end in CR LF.
std::vector<std::string_view> crlf_records(std::string_view bytes, const char* file) {
  std::vector<std::string_view> records;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find("\r\n");
    if (end == std::string_view::npos) {
      std::fprintf(stderr, "fuzz_whole_run: %s: last record without CR LF\n", file);
      std::abort();
    }
    const std::string_view record = bytes.substr(0, end);
    if (record.find('\n') != std::string_view::npos) {
      std::fprintf(stderr, "fuzz_whole_run: %s: LF inside a record\n", file);
      std::abort();
    }
    records.push_back(record);
    bytes.remove_prefix(end + 2);
  }
  return records;
}

int script_lines_for(int methods) {
  if (methods <= 0) return 13;
  if (methods == 1) return 20;
  if (methods >= 4) return 47;
  return 1 + 5 * methods + 1 + 3 + 4 * methods + 1 + 5;
}

void check_complete_run() {
  const std::string report = read_file("P.PRO");
  const std::vector<std::string_view> lines = crlf_records(report, "P.PRO");
  if (lines.size() < 2) fail("report shorter than two records");
  const std::string_view header = lines[0];
  if (header.size() != 80 || !header.starts_with("PERFORMANCE PROFILES:")) fail("report header");
  if (lines[1] != " ") fail("record after the header is not one blank");
  const std::string count_text(header.substr(77, 3));
  const int methods = std::atoi(count_text.c_str());
  if (methods < 0 || methods > 20) fail("method count outside 0..20");
  if (lines.size() != 2 + 6 * static_cast<std::size_t>(methods)) fail("report record count");
  for (int m = 0; m < methods; ++m) {
    const std::size_t first = 2 + 6 * static_cast<std::size_t>(m);
    if (lines[first].size() != 79 || !lines[first].starts_with("METHOD")) fail("method record");
    if (lines[first + 1] != " " || lines[first + 5] != " ") fail("blank record of a block");
    if (lines[first + 2].size() != 80 || lines[first + 3].size() != 80 ||
        lines[first + 4].size() != 50) {
      fail("profile records are not 80, 80 and 50 characters");
    }
  }

  const std::string script = read_file("P.sci");
  const std::vector<std::string_view> script_lines = crlf_records(script, "P.sci");
  if (static_cast<int>(script_lines.size()) != script_lines_for(methods)) fail("script line count");
  if (script_lines.front().size() != 22 || !script_lines.front().starts_with("x=0:")) {
    fail("abscissa line");
  }
  if (script_lines.back() != "xs2eps(0,'P');") fail("script does not end with the export line");
}

void check_stopped_run(const fuzz::FailureStop& stop) {
  const std::string report = read_file("P.PRO");
  const std::string script = read_file("P.sci");
  if ((stop.message == Message::input_conversion || stop.message == Message::capacity_exceeded) &&
      stop.unit == 7) {
    if (!report.empty()) fail("report written although reading the table failed");
    if (!script.empty()) fail("script written although reading the table failed");
    if (!stop.file_name().ends_with("/P.PER")) fail("diagnostic for unit 7 names another file");
    return;
  }
  if (stop.message == Message::input_conversion && stop.unit == 8) {
    // Only a NaN from a last group without problem records gets here.
    if (report.find(" NaN      ") == std::string::npos) fail("unit 8 conversion error without NaN");
    const std::vector<std::string_view> lines = crlf_records(script, "P.sci");
    if (lines.size() != 1 || lines[0].size() != 22) fail("script is not the abscissa line alone");
    return;
  }
  std::fprintf(stderr, "fuzz_whole_run: failure stop %d for unit %d, file %.*s, errno %d\n",
               static_cast<int>(stop.message), stop.unit, static_cast<int>(stop.file_name().size()),
               stop.file_name().data(), stop.platform_error);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::make_scratch("run");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::InScratch scratch;
  const std::string table(reinterpret_cast<const char*>(data), size);
  fuzz::write_table(data, size);
  ::unlink("P.PRO");
  ::unlink("P.sci");

  const fuzz::RunArguments& arguments = fuzz::run_arguments_for(size);
  char program[] = "profcmp";
  std::string criterion = arguments.criterion;
  std::string bound = arguments.bound;
  char* argv[] = {program, criterion.data(), bound.data(), nullptr};
  records::start_up(1 + arguments.count, argv);

  try {
    driver::run_profcmp();
    check_complete_run();
  } catch (const fuzz::FailureStop& stop) {
    check_stopped_run(stop);
  }
  for (const int unit : {7, 8, 9}) {
    if (records::unit_connected(unit)) fail("unit left connected after the run");
  }
  if (read_file("P.PER") != table) fail("P.PER changed by the run");
  return 0;
}
