#include "curves/export.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "analysis/figures.h"
#include "analysis/format.h"
#include "curves/staircase.h"
#include "curves/svg_plot.h"
#include "curves/text_escape.h"

namespace curves {
namespace {

// Shortest round-trip form; NaN (0/0 of a table without problems) as "nan"
// whatever its sign bit.
void append_number(std::string& out, double v) {
  if (std::isnan(v)) {
    out += "nan";
    return;
  }
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
  out.append(buffer, result.ptr);
}

std::string number(double v) {
  std::string out;
  append_number(out, v);
  return out;
}

std::string title_of(const PlotOptions& options) {
  return "Performance profiles, criterion " + options.criterion;
}

std::string note_of(const table::MeasureTable& t, const PlotOptions& options) {
  std::string note = std::to_string(t.methods()) + (t.methods() == 1 ? " method, " : " methods, ") +
                     std::to_string(t.problems) + (t.problems == 1 ? " problem" : " problems");
  if (t.problems == 0) return note + "; nothing to draw";
  return note + (options.failures_nonpositive
                     ? "; failures (missing entries, counts of 0 or less) never count"
                     : "; failures (missing entries) never count");
}

// The staircase cut at the right end of the axis, with a last point on it so
// the final step reaches the edge. Empty when the fractions are NaN.
Series series_of(const std::string& name, const Staircase& s, double bound) {
  Series series;
  series.name = name;
  if (s.fraction.empty() || std::isnan(s.fraction.front())) return series;
  for (std::size_t i = 0; i < s.log2_ratio.size() && s.log2_ratio[i] <= bound; ++i) {
    series.x.push_back(s.log2_ratio[i]);
    series.y.push_back(s.fraction[i]);
  }
  if (series.x.back() < bound) {
    series.x.push_back(bound);
    series.y.push_back(series.y.back());
  }
  return series;
}

// The curves of every method on the axis the options ask for.
Chart plot_of(const table::MeasureTable& t, const PlotOptions& options, XAxis& axis) {
  const analysis::ProblemBest best = analysis::best_measures(t);
  axis = x_axis(largest_finite_log2_ratio(t, best), options.bound);
  Chart chart;
  chart.title = title_of(options);
  chart.x_label = "log2 of the ratio to the best count";
  chart.y_label = "share of problems";
  chart.x_min = 0;
  chart.x_max = axis.bound;
  chart.x_ticks = axis.ticks;
  chart.y_ticks = {0, 0.2, 0.4, 0.6, 0.8, 1};
  chart.note = note_of(t, options);
  chart.series.reserve(t.methods());
  for (std::size_t m = 0; m < t.methods(); ++m) {
    chart.series.push_back(series_of(t.names[m], staircase_of(t, best, m), axis.bound));
  }
  return chart;
}

// An SVG dash array ("8,4") as a TikZ dash pattern at half the length in pt.
std::string tikz_dash(const std::string& dash) {
  if (dash.empty()) return "solid";
  std::string pattern = "dash pattern=";
  std::istringstream in(dash);
  std::string length;
  for (int k = 0; std::getline(in, length, ','); ++k) {
    pattern += (k == 0 ? "" : " ");
    pattern += (k % 2 == 0 ? "on " : "off ");
    pattern += number(std::stod(length) / 2) + "pt";
  }
  return pattern;
}

std::string joined(const std::vector<double>& values) {
  std::string out;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ',';
    append_number(out, values[i]);
  }
  return out;
}

}  // namespace

void write_csv(std::ostream& out, const table::MeasureTable& t) {
  out << "method_number,method,log2_ratio,fraction\r\n";
  const analysis::ProblemBest best = analysis::best_measures(t);
  std::string rows;
  for (std::size_t m = 0; m < t.methods(); ++m) {
    const Staircase s = staircase_of(t, best, m);
    const std::string prefix = std::to_string(m + 1) + "," + analysis::csv_field(t.names[m]) + ",";
    rows.clear();
    for (std::size_t i = 0; i < s.log2_ratio.size(); ++i) {
      rows += prefix;
      append_number(rows, s.log2_ratio[i]);
      rows += ',';
      append_number(rows, s.fraction[i]);
      rows += "\r\n";
    }
    out.write(rows.data(), static_cast<std::streamsize>(rows.size()));
  }
}

