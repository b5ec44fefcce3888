// analysis::compute_figures against profcmp's own computation on the same
// table: every profile value, mean value and efficiency equal as doubles.
#include "profkit/analysis/figures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "arithmetic/profile_arithmetic.h"
#include "profkit/table/measure_table.h"

namespace {

table::MeasureTable two_by_two() {
  table::MeasureTable t;
  t.names = {"M1", "M2"};
  t.problems = 2;
  t.measures = {10, 30, 20, 15};  // method-major
  return t;
}

TEST(Figures, WorkedExampleOfTheReadme) {
  const analysis::Figures f = analysis::compute_figures(two_by_two(), 2.0);
  ASSERT_EQ(f.abscissae.size(), 21u);
  EXPECT_EQ(f.bound, 2.0);
  EXPECT_EQ(f.step, 0.1);
  for (int m = 0; m < 2; ++m) {
    for (int j = 0; j < 21; ++j) EXPECT_EQ(f.profile[m][j], j < 11 ? 0.5 : 1.0) << m << " " << j;
    EXPECT_EQ(f.mean_value[m], (11 * 0.5 + 10 * 1.0) / 21);
    EXPECT_EQ(f.efficiency[m], 1.0);
  }
}

TEST(Figures, FailuresNeverCountAndUnsolvedProblemsTakeTheWholeExcess) {
  table::MeasureTable t;
  t.names = {"A", "B"};
  t.problems = 3;
  t.measures = {5, table::k_failed, table::k_failed, 10, 7, table::k_failed};
  const analysis::Figures f = analysis::compute_figures(t, 2.0);
  // A: best on problem 1, failed 2 and 3. B: ratio 2 on 1, best on 2, failed 3.
  EXPECT_EQ(f.profile[0][0], 1.0 / 3);
  EXPECT_EQ(f.profile[0][20], 1.0 / 3);
  EXPECT_EQ(f.profile[1][0], 1.0 / 3);
  EXPECT_EQ(f.profile[1][20], 2.0 / 3);
  EXPECT_EQ(f.efficiency_score[0], 3.0 / (0.0 + 1.0 + 1.0));
  EXPECT_EQ(f.efficiency_score[1], 3.0 / (5.0 / 15.0 + 0.0 + 1.0));
}

TEST(Figures, NoProblemGivesNotANumberEverywhere) {
  table::MeasureTable t;
  t.names = {"A"};
  const analysis::Figures f = analysis::compute_figures(t, 2.0);
  EXPECT_TRUE(std::isnan(f.profile[0][0]));
  EXPECT_TRUE(std::isnan(f.mean_value[0]));
  EXPECT_TRUE(std::isnan(f.efficiency[0]));
}

// The exact form of MEAN VALUE, count_sum / (abscissae x problems), on random
// profiles: next to the reported double, and ordering two profiles as their
// doubles do wherever those differ by more than rounding.
TEST(Figures, MeanValueSumKeepsTheExactFraction) {
  std::mt19937 rng(20261209);
  const auto random_sum = [&rng](std::int64_t problems) {
    profiles::MeanValueSum sum(problems);
    std::int64_t count = 0;
    for (int j = 0; j < profiles::k_abscissae; ++j) {
      count += std::uniform_int_distribution<std::int64_t>(0, problems - count)(rng) / 4;
      sum.add(count);
    }
    return sum;
  };
  for (int round = 0; round < 2000; ++round) {
    const std::int64_t problems = std::uniform_int_distribution<std::int64_t>(1, 300)(rng);
    const profiles::MeanValueSum a = random_sum(problems);
    const profiles::MeanValueSum b =
        random_sum(std::uniform_int_distribution<int>(0, 1)(rng) == 0 ? problems : problems + 7);
    ASSERT_EQ(a.abscissae(), profiles::k_abscissae);
    const double exact =
        static_cast<double>(a.count_sum()) / static_cast<double>(a.abscissae() * a.problems());
    ASSERT_NEAR(a.mean_value(), exact, 1e-14) << round;
    const std::int64_t left = a.count_sum() * (b.abscissae() * b.problems());
    const std::int64_t right = b.count_sum() * (a.abscissae() * a.problems());
    if (std::abs(a.mean_value() - b.mean_value()) > 1e-12) {
      ASSERT_EQ(left < right, a.mean_value() < b.mean_value()) << round;
    }
  }
}

}  // namespace
