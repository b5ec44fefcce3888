// Convergence histories: the costs of a hand-computed history (3 methods x 4
// problems) at each tolerance with its corner cases, the findings of
// malformed evaluation numbers and values, and random histories against the
// definitions of f_L, f(x_0), the convergence test and the data profile.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "kit_support.h"
#include "profkit/curves/data_profile.h"
#include "profkit/table/history_reader.h"

namespace {

constexpr double F = table::k_failed;

table::History read_path(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  EXPECT_GE(fd, 0) << path;
  table::History h = table::read_history(fd, {}, path, {});
  ::close(fd);
  return h;
}

table::History read_text(const std::string& csv) {
  kit_support::TempDir dir;
  kit_support::write_file(dir.file("h.csv"), csv);
  return read_path(dir.file("h.csv"));
}

std::vector<std::vector<double>> costs_of(const table::MeasureTable& t) {
  std::vector<std::vector<double>> costs(t.methods());
  for (std::size_t m = 0; m < t.methods(); ++m) {
    for (std::size_t p = 0; p < t.problems; ++p) costs[m].push_back(t.at(m, p));
  }
  return costs;
}

TEST(HistoryTest, HandComputedCostsAtEachTolerance) {
  // P1: A reaches f_L = 0.001 at evaluation 5, B stops at 0.005, C never
  // gets below 7. P2: A never improves, B reaches f_L = 0 exactly, C's nan
  // and -inf improve nothing. P3: every run equal (f(x_0) = f_L: solved at
  // once). P4: starts differ (100 and 50), f_L = -0.5.
  const table::History h = read_path(kit_support::test_data("history/hand.csv"));
  EXPECT_EQ(h.read.errors, 0u);
  EXPECT_EQ(h.read.warnings, 6u);
  EXPECT_EQ(h.method_names, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(h.problem_names, (std::vector<std::string>{"P1", "P2", "P3", "P4"}));
  EXPECT_EQ(h.lowest, (std::vector<double>{0.001, 0, 2, -0.5}));
  EXPECT_EQ(h.dimensions, (std::vector<std::uint64_t>{2, 1, 3, 5}));
  const struct {
    double tolerance;
    std::vector<std::vector<double>> costs;
  } cases[] = {
      {1e-1, {{3, F, 1, 2}, {4, 3, 1, 3}, {F, F, 1, F}}},
      {1e-3, {{5, F, 1, F}, {5, 3, 1, 3}, {F, F, 1, F}}},
      {1e-5, {{5, F, 1, F}, {F, 3, 1, 3}, {F, F, 1, F}}},
      {1e-7, {{5, F, 1, F}, {F, 3, 1, 3}, {F, F, 1, F}}},
      {0, {{5, F, 1, F}, {F, 3, 1, 3}, {F, F, 1, F}}},
      {1, {{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(costs_of(table::history_table(h, c.tolerance)), c.costs) << c.tolerance;
  }
}

TEST(HistoryTest, MalformedRowsAreFoundWhereTheyAre) {
  const std::string header = "solver,problem,evaluation,fvalue\n";
  const struct {
    std::string rows;
    std::string finding;  // the first one, as FILE-less "LINE:COLUMN: message"
  } cases[] = {
      {"A,P,2,1\n", "2:5: the run of 'A' on 'P' starts at evaluation 2, not 1"},
      {"A,P,1,1\nB,P,1,1\nA,P,3,0\n", "4:5: evaluation 3 of the run of 'A' on 'P' skips from 1"},
      {"A,P,1,1\nA,P,2,1\nA,P,2,0\n",
       "4:5: evaluation 2 of the run of 'A' on 'P' repeats or goes back (after 2)"},
      {"A,P,1.5,1\n", "2:5: evaluation '1.5' is not a whole number from 1"},
      {"A,P,1,x\n", "2:7: value 'x' is not a number"},
      {"A,P,1,\n", "2:7: an empty value"},
      {"A,P,1,inf\n", "2:7: value 'inf' is not finite; it never improves the run"},
  };
  for (const auto& c : cases) {
    const table::History h = read_text(header + c.rows);
    ASSERT_FALSE(h.read.findings.empty()) << c.rows;
    const table::SourceFinding& f = h.read.findings.front();
    EXPECT_EQ(std::to_string(f.line) + ":" + std::to_string(f.column) + ": " + f.message,
              c.finding);
  }
  const table::History no_value = read_text("solver,problem,evaluation\nA,P,1\n");
  ASSERT_TRUE(no_value.read.stopped);
  EXPECT_EQ(no_value.read.findings.back().message,
            "no value column (fvalue, f, value or objective); name it with --value-column");
}

// Random histories, rows of different runs interleaved, with ties, NaN and
// infinities: every cost, f_L, each run's improvements and every data
// profile step against their definitions computed from all the values.
TEST(HistoryTest, RandomHistoriesAgainstTheDefinition) {
  std::mt19937_64 rng(21);
  const char* const k_values[] = {"-2", "-1", "0", "0.5", "1", "2", "3", "5", "nan", "inf", "-inf"};
  const double tolerances[] = {0.5, 1e-1, 1e-3, 0};
  for (int round = 0; round < 150; ++round) {
    const std::size_t methods = 1 + rng() % 4, problems = 1 + rng() % 6;
    std::vector<std::uint64_t> dimension(problems);
    for (auto& d : dimension) d = 1 + rng() % 9;
    // values[m][p]: empty when the method has no run on the problem.
    std::vector<std::vector<std::vector<std::string>>> values(
        methods, std::vector<std::vector<std::string>>(problems));
    std::vector<std::pair<std::size_t, std::size_t>> pending;
    for (std::size_t m = 0; m < methods; ++m) {
      for (std::size_t p = 0; p < problems; ++p) {
        if (rng() % 8 == 0 && !(m == 0 && p == 0)) continue;
        const std::size_t length = 1 + rng() % 10;
        for (std::size_t e = 0; e < length; ++e) values[m][p].push_back(k_values[rng() % 11]);
        for (std::size_t e = 0; e < length; ++e) pending.emplace_back(m, p);
      }
    }
    // Rows in a random interleaving that keeps each run's order.
    std::shuffle(pending.begin(), pending.end(), rng);
    std::string csv = "solver,problem,dimension,evaluation,fvalue\n";
    std::vector<std::vector<std::size_t>> written(methods, std::vector<std::size_t>(problems));
    std::vector<std::string> method_order, problem_order;
    for (const auto& [m, p] : pending) {
      const std::string method = "M" + std::to_string(m), problem = "P" + std::to_string(p);
      if (std::find(method_order.begin(), method_order.end(), method) == method_order.end()) {
        method_order.push_back(method);
      }
      if (std::find(problem_order.begin(), problem_order.end(), problem) == problem_order.end()) {
        problem_order.push_back(problem);
      }
      const std::size_t e = written[m][p]++;
      csv += method + "," + problem + "," + std::to_string(dimension[p]) + "," +
             std::to_string(e + 1) + "," + values[m][p][e] + "\n";
    }
    const table::History h = read_text(csv);
    ASSERT_EQ(h.read.errors, 0u);
    ASSERT_EQ(h.method_names, method_order);
    ASSERT_EQ(h.problem_names, problem_order);
    const auto method_of = [&](std::size_t k) { return std::stoul(method_order[k].substr(1)); };
    const auto problem_of = [&](std::size_t k) { return std::stoul(problem_order[k].substr(1)); };
    std::vector<std::uint64_t> dimensions;
    for (std::size_t q = 0; q < problem_order.size(); ++q) {
      dimensions.push_back(dimension[problem_of(q)]);
    }
    ASSERT_EQ(h.dimensions, dimensions);
    // f_L: the smallest finite value of any run of the problem.
    std::vector<double> lowest(problem_order.size(), INFINITY);
    for (std::size_t q = 0; q < problem_order.size(); ++q) {
      for (std::size_t m = 0; m < methods; ++m) {
        for (const std::string& v : values[m][problem_of(q)]) {
          const double x = std::strtod(v.c_str(), nullptr);
          if (std::isfinite(x)) lowest[q] = std::min(lowest[q], x);
        }
      }
    }
    ASSERT_EQ(h.lowest, lowest);
    // Each run keeps exactly the values below every finite value before them.
    for (const table::HistoryRun& run : h.runs) {
      std::vector<table::Improvement> expected;
      const auto& run_values = values[method_of(run.method)][problem_of(run.problem)];
      for (std::size_t e = 0; e < run_values.size(); ++e) {
        const double x = std::strtod(run_values[e].c_str(), nullptr);
        if (std::isfinite(x) && (expected.empty() || x < expected.back().value)) {
          expected.push_back({e + 1, x});
        }
      }
      ASSERT_EQ(run.improvements.size(), expected.size());
      for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(run.improvements[i].evaluation, expected[i].evaluation);
        EXPECT_EQ(run.improvements[i].value, expected[i].value);
      }
    }
    for (const double tau : tolerances) {
      const table::MeasureTable t = table::history_table(h, tau);
      ASSERT_EQ(t.methods(), method_order.size());
      ASSERT_EQ(t.problems, problem_order.size());
      for (std::size_t k = 0; k < t.methods(); ++k) {
        std::vector<double> kappas;  // the definition's, one per solved problem
        for (std::size_t q = 0; q < t.problems; ++q) {
          const auto& run_values = values[method_of(k)][problem_of(q)];
          double cost = F;
          const double start =
              run_values.empty() ? NAN : std::strtod(run_values[0].c_str(), nullptr);
          for (std::size_t e = 0; std::isfinite(start) && e < run_values.size(); ++e) {
            const double x = std::strtod(run_values[e].c_str(), nullptr);
            if (std::isfinite(x) && x <= lowest[q] + tau * (start - lowest[q])) {
              cost = static_cast<double>(e + 1);
              break;
            }
          }
          ASSERT_EQ(t.at(k, q), cost)
              << csv << "tau " << tau << " method " << k << " problem " << q;
          if (cost != F) kappas.push_back(cost / static_cast<double>(dimensions[q] + 1));
        }
        const curves::DataStaircase s =
            curves::data_staircase(t, dimensions, k, curves::largest_kappa(t, dimensions));
        std::set<double> steps(kappas.begin(), kappas.end());
        steps.insert(0.0);
        ASSERT_EQ(std::vector<double>(steps.begin(), steps.end()), s.kappa);
        for (std::size_t i = 0; i < s.kappa.size(); ++i) {
          const auto within = std::count_if(kappas.begin(), kappas.end(),
                                            [&](double kappa) { return kappa <= s.kappa[i]; });
          EXPECT_EQ(s.fraction[i], static_cast<double>(within) / static_cast<double>(t.problems));
        }
      }
    }
  }
}

}  // namespace
