// The facts that the folders of a run share: the files and their unit
// numbers, the widths of the criterion and method name fields, the key and
// the criterion keywords of a results record, and the capacities of the
// profile tables. Every folder, of both programs, takes them from here.
#ifndef PROFCMP_RECORDS_RUN_FILES_H_
#define PROFCMP_RECORDS_RUN_FILES_H_

#include <cstddef>
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

// A results record: the key (columns 1-6), the name (columns 9-22) and the
// counts. A record whose key is METHOD starts the group of a method.
inline constexpr int k_key_length = 6;
inline constexpr std::string_view k_method_key = "METHOD";
inline constexpr int k_count_fields = 5;

// The criterion keywords, blank-padded to k_criterion_length, in the order of
// the count fields they select: measure index 1 is NIT, ..., 5 is TIME.
inline constexpr std::string_view k_keywords[k_count_fields] = {"NIT ", "NFV ", "NFG ", "NCGR",
                                                                "TIME"};

// The name of count field `field` (0-based): its keyword without the padding.
constexpr std::string_view count_name(int field) {
  const std::string_view keyword = k_keywords[field];
  return keyword.substr(0, keyword.find_last_not_of(' ') + 1);
}

// 1..5 for a keyword exactly as profcmp holds the criterion (k_criterion_length
// characters, capitals, blank-padded), 0 for any other text.
constexpr int measure_index_of(std::string_view criterion) {
  for (int field = 0; field < k_count_fields; ++field) {
    if (criterion == k_keywords[field]) return field + 1;
  }
  return 0;
}

// 1..5 for a keyword in any case and without padding ("nfv", "Ncgr"), as
// profkit takes it on its command line; 0 for any other text.
constexpr int measure_index_of_any_case(std::string_view word) {
  for (int field = 0; field < k_count_fields; ++field) {
    const std::string_view name = count_name(field);
    if (word.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < word.size() && same; ++i) {
      const char c = word[i];
      same = (c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) == name[i];
    }
    if (same) return field + 1;
  }
  return 0;
}

// Capacities of the profile tables: methods, and problems per method.
inline constexpr int k_max_methods = 20;
inline constexpr int k_max_problems = 200;

}  // namespace records

#endif  // PROFCMP_RECORDS_RUN_FILES_H_
