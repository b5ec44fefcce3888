#include "profkit/curves/staircase.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace curves {
namespace {

// Below this many values std::sort beats the radix passes.
constexpr std::size_t k_radix_from = 512;
constexpr int k_digit_bits = 11;
constexpr int k_digits = 6;  // 6 x 11 bits cover 64
constexpr std::size_t k_buckets = std::size_t{1} << k_digit_bits;

// The bit pattern of a double as an unsigned key in the same order: negative
// values have every bit flipped, the others only the sign bit.
std::uint64_t key_of(double v) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
}

double value_of(std::uint64_t key) {
  const std::uint64_t bits = (key >> 63) != 0 ? key & ~(std::uint64_t{1} << 63) : ~key;
  double v = 0;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

}  // namespace

void sort_doubles(std::vector<double>& values, std::vector<std::uint64_t>& scratch) {
  const std::size_t n = values.size();
  if (n < k_radix_from || n > UINT32_MAX) {
    std::sort(values.begin(), values.end());
    return;
  }
  // Keys in the second half of `scratch`, passes between the two halves.
  scratch.resize(2 * n);
  std::uint64_t* keys = scratch.data();
  std::uint64_t* other = scratch.data() + n;
  std::vector<std::array<std::uint32_t, k_buckets>> counts(k_digits);
  for (auto& c : counts) c.fill(0);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint64_t key = key_of(values[i]);
    keys[i] = key;
    for (int d = 0; d < k_digits; ++d) ++counts[d][(key >> (d * k_digit_bits)) & (k_buckets - 1)];
  }
  for (int d = 0; d < k_digits; ++d) {
    auto& c = counts[d];
    const int shift = d * k_digit_bits;
    // A digit that all keys share moves nothing.
    if (c[(keys[0] >> shift) & (k_buckets - 1)] == n) continue;
    std::uint32_t total = 0;
    for (std::uint32_t& bucket : c) {
      const std::uint32_t here = bucket;
      bucket = total;
      total += here;
    }
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint64_t key = keys[i];
      other[c[(key >> shift) & (k_buckets - 1)]++] = key;
    }
    std::swap(keys, other);
  }
  for (std::size_t i = 0; i < n; ++i) values[i] = value_of(keys[i]);
}

void sorted_log2_ratios_of(const table::MeasureTable& t, const analysis::ProblemBest& best,
                           std::size_t m, std::vector<double>& ratios,
                           std::vector<std::uint64_t>& scratch) {
  // The problems without a cell would sort last and never count: left out.
  ratios.clear();
  t.visit(m, [&](std::size_t p, double measure) {
    ratios.push_back(analysis::log2_ratio_of(measure, best.best[p]));
  });
  sort_doubles(ratios, scratch);
}

Staircase staircase_of(const table::MeasureTable& t, const analysis::ProblemBest& best,
                       std::size_t m) {
  std::vector<double> ratios;
  std::vector<std::uint64_t> scratch;
  sorted_log2_ratios_of(t, best, m, ratios, scratch);
  const double problems = static_cast<double>(t.problems);

  Staircase s;
  for_each_step(ratios, [&](double log2_ratio, std::size_t count) {
    s.log2_ratio.push_back(log2_ratio);
    s.fraction.push_back(static_cast<double>(count) / problems);
  });
  return s;
}

double value_at(const Staircase& s, double x) {
  const auto after = std::upper_bound(s.log2_ratio.begin(), s.log2_ratio.end(), x);
  if (after == s.log2_ratio.begin()) return 0.0;
  return s.fraction[static_cast<std::size_t>(after - s.log2_ratio.begin()) - 1];
}

double largest_finite_log2_ratio(const table::MeasureTable& t, const analysis::ProblemBest& best) {
  double largest = 0.0;
  for (std::size_t m = 0; m < t.methods(); ++m) {
    t.visit(m, [&](std::size_t p, double measure) {
      const double r = analysis::log2_ratio_of(measure, best.best[p]);
      if (std::isfinite(r) && r > largest) largest = r;
    });
  }
  return largest;
}

}  // namespace curves
