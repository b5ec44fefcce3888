#include "profkit/curves/tex_plot.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
#include <string_view>

#include "profkit/curves/styles.h"
#include "profkit/text/escape.h"
#include "profkit/text/numbers.h"

namespace curves {
namespace {

// Room of the tick labels and axis labels inside a pgfplots width or
// height, in pt: what is left is the plot area the curves are thinned for.
constexpr double k_label_width = 50;
constexpr double k_label_height = 45;
constexpr double k_min_area = 20;
// A legend entry at \footnotesize: the sample line and gaps, and an
// estimated advance per character, in pt.
constexpr double k_entry_points = 34;
constexpr double k_char_points = 5.5;
// Coordinates written on one input line.
constexpr std::size_t k_per_line = 6;

std::string colour_name(const Style& style) {
  return "profkit" + std::string(style.colour.substr(1));
}

// The TeX form of a tick label: a power written with superscript digits
// ("2¹⁷") as $2^{17}$, anything else escaped.
std::string tex_label(const std::string& label) {
  static constexpr std::string_view k_superscripts[] = {
      "\xE2\x81\xB0", "\xC2\xB9",     "\xC2\xB2",     "\xC2\xB3",     "\xE2\x81\xB4",
      "\xE2\x81\xB5", "\xE2\x81\xB6", "\xE2\x81\xB7", "\xE2\x81\xB8", "\xE2\x81\xB9"};
  std::string base, exponent;
  std::size_t at = 0;
  while (at < label.size()) {
    bool found = false;
    for (int d = 0; d < 10; ++d) {
      const std::string_view s = k_superscripts[d];
      if (label.compare(at, s.size(), s) == 0) {
        exponent += static_cast<char>('0' + d);
        at += s.size();
        found = true;
        break;
      }
    }
    if (found) continue;
    if (label.compare(at, 3, "\xE2\x81\xBB") == 0) {  // superscript minus
      exponent += '-';
      at += 3;
      continue;
    }
    if (!exponent.empty()) return textkit::tex_escape(label);
    base += label[at++];
  }
  if (exponent.empty()) return textkit::tex_escape(label);
  return "$" + textkit::tex_escape(base) + "^{" + exponent + "}$";
}

std::string joined(const std::vector<double>& values) {
  std::string out;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ',';
    textkit::append_shortest(out, values[i]);
  }
  return out;
}

void write_coordinates(std::ostream& out, const DrawnSteps& points) {
  out << "coordinates {";
  for (std::size_t k = 0; k < points.x.size(); ++k) {
    out << (k % k_per_line == 0 ? "\n" : " ") << "(" << textkit::shortest(points.x[k]) << ","
        << textkit::shortest(points.y[k]) << ")";
  }
  out << "\n};\n";
}

}  // namespace

void write_tex_colours(std::ostream& out, const std::vector<const Chart*>& charts) {
  std::set<std::string> defined;
  for (const Chart* chart : charts) {
    for (std::size_t i = 0; i < chart->series.size(); ++i) {
      const Style style = series_style(chart->series[i], i);
      if (defined.insert(colour_name(style)).second) {
        out << "\\definecolor{" << colour_name(style) << "}{HTML}{" << style.colour.substr(1)
            << "}\n";
      }
    }
  }
}

