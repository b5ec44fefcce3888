// The command-line arguments a whole-run input is run with. They follow from
// the input's size alone, so that the in-process target and the process
// harness (run_fuzz_whole.sh, which keeps the same table) agree on every input.
#ifndef PROFCMP_FUZZ_RUN_ARGUMENTS_H_
#define PROFCMP_FUZZ_RUN_ARGUMENTS_H_

#include <cstddef>

namespace fuzz {

struct RunArguments {
  int count;  // how many of the two arguments are given
  const char* criterion;
  const char* bound;
};

// Indexed by the input's size modulo 7.
inline constexpr RunArguments k_run_arguments[] = {
    {0, "", ""},      {1, "NIT", ""}, {2, "NFG", "3."},   {2, "NCGR", "0.5"},
    {2, "TIME", "5"}, {1, "nfv", ""}, {2, "NFV", "1.25"},
};

inline const RunArguments& run_arguments_for(std::size_t size) {
  return k_run_arguments[size % 7];
}

}  // namespace fuzz

#endif  // PROFCMP_FUZZ_RUN_ARGUMENTS_H_
