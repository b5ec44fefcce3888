// The exact profiles of every method of a measure table as documents: CSV
// rows of each staircase, a standalone SVG plot and a pgfplots picture. The
// same table and options always give the same bytes.
#ifndef PROFCMP_PROFKIT_CURVES_EXPORT_H_
#define PROFCMP_PROFKIT_CURVES_EXPORT_H_

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "profkit/curves/figure_options.h"
#include "profkit/curves/svg_plot.h"
#include "profkit/table/measure_table.h"

namespace curves {

// CSV (RFC 4180, rows end in CR LF): "method_number,method,log2_ratio,fraction",
// then for every method in table order its staircase rows, numbers in the
// shortest form that reads back to the same double.
void write_csv(std::ostream& out, const table::MeasureTable& t);

// The x axis of the plots: 0 to `bound`, ticks at every multiple of `step`.
// The step is 1, 2 or 5 times a power of ten, at least 0.1, the smallest that
// cuts the range into at most 10 intervals. Without a requested bound, the
// bound is the largest finite log2 ratio rounded up to a multiple of the
// step, or 2 (profcmp's default) when every log2 ratio is 0.
struct XAxis {
  double bound = 2.0;
  double step = 0.2;
  std::vector<double> ticks;
};
// `requested` must be finite and above 0.
XAxis x_axis(double largest_log2_ratio, std::optional<double> requested);

// The x axis of performance profiles labelled in ratios: ticks at whole
// log2 values labelled 1, 2, 4, 8, ... (every 1, 2, 5, 10, ... log2 units,
// at most 10 intervals; all of them as powers 2ⁿ once one passes 2¹⁶), or
// below a bound of 2 at the axis' own ticks labelled with the ratio to
// three digits.
void ratio_ticks(const XAxis& axis, std::vector<double>& values, std::vector<std::string>& labels);

struct PlotOptions {
  std::string criterion;        // keyword for the title, e.g. "NFV"
  std::optional<double> bound;  // right end of the x axis (see x_axis); in ratio labels
                                // without a bound, the largest log2 ratio rounded up to a whole
                                // number
  bool failures_nonpositive = false;
  FigureOptions figure;
};

// The chart both writers draw: the staircases cut at the axis' bound.
Chart profile_chart(const table::MeasureTable& t, const PlotOptions& options);

// A standalone SVG 1.1 document drawing the staircase of every method (or of
// those the figure options pick, in their order).
void write_svg(std::ostream& out, const table::MeasureTable& t, const PlotOptions& options);

// A pgfplots tikzpicture with the same curves (tex_plot.h), for a document
// that loads pgfplots with compat=1.18.
void write_tex(std::ostream& out, const table::MeasureTable& t, const PlotOptions& options);

}  // namespace curves

#endif  // PROFCMP_PROFKIT_CURVES_EXPORT_H_
