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
#include "profkit/text/escape.h"
#include "profkit/text/numbers.h"

namespace curves {
namespace {

constexpr double k_heading = 36;  // room for the figure's heading

// One panel of the grid: shares from 0 to 1 against `axis`.
Chart share_chart(std::string title, std::string x_label, const XAxis& axis) {
  Chart chart;
  chart.title = std::move(title);
  chart.x_label = std::move(x_label);
  chart.y_label = "share of problems";
  chart.x_max = axis.bound;
  chart.x_ticks = axis.ticks;
  chart.y_min = -0.02;
  chart.y_max = 1.02;
  chart.y_ticks = {0, 0.2, 0.4, 0.6, 0.8, 1};
  return chart;
}

Chart performance_chart(const table::MeasureTable& t, const std::string& label) {
  const analysis::ProblemBest best = analysis::best_measures(t);
  const XAxis axis = x_axis(largest_finite_log2_ratio(t, best), std::nullopt);
  Chart chart = share_chart("Performance profiles, tolerance " + label,
                            "log2 of the ratio to the best count", axis);
  for (std::size_t m = 0; m < t.methods(); ++m) {
    const Staircase s = staircase_of(t, best, m);
    chart.series.push_back({t.names[m], s.log2_ratio, s.fraction, true});
  }
  return chart;
}

// The number of the attribute `name` on the first line of an <svg> element.
double attribute_of(const std::string& element, const std::string& name) {
  const std::string key = " " + name + "=\"";
  const std::size_t at = element.find(key);
  return at == std::string::npos ? 0 : std::stod(element.substr(at + key.size()));
}

}  // namespace

Chart data_profile_chart(const table::MeasureTable& t, const std::vector<std::uint64_t>& dimensions,
                         const std::string& label, std::optional<double> max_kappa) {
  const XAxis axis = x_axis(largest_kappa(t, dimensions), max_kappa);
  Chart chart = share_chart("Data profiles, tolerance " + label,
                            "simplex gradients (evaluations / (dimension + 1))", axis);
  for (std::size_t m = 0; m < t.methods(); ++m) {
    const DataStaircase s = data_staircase(t, dimensions, m, axis.bound);
    chart.series.push_back({t.names[m], s.kappa, s.fraction, true});
  }
  return chart;
}

void write_summary_svg(std::ostream& out, const std::vector<std::string>& labels,
                       const std::vector<table::MeasureTable>& tables,
                       const std::vector<std::uint64_t>& dimensions,
                       std::optional<double> max_kappa) {
  std::vector<const table::MeasureTable*> pointers;
  for (const table::MeasureTable& t : tables) pointers.push_back(&t);
  write_summary_svg(out, labels, pointers, dimensions, max_kappa);
}

void write_summary_svg(std::ostream& out, const std::vector<std::string>& labels,
                       const std::vector<const table::MeasureTable*>& tables,
                       const std::vector<std::uint64_t>& dimensions,
                       std::optional<double> max_kappa) {
  // Every plot drawn first, so that the grid's cells fit the largest.
  std::vector<std::string> cells;
  double cell_width = 0, cell_height = 0;
  const std::size_t rows = dimensions.empty() ? 1 : 2;
  for (std::size_t row = 0; row < rows; ++row) {
    for (std::size_t k = 0; k < tables.size(); ++k) {
      std::ostringstream element;
      write_svg_element(
          element, row == 0 ? performance_chart(*tables[k], labels[k])
                            : data_profile_chart(*tables[k], dimensions, labels[k], max_kappa));
      cells.push_back(element.str());
      cell_width = std::max(cell_width, attribute_of(cells.back(), "width"));
      cell_height = std::max(cell_height, attribute_of(cells.back(), "height"));
    }
  }
  const double width = cell_width * static_cast<double>(std::max<std::size_t>(tables.size(), 1));
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
      << (rows == 2 ? "Performance profiles (top) and data profiles (bottom)"
                    : "Performance profiles")
      << " at each tolerance of the convergence test</text>\n";
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

}  // namespace curves
