#include "profkit/curves/svg_plot.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "profkit/text/escape.h"

namespace curves {
namespace {

// Layout in SVG user units (pixels): the plot area has a fixed size; the
// legend sits to its right and the canvas grows to hold it.
constexpr double k_left = 64;  // y tick labels and the y label
constexpr double k_top = 40;   // the title
constexpr double k_plot_width = 560;
constexpr double k_plot_height = 400;
constexpr double k_bottom = 52;  // x tick labels and the x label
constexpr double k_note_height = 20;
constexpr double k_inset = 6;        // keeps curves at y_min and y_max off the frame
constexpr double k_legend_gap = 24;  // between the plot area and the legend
constexpr double k_legend_row = 20;
constexpr double k_legend_sample = 36;  // length of the line shown in a legend entry
constexpr double k_char_width = 7;      // estimated advance of a character at font-size 12
constexpr double k_tick = 5;

constexpr std::array<const char*, 8> k_palette = {"#000000", "#E69F00", "#0072B2", "#009E73",
                                                  "#CC79A7", "#56B4E9", "#D55E00", "#F0E442"};
constexpr std::array<const char*, 5> k_dashes = {"", "8,4", "2,3", "8,3,2,3", "14,4"};

// A coordinate with two decimals, never "-0.00": the same double always
// gives the same bytes.
std::string coordinate(double v) {
  double r = std::round(v * 100.0) / 100.0;
  if (r == 0.0) r = 0.0;
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, r, std::chars_format::fixed, 2);
  return std::string(buffer, result.ptr);
}

std::string fixed(double v, int decimals) {
  if (v == 0.0) v = 0.0;
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
  std::string text(buffer, result.ptr);
  if (text.find_first_not_of("-0.") == std::string::npos && text[0] == '-') text.erase(0, 1);
  return text;
}

std::string general(double v) {
  if (v == 0.0) v = 0.0;
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 6);
  return std::string(buffer, result.ptr);
}

struct Axis {
  double from, to;   // data range
  double low, high;  // pixel positions of `from` and `to`
  bool log = false;
  double pixel(double v) const {
    const double t = log ? (std::log10(v) - std::log10(from)) / (std::log10(to) - std::log10(from))
                         : (v - from) / (to - from);
    return low + t * (high - low);
  }
};

// 1, 2 or 5 times a power of ten: the smallest step that cuts `range` into at
// most 10 intervals.
double nice_step(double range) {
  if (!(range > 0) || !std::isfinite(range)) return 1.0;
  double power = std::pow(10.0, std::floor(std::log10(range / 10.0)));
  for (;;) {
    for (const double m : {1.0, 2.0, 5.0}) {
      if (range / (m * power) <= 10.0 * (1 + 1e-9)) return m * power;
    }
    power *= 10.0;
  }
}

struct Tick {
  double value;
  std::string label;
};

std::vector<Tick> linear_ticks(double from, double to) {
  const double step = nice_step(to - from);
  const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
  std::vector<Tick> ticks;
  const double first = std::ceil(from / step - 1e-9);
  for (double i = first; i * step <= to + step * 1e-9 && ticks.size() < 100; i += 1.0) {
    ticks.push_back({i * step, fixed(i * step, decimals)});
  }
  return ticks;
}

std::vector<Tick> log_ticks(double from, double to) {
  std::vector<Tick> ticks;
  for (double e = std::ceil(std::log10(from) - 1e-9); e <= std::log10(to) + 1e-9; e += 1.0) {
    ticks.push_back({std::pow(10.0, e), general(std::pow(10.0, e))});
  }
  return ticks;
}

std::vector<Tick> ticks_of(const std::vector<double>& given, double from, double to, bool log) {
  if (given.empty()) return log ? log_ticks(from, to) : linear_ticks(from, to);
  std::vector<Tick> ticks;
  for (const double v : given) {
    if (v >= from && v <= to && (!log || v > 0)) ticks.push_back({v, general(v)});
  }
  return ticks;
}

