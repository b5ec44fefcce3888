// The failure stop as the fuzz targets see it: instead of ending the process,
// a failure throws a FailureStop that the target catches, checks and forgets,
// so one fuzzing process can meet millions of conversion errors.
#ifndef PROFCMP_FUZZ_FAILURE_SEAM_H_
#define PROFCMP_FUZZ_FAILURE_SEAM_H_

#include <string_view>

#include "records/failure_stop.h"

namespace fuzz {

// What the code under test asked the failure stop for.
struct FailureStop {
  records::Message message;
  int unit;
  char file[512];
  int file_length;
  int platform_error;

  std::string_view file_name() const { return {file, static_cast<std::size_t>(file_length)}; }
};

}  // namespace fuzz

#endif  // PROFCMP_FUZZ_FAILURE_SEAM_H_
