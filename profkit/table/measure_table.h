// The measures of one criterion, method by problem, as every profkit analysis
// takes them: whole counts of at least 1, or a failure of the method on that
// problem (a missing entry of a short group, or a count that --failures
// nonpositive rejects). Sized to the input; no capacity.
#ifndef PROFCMP_PROFKIT_TABLE_MEASURE_TABLE_H_
#define PROFCMP_PROFKIT_TABLE_MEASURE_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace table {

// The measure of a failure. Real measures are at least 1.
inline constexpr std::int32_t k_failed = 0;

struct MeasureTable {
  std::vector<std::string> names;      // method names, trailing blanks removed, in table order
  std::size_t problems = 0;            // the longest group's problem count
  std::vector<std::int32_t> measures;  // method-major: measures[m * problems + p]

  std::size_t methods() const { return names.size(); }
  std::int32_t at(std::size_t m, std::size_t p) const { return measures[m * problems + p]; }
  bool solved(std::size_t m, std::size_t p) const { return at(m, p) != k_failed; }
};

}  // namespace table

#endif  // PROFCMP_PROFKIT_TABLE_MEASURE_TABLE_H_