// The path of a step function: y[i] from x[i] to the next breakpoint, the
// last to the right edge. Breakpoints within the same quarter pixel collapse
// into one vertical move at the first of them, so a path has at most about
// 4 x 560 horizontal moves however many breakpoints the curve has.
std::string step_path(const Series& s, const Axis& xa, const Axis& ya) {
  std::string d, at_x;
  long at_quarter = 0;  // the quarter pixel of the current x
  double at_py = 0;     // the current y pixel
  const auto clamp_y = [&](double y) { return ya.pixel(std::clamp(y, ya.from, ya.to)); };
  const auto start = [&](double x, double y) {
    at_quarter = std::lround(xa.pixel(x) * 4);
    at_x = coordinate(xa.pixel(x));
    at_py = clamp_y(y);
    d = "M" + at_x + " " + coordinate(at_py);
  };
  bool before = false;  // a breakpoint at or left of the left edge sets the first value
  double left_value = 0;
  for (std::size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
    const double x = s.x[i], y = s.y[i];
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    if (x > xa.to) break;
    if (x <= xa.from) {
      before = true;
      left_value = y;
      continue;
    }
    if (d.empty()) {
      if (!before) {
        start(x, y);
        continue;
      }
      start(xa.from, left_value);
    }
    const double px = xa.pixel(x);
    if (std::lround(px * 4) != at_quarter) {
      at_quarter = std::lround(px * 4);
      at_x = coordinate(px);
      d += 'H';
      d += at_x;
    }
    const double py = clamp_y(y);
    if (std::lround(py * 100) != std::lround(at_py * 100)) {
      at_py = py;
      d += 'V';
      d += coordinate(py);
    }
  }
  if (d.empty() && before) start(xa.from, left_value);
  if (d.empty()) return d;
  const std::string right = coordinate(xa.high);
  if (right != at_x) d += "H" + right;
  return d;
}

std::string line_path(const Series& s, const Axis& xa, const Axis& ya) {
  std::string d;
  std::string last;
  for (std::size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
    if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i]) || (xa.log && s.x[i] <= 0)) continue;
    const double x = std::clamp(s.x[i], xa.from, xa.to);
    const double y = std::clamp(s.y[i], ya.from, ya.to);
    const std::string point = coordinate(xa.pixel(x)) + " " + coordinate(ya.pixel(y));
    if (point == last) continue;
    d += (d.empty() ? "M" : "L") + point;
    last = point;
  }
  return d;
}

}  // namespace

LineStyle line_style(std::size_t i) {
  return {k_palette[i % k_palette.size()], k_dashes[i % k_dashes.size()]};
}

