#include "profkit/curves/figure_options.h"

#include <charconv>
#include <cmath>
#include <numeric>

#include "profkit/text/numbers.h"

namespace curves {
namespace {

struct Unit {
  std::string_view name;
  double points;  // 0: relative to the line
};
constexpr Unit k_units[] = {{"pt", 1.0},          {"bp", 72.27 / 72}, {"mm", 72.27 / 25.4},
                            {"cm", 72.27 / 2.54}, {"in", 72.27},      {"\\linewidth", 0},
                            {"\\columnwidth", 0}, {"\\textwidth", 0}};

}  // namespace

std::string TexLength::text() const {
  if (factor == 1 && unit.front() == '\\') return unit;
  return textkit::shortest(factor) + unit;
}

double TexLength::points() const {
  for (const Unit& u : k_units) {
    if (u.name == unit) return factor * (u.points == 0 ? k_column_points : u.points);
  }
  return factor * k_column_points;
}

std::optional<TexLength> parse_tex_length(std::string_view text) {
  for (const Unit& u : k_units) {
    if (text.size() < u.name.size() || text.substr(text.size() - u.name.size()) != u.name) {
      continue;
    }
    const std::string_view number = text.substr(0, text.size() - u.name.size());
    double factor = 1;
    if (!number.empty()) {
      const auto result = std::from_chars(number.data(), number.data() + number.size(), factor,
                                          std::chars_format::fixed);
      if (result.ec != std::errc{} || result.ptr != number.data() + number.size()) {
        return std::nullopt;
      }
    } else if (u.points != 0) {
      return std::nullopt;  // "cm" alone
    }
    if (!(std::isfinite(factor) && factor > 0)) return std::nullopt;
    return TexLength{factor, std::string(u.name)};
  }
  return std::nullopt;
}

std::vector<std::size_t> drawn_methods(const FigureOptions& options, std::size_t methods) {
  if (!options.methods.empty()) return options.methods;
  std::vector<std::size_t> all(methods);
  std::iota(all.begin(), all.end(), std::size_t{0});
  return all;
}

}  // namespace curves
