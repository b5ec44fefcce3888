// What a user chooses of a figure: which methods are drawn and in what
// order, the title, the size (px for SVG, a TeX length for pgfplots) and how
// the ratio axis of the performance profiles is labelled.
#ifndef PROFCMP_PROFKIT_CURVES_FIGURE_OPTIONS_H_
#define PROFCMP_PROFKIT_CURVES_FIGURE_OPTIONS_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace curves {

// \linewidth of a default article column, in pt: the width TeX sizes are
// planned for when they are given relative to the line.
inline constexpr double k_column_points = 345;

// A TeX length: factor times a unit (pt, bp, mm, cm, in) or times
// \linewidth, \columnwidth or \textwidth.
struct TexLength {
  double factor = 1;
  std::string unit = "\\linewidth";
  // As TeX reads it: "0.62\linewidth", "8cm".
  std::string text() const;
  // In pt, a line taken as k_column_points.
  double points() const;
  TexLength scaled(double by) const { return {factor * by, unit}; }
};

// "8cm", "240pt", "3.5in", "0.9\linewidth", "\linewidth": a positive finite
// factor and a unit; nullopt for anything else.
std::optional<TexLength> parse_tex_length(std::string_view text);

struct FigureOptions {
  // Table indices (from 0) of the methods drawn, in drawing order; empty:
  // every method in table order. A method keeps its style (its number).
  std::vector<std::size_t> methods;
  std::string title;                               // empty: the figure's own
  double width = 0, height = 0;                    // SVG, px; 0: the defaults of svg_plot.h
  std::optional<TexLength> tex_width, tex_height;  // nullopt: \linewidth, 0.62 of the width
  // The x axis of performance profiles labelled in log2 of the ratio;
  // otherwise in the ratio itself (1, 2, 4, 8, ...) on the same log2 scale.
  bool log2_labels = false;
};

// The methods `options` draws of a table of `methods` methods.
std::vector<std::size_t> drawn_methods(const FigureOptions& options, std::size_t methods);

}  // namespace curves

#endif  // PROFCMP_PROFKIT_CURVES_FIGURE_OPTIONS_H_
