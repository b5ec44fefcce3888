// The run sequence: arguments with their defaults, the bound, the three files
// on units 7, 8 and 9, the profile computation and the plot script.
#ifndef PROFCMP_PROFCMP_RUN_H_
#define PROFCMP_PROFCMP_RUN_H_

namespace driver {

// Runs the tool once in the working directory. When argument 1 is exactly
// "--help" or "-h" (usage) or "--version", prints that on standard output and
// returns without opening any file. Returns on success; every failure ends
// the process through the failure stop.
void run_profcmp();

}  // namespace driver

#endif  // PROFCMP_PROFCMP_RUN_H_
