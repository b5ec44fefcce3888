// Writing a table read from any format as a results table (P.PER) that
// profcmp reads: measures mapped to the five count fields, real costs scaled
// to whole counts, failures as the count k_sentinel_count, names cut to the
// 14 columns profcmp keeps, every method with a record for every problem in
// one order. The plan is made first, so that a table that cannot be written
// is refused before any byte of it is.
#ifndef PROFCMP_PROFKIT_TABLE_RESULTS_WRITER_H_
#define PROFCMP_PROFKIT_TABLE_RESULTS_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "profkit/table/measure_table.h"
#include "profkit/table/results_table.h"

namespace table {

// One count field and the measure written to it.
struct FieldSource {
  int field = 0;            // 0..4: NIT, NFV, NFG, NCGR, TIME
  std::size_t measure = 0;  // index of the measure table
  std::string column;       // the measure's name, for messages
  double scale = 1.0;       // every measure is multiplied by it
  bool scaled = false;      // a product is rounded up; else it must be a whole number
};

// What conversion of one measure gives.
enum class CountFit : std::uint8_t { fits, not_whole, too_large };

// The count written for `measure` (k_failed: k_sentinel_count) with the
// field's scale: the product rounded up when the field is scaled (a product
// within 4 units in the last place of a whole number is that number, so
// that 0.07 x 100 is 7, not 8), else the measure itself when it is whole.
// Counts must stay below k_sentinel_count, which stands for a failure.
CountFit count_of(double measure, const FieldSource& source, std::int64_t& count);

// `names` as the 14 bytes profcmp keeps of them: control bytes become '?',
// trailing blanks go, longer names are cut at a UTF-8 character boundary at
// most 14 bytes in, and a name equal to an earlier one gets '~2', '~3', ...
// (within the 14 bytes, its own text cut shorter for it). `renamed` gets one
// index per name that changed.
std::vector<std::string> short_names(const std::vector<std::string>& names,
                                     std::vector<std::size_t>& renamed);

struct ResultsPlan {
  std::vector<FieldSource> fields;
  std::vector<std::string> method_names;   // short names
  std::vector<std::string> problem_names;  // short names
  std::vector<std::string> notes;          // "NAME -> SHORT" lines, then warnings
  std::string error;                       // non-empty: the table cannot be written
};

// Plans the results table of `measures` (one measure table per name, every
// one with the same methods and `problem_names.size()` problems) for the
// count fields of `fields`.
ResultsPlan plan_results(const std::vector<MeasureTable>& measures,
                         const std::vector<std::string>& problem_names,
                         std::vector<FieldSource> fields);

// Writes the planned table: per method a METHOD record, then one record per
// problem in the order of `problem_names`, unmapped count fields blank, CR LF
// line ends.
void write_results(std::ostream& out, const std::vector<MeasureTable>& measures,
                   const ResultsPlan& plan);

}  // namespace table

#endif  // PROFCMP_PROFKIT_TABLE_RESULTS_WRITER_H_