void write_svg_element(std::ostream& out, const Chart& chart) {
  std::size_t name_chars = 0;
  for (const Series& s : chart.series)
    name_chars = std::max(name_chars, textkit::character_count(s.name));
  const bool legend = !chart.series.empty();
  const double legend_x = k_left + k_plot_width + k_legend_gap;
  const double legend_width =
      legend ? k_legend_sample + 8 + k_char_width * static_cast<double>(name_chars) + 16 : 0;
  const double width = legend ? legend_x + legend_width : k_left + k_plot_width + k_legend_gap;
  const double plot_bottom = k_top + k_plot_height;
  const double legend_bottom =
      k_top + 8 + k_legend_row * static_cast<double>(chart.series.size()) + 8;
  const double height =
      std::max(plot_bottom + k_bottom + (chart.note.empty() ? 0 : k_note_height), legend_bottom);

  const Axis xa{chart.x_min, chart.x_max, k_left, k_left + k_plot_width, chart.log_x};
  const Axis ya{chart.y_min, chart.y_max, plot_bottom - k_inset, k_top + k_inset};
  const std::string w = coordinate(width), h = coordinate(height);

  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << w << "\" height=\""
      << h << "\" viewBox=\"0 0 " << w << " " << h
      << "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  out << "<title>" << textkit::xml_escape(chart.title) << "</title>\n";
  out << "<rect x=\"0\" y=\"0\" width=\"" << w << "\" height=\"" << h << "\" fill=\"#ffffff\"/>\n";

  const std::string left = coordinate(k_left), right = coordinate(k_left + k_plot_width);
  const std::string top = coordinate(k_top), bottom = coordinate(plot_bottom);
  const std::vector<Tick> xticks = ticks_of(chart.x_ticks, chart.x_min, chart.x_max, chart.log_x);
  const std::vector<Tick> yticks = ticks_of(chart.y_ticks, chart.y_min, chart.y_max, false);

  out << "<g class=\"grid\" stroke=\"#e0e0e0\" stroke-width=\"1\">\n";
  for (const Tick& t : xticks) {
    const std::string x = coordinate(xa.pixel(t.value));
    out << "<line x1=\"" << x << "\" y1=\"" << top << "\" x2=\"" << x << "\" y2=\"" << bottom
        << "\"/>\n";
  }
  for (const Tick& t : yticks) {
    const std::string y = coordinate(ya.pixel(t.value));
    out << "<line x1=\"" << left << "\" y1=\"" << y << "\" x2=\"" << right << "\" y2=\"" << y
        << "\"/>\n";
  }
  out << "</g>\n";

  out << "<g class=\"axes\" stroke=\"#000000\" stroke-width=\"1\">\n";
  out << "<rect x=\"" << left << "\" y=\"" << top << "\" width=\"" << coordinate(k_plot_width)
      << "\" height=\"" << coordinate(k_plot_height) << "\" fill=\"none\"/>\n";
  for (const Tick& t : xticks) {
    const std::string x = coordinate(xa.pixel(t.value));
    out << "<line x1=\"" << x << "\" y1=\"" << bottom << "\" x2=\"" << x << "\" y2=\""
        << coordinate(plot_bottom + k_tick) << "\"/>\n";
  }
  for (const Tick& t : yticks) {
    const std::string y = coordinate(ya.pixel(t.value));
    out << "<line x1=\"" << coordinate(k_left - k_tick) << "\" y1=\"" << y << "\" x2=\"" << left
        << "\" y2=\"" << y << "\"/>\n";
  }
  out << "</g>\n";

  out << "<g class=\"tick-labels\" fill=\"#000000\">\n";
  for (const Tick& t : xticks) {
    out << "<text x=\"" << coordinate(xa.pixel(t.value)) << "\" y=\""
        << coordinate(plot_bottom + k_tick + 14) << "\" text-anchor=\"middle\">"
        << textkit::xml_escape(t.label) << "</text>\n";
  }
  for (const Tick& t : yticks) {
    out << "<text x=\"" << coordinate(k_left - k_tick - 3) << "\" y=\""
        << coordinate(ya.pixel(t.value) + 4) << "\" text-anchor=\"end\">"
        << textkit::xml_escape(t.label) << "</text>\n";
  }
  out << "</g>\n";

  out << "<text class=\"title\" x=\"" << coordinate(k_left + k_plot_width / 2) << "\" y=\""
      << coordinate(k_top - 14) << "\" text-anchor=\"middle\" font-size=\"15\">"
      << textkit::xml_escape(chart.title) << "</text>\n";
  out << "<text class=\"x-label\" x=\"" << coordinate(k_left + k_plot_width / 2) << "\" y=\""
      << coordinate(plot_bottom + k_bottom - 8) << "\" text-anchor=\"middle\">"
      << textkit::xml_escape(chart.x_label) << "</text>\n";
  const std::string ylx = coordinate(16), yly = coordinate(k_top + k_plot_height / 2);
  out << "<text class=\"y-label\" x=\"" << ylx << "\" y=\"" << yly
      << "\" text-anchor=\"middle\" transform=\"rotate(-90 " << ylx << " " << yly << ")\">"
      << textkit::xml_escape(chart.y_label) << "</text>\n";
  if (!chart.note.empty()) {
    out << "<text class=\"note\" x=\"" << left << "\" y=\""
        << coordinate(plot_bottom + k_bottom + 12) << "\" font-size=\"11\" fill=\"#444444\">"
        << textkit::xml_escape(chart.note) << "</text>\n";
  }

  out << "<g class=\"curves\" fill=\"none\" stroke-width=\"2\" stroke-linejoin=\"miter\">\n";
  for (std::size_t i = 0; i < chart.series.size(); ++i) {
    const Series& s = chart.series[i];
    const LineStyle style = line_style(i);
    const std::string d = s.steps ? step_path(s, xa, ya) : line_path(s, xa, ya);
    out << "<path class=\"curve\" stroke=\"" << style.colour << "\"";
    if (!style.dash.empty()) out << " stroke-dasharray=\"" << style.dash << "\"";
    out << " d=\"" << (d.empty() ? "M0 0" : d) << "\"";
    if (d.empty()) out << " visibility=\"hidden\"";
    out << "><title>" << textkit::xml_escape(s.name) << "</title></path>\n";
  }
  out << "</g>\n";

  if (legend) {
    out << "<g class=\"legend\">\n";
    for (std::size_t i = 0; i < chart.series.size(); ++i) {
      const LineStyle style = line_style(i);
      const double y = k_top + 8 + k_legend_row * (static_cast<double>(i) + 0.5);
      const std::string ly = coordinate(y);
      out << "<g class=\"legend-entry\"><line x1=\"" << coordinate(legend_x) << "\" y1=\"" << ly
          << "\" x2=\"" << coordinate(legend_x + k_legend_sample) << "\" y2=\"" << ly
          << "\" stroke=\"" << style.colour << "\" stroke-width=\"2\"";
      if (!style.dash.empty()) out << " stroke-dasharray=\"" << style.dash << "\"";
      out << "/><text x=\"" << coordinate(legend_x + k_legend_sample + 8) << "\" y=\""
          << coordinate(y + 4) << "\"><tspan unicode-bidi=\"isolate\">"
          << textkit::xml_escape(chart.series[i].name) << "</tspan></text></g>\n";
    }
    out << "</g>\n";
  }
  out << "</svg>\n";
}

void write_svg_document(std::ostream& out, const Chart& chart) {
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n";
  write_svg_element(out, chart);
}

}  // namespace curves
