#include "profkit/curves/svg_plot.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "profkit/curves/thinning.h"
#include "profkit/text/escape.h"

namespace curves {
namespace {

// Layout in SVG user units (pixels): margins around the plot area for the
// title, the tick labels and the axis labels; the legend sits below the x
// label in as many columns as the width holds.
constexpr double k_left = 64;  // y tick labels and the y label
constexpr double k_right = 24;
constexpr double k_top = 40;     // the title
constexpr double k_bottom = 52;  // x tick labels and the x label
constexpr double k_note_height = 20;
constexpr double k_inset = 6;  // keeps curves at y_min and y_max off the frame
constexpr double k_legend_margin = 16;
constexpr double k_legend_row = 20;
constexpr double k_legend_sample = 36;  // length of the line shown in a legend entry
constexpr double k_char_width = 8;      // estimated advance of a character at font-size 12
constexpr double k_tick = 5;
// Markers of method n sit at (k + phase) / k_markers of the plot width, k = 0,
// 1, ..., the phase the fractional part of 0.5 + (n - 1) times this number
// (the golden ratio's conjugate), so that no two methods share positions.
constexpr double k_marker_phase = 0.6180339887498949;

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
  double value(double p) const {
    const double t = (p - low) / (high - low);
    return log ? std::pow(10.0, std::log10(from) + t * (std::log10(to) - std::log10(from)))
               : from + t * (to - from);
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

// The path of the drawn staircase: from its first vertex, a horizontal then
// a vertical move to each next one, the last level to the right edge.
std::string step_path(const DrawnSteps& drawn, const Axis& xa, const Axis& ya) {
  if (drawn.x.empty()) return {};
  std::string at_x = coordinate(xa.pixel(drawn.x[0]));
  std::string at_y = coordinate(ya.pixel(drawn.y[0]));
  std::string d = "M" + at_x + " " + at_y;
  for (std::size_t i = 1; i < drawn.x.size(); ++i) {
    const std::string x = coordinate(xa.pixel(drawn.x[i]));
    const std::string y = coordinate(ya.pixel(drawn.y[i]));
    if (x != at_x) d += "H" + x;
    if (y != at_y) d += "V" + y;
    at_x = x;
    at_y = y;
  }
  const std::string right = coordinate(xa.high);
  if (right != at_x) d += "H" + right;
  return d;
}

// The fill of a style's markers: its colour, white (open markers) or none.
std::string marker_fill(const Style& style) {
  if (marker_filled(style.marker)) return std::string(style.colour);
  return marker_open(style.marker) ? "#ffffff" : "none";
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

Style series_style(const Series& s, std::size_t i) {
  if (s.method == k_virtual_best) return virtual_best_style();
  return method_style(s.method == k_by_place ? i + 1 : s.method);
}

DrawnSteps drawn_steps(const Series& s, const Chart& chart, double width, double height) {
  DrawnSteps cut;
  bool before = false;  // a breakpoint at or left of the left edge sets the first value
  double left_value = 0;
  const auto clamped = [&](double y) { return std::clamp(y, chart.y_min, chart.y_max); };
  for (std::size_t i = 0; i < s.x.size() && i < s.y.size(); ++i) {
    const double x = s.x[i], y = s.y[i];
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    if (x > chart.x_max) break;
    if (x <= chart.x_min) {
      before = true;
      left_value = y;
      continue;
    }
    if (cut.x.empty() && before) {
      cut.x.push_back(chart.x_min);
      cut.y.push_back(clamped(left_value));
    }
    cut.x.push_back(x);
    cut.y.push_back(clamped(y));
  }
  if (cut.x.empty() && before) {
    cut.x.push_back(chart.x_min);
    cut.y.push_back(clamped(left_value));
  }
  const Axis xa{chart.x_min, chart.x_max, 0, width, chart.log_x};
  const Axis ya{chart.y_min, chart.y_max, 0, height};
  std::vector<double> px(cut.x.size()), py(cut.y.size());
  for (std::size_t i = 0; i < cut.x.size(); ++i) {
    px[i] = xa.pixel(cut.x[i]);
    py[i] = ya.pixel(cut.y[i]);
  }
  DrawnSteps drawn;
  for (const Vertex v : thin_staircase(px, py)) {
    drawn.x.push_back(cut.x[v.x]);
    drawn.y.push_back(cut.y[v.y]);
  }
  return drawn;
}

DrawnSteps marker_points(const DrawnSteps& drawn, const Chart& chart, std::size_t i,
                         const Series& s, double width) {
  DrawnSteps points;
  const Style style = series_style(s, i);
  if (style.marker == Marker::none || drawn.x.empty() || chart.series.size() > k_marked_series) {
    return points;
  }
  const std::size_t number = s.method == k_by_place ? i + 1 : s.method;
  const double phase = std::fmod(0.5 + static_cast<double>(number - 1) * k_marker_phase, 1.0);
  const Axis xa{chart.x_min, chart.x_max, 0, width, chart.log_x};
  // k_markers, fewer where the plot is too narrow for them to stay apart.
  const int markers = std::clamp(static_cast<int>(width / k_marker_spacing), 1, k_markers);
  std::size_t at = 0;
  for (int k = 0; k < markers; ++k) {
    const double x = xa.value((k + phase) * width / markers);
    if (x < drawn.x[0]) continue;
    while (at + 1 < drawn.x.size() && drawn.x[at + 1] <= x) ++at;
    points.x.push_back(x);
    points.y.push_back(drawn.y[at]);
  }
  return points;
}

std::vector<TickMark> x_tick_marks(const Chart& chart) {
  if (!chart.x_tick_labels.empty() && chart.x_tick_labels.size() == chart.x_ticks.size()) {
    std::vector<TickMark> marks;
    for (std::size_t i = 0; i < chart.x_ticks.size(); ++i) {
      const double v = chart.x_ticks[i];
      if (v >= chart.x_min && v <= chart.x_max) marks.push_back({v, chart.x_tick_labels[i]});
    }
    return marks;
  }
  std::vector<TickMark> marks;
  for (const Tick& t : ticks_of(chart.x_ticks, chart.x_min, chart.x_max, chart.log_x)) {
    marks.push_back({t.value, t.label});
  }
  return marks;
}

std::string power_label(unsigned base, unsigned exponent) {
  static constexpr const char* k_superscripts[] = {
      "\xE2\x81\xB0", "\xC2\xB9",     "\xC2\xB2",     "\xC2\xB3",     "\xE2\x81\xB4",
      "\xE2\x81\xB5", "\xE2\x81\xB6", "\xE2\x81\xB7", "\xE2\x81\xB8", "\xE2\x81\xB9"};
  std::string digits = std::to_string(exponent), label = std::to_string(base);
  for (const char d : digits) label += k_superscripts[d - '0'];
  return label;
}

void write_svg_element(std::ostream& out, const Chart& chart) {
  std::size_t name_chars = 0;
  for (const Series& s : chart.series)
    name_chars = std::max(name_chars, textkit::character_count(s.name));
  const std::size_t entries = chart.series.size();
  const double width = chart.width > 0 ? std::max(chart.width, k_min_width) : k_default_width;
  const double plot_width = width - k_left - k_right;
  const double entry_width =
      k_legend_sample + 8 + k_char_width * static_cast<double>(name_chars) + 16;
  const std::size_t columns =
      entries == 0
          ? 1
          : std::clamp<std::size_t>(
                static_cast<std::size_t>((width - 2 * k_legend_margin) / entry_width), 1, entries);
  const std::size_t rows = (entries + columns - 1) / columns;
  const double note_height = chart.note.empty() ? 0 : k_note_height;
  const double legend_height = entries == 0 ? 0 : 8 + k_legend_row * static_cast<double>(rows) + 8;
  const double around = k_top + k_bottom + note_height + legend_height;
  const double plot_height =
      chart.height > 0 ? std::max(chart.height - around, k_min_plot_height) : k_default_plot_height;
  const double height = around + plot_height;
  const double plot_bottom = k_top + plot_height;

  const Axis xa{chart.x_min, chart.x_max, k_left, k_left + plot_width, chart.log_x};
  const Axis ya{chart.y_min, chart.y_max, plot_bottom - k_inset, k_top + k_inset};
  const std::string w = coordinate(width), h = coordinate(height);

  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << w << "\" height=\""
      << h << "\" viewBox=\"0 0 " << w << " " << h
      << "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  out << "<title>" << textkit::xml_escape(chart.title) << "</title>\n";
  out << "<rect x=\"0\" y=\"0\" width=\"" << w << "\" height=\"" << h << "\" fill=\"#ffffff\"/>\n";

  const std::string left = coordinate(k_left), right = coordinate(k_left + plot_width);
  const std::string top = coordinate(k_top), bottom = coordinate(plot_bottom);
  const std::vector<TickMark> xticks = x_tick_marks(chart);
  const std::vector<Tick> yticks = ticks_of(chart.y_ticks, chart.y_min, chart.y_max, false);

  out << "<g class=\"grid\" stroke=\"#e0e0e0\" stroke-width=\"1\">\n";
  for (const TickMark& t : xticks) {
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
  out << "<rect x=\"" << left << "\" y=\"" << top << "\" width=\"" << coordinate(plot_width)
      << "\" height=\"" << coordinate(plot_height) << "\" fill=\"none\"/>\n";
  for (const TickMark& t : xticks) {
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
  for (const TickMark& t : xticks) {
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

  out << "<text class=\"title\" x=\"" << coordinate(k_left + plot_width / 2) << "\" y=\""
      << coordinate(k_top - 14) << "\" text-anchor=\"middle\" font-size=\"15\">"
      << textkit::xml_escape(chart.title) << "</text>\n";
  out << "<text class=\"x-label\" x=\"" << coordinate(k_left + plot_width / 2) << "\" y=\""
      << coordinate(plot_bottom + k_bottom - 8) << "\" text-anchor=\"middle\">"
      << textkit::xml_escape(chart.x_label) << "</text>\n";
  const std::string ylx = coordinate(16), yly = coordinate(k_top + plot_height / 2);
  out << "<text class=\"y-label\" x=\"" << ylx << "\" y=\"" << yly
      << "\" text-anchor=\"middle\" transform=\"rotate(-90 " << ylx << " " << yly << ")\">"
      << textkit::xml_escape(chart.y_label) << "</text>\n";
  if (!chart.note.empty()) {
    out << "<text class=\"note\" x=\"" << left << "\" y=\""
        << coordinate(plot_bottom + k_bottom + 12) << "\" font-size=\"11\" fill=\"#444444\">"
        << textkit::xml_escape(chart.note) << "</text>\n";
  }

  // A marker path in the style's colour, solid whatever the curve's dashes.
  const auto write_markers = [&](const Style& style, const std::string& d) {
    if (d.empty()) return;
    out << "<path class=\"markers\" stroke=\"" << style.colour
        << "\" stroke-width=\"1.25\" stroke-dasharray=\"none\" fill=\"" << marker_fill(style)
        << "\" d=\"" << d << "\"/>\n";
  };
  const double drawn_height = ya.low - ya.high;
  out << "<g class=\"curves\" fill=\"none\" stroke-width=\"2\" stroke-linejoin=\"miter\">\n";
  for (std::size_t i = 0; i < entries; ++i) {
    const Series& s = chart.series[i];
    const Style style = series_style(s, i);
    std::string d, marks;
    if (s.steps) {
      const DrawnSteps drawn = drawn_steps(s, chart, plot_width, drawn_height);
      d = step_path(drawn, xa, ya);
      const DrawnSteps points = marker_points(drawn, chart, i, s, plot_width);
      for (std::size_t k = 0; k < points.x.size(); ++k) {
        marks += svg_marker_path(style.marker, xa.pixel(points.x[k]), ya.pixel(points.y[k]));
      }
    } else {
      d = line_path(s, xa, ya);
    }
    out << "<path class=\"curve\" stroke=\"" << style.colour << "\"";
    if (!style.dash.empty()) out << " stroke-dasharray=\"" << style.dash << "\"";
    out << " d=\"" << (d.empty() ? "M0 0" : d) << "\"";
    if (d.empty()) out << " visibility=\"hidden\"";
    out << "><title>" << textkit::xml_escape(s.name) << "</title></path>\n";
    write_markers(style, marks);
  }
  out << "</g>\n";

  if (entries > 0) {
    const double legend_top = plot_bottom + k_bottom + note_height + 8;
    const double legend_left =
        std::max(k_legend_margin, (width - entry_width * static_cast<double>(columns)) / 2);
    out << "<g class=\"legend\">\n";
    for (std::size_t i = 0; i < entries; ++i) {
      const Style style = series_style(chart.series[i], i);
      const double x = legend_left + entry_width * static_cast<double>(i % columns);
      const double y = legend_top + k_legend_row * (static_cast<double>(i / columns) + 0.5);
      const std::string ly = coordinate(y);
      out << "<g class=\"legend-entry\"><line x1=\"" << coordinate(x) << "\" y1=\"" << ly
          << "\" x2=\"" << coordinate(x + k_legend_sample) << "\" y2=\"" << ly << "\" stroke=\""
          << style.colour << "\" stroke-width=\"2\"";
      if (!style.dash.empty()) out << " stroke-dasharray=\"" << style.dash << "\"";
      out << "/>";
      const std::string mark = svg_marker_path(style.marker, x + k_legend_sample / 2, y);
      if (!mark.empty()) {
        out << "<path stroke=\"" << style.colour << "\" stroke-width=\"1.25\" fill=\""
            << marker_fill(style) << "\" d=\"" << mark << "\"/>";
      }
      out << "<text x=\"" << coordinate(x + k_legend_sample + 8) << "\" y=\"" << coordinate(y + 4)
          << "\"><tspan unicode-bidi=\"isolate\">" << textkit::xml_escape(chart.series[i].name)
          << "</tspan></text></g>\n";
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
