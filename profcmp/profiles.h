// Performance profiles: reads the results table "P.PER" on unit 7, computes
// every method's profile on 21 abscissae of log2(ratio), its mean value and
// its efficiency, and writes the profile report "P.PRO" on unit 8.
#ifndef PROFCMP_PROFCMP_PROFILES_H_
#define PROFCMP_PROFCMP_PROFILES_H_

#include <cstdint>
#include <string_view>

#include "records/run_files.h"

namespace profiles {

// The capacities and units of the run, defined with the other shared facts.
using records::k_max_methods;
using records::k_max_problems;
using records::k_report_unit;
using records::k_results_unit;
inline constexpr int k_max_abscissae = 200;  // rows of profile_table

// The tables of one call. They exist once for the run and are zeroed at the
// start of compute_profiles(). Indices run from 1, as in the report; index 0
// of every table is unused.
struct ProfileTables {
  std::int32_t measure_index;  // 1..5 for the five keywords, 0 for any other criterion
  double step;
  std::int32_t method_count;
  std::int32_t problem_count;  // after reading: the longest group's problem count
  char method_names[k_max_methods + 1][records::k_name_length];
  // Problem records stored for each method; entries beyond it are missing
  // (0 in measure_table) and count as failures of that method.
  std::int32_t group_length[k_max_methods + 1];
  std::int32_t measure_table[k_max_problems + 1][k_max_methods + 1];  // (problem, method)
  std::int32_t best_measure[k_max_problems + 1];
  std::int64_t measure_sum[k_max_problems + 1];  // 64 bits: sums of 20 counts overflow 32
  double ratio_table[k_max_problems + 1][k_max_methods + 1];  // +inf for a missing entry
  // log2 of the ratio as the sweep compares it: 0 for ratios up to 1, else
  // ln(ratio) * 1.4426950408889634.
  double log_ratio[k_max_problems + 1][k_max_methods + 1];
  double profile_table[k_max_abscissae + 1][k_max_methods + 1];  // (abscissa, method)
  std::int32_t abscissa_count;
  double mean_value[k_max_methods + 1];
  double efficiency_score[k_max_methods + 1];
  double efficiency_max;
  double efficiency[k_max_methods + 1];  // as reported: score / efficiency_max, 1.0 for +inf scores
};

// Selects the measure from `criterion` (cut or blank-padded to 4 characters),
// normalises `bound` to 0.5 .. 5.0 in steps of 0.5 (written back; NaN gives
// 0.5), reads unit 7 to its end, computes the profiles and writes the report
// on unit 8. Leaves both units connected. Stops the run with message 120 at
// the 21st method or the 201st problem of a group, before anything is written.
void compute_profiles(std::string_view criterion, double& bound);

// The tables as the last call of compute_profiles() left them.
const ProfileTables& profile_tables();

}  // namespace profiles

#endif  // PROFCMP_PROFCMP_PROFILES_H_
