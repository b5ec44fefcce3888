#include "profkit/curves/summary_figure.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>

#include "profkit/analysis/figures.h"
#include "profkit/curves/data_profile.h"
#include "profkit/curves/export.h"
#include "profkit/curves/staircase.h"
#include "profkit/curves/svg_plot.h"
#include "profkit/curves/tex_plot.h"
#include "profkit/text/escape.h"
#include "profkit/text/numbers.h"

namespace curves {
namespace {

constexpr double k_heading = 36;  // room for the figure's heading

Chart performance_chart(const table::MeasureTable& t, const std::string& label,
                        const FigureOptions& options) {
  PlotOptions plot;
  plot.figure = options;
  plot.figure.title = "Performance profiles, tolerance " + label;
  Chart chart = profile_chart(t, plot);
  chart.note.clear();
  return chart;
}

// The charts of the grid, row by row: performance profiles, then (with
// dimensions) data profiles.
std::vector<Chart> grid_of(const std::vector<std::string>& labels,
                           const std::vector<const table::MeasureTable*>& tables,
                           const std::vector<std::uint64_t>& dimensions,
                           std::optional<double> max_kappa, const FigureOptions& options) {
  std::vector<Chart> charts;
  for (std::size_t k = 0; k < tables.size(); ++k) {
    charts.push_back(performance_chart(*tables[k], labels[k], options));
  }
  if (dimensions.empty()) return charts;
  for (std::size_t k = 0; k < tables.size(); ++k) {
    charts.push_back(data_profile_chart(*tables[k], dimensions, labels[k], max_kappa, options));
  }
  return charts;
}

std::vector<const table::MeasureTable*> pointers_to(
    const std::vector<table::MeasureTable>& tables) {
  std::vector<const table::MeasureTable*> pointers;
  for (const table::MeasureTable& t : tables) pointers.push_back(&t);
  return pointers;
}

// The number of the attribute `name` on the first line of an <svg> element.
double attribute_of(const std::string& element, const std::string& name) {
  const std::string key = " " + name + "=\"";
  const std::size_t at = element.find(key);
  return at == std::string::npos ? 0 : std::stod(element.substr(at + key.size()));
}

std::string heading_of(bool data, const FigureOptions& options) {
  if (!options.title.empty()) return options.title;
  return std::string(data ? "Performance profiles (top) and data profiles (bottom)"
                          : "Performance profiles") +
         " at each tolerance of the convergence test";
}

}  // namespace

Chart data_profile_chart(const table::MeasureTable& t, const std::vector<std::uint64_t>& dimensions,
                         const std::string& label, std::optional<double> max_kappa,
                         const FigureOptions& options) {
  const XAxis axis = x_axis(largest_kappa(t, dimensions), max_kappa);
  Chart chart;
  chart.title = "Data profiles, tolerance " + label;
  chart.x_label = "simplex gradients (evaluations / (dimension + 1))";
  chart.y_label = "share of problems";
  chart.x_max = axis.bound;
  chart.x_ticks = axis.ticks;
  chart.y_min = -0.02;
  chart.y_max = 1.02;
  chart.y_ticks = {0, 0.2, 0.4, 0.6, 0.8, 1};
  chart.width = options.width;
  chart.height = options.height;
  for (const std::size_t m : drawn_methods(options, t.methods())) {
    const DataStaircase s = data_staircase(t, dimensions, m, axis.bound);
    chart.series.push_back({t.names[m], s.kappa, s.fraction, true, m + 1});
  }
  return chart;
}

void write_summary_svg(std::ostream& out, const std::vector<std::string>& labels,
                       const std::vector<table::MeasureTable>& tables,
                       const std::vector<std::uint64_t>& dimensions,
                       std::optional<double> max_kappa, const FigureOptions& options) {
  write_summary_svg(out, labels, pointers_to(tables), dimensions, max_kappa, options);
}

void write_summary_svg(std::ostream& out, const std::vector<std::string>& labels,
                       const std::vector<const table::MeasureTable*>& tables,
                       const std::vector<std::uint64_t>& dimensions,
                       std::optional<double> max_kappa, const FigureOptions& options) {
  // Every plot drawn first, so that the grid's cells fit the largest.
  std::vector<std::string> cells;
  double cell_width = 0, cell_height = 0;
  for (const Chart& chart : grid_of(labels, tables, dimensions, max_kappa, options)) {
    std::ostringstream element;
    write_svg_element(element, chart);
    cells.push_back(element.str());
    cell_width = std::max(cell_width, attribute_of(cells.back(), "width"));
    cell_height = std::max(cell_height, attribute_of(cells.back(), "height"));
  }
  const double width = cell_width * static_cast<double>(std::max<std::size_t>(tables.size(), 1));
  const std::size_t rows = dimensions.empty() ? 1 : 2;
  const double height = k_heading + static_cast<double>(rows) * cell_height;
  const std::string w = textkit::shortest(width), h = textkit::shortest(height);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << w << "\" height=\""
      << h << "\" viewBox=\"0 0 " << w << " " << h
      << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
      << "<title>" << (rows == 2 ? "Performance and data profiles" : "Performance profiles")
      << " at each tolerance</title>\n"
      << "<rect x=\"0\" y=\"0\" width=\"" << w << "\" height=\"" << h << "\" fill=\"#ffffff\"/>\n"
      << "<text x=\"" << textkit::shortest(width / 2)
      << "\" y=\"24\" text-anchor=\"middle\" font-size=\"16\">"
      << textkit::xml_escape(heading_of(rows == 2, options)) << "</text>\n";
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const std::size_t row = i / std::max<std::size_t>(tables.size(), 1);
    const std::size_t column = i % std::max<std::size_t>(tables.size(), 1);
    out << "<g transform=\"translate("
        << textkit::shortest(cell_width * static_cast<double>(column)) << ","
        << textkit::shortest(k_heading + cell_height * static_cast<double>(row)) << ")\">\n"
        << cells[i] << "</g>\n";
  }
  out << "</svg>\n";
}

