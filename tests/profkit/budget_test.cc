// Budget curves, the virtual best and shifted geometric means on hand-made
// tables with failures and repeated counts; the writers' exact bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "kit_support.h"
#include "profkit/budget/budget.h"

namespace {

using table::k_failed;
using table::MeasureTable;

// Five problems; nobody solves the last; repeated counts; A fails twice.
MeasureTable hand_table() {
  return kit_support::measure_table({"A", "B,2"},
                                    {{10, k_failed, 70, 10, k_failed}, {20, 3, 80, 10, k_failed}});
}

TEST(Budget, CurvesOfEveryMethodAndOfTheVirtualBest) {
  const budget::BudgetCurves c = budget::compute(hand_table());
  EXPECT_EQ(c.problems, 5u);
  ASSERT_EQ(c.methods.size(), 2u);
  EXPECT_EQ(c.methods[0].counts, (std::vector<double>{10, 70}));
  EXPECT_EQ(c.methods[0].fractions, (std::vector<double>{0.4, 0.6}));
  EXPECT_EQ(c.methods[0].solved, 3u);
  EXPECT_EQ(c.methods[1].counts, (std::vector<double>{3, 10, 20, 80}));
  EXPECT_EQ(c.methods[1].fractions, (std::vector<double>{0.2, 0.4, 0.6, 0.8}));
  // Best on each problem: 10, 3, 70, 10, none.
  EXPECT_EQ(c.virtual_best.counts, (std::vector<double>{3, 10, 70}));
  EXPECT_EQ(c.virtual_best.fractions, (std::vector<double>{0.2, 0.6, 0.8}));
  EXPECT_EQ(c.virtual_best.solved, 4u);
}

TEST(Budget, ShiftedGeometricMeansChargeFailuresAtTwiceTheLargestCount) {
  const budget::GeometricMeans g = budget::shifted_geometric_means(hand_table());
  EXPECT_EQ(g.largest, 80);
  EXPECT_EQ(g.failure_charge, 160.0);
  // A: (10, 160, 70, 10, 160) + 10 = 20, 170, 80, 20, 170.
  EXPECT_NEAR(g.methods[0], std::pow(20.0 * 170 * 80 * 20 * 170, 0.2) - 10, 1e-9);
  EXPECT_NEAR(g.methods[1], std::pow(30.0 * 13 * 90 * 20 * 170, 0.2) - 10, 1e-9);
  EXPECT_NEAR(g.virtual_best, std::pow(20.0 * 13 * 80 * 20 * 170, 0.2) - 10, 1e-9);
  EXPECT_EQ(g.failures, (std::vector<std::size_t>{2, 1}));
  EXPECT_EQ(g.virtual_best_failures, 1u);

  // Exact values: counts 10 and 70 give sqrt(20 x 80) - 10 = 30.
  const budget::GeometricMeans exact =
      budget::shifted_geometric_means(kit_support::measure_table({"X"}, {{10, 70}}));
  EXPECT_NEAR(exact.methods[0], 30.0, 1e-12);
  // Another shift: sqrt((10 + 0) x (70 + 0)).
  EXPECT_NEAR(budget::shifted_geometric_means(kit_support::measure_table({"X"}, {{10, 90}}), 0.0)
                  .methods[0],
              30.0, 1e-12);
}

TEST(Budget, TablesWithoutACountHaveNoGeometricMean) {
  for (const MeasureTable& t :
       {kit_support::measure_table({"X", "Y"}, {{k_failed, k_failed}, {k_failed, k_failed}}),
        kit_support::measure_table({"X"}, {{}})}) {
    const budget::GeometricMeans g = budget::shifted_geometric_means(t);
    EXPECT_TRUE(std::isnan(g.methods[0]));
    EXPECT_TRUE(std::isnan(g.virtual_best));
    std::ostringstream text;
    budget::write_budget_text(text, t.names, budget::compute(t), g);
    EXPECT_NE(text.str().find("Shifted geometric mean of the counts (shift 10): not defined, "
                              "since the table holds no solved count.\n"),
              std::string::npos)
        << text.str();
  }
}

TEST(Budget, CsvAndTextOfTheHandTable) {
  const MeasureTable t = hand_table();
  const budget::BudgetCurves c = budget::compute(t);
  std::ostringstream csv, text;
  budget::write_budget_csv(csv, t.names, c);
  budget::write_budget_text(text, t.names, c, budget::shifted_geometric_means(t));
  EXPECT_EQ(csv.str(),
            "method_number,method,count,fraction\r\n"
            "0,virtual best,3,0.2\r\n"
            "0,virtual best,10,0.6\r\n"
            "0,virtual best,70,0.8\r\n"
            "1,A,10,0.4\r\n"
            "1,A,70,0.6\r\n"
            "2,\"B,2\",3,0.2\r\n"
            "2,\"B,2\",10,0.4\r\n"
            "2,\"B,2\",20,0.6\r\n"
            "2,\"B,2\",80,0.8\r\n");
  EXPECT_EQ(text.str(),
            "Share of all 5 problems solved within a budget of the count; failures never count.\n"
            "\n"
            "0  virtual best: 4 of 5 problems solved\n"
            "  count  fraction\n"
            "      3    0.2000\n"
            "     10    0.6000\n"
            "     70    0.8000\n"
            "\n"
            "1  A: 3 of 5 problems solved\n"
            "  count  fraction\n"
            "     10    0.4000\n"
            "     70    0.6000\n"
            "\n"
            "2  B,2: 4 of 5 problems solved\n"
            "  count  fraction\n"
            "      3    0.2000\n"
            "     10    0.4000\n"
            "     20    0.6000\n"
            "     80    0.8000\n"
            "\n"
            "Shifted geometric mean of the counts (shift 10); a failure is charged at 2 x 80 = "
            "160, twice the largest count in the table.\n"
            "  #  method        failures  geometric mean\n"
            "  0  virtual best         1           27.15\n"
            "  1  A                    2           52.12\n"
            "  2  B,2                  1           31.24\n");
}

TEST(Budget, PlotHasTheVirtualBestFirstOnALogarithmicAxis) {
  const MeasureTable t = hand_table();
  const curves::Chart chart = budget::budget_plot(t.names, budget::compute(t), "NFV ");
  EXPECT_TRUE(chart.log_x);
  EXPECT_EQ(chart.title, "Share of problems solved within a budget of NFV");
  EXPECT_EQ(chart.x_min, 1.0);   // the power of ten at or below the smallest count, 3
  EXPECT_EQ(chart.x_max, 80.0);  // the largest count: failures lie off the axis
  EXPECT_EQ(chart.x_tick_labels, (std::vector<std::string>{"1", "10"}));
  EXPECT_EQ(chart.y_min, 0.0);
  EXPECT_EQ(chart.y_max, 1.0);
  ASSERT_EQ(chart.series.size(), 3u);
  EXPECT_EQ(chart.series[0].name, "virtual best");
  EXPECT_EQ(chart.series[0].x, (std::vector<double>{1, 3, 10, 70}));
  EXPECT_EQ(chart.series[0].y, (std::vector<double>{0, 0.2, 0.6, 0.8}));
  EXPECT_EQ(chart.series[1].name, "1 A");
  EXPECT_EQ(chart.series[2].name, "2 B,2");
  EXPECT_EQ(chart.series[0].method, curves::k_virtual_best);
  EXPECT_EQ(chart.series[2].method, 2u);
  // Chosen methods keep their numbers (and so their styles); ticks past
  // 10⁴ are all powers.
  curves::FigureOptions only_b;
  only_b.methods = {1};
  const MeasureTable wide = kit_support::measure_table({"A", "B"}, {{3, 200000}, {5, 7}});
  const curves::Chart b = budget::budget_plot(wide.names, budget::compute(wide), "NFV", only_b);
  ASSERT_EQ(b.series.size(), 2u);
  EXPECT_EQ(b.series[1].name, "2 B");
  EXPECT_EQ(b.series[1].method, 2u);
  EXPECT_EQ(b.x_max, 10.0);  // at least a decade
  EXPECT_EQ(b.x_tick_labels, (std::vector<std::string>{"1", "10"}));
  const curves::Chart all = budget::budget_plot(wide.names, budget::compute(wide), "NFV");
  EXPECT_EQ(all.x_max, 200000.0);
  EXPECT_EQ(all.x_tick_labels.back(), "10\xE2\x81\xB5");
  EXPECT_EQ(all.x_tick_labels.front(), "10\xE2\x81\xB0");
  // A method that never solves a problem is a flat line at 0.
  const MeasureTable none = kit_support::measure_table({"X"}, {{k_failed}});
  const curves::Chart flat = budget::budget_plot(none.names, budget::compute(none), "NIT ");
  EXPECT_EQ(flat.x_min, 1.0);
  EXPECT_EQ(flat.x_max, 10.0);
  EXPECT_EQ(flat.series[1].x, (std::vector<double>{1}));
  EXPECT_EQ(flat.series[1].y, (std::vector<double>{0}));
}

}  // namespace
