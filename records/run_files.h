// The facts that the folders of a run share: the files and their unit
// numbers, the widths of the criterion and method name fields, and the
// capacities of the profile tables. Every folder takes them from here.
#ifndef PROFCMP_RECORDS_RUN_FILES_H_
#define PROFCMP_RECORDS_RUN_FILES_H_

#include <string_view>

namespace records {

// The results table, read.
inline constexpr int k_results_unit = 7;
inline constexpr std::string_view k_results_file = "P.PER";
// The profile report, written and then read back.
inline constexpr int k_report_unit = 8;
inline constexpr std::string_view k_report_file = "P.PRO";
// The plot script, written.
inline constexpr int k_script_unit = 9;
inline constexpr std::string_view k_script_file = "P.sci";

// Characters of the criterion, wherever it is held or shown.
inline constexpr int k_criterion_length = 4;
// Characters of a method name, in the results table, the report and the legend.
inline constexpr int k_name_length = 14;

// Capacities of the profile tables: methods, and problems per method.
inline constexpr int k_max_methods = 20;
inline constexpr int k_max_problems = 200;

}  // namespace records

#endif  // PROFCMP_RECORDS_RUN_FILES_H_
