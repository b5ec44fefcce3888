#include "profkit/curves/thinning.h"

#include <cmath>

namespace curves {

std::vector<Vertex> thin_staircase(const std::vector<double>& px, const std::vector<double>& py,
                                   double step) {
  std::vector<Vertex> kept;
  if (px.empty()) return kept;
  kept.push_back({0, 0});
  double drawn_x = px[0], drawn_y = py[0];
  for (std::size_t i = 1; i < px.size() && i < py.size(); ++i) {
    if (std::abs(py[i] - drawn_y) < step) continue;
    if (px[i] - drawn_x < step && kept.size() > 1) {  // the first vertex keeps its value
      kept.back().y = i;
    } else {
      kept.push_back({i, i});
      drawn_x = px[i];
    }
    drawn_y = py[i];
  }
  return kept;
}

}  // namespace curves
