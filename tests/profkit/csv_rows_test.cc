// curves::write_csv against the rows written one by one from a plainly
// sorted staircase, for tables small and large enough to be formatted on two
// threads with cached fractions; and curves::sort_doubles against std::sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kit_support.h"
#include "profkit/analysis/figures.h"
#include "profkit/curves/export.h"
#include "profkit/curves/staircase.h"

namespace {

std::string shortest(double v) {
  if (std::isnan(v)) return "nan";
  char buffer[64];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
}

// The CSV as a row at a time from std::sort's order.
std::string plain_csv(const table::MeasureTable& t) {
  std::string csv = "method_number,method,log2_ratio,fraction\r\n";
  const analysis::ProblemBest best = analysis::best_measures(t);
  const double problems = static_cast<double>(t.problems);
  for (std::size_t m = 0; m < t.methods(); ++m) {
    std::vector<double> r(t.problems);
    for (std::size_t p = 0; p < t.problems; ++p) r[p] = analysis::log2_ratio_at(t, best, m, p);
    std::sort(r.begin(), r.end());
    std::string name = t.names[m];
    if (name.find_first_of(",\"") != std::string::npos) {
      std::string quoted = "\"";
      for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
      name = quoted + "\"";
    }
    const std::string prefix = std::to_string(m + 1) + "," + name + ",";
    std::size_t count = 0;
    while (count < r.size() && r[count] <= 0.0) ++count;
    csv += prefix + "0," + shortest(static_cast<double>(count) / problems) + "\r\n";
    while (count < r.size() && std::isfinite(r[count])) {
      const double v = r[count];
      while (count < r.size() && r[count] == v) ++count;
      csv += prefix + shortest(v) + "," + shortest(static_cast<double>(count) / problems) + "\r\n";
    }
  }
  return csv;
}

table::MeasureTable random_table(std::mt19937& rng, std::size_t methods, std::size_t problems,
                                 int largest, int failure_percent) {
  std::uniform_int_distribution<int> count(1, largest);
  std::uniform_int_distribution<int> percent(0, 99);
  std::vector<std::string> names;
  std::vector<std::vector<double>> rows(methods);
  for (std::size_t m = 0; m < methods; ++m) {
    names.push_back(m % 3 == 2 ? "S,\"" + std::to_string(m) + "\"" : "SOLVER-" + std::to_string(m));
    for (std::size_t p = 0; p < problems; ++p) {
      rows[m].push_back(percent(rng) < failure_percent ? table::k_failed : count(rng));
    }
  }
  return kit_support::measure_table(names, rows);
}

TEST(CsvRows, SameBytesAsRowByRowForSmallAndLargeTables) {
  std::mt19937 rng(7);
  const struct {
    std::size_t methods, problems;
    int largest, failure_percent;
  } cases[] = {
      {0, 0, 1, 0},       {1, 0, 1, 0},        {3, 0, 1, 0},        {1, 1, 5, 0},
      {2, 700, 3, 10},    {4, 600, 5000, 0},   {1, 70000, 5000, 5}, {2, 40000, 5000, 1},
      {3, 30000, 20, 50}, {5, 20000, 5000, 0}, {4, 20000, 1, 100},  {7, 12000, 100000, 20},
  };
  for (const auto& c : cases) {
    const table::MeasureTable t =
        random_table(rng, c.methods, c.problems, c.largest, c.failure_percent);
    std::ostringstream out;
    curves::write_csv(out, t);
    const std::string want = plain_csv(t);
    ASSERT_EQ(out.str().size(), want.size()) << c.methods << " x " << c.problems;
    ASSERT_TRUE(out.str() == want) << c.methods << " x " << c.problems;
  }
}

TEST(CsvRows, NoProblemsGiveNanFractions) {
  const table::MeasureTable t = kit_support::measure_table({"A", "B", "C", "D", "E"}, {});
  std::ostringstream out;
  curves::write_csv(out, t);
  EXPECT_EQ(out.str(),
            "method_number,method,log2_ratio,fraction\r\n1,A,0,nan\r\n2,B,0,nan\r\n3,C,0,nan\r\n"
            "4,D,0,nan\r\n5,E,0,nan\r\n");
}

std::vector<std::uint64_t> bits_of(const std::vector<double>& values) {
  std::vector<std::uint64_t> bits(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) std::memcpy(&bits[i], &values[i], sizeof(double));
  return bits;
}

TEST(SortDoubles, SameOrderAsStdSort) {
  std::mt19937_64 rng(11);
  const double inf = std::numeric_limits<double>::infinity();
  const double specials[] = {
      0.0, inf, -inf, 1.0, -1.0, std::numeric_limits<double>::denorm_min(), -2.5, 1e300, 0.5};
  std::vector<std::uint64_t> scratch;
  for (std::size_t n : {0, 1, 2, 511, 512, 513, 5000, 100000}) {
    for (int kind = 0; kind < 4; ++kind) {
      std::vector<double> values(n);
      for (double& v : values) {
        switch (kind) {
          case 0:  // log2 ratios: few distinct values, zeros and infinities
            v = specials[rng() % 2] + static_cast<double>(rng() % 50) / 8;
            break;
          case 1:  // any bit pattern but NaN
            do {
              const std::uint64_t bits = rng();
              std::memcpy(&v, &bits, sizeof v);
            } while (std::isnan(v));
            break;
          case 2:
            v = specials[rng() % std::size(specials)];
            break;
          default:  // all alike: no radix pass moves anything
            v = 3.25;
        }
      }
      std::vector<double> want = values;
      std::sort(want.begin(), want.end());
      curves::sort_doubles(values, scratch);
      ASSERT_EQ(bits_of(values), bits_of(want)) << "n " << n << " kind " << kind;
    }
  }
}

}  // namespace