XAxis x_axis(double largest_log2_ratio, std::optional<double> requested) {
  XAxis axis;
  const double range = requested ? *requested : largest_log2_ratio;
  if (!(range > 0)) return {2.0, 0.2, {0, 0.2, 0.4, 0.6, 0.8, 1, 1.2, 1.4, 1.6, 1.8, 2}};
  // 1, 2 or 5 times 10^k, k >= -1: the smallest with range / step <= 10.
  double power = 0.1;
  while (range / (5 * power) > 10) power *= 10;
  axis.step = range / power <= 10 ? power : range / (2 * power) <= 10 ? 2 * power : 5 * power;
  // Steps are multiples of 0.1: n * step rounded to tenths is the double
  // nearest the decimal value (3 * 0.2 gives 0.6000000000000001, kept as 0.6).
  const auto multiple = [&](double n) { return std::round(n * axis.step * 10) / 10; };
  if (requested) {
    axis.bound = *requested;
  } else {
    double n = std::ceil(range / axis.step);
    while (n > 1 && multiple(n - 1) >= range) n -= 1;
    while (multiple(n) < range) n += 1;
    axis.bound = multiple(n);
  }
  for (double i = 0; multiple(i) <= axis.bound; i += 1) axis.ticks.push_back(multiple(i));
  return axis;
}

void write_svg(std::ostream& out, const table::MeasureTable& t, const PlotOptions& options) {
  XAxis axis;
  write_svg_document(out, plot_of(t, options, axis));
}

void write_tex(std::ostream& out, const table::MeasureTable& t, const PlotOptions& options) {
  XAxis axis;
  const Chart chart = plot_of(t, options, axis);
  out << "% " << title_of(options) << ", written by profkit export.\n"
      << "% Needs \\usepackage{pgfplots} and \\pgfplotsset{compat=1.18} in the preamble.\n"
      << "\\begin{tikzpicture}\n";
  for (std::size_t i = 0; i < chart.series.size() && i < 8; ++i) {
    out << "\\definecolor{profkit" << static_cast<char>('a' + i) << "}{HTML}{"
        << line_style(i).colour.substr(1) << "}\n";
  }
  out << "\\begin{axis}[\n"
      << "  title={" << tex_escape(chart.title) << "},\n"
      << "  xlabel={$\\log_2$ of the ratio to the best count},\n"
      << "  ylabel={" << tex_escape(chart.y_label) << "},\n"
      << "  xmin=0, xmax=" << number(axis.bound) << ", ymin=-0.02, ymax=1.02,\n"
      << "  xtick={" << joined(axis.ticks) << "},\n"
      << "  ytick={0,0.2,0.4,0.6,0.8,1},\n"
      << "  width=12cm, height=8cm, grid=major,\n"
      << "  legend pos=outer north east, legend cell align=left,\n"
      << "]\n";
  for (std::size_t i = 0; i < chart.series.size(); ++i) {
    const Series& s = chart.series[i];
    const LineStyle style = line_style(i);
    const std::string look = "color=profkit" + std::string(1, static_cast<char>('a' + i % 8)) +
                             ", " + tikz_dash(style.dash) + ", thick";
    if (s.x.empty()) {
      out << "\\addlegendimage{" << look << "}\n";
    } else {
      out << "\\addplot[const plot, no marks, " << look << "] coordinates {";
      for (std::size_t k = 0; k < s.x.size(); ++k) {
        out << (k == 0 ? "" : " ") << "(" << number(s.x[k]) << "," << number(s.y[k]) << ")";
      }
      out << "};\n";
    }
    out << "\\addlegendentry{" << tex_escape(s.name) << "}\n";
  }
  out << "\\end{axis}\n\\end{tikzpicture}\n";
}

}  // namespace curves
