// The summary figure of a convergence history: a grid with one column per
// tolerance, the performance profiles above the data profiles, each method
// drawn in its own style (styles.h) in every plot.
#ifndef PROFCMP_PROFKIT_CURVES_SUMMARY_FIGURE_H_
#define PROFCMP_PROFKIT_CURVES_SUMMARY_FIGURE_H_

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "profkit/curves/figure_options.h"
#include "profkit/curves/svg_plot.h"
#include "profkit/table/measure_table.h"

namespace curves {

// A standalone SVG 1.1 document: for each table (the convergence test at the
// tolerance `labels` names) its performance profiles and, below, its data
// profiles up to `max_kappa` (default: that table's largest kappa).
// `dimensions` has one entry (from 1) per problem; without dimensions (empty)
// only the performance profiles are drawn.
void write_summary_svg(std::ostream& out, const std::vector<std::string>& labels,
                       const std::vector<table::MeasureTable>& tables,
                       const std::vector<std::uint64_t>& dimensions,
                       std::optional<double> max_kappa, const FigureOptions& options = {});
void write_summary_svg(std::ostream& out, const std::vector<std::string>& labels,
                       const std::vector<const table::MeasureTable*>& tables,
                       const std::vector<std::uint64_t>& dimensions,
                       std::optional<double> max_kappa, const FigureOptions& options = {});

// The same grid as one pgfplots tikzpicture (tex_plot.h): the cells share
// the width (default \linewidth), one legend below the grid.
void write_summary_tex(std::ostream& out, const std::vector<std::string>& labels,
                       const std::vector<table::MeasureTable>& tables,
                       const std::vector<std::uint64_t>& dimensions,
                       std::optional<double> max_kappa, const FigureOptions& options = {});

// The plot of the data profiles of `t`, the convergence test at the tolerance
// `label`, up to `max_kappa` (default: its largest kappa).
Chart data_profile_chart(const table::MeasureTable& t, const std::vector<std::uint64_t>& dimensions,
                         const std::string& label, std::optional<double> max_kappa,
                         const FigureOptions& options = {});

}  // namespace curves

#endif  // PROFCMP_PROFKIT_CURVES_SUMMARY_FIGURE_H_
