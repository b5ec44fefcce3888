// Thinning of a nondecreasing staircase at the size it is drawn: the points
// that do not change the picture are left out, so that a figure of a million
// problems holds about as many points as it has pixels.
//
// The rule, in drawing units (px for SVG, pt for TeX), with t = 0.34: a
// breakpoint whose value differs from the value drawn so far by less than t
// is left out (the drawn line stays up to t below the exact one); a
// breakpoint less than t right of the last vertex drawn (but the first)
// raises that vertex's vertical move to its value (the drawn line rises up
// to t early).
// Every point of the drawn staircase is then within sqrt(t^2 + t^2) = 0.48
// units of the exact one and the other way round (under 0.5 with the SVG's
// coordinates rounded to 0.01), and a curve keeps at most
// 2 + min(width, height) / t vertices.
#ifndef PROFCMP_PROFKIT_CURVES_THINNING_H_
#define PROFCMP_PROFKIT_CURVES_THINNING_H_

#include <cstddef>
#include <vector>

namespace curves {

inline constexpr double k_thinning_step = 0.34;

// One vertex drawn: the x of breakpoint `x`, the value of breakpoint `y`
// (y >= x; y > x where later breakpoints were folded into its vertical move).
struct Vertex {
  std::size_t x = 0;
  std::size_t y = 0;
};

// The vertices to draw of the staircase with breakpoints (px[i], py[i]) in
// drawing units, px ascending, py monotone; the first is always kept.
std::vector<Vertex> thin_staircase(const std::vector<double>& px, const std::vector<double>& py,
                                   double step = k_thinning_step);

}  // namespace curves

#endif  // PROFCMP_PROFKIT_CURVES_THINNING_H_
