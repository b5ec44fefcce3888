#include "profkit/curves/styles.h"

#include <algorithm>
#include <array>
#include <string>

#include "profkit/text/numbers.h"

namespace curves {
namespace {

// Colours of the Okabe-Ito palette (without its black and its yellow) and of
// Paul Tol's muted, vibrant, bright and dark schemes, all of them at CIE
// lightness L* 75 or below; neighbours in the list differ in hue.
constexpr std::array<std::string_view, k_styles> k_colours = {
    "#0072B2", "#D55E00", "#009E73", "#CC79A7", "#E69F00", "#56B4E9", "#882255",
    "#117733", "#332288", "#999933", "#AA4499", "#44AA99", "#CC6677", "#666666",
    "#4477AA", "#EE7733", "#EE3377", "#225555", "#DDAA33", "#997700"};
constexpr std::array<std::string_view, 5> k_dashes = {"", "8,4", "2,3", "8,3,2,3", "14,4"};
constexpr std::array<Marker, 8> k_markers = {
    Marker::circle,      Marker::square,      Marker::triangle,      Marker::diamond,
    Marker::open_circle, Marker::open_square, Marker::open_triangle, Marker::cross};

constexpr double k_radius = 3.5;  // half the width of a marker in px

std::string number(double v) {
  if (v == 0.0) v = 0.0;
  return textkit::fixed(v, 2);
}

}  // namespace

Style method_style(std::size_t number) {
  const std::size_t i = number == 0 ? 0 : number - 1;
  return {k_colours[i % k_colours.size()], k_dashes[i % k_dashes.size()],
          k_markers[i % k_markers.size()]};
}

Style virtual_best_style() {
  return {"#000000", "", Marker::none};
}

bool marker_filled(Marker marker) {
  return marker == Marker::circle || marker == Marker::square || marker == Marker::triangle ||
         marker == Marker::diamond;
}

bool marker_open(Marker marker) {
  return marker == Marker::open_circle || marker == Marker::open_square ||
         marker == Marker::open_triangle;
}

std::string svg_marker_path(Marker marker, double x, double y) {
  const double r = k_radius;
  switch (marker) {
    case Marker::none:
      return {};
    case Marker::circle:
    case Marker::open_circle:
      return "M" + number(x - r) + " " + number(y) + "a" + number(r) + " " + number(r) + " 0 1 0 " +
             number(2 * r) + " 0a" + number(r) + " " + number(r) + " 0 1 0 " + number(-2 * r) +
             " 0Z";
    case Marker::square:
    case Marker::open_square:
      return "M" + number(x - r) + " " + number(y - r) + "h" + number(2 * r) + "v" + number(2 * r) +
             "h" + number(-2 * r) + "Z";
    case Marker::triangle:
    case Marker::open_triangle:
      return "M" + number(x) + " " + number(y - 1.2 * r) + "l" + number(1.1 * r) + " " +
             number(2 * r) + "h" + number(-2.2 * r) + "Z";
    case Marker::diamond:
      return "M" + number(x) + " " + number(y - 1.3 * r) + "l" + number(r) + " " + number(1.3 * r) +
             "l" + number(-r) + " " + number(1.3 * r) + "l" + number(-r) + " " + number(-1.3 * r) +
             "Z";
    case Marker::cross:
      return "M" + number(x - r) + " " + number(y - r) + "l" + number(2 * r) + " " + number(2 * r) +
             "m0 " + number(-2 * r) + "l" + number(-2 * r) + " " + number(2 * r);
  }
  return {};
}

std::string_view tikz_mark(Marker marker) {
  switch (marker) {
    case Marker::none:
      return "none";
    case Marker::circle:
      return "*";
    case Marker::square:
      return "square*";
    case Marker::triangle:
      return "triangle*";
    case Marker::diamond:
      return "diamond*";
    case Marker::open_circle:
      return "o";
    case Marker::open_square:
      return "square";
    case Marker::open_triangle:
      return "triangle";
    case Marker::cross:
      return "x";
  }
  return "none";
}

std::string tikz_dash(std::string_view dash) {
  if (dash.empty()) return "solid";
  std::string pattern = "dash pattern=";
  std::size_t at = 0;
  for (int k = 0; at <= dash.size(); ++k) {
    const std::size_t comma = std::min(dash.find(',', at), dash.size());
    pattern += (k == 0 ? "" : " ");
    pattern += (k % 2 == 0 ? "on " : "off ");
    pattern += textkit::shortest(std::stod(std::string(dash.substr(at, comma - at))) / 2) + "pt";
    at = comma + 1;
  }
  return pattern;
}

}  // namespace curves
