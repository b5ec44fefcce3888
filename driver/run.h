// The run sequence: arguments with their defaults, the bound, the three files
// on units 7, 8 and 9, the profile computation and the plot script.
#ifndef PROFCMP_DRIVER_RUN_H_
#define PROFCMP_DRIVER_RUN_H_

#include <string_view>

namespace driver {

// The version that `profcmp --version` prints.
#ifdef PROFCMP_VERSION
inline constexpr std::string_view k_version = PROFCMP_VERSION;
#else
inline constexpr std::string_view k_version = "1.0.0";  // project(... VERSION) of the build
#endif

// Runs the tool once in the working directory. When argument 1 is exactly
// "--help" or "-h" (usage) or "--version", prints that on standard output and
// returns without opening any file. Returns on success; every failure ends
// the process through the failure stop.
void run_profcmp();

}  // namespace driver

#endif  // PROFCMP_DRIVER_RUN_H_
