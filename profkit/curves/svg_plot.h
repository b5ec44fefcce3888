// A small deterministic SVG plot: step functions (or polylines) on a framed
// plot area with ticks, labels, a title and a legend below the plot area that
// never covers a curve. Each series is drawn in its method's style
// (styles.h), step functions thinned to the points that change the picture
// (thinning.h), with at most k_markers markers. The same Chart always gives
// the same bytes; text is XML-escaped and characters XML 1.0 cannot hold are
// replaced visibly (textkit::xml_escape); each series' name is isolated from
// the text around it for bidirectional layout.
#ifndef PROFCMP_PROFKIT_CURVES_SVG_PLOT_H_
#define PROFCMP_PROFKIT_CURVES_SVG_PLOT_H_

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "profkit/curves/styles.h"

namespace curves {

// Series::method for a series styled by its place in the chart (i + 1).
inline constexpr std::size_t k_by_place = static_cast<std::size_t>(-1);
// Series::method of the virtual best.
inline constexpr std::size_t k_virtual_best = 0;

// One curve. With `steps` (the default), y[i] holds from x[i] up to x[i+1]
// and the last step runs to the right edge of the plot; otherwise the points
// are joined by straight lines. x and y have the same length; points outside
// the axes are clipped to the plot area. Non-finite points are skipped.
struct Series {
  std::string name;
  std::vector<double> x, y;
  bool steps = true;
  // The method's number in its table (from 1), which picks its style; or
  // k_virtual_best, or k_by_place.
  std::size_t method = k_by_place;
};

struct Chart {
  std::string title, x_label, y_label;
  double x_min = 0, x_max = 1;  // x_min < x_max; with log_x both > 0
  double y_min = 0, y_max = 1;  // y_min < y_max
  bool log_x = false;           // logarithmic x axis (ticks at powers of ten)
  std::vector<double> x_ticks;  // empty: chosen from the range
  std::vector<double> y_ticks;  // empty: chosen from the range
  // Labels of x_ticks, one each (empty: the tick values in short form).
  std::vector<std::string> x_tick_labels;
  std::vector<Series> series;
  std::string note;  // one line of small text under the plot (may be empty)
  // The whole picture in px; 0: k_default_width, and the height that gives
  // the plot area k_default_plot_height. A height too small for a plot area
  // of k_min_plot_height with its legend grows to hold them.
  double width = 0, height = 0;
};

inline constexpr double k_default_width = 640;
inline constexpr double k_default_plot_height = 400;
inline constexpr double k_min_plot_height = 80;
inline constexpr double k_min_width = 240;
// Markers per curve: at evenly spaced x, k_markers across the plot area,
// shifted by a share of the spacing that differs from method to method.
inline constexpr int k_markers = 8;
// ... and no closer than this many units apart (fewer markers on a narrow plot).
inline constexpr double k_marker_spacing = 40;
// Charts of more series than this draw no markers: beyond it the styles
// repeat (styles.h), and markers would only crowd the plot.
inline constexpr std::size_t k_marked_series = 2 * k_styles;

// The style of series i of `chart`.
Style series_style(const Series& s, std::size_t i);

// The staircase of `s` as drawn on the chart's axes over a plot area of
// `width` x `height` units: cut at the axes (a breakpoint at or left of x_min
// gives the value at x_min, those right of x_max are left out) and thinned
// (thin_staircase). Values are the series' own (y clamped to the axis).
struct DrawnSteps {
  std::vector<double> x, y;
};
DrawnSteps drawn_steps(const Series& s, const Chart& chart, double width, double height);

// Where the markers of series i go on a drawing of `drawn` over a plot area
// `width` units wide: (x, y) in data values, left to right; at most
// k_markers, at least k_marker_spacing apart.
DrawnSteps marker_points(const DrawnSteps& drawn, const Chart& chart, std::size_t i,
                         const Series& s, double width);

// Tick labels of the x axis as the SVG writes them (given labels, or values).
struct TickMark {
  double value;
  std::string label;
};
std::vector<TickMark> x_tick_marks(const Chart& chart);

// "2¹⁷", "10⁶": a power with its exponent in superscript digits (the TeX
// writer turns it into $2^{17}$).
std::string power_label(unsigned base, unsigned exponent);

// A standalone SVG 1.1 document with an XML prolog, ending in a newline.
void write_svg_document(std::ostream& out, const Chart& chart);

// The <svg> element alone (no prolog), to embed in an HTML5 page.
void write_svg_element(std::ostream& out, const Chart& chart);

}  // namespace curves

#endif  // PROFCMP_PROFKIT_CURVES_SVG_PLOT_H_
