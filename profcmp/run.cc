#include "profcmp/run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "profcmp/plot_script.h"
#include "profcmp/profiles.h"
#include "records/failure_stop.h"
#include "records/record_format.h"
#include "records/run_files.h"
#include "records/units.h"

namespace driver {
namespace {

using records::k_criterion_length;
using records::k_report_unit;
using records::k_results_unit;
using records::k_script_unit;

// The version that `profcmp --version` prints: the project's version, which
// the build may pass in; the fallback is kept equal to it by a test.
#ifdef PROFCMP_VERSION
constexpr std::string_view k_version = PROFCMP_VERSION;
#else
constexpr std::string_view k_version = "1.0.0";
#endif

constexpr char k_default_criterion[] = "NFV ";
constexpr char k_default_bound_text[] = "2.0D0     ";
constexpr int k_bound_text_length = 10;

constexpr std::string_view k_usage =
    "usage: profcmp [criterion [bound]]\n"
    "       profcmp --help | -h | --version\n"
    "\n"
    "Compares optimization methods by their performance profiles: reads the\n"
    "results table P.PER in the working directory and writes the report P.PRO\n"
    "and the Scilab script P.sci beside it.\n"
    "\n"
    "  criterion  the count compared: NIT, NFV (default), NFG, NCGR or TIME\n"
    "  bound      upper end of the abscissa, log2 of the ratio (default 2.0D0)\n"
    "\n"
    "See profcmp(1).\n";

void write_standard_output(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

// Answers "--help", "-h" and "--version" given whole as argument 1. Returns
// false for every other argument 1, which keeps its meaning as criterion.
bool answer_information_request() {
  constexpr int k_longest = 9;  // "--version"
  char argument[k_longest];
  std::int16_t status = 0;
  records::GETARG(1, argument, k_longest, status);
  if (status < 0 || status > k_longest) return false;
  const std::string_view given(argument, static_cast<std::size_t>(status));
  if (given == "--help" || given == "-h") {
    write_standard_output(k_usage);
    return true;
  }
  if (given == "--version") {
    char line[64];
    std::size_t length = 0;
    for (const std::string_view part :
         {std::string_view("profcmp "), k_version, std::string_view("\n")}) {
      std::memcpy(line + length, part.data(), part.size());
      length += part.size();
    }
    write_standard_output(std::string_view(line, length));
    return true;
  }
  return false;
}

// The criterion goes into a record of the report and a line of the script,
// where a line end would split the record.
void refuse_line_end(const char* criterion) {
  if (std::memchr(criterion, '\n', k_criterion_length) != nullptr ||
      std::memchr(criterion, '\r', k_criterion_length) != nullptr) {
    records::failure_stop(records::Message::line_end_in_criterion, 0, "");
  }
}

void open_run_file(int unit, std::string_view name, records::FileUse use) {
  records::open_unit(unit, name, records::OpenStatus::unknown, records::BlankMode::null, use);
}

}  // namespace

void run_profcmp() {
  static_assert(k_version.size() < 48, "the version line fits its buffer");
  if (answer_information_request()) return;

  char criterion[k_criterion_length];
  char bound_text[k_bound_text_length];
  std::int16_t status = 0;

  // Missing arguments take their defaults; present ones (even empty) are used
  // as given, cut or blank-padded to their field.
  records::GETARG(1, criterion, k_criterion_length, status);
  if (status < 0) std::memcpy(criterion, k_default_criterion, k_criterion_length);
  refuse_line_end(criterion);
  records::GETARG(2, bound_text, k_bound_text_length, status);
  if (status < 0) std::memcpy(bound_text, k_default_bound_text, k_bound_text_length);

  // The bound is read before any file is opened, so a bad bound text leaves
  // the working directory untouched.
  double bound = 0.0;
  records::read_internal(bound_text, k_bound_text_length, records::formats::k_bound_text,
                         {records::in_real(bound)});

  // The results table is only read; the report is read back, so it must be a
  // file that keeps what is written; the script may go to a pipe.
  open_run_file(k_results_unit, records::k_results_file, records::FileUse::input);
  open_run_file(k_report_unit, records::k_report_file, records::FileUse::read_back);
  open_run_file(k_script_unit, records::k_script_file, records::FileUse::read_write);

  const std::string_view criterion_text(criterion, k_criterion_length);
  profiles::compute_profiles(criterion_text, bound);

  // Reopening positions the report at its first record for the read-back.
  records::close_unit(k_report_unit);
  open_run_file(k_report_unit, records::k_report_file, records::FileUse::read_back);

  plot::write_plot_script(criterion_text, bound);

  records::close_unit(k_results_unit);
  records::close_unit(k_report_unit);
  records::close_unit(k_script_unit);
}

}  // namespace driver