void write_tex_axis(std::ostream& out, const Chart& chart, const TexAxisPlace& place) {
  const double area_width = std::max(place.width.points() - k_label_width, k_min_area);
  const double area_height = std::max(place.height.points() - k_label_height, k_min_area);
  std::size_t name_chars = 1;
  for (const Series& s : chart.series) {
    name_chars = std::max(name_chars, textkit::character_count(s.name));
  }
  const double legend_points = place.legend_points > 0 ? place.legend_points : place.width.points();
  const std::size_t columns = std::clamp<std::size_t>(
      static_cast<std::size_t>(legend_points /
                               (k_entry_points + k_char_points * static_cast<double>(name_chars))),
      1, std::max<std::size_t>(chart.series.size(), 1));
  // The note's lines at \footnotesize under the x label push the legend down.
  const double note_width = 0.8 * place.width.points();
  const auto note_lines = static_cast<int>(
      std::ceil(static_cast<double>(textkit::character_count(chart.note)) * 4.6 / note_width));
  out << "\\begin{axis}[\n";
  if (!place.at.empty()) out << "  at={" << place.at << "}, anchor=south west,\n";
  // pgfplots fits the axis with its labels to the width only roughly: 5 %
  // to spare keeps tick labels at the right edge within the width.
  out << "  width=" << place.width.scaled(0.95).text() << ", height=" << place.height.text()
      << ",\n"
      << "  title={" << textkit::tex_escape(chart.title) << "},\n"
      << "  xlabel={" << textkit::tex_escape(chart.x_label);
  if (!chart.note.empty()) out << "\\\\{\\footnotesize " << textkit::tex_escape(chart.note) << "}";
  out << "}, xlabel style={align=center, text width=" << place.width.scaled(0.8).text() << "},\n"
      << "  ylabel={" << textkit::tex_escape(chart.y_label) << "},\n";
  if (chart.log_x) out << "  xmode=log, log basis x=10,\n";
  out << "  xmin=" << textkit::shortest(chart.x_min) << ", xmax=" << textkit::shortest(chart.x_max)
      << ", ymin=" << textkit::shortest(chart.y_min) << ", ymax=" << textkit::shortest(chart.y_max)
      << ",\n";
  const std::vector<TickMark> ticks = x_tick_marks(chart);
  if (!chart.x_ticks.empty()) {
    std::vector<double> values;
    std::string labels;
    for (const TickMark& t : ticks) {
      values.push_back(t.value);
      labels += (labels.empty() ? "" : ",") + std::string("{") + tex_label(t.label) + "}";
    }
    out << "  xtick={" << joined(values) << "},\n";
    if (!chart.x_tick_labels.empty()) out << "  xticklabels={" << labels << "},\n";
  }
  if (!chart.y_ticks.empty()) out << "  ytick={" << joined(chart.y_ticks) << "},\n";
  out << "  grid=major, legend cell align=left,\n";
  if (place.legend) {
    out << "  legend style={at={(" << (place.at.empty() ? "0.5" : "0") << ",0)}, anchor=north"
        << (place.at.empty() ? "" : " west") << ", yshift=-" << 36 + 11 * note_lines
        << "pt, legend columns=" << columns
        << ", font=\\footnotesize, /tikz/every even column/.append style={column sep=6pt}},\n";
  }
  out << "]\n";
  for (std::size_t i = 0; i < chart.series.size(); ++i) {
    const Series& s = chart.series[i];
    const Style style = series_style(s, i);
    const std::string look = "color=" + colour_name(style) + ", " + tikz_dash(style.dash) +
                             (s.method == k_virtual_best ? ", very thick" : ", thick");
    const std::string mark =
        style.marker == Marker::none
            ? std::string()
            : "mark=" + std::string(tikz_mark(style.marker)) + ", mark options={solid}";
    if (s.steps) {
      DrawnSteps drawn = drawn_steps(s, chart, area_width, area_height);
      if (!drawn.x.empty()) {
        const DrawnSteps marks = marker_points(drawn, chart, i, s, area_width);
        if (drawn.x.back() < chart.x_max) {
          drawn.x.push_back(chart.x_max);
          drawn.y.push_back(drawn.y.back());
        }
        out << "\\addplot[const plot, no marks, " << look << ", forget plot] ";
        write_coordinates(out, drawn);
        if (!marks.x.empty()) {
          out << "\\addplot[only marks, color=" << colour_name(style) << ", " << mark
              << ", forget plot] ";
          write_coordinates(out, marks);
        }
      }
    } else {
      DrawnSteps line;
      for (std::size_t k = 0; k < s.x.size() && k < s.y.size(); ++k) {
        if (!std::isfinite(s.x[k]) || !std::isfinite(s.y[k])) continue;
        line.x.push_back(std::clamp(s.x[k], chart.x_min, chart.x_max));
        line.y.push_back(std::clamp(s.y[k], chart.y_min, chart.y_max));
      }
      if (!line.x.empty()) {
        out << "\\addplot[no marks, " << look << ", forget plot] ";
        write_coordinates(out, line);
      }
    }
    if (place.legend) {
      out << "\\addlegendimage{" << look << (mark.empty() ? "" : ", " + mark) << "}\n"
          << "\\addlegendentry{" << textkit::tex_escape(s.name) << "}\n";
    }
  }
  out << "\\end{axis}\n";
}

std::string comment_text(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return text;
}

TexAxisPlace tex_place(const FigureOptions& options) {
  TexAxisPlace place;
  if (options.tex_width) place.width = *options.tex_width;
  place.height = options.tex_height ? *options.tex_height : place.width.scaled(0.62);
  return place;
}

void write_tex_picture(std::ostream& out, const Chart& chart, const FigureOptions& options,
                       const std::string& what) {
  out << "% " << comment_text(chart.title) << ", written by profkit " << what << ".\n"
      << "% Needs \\usepackage{pgfplots} and \\pgfplotsset{compat=1.18} in the preamble.\n"
      << "\\begin{tikzpicture}\n";
  write_tex_colours(out, {&chart});
  write_tex_axis(out, chart, tex_place(options));
  out << "\\end{tikzpicture}\n";
}

}  // namespace curves
