// Rows stored as their cells (sparse) and rows stored from problem 0 on
// (dense) hold the same table: every analysis gives the same bytes on
// random tables in both forms. Also the builder's duplicate finding in any
// order of the cells, and the repeated additions that stand for the
// problems a sparse row leaves out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "profkit/analysis/figures.h"
#include "profkit/bootstrap/bootstrap.h"
#include "profkit/budget/budget.h"
#include "profkit/compare/pairs.h"
#include "profkit/compare/stability.h"
#include "profkit/curves/export.h"
#include "profkit/table/table_model.h"

namespace {

using table::k_failed;
using table::MeasureTable;

// Everything the analyses write about `t`, and the shifted geometric means
// bit for bit.
std::string analyses(const MeasureTable& t) {
  std::ostringstream out;
  curves::write_csv(out, t);
  const budget::BudgetCurves curves = budget::compute(t);
  budget::write_budget_csv(out, t.names, curves);
  const budget::GeometricMeans means = budget::shifted_geometric_means(t);
  for (const double v : means.methods) out << std::hexfloat << v << ',';
  out << std::hexfloat << means.virtual_best << std::defaultfloat << '\n';
  for (const double tolerance : {0.0, 0.25}) {
    compare::write_pairs_csv(out, t.names, compare::count_pairs(t, tolerance));
    compare::write_ranked_pairs_csv(out, t.names, compare::rank_pairs(t, tolerance));
  }
  compare::write_stability_csv(out, t.names, compare::find_instabilities(t, 2.0, 7));
  bootstrap::write_csv(out, t, bootstrap::run(t, {.replicates = 30, .seed = 3, .bound = 1.5}));
  for (std::size_t m = 0; m < t.methods(); ++m) {
    out << t.solved_count(m) << ';';
    for (std::size_t p = 0; p < t.problems; ++p) out << t.at(m, p) << ' ';
  }
  return out.str();
}

TEST(RowForms, EveryAnalysisGivesTheSameBytesForBothForms) {
  std::mt19937_64 random(18);
  std::size_t sparse_rows = 0;
  for (int round = 0; round < 60; ++round) {
    const std::size_t methods = 2 + random() % 9, problems = 1 + random() % 250;
    MeasureTable dense, cells;
    for (std::size_t m = 0; m < methods; ++m) {
      const double density = std::vector<double>{0.01, 0.05, 0.4, 1.0}[random() % 4];
      std::vector<double> row(problems, k_failed);
      std::vector<std::uint32_t> given;
      std::vector<double> values;
      for (std::uint32_t p = 0; p < problems; ++p) {
        if (std::uniform_real_distribution<double>(0, 1)(random) >= density) continue;
        // Failures given as cells too; counts from a few values, so ties abound.
        const double v = random() % 8 == 0 ? k_failed : double(1 + random() % 12) / 4;
        row[p] = v;
        given.push_back(p);
        values.push_back(v);
      }
      const std::string name = "m" + std::to_string(m);
      dense.add_row(name, row.data(), row.size());
      cells.add_cells(name, given.data(), values.data(), given.size());
      sparse_rows += cells.dense(m) ? 0 : 1;
    }
    dense.problems = cells.problems = problems;
    ASSERT_EQ(analyses(cells), analyses(dense)) << "round " << round;
  }
  EXPECT_GT(sparse_rows, 50u);
}

TEST(RowForms, BuilderFindsRepeatsInAnyOrder) {
  std::mt19937_64 random(5);
  for (int round = 0; round < 40; ++round) {
    // Few cells over many problems (the hash set), or most of a short range
    // (the bitmap), given in order, reversed or shuffled, some twice.
    const std::uint32_t range = round % 2 == 0 ? 20000 : 300;
    table::TableBuilder builder(1);
    for (std::uint32_t p = 0; p < range; ++p) builder.problem("p" + std::to_string(p));
    std::map<std::pair<std::uint32_t, std::uint32_t>, double> first;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> puts;
    for (std::uint32_t m = 0; m < 4; ++m) {
      for (int k = 0; k < 200; ++k) puts.emplace_back(m, random() % range);
    }
    if (round % 3 == 0) std::shuffle(puts.begin(), puts.end(), random);
    if (round % 3 == 1) std::sort(puts.rbegin(), puts.rend());
    for (const auto& [m, p] : puts) {
      const double v = double(1 + random() % 50);
      const bool fresh = first.emplace(std::make_pair(m, p), v).second;
      ASSERT_EQ(builder.put(builder.method("m" + std::to_string(m)), p, &v), fresh);
    }
    table::ReadTable read;
    builder.finish(read);
    const MeasureTable& t = read.measures.front();
    std::size_t cells = 0;
    for (std::size_t m = 0; m < t.methods(); ++m) {
      const auto method = static_cast<std::uint32_t>(std::stoul(t.names[m].substr(1)));
      t.visit(m, [&](std::size_t p, double v) {
        if (v == k_failed) return;  // a dense row's slot of a problem not given
        EXPECT_EQ(v, first.at({method, static_cast<std::uint32_t>(p)}));
        ++cells;
      });
    }
    EXPECT_EQ(cells, first.size());
  }
}

TEST(RowForms, RepeatedAdditionsRoundAsTheLoop) {
  std::mt19937_64 random(7);
  const auto bits = [](double v) {
    std::uint64_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    return b;
  };
  const auto check = [&](double sum, double value, std::uint64_t times) {
    double loop = sum;
    for (std::uint64_t k = 0; k < times; ++k) loop += value;
    ASSERT_EQ(bits(analysis::add_repeatedly(sum, value, times)), bits(loop))
        << std::hexfloat << sum << " + " << value << " x " << times;
  };
  for (int round = 0; round < 3000; ++round) {
    double sum = std::ldexp(std::uniform_real_distribution<double>(0, 1)(random),
                            static_cast<int>(random() % 70) - 10);
    if (round % 5 == 0) sum = std::floor(sum);
    const double scale = std::ldexp(1.0, static_cast<int>(random() % 20) - 10);
    const double value =
        round % 2 == 0 ? 1.0
                       : std::log(std::uniform_real_distribution<double>(1, 1e4)(random)) * scale;
    check(sum, value, random() % 3000);
  }
  // Where adding 1 rounds to even, or changes nothing any more.
  for (const double sum : {0x1p53 - 3, 0x1p53 + 2, 0x1p52 + 0.5, 0x1p60}) check(sum, 1.0, 1000000);
}

}  // namespace
