// The run sequence: arguments with their defaults, the bound, the three files
// on units 7, 8 and 9, the profile computation and the plot script.
#ifndef PROFCMP_DRIVER_RUN_H_
#define PROFCMP_DRIVER_RUN_H_

namespace driver {

inline constexpr int k_results_unit = 7;
inline constexpr int k_report_unit = 8;
inline constexpr int k_script_unit = 9;

// Runs the tool once in the working directory. Returns on success; every
// failure ends the process through the failure stop.
void run_profcmp();

}  // namespace driver

#endif  // PROFCMP_DRIVER_RUN_H_
