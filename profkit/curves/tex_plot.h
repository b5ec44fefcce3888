// A Chart (svg_plot.h) as a pgfplots axis, for a document that loads
// pgfplots with compat=1.18: the same curves in the same styles, thinned at
// the size of the picture as the SVG is (thinning.h, in pt), coordinates a
// few to a line so that no input line grows long, and the legend below the
// axis in as many columns as the width holds, so that the picture stays
// within its width.
#ifndef PROFCMP_PROFKIT_CURVES_TEX_PLOT_H_
#define PROFCMP_PROFKIT_CURVES_TEX_PLOT_H_

#include <ostream>
#include <string>
#include <vector>

#include "profkit/curves/figure_options.h"
#include "profkit/curves/svg_plot.h"

namespace curves {

struct TexAxisPlace {
  TexLength width, height;   // of the axis with its labels
  std::string at;            // the axis' "at" position, e.g. "(0pt,-120pt)"; empty: none
  bool legend = true;        // the legend below this axis
  double legend_points = 0;  // the width the legend may fill (0: the axis' width)
};

// \definecolor lines for every style the charts use.
void write_tex_colours(std::ostream& out, const std::vector<const Chart*>& charts);

// One axis environment.
void write_tex_axis(std::ostream& out, const Chart& chart, const TexAxisPlace& place);

// A whole tikzpicture of one chart, after comment lines naming `what`.
void write_tex_picture(std::ostream& out, const Chart& chart, const FigureOptions& options,
                       const std::string& what);

// `text` for a TeX comment line: control characters (a line feed would end
// the comment) become spaces.
std::string comment_text(std::string text);

// The place of a chart drawn with `options`: its width (default \linewidth)
// and height (default 0.62 of the width).
TexAxisPlace tex_place(const FigureOptions& options);

}  // namespace curves

#endif  // PROFCMP_PROFKIT_CURVES_TEX_PLOT_H_
