#include "driver/run.h"

#include <cstdint>
#include <cstring>

#include "plot/plot_script.h"
#include "profiles/profiles.h"
#include "records/record_format.h"
#include "records/units.h"

namespace driver {
namespace {

constexpr char k_default_criterion[] = "NFV ";
constexpr char k_default_bound_text[] = "2.0D0     ";
constexpr int k_criterion_length = 4;
constexpr int k_bound_text_length = 10;

void open_run_file(int unit, std::string_view name) {
  records::open_unit(unit, name, records::OpenStatus::unknown, records::BlankMode::null);
}

}  // namespace

void run_profcmp() {
  char criterion[k_criterion_length];
  char bound_text[k_bound_text_length];
  std::int16_t status = 0;

  // Missing arguments take their defaults; present ones (even empty) are used
  // as given, cut or blank-padded to their field.
  records::GETARG(1, criterion, k_criterion_length, status);
  if (status < 0) std::memcpy(criterion, k_default_criterion, k_criterion_length);
  records::GETARG(2, bound_text, k_bound_text_length, status);
  if (status < 0) std::memcpy(bound_text, k_default_bound_text, k_bound_text_length);

  // The bound is read before any file is opened, so a bad bound text leaves
  // the working directory untouched.
  double bound = 0.0;
  records::read_internal(bound_text, k_bound_text_length, records::formats::k_bound_text,
                         {records::in_real(bound)});

  open_run_file(k_results_unit, "P.PER");
  open_run_file(k_report_unit, "P.PRO");
  open_run_file(k_script_unit, "P.sci");

  const std::string_view criterion_text(criterion, k_criterion_length);
  profiles::compute_profiles(criterion_text, bound);

  // Reopening positions the report at its first record for the read-back.
  records::close_unit(k_report_unit);
  open_run_file(k_report_unit, "P.PRO");

  plot::write_plot_script(criterion_text, bound);

  records::close_unit(k_results_unit);
  records::close_unit(k_report_unit);
  records::close_unit(k_script_unit);
}

}  // namespace driver
