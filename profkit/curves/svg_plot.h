// A small deterministic SVG plot: step functions (or polylines) on a framed
// plot area with ticks, labels, a title and a legend beside the plot area that
// never covers a curve. The same Chart always gives the same bytes; text is
// XML-escaped and characters XML 1.0 cannot hold are replaced visibly
// (textkit::xml_escape); each series' name is isolated from the text around it
// for bidirectional layout.
#ifndef PROFCMP_PROFKIT_CURVES_SVG_PLOT_H_
#define PROFCMP_PROFKIT_CURVES_SVG_PLOT_H_

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace curves {

// One curve. With `steps` (the default), y[i] holds from x[i] up to x[i+1]
// and the last step runs to the right edge of the plot; otherwise the points
// are joined by straight lines. x and y have the same length; points outside
// the axes are clipped to the plot area. Non-finite points are skipped.
struct Series {
  std::string name;
  std::vector<double> x, y;
  bool steps = true;
};

struct Chart {
  std::string title, x_label, y_label;
  double x_min = 0, x_max = 1;  // x_min < x_max; with log_x both > 0
  double y_min = 0, y_max = 1;  // y_min < y_max
  bool log_x = false;           // logarithmic x axis (ticks at powers of ten)
  std::vector<double> x_ticks;  // empty: chosen from the range
  std::vector<double> y_ticks;  // empty: chosen from the range
  std::vector<Series> series;
  std::string note;  // one line of small text under the plot (may be empty)
};

// A standalone SVG 1.1 document with an XML prolog, ending in a newline.
void write_svg_document(std::ostream& out, const Chart& chart);

// The <svg> element alone (no prolog), to embed in an HTML5 page.
void write_svg_element(std::ostream& out, const Chart& chart);

// The stroke of series i: a colour of the Okabe-Ito palette (8 colours) and a
// dash pattern (SVG stroke-dasharray, empty for solid), so that the first 40
// series differ in colour or dash; further ones repeat.
struct LineStyle {
  std::string colour;  // "#rrggbb"
  std::string dash;    // e.g. "6,3"; "" is a solid line
};
LineStyle line_style(std::size_t i);

}  // namespace curves

#endif  // PROFCMP_PROFKIT_CURVES_SVG_PLOT_H_
