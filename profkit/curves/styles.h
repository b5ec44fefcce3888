// The one style scheme of every figure profkit draws (profiles, budget, data
// profiles, the summary grid, the report's figures): a method's colour, dash
// pattern and marker follow from its number in the table, never from its
// place in a figure, so a method looks the same in every figure of a run.
//
// 20 styles: 20 distinct colours from colour-blind-safe palettes, none
// lighter than CIE lightness L* 80 on white (no light yellow, no pale
// cyan), 5 dash patterns and 8 markers. Style i (from 0) takes colour i mod
// 20, dash i mod 5 and marker i mod 8; as 5 and 8 are coprime, methods 1 to
// 40 never share both dash and marker, so methods 21 to 40 take the colours
// of methods 1 to 20 with the 20 (dash, marker) pairs those do not use. From
// method 41 on the styles repeat with period 40 (the legend's names tell such
// methods apart). The virtual best is black, solid and unmarked: no method's
// style.
#ifndef PROFCMP_PROFKIT_CURVES_STYLES_H_
#define PROFCMP_PROFKIT_CURVES_STYLES_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace curves {

inline constexpr std::size_t k_styles = 20;

enum class Marker {
  none,
  circle,
  square,
  triangle,
  diamond,
  open_circle,
  open_square,
  open_triangle,
  cross,
};

struct Style {
  std::string_view colour;  // "#rrggbb"
  std::string_view dash;    // SVG stroke-dasharray in px, "" for a solid line
  Marker marker = Marker::none;
};

// The style of the method numbered `number` (from 1) in its table.
Style method_style(std::size_t number);

// The style of the virtual best method (the smallest count on each problem).
Style virtual_best_style();

// An SVG path (absolute "M" start, relative moves) of `marker` centred on
// (x, y) in px; empty for Marker::none. Filled markers are filled with the
// curve's colour, open ones with white, the cross is stroked only.
std::string svg_marker_path(Marker marker, double x, double y);
bool marker_filled(Marker marker);
bool marker_open(Marker marker);

// The pgfplots mark of `marker` ("*", "square*", "o", "x", ...; "none").
std::string_view tikz_mark(Marker marker);

// An SVG dash array ("8,4") as a TikZ dash pattern at half the length in pt
// ("dash pattern=on 4pt off 2pt"), "solid" for "".
std::string tikz_dash(std::string_view dash);

}  // namespace curves

#endif  // PROFCMP_PROFKIT_CURVES_STYLES_H_