void write_summary_tex(std::ostream& out, const std::vector<std::string>& labels,
                       const std::vector<table::MeasureTable>& tables,
                       const std::vector<std::uint64_t>& dimensions,
                       std::optional<double> max_kappa, const FigureOptions& options) {
  std::vector<Chart> charts = grid_of(labels, pointers_to(tables), dimensions, max_kappa, options);
  const std::size_t columns = std::max<std::size_t>(tables.size(), 1);
  const TexLength width = options.tex_width ? *options.tex_width : TexLength{};
  const TexLength cell_width = width.scaled(0.92 / static_cast<double>(columns));
  const TexLength cell_height =
      options.tex_height ? options.tex_height->scaled(0.5) : cell_width.scaled(0.9);
  std::vector<const Chart*> all;
  for (const Chart& chart : charts) all.push_back(&chart);
  out << "% " << comment_text(heading_of(!dimensions.empty(), options))
      << ", written by profkit export.\n"
      << "% Needs \\usepackage{pgfplots} and \\pgfplotsset{compat=1.18} in the preamble.\n"
      << "\\begin{tikzpicture}\n";
  write_tex_colours(out, all);
  out << "\\pgfplotsset{every axis/.append style={font=\\scriptsize, title "
         "style={font=\\footnotesize}}}\n";
  for (std::size_t i = 0; i < charts.size(); ++i) {
    const std::size_t row = i / columns, column = i % columns;
    // Cells are narrow: short titles and labels, the y label once a row,
    // about three ticks on the x axis.
    Chart& chart = charts[i];
    chart.title = (row == 0 ? "Performance, " : "Data, ") + labels[column];
    chart.x_label = row == 0 ? "ratio (log2 scale)" : "simplex gradients";
    if (chart.x_label == "ratio (log2 scale)" && options.log2_labels) chart.x_label = "log2 ratio";
    if (column > 0) chart.y_label.clear();
    chart.y_ticks = {0, 0.5, 1};
    if (chart.x_ticks.size() > 3) {
      std::vector<double> ticks;
      std::vector<std::string> tick_labels;
      const std::size_t stride = (chart.x_ticks.size() + 2) / 3;
      for (std::size_t k = 0; k < chart.x_ticks.size(); k += stride) {
        ticks.push_back(chart.x_ticks[k]);
        if (k < chart.x_tick_labels.size()) tick_labels.push_back(chart.x_tick_labels[k]);
      }
      chart.x_ticks = ticks;
      chart.x_tick_labels = tick_labels;
    }
    TexAxisPlace place;
    place.width = cell_width;
    place.height = cell_height;
    place.at = "(" +
               width.scaled(static_cast<double>(column) / static_cast<double>(columns)).text() +
               "," + cell_height.scaled(-static_cast<double>(row)).text() + ")";
    place.legend = row == 1 && column == 0;
    place.legend_points = width.points();
    write_tex_axis(out, charts[i], place);
  }
  out << "\\end{tikzpicture}\n";
}

}  // namespace curves
