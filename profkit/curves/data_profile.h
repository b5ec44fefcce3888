// Data profiles: the share of problems a method solves within kappa simplex
// gradients, d(kappa) = |{p : cost_p / (n_p + 1) <= kappa}| / |P|, where n_p
// is problem p's dimension and cost_p the evaluations the method needed.
// Drawn as the exact staircases the performance profiles are.
#ifndef PROFCMP_PROFKIT_CURVES_DATA_PROFILE_H_
#define PROFCMP_PROFKIT_CURVES_DATA_PROFILE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "profkit/table/measure_table.h"

namespace curves {

// kappa[0] is 0; the rest are the distinct finite kappas the method
// reaches, ascending, up to the largest kappa asked for; fraction[i] holds
// from kappa[i] on. Without problems the one fraction is NaN.
struct DataStaircase {
  std::vector<double> kappa;
  std::vector<double> fraction;
};

// Method m's kappas: cost / (dimension + 1) of every problem it solves,
// ascending. `dimensions` has one entry (from 1) per problem of `t`.
std::vector<double> sorted_kappas(const table::MeasureTable& t,
                                  const std::vector<std::uint64_t>& dimensions, std::size_t m);

// Method m's staircase up to `max_kappa`.
DataStaircase data_staircase(const table::MeasureTable& t,
                             const std::vector<std::uint64_t>& dimensions, std::size_t m,
                             double max_kappa);

// The largest finite kappa of any method on any problem (0 when none).
double largest_kappa(const table::MeasureTable& t, const std::vector<std::uint64_t>& dimensions);

// CSV (RFC 4180, rows end in CR LF): "tolerance,method_number,method,kappa,
// fraction", then for each table (labelled by `labels`) every method's
// staircase up to `max_kappa` (default: that table's largest kappa).
void write_data_csv(std::ostream& out, const std::vector<std::string>& labels,
                    const std::vector<table::MeasureTable>& tables,
                    const std::vector<std::uint64_t>& dimensions, std::optional<double> max_kappa);

// The performance profiles of several tables as write_csv() gives them, in
// one CSV with a first column "tolerance" holding each table's label.
void write_labelled_csv(std::ostream& out, const std::vector<std::string>& labels,
                        const std::vector<table::MeasureTable>& tables);

}  // namespace curves

#endif  // PROFCMP_PROFKIT_CURVES_DATA_PROFILE_H_
