// The bootstrap over problems: the index mapping, the interval ranks, the
// replicates against a recomputation of each resampled table with
// compute_figures(), the estimates, and the exact CSV and text of a small table.
#include "profkit/bootstrap/bootstrap.h"
#include "profkit/text/numbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kit_support.h"
#include "profkit/analysis/figures.h"

namespace {

using table::k_failed;

// Returns the listed words in turn and counts the calls.
struct ScriptedWords {
  std::vector<std::uint64_t> words;
  std::size_t calls = 0;
  std::uint64_t operator()() { return words[calls++ % words.size()]; }
};

TEST(DrawIndex, AcceptsTheTopBitsBelowTheBoundAndRejectsTheRest) {
  // With every pattern of the top bit_width(n - 1) bits in turn (low bits all
  // ones, which must not matter), n draws return 0 .. n - 1 in order and take
  // exactly the 2^bits words of one round plus the first of the next: every
  // pattern below n is one index, every other pattern is rejected. Since the
  // top bits of a uniform word are uniform, every index is equally likely.
  for (const std::uint64_t n : {2u, 3u, 4u, 5u, 8u, 9u, 17u, 100u, 1000u, 1025u}) {
    SCOPED_TRACE(n);
    const int bits = std::bit_width(n - 1);
    ScriptedWords g;
    for (std::uint64_t top = 0; top < (std::uint64_t{1} << bits); ++top) {
      g.words.push_back((top << (64 - bits)) | (~std::uint64_t{0} >> bits));
    }
    for (std::uint64_t i = 0; i < n; ++i) ASSERT_EQ(bootstrap::draw_index(g, n), i);
    ASSERT_EQ(g.calls, n);
    ASSERT_EQ(bootstrap::draw_index(g, n), 0u);
    EXPECT_EQ(g.calls, (std::size_t{1} << bits) + 1);
  }
}

TEST(DrawIndex, TableOfWords) {
  constexpr std::uint64_t k_max = std::numeric_limits<std::uint64_t>::max();
  struct Case {
    std::uint64_t n;
    std::vector<std::uint64_t> words;
    std::uint64_t index;
    std::size_t calls;
  };
  const std::vector<Case> cases = {
      {1, {k_max}, 0, 0},                                   // one problem: no word taken
      {2, {k_max}, 1, 1},                                   // top bit
      {2, {0x7fffffffffffffff}, 0, 1},                      //
      {5, {0xa000000000000000, 0x8000000000000000}, 4, 2},  // top 3 bits: 5 rejected, then 4
      {5, {0xbfffffffffffffff, 0x2000000000000000}, 1, 2},  // 5 rejected, then 1
      {5, {0xffffffffffffffff, 0xe000000000000000, 0x6000000000000000}, 3, 3},
      {17, {0x8800000000000000, 0x8000000000000000}, 16, 2},  // 17 rejected, 16
      {(std::uint64_t{1} << 32) + 1, {0x8000000080000000, 0x0000000080000000}, 1, 2},
      {(std::uint64_t{1} << 63) + 1, {k_max, 0x8000000000000000}, std::uint64_t{1} << 63, 2},
      {k_max, {k_max, k_max - 1}, k_max - 1, 2},  // all 64 bits; k_max itself is rejected
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    ScriptedWords g{c.words};
    EXPECT_EQ(bootstrap::draw_index(g, c.n), c.index);
    EXPECT_EQ(g.calls, c.calls);
  }
}

TEST(DrawIndex, InRangeAndEvenOnTheStandardGenerator) {
  // 100,000 draws per bound; the chi-square statistic stays below the 0.1 %
  // critical value of its degrees of freedom (fixed seed: no flakiness).
  struct Case {
    std::uint64_t n;
    double critical;
  };
  for (const Case c : {Case{2, 10.83}, Case{3, 13.82}, Case{5, 18.47}, Case{17, 39.25},
                       Case{33, 62.49}, Case{100, 148.2}}) {
    SCOPED_TRACE(c.n);
    std::mt19937_64 g(12345);
    std::vector<std::uint64_t> counts(c.n, 0);
    constexpr int k_draws = 100000;
    for (int i = 0; i < k_draws; ++i) {
      const std::uint64_t index = bootstrap::draw_index(g, c.n);
      ASSERT_LT(index, c.n);
      ++counts[index];
    }
    const double expected = static_cast<double>(k_draws) / static_cast<double>(c.n);
    double chi2 = 0.0;
    for (const std::uint64_t k : counts) {
      chi2 += (static_cast<double>(k) - expected) * (static_cast<double>(k) - expected) / expected;
    }
    EXPECT_LT(chi2, c.critical);
  }
}

TEST(DrawIndex, StandardGeneratorIsThePinnedOne) {
  // The C++ standard fixes the 10000th output of a default-seeded mt19937_64;
  // the draws below pin the whole path from seed to index.
  std::mt19937_64 fixed;
  fixed.discard(9999);
  EXPECT_EQ(fixed(), 9981545732273789042u);
  std::mt19937_64 g(1);
  std::vector<std::uint64_t> drawn;
  for (int i = 0; i < 10; ++i) drawn.push_back(bootstrap::draw_index(g, 10));
  EXPECT_EQ(drawn, (std::vector<std::uint64_t>{2, 2, 7, 0, 5, 7, 1, 9, 1, 8}));
}

TEST(PercentileRanks, FloorAndCeilingOfTheQuantilePositions) {
  struct Case {
    std::size_t n, lower, upper;
  };
  for (const Case c :
       {Case{1, 0, 0}, Case{2, 0, 1}, Case{40, 0, 39}, Case{41, 1, 39}, Case{42, 1, 40},
        Case{81, 2, 78}, Case{1000, 24, 975}, Case{1001, 25, 975}, Case{100000, 2499, 97500}}) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(bootstrap::lower_rank(c.n), c.lower);
    EXPECT_EQ(bootstrap::upper_rank(c.n), c.upper);
    EXPECT_EQ(static_cast<double>(c.lower), std::floor(0.025 * static_cast<double>(c.n - 1)));
  }
}

// Three methods, eight problems: ties, failures, a problem nobody solved,
// ratios exactly at powers of two.
table::MeasureTable small_table() {
  return kit_support::measure_table({"ALPHA", "BETA, \"B\"", "GAMMA"},
                                    {{10, 20, 5, k_failed, 7, 100, 3, k_failed},
                                     {10, 40, 10, 8, 14, 30, k_failed, k_failed},
                                     {40, 15, 5, 9, 6, 400, 3, k_failed}});
}

// Every replicate recomputed from scratch: the drawn problems as a table of
// their own, its figures by compute_figures(), sorted, picked at the ranks.
// The exact MEAN VALUE of method m times 21 x problems, from the profile
// values themselves (each a count over the problem count).
std::int64_t exact_sum(const analysis::Figures& f, std::size_t m, std::size_t problems) {
  std::int64_t sum = 0;
  for (const double v : f.profile[m]) sum += std::llround(v * static_cast<double>(problems));
  return sum;
}

// Replicates in which two methods tie exactly for first while their MEAN
// VALUE doubles differ, over every reference() call.
std::size_t g_rounded_ties = 0;

bootstrap::Result reference(const table::MeasureTable& t, const bootstrap::Options& o) {
  const std::size_t methods = t.methods();
  std::vector<std::vector<double>> means(methods), zero(methods), at_bound(methods);
  std::vector<double> first(methods, 0.0);
  std::mt19937_64 g(o.seed);
  for (std::size_t r = 0; r < o.replicates; ++r) {
    table::MeasureTable drawn;
    drawn.names = t.names;
    drawn.problems = t.problems;
    std::vector<std::size_t> picks;
    for (std::size_t i = 0; i < t.problems; ++i)
      picks.push_back(bootstrap::draw_index(g, t.problems));
    for (std::size_t m = 0; m < methods; ++m) {
      for (const std::size_t p : picks) drawn.measures.push_back(t.at(m, p));
    }
    const analysis::Figures f = analysis::compute_figures(drawn, o.bound);
    // First: the largest exact MEAN VALUE; every method tied for it counts.
    std::int64_t best = -1;
    for (std::size_t m = 0; m < methods; ++m) best = std::max(best, exact_sum(f, m, t.problems));
    double first_double = -1.0;
    for (std::size_t m = 0; m < methods; ++m) {
      means[m].push_back(f.mean_value[m]);
      zero[m].push_back(f.profile[m].front());
      at_bound[m].push_back(f.profile[m].back());
      if (exact_sum(f, m, t.problems) != best) continue;
      first[m] += 1.0;
      if (first_double >= 0.0 && f.mean_value[m] != first_double) ++g_rounded_ties;
      first_double = f.mean_value[m];
    }
  }
  const analysis::Figures whole = analysis::compute_figures(t, o.bound);
  bootstrap::Result result;
  for (std::size_t m = 0; m < methods; ++m) {
    const auto interval = [&](std::vector<double>& v, double estimate) {
      std::sort(v.begin(), v.end());
      return bootstrap::Interval{estimate, v[bootstrap::lower_rank(v.size())],
                                 v[bootstrap::upper_rank(v.size())]};
    };
    result.methods.push_back({interval(means[m], whole.mean_value[m]),
                              interval(zero[m], whole.profile[m].front()),
                              interval(at_bound[m], whole.profile[m].back()),
                              first[m] / static_cast<double>(o.replicates)});
  }
  return result;
}

void expect_same(const bootstrap::Interval& a, const bootstrap::Interval& b) {
  EXPECT_EQ(a.estimate, b.estimate);
  EXPECT_EQ(a.lower, b.lower);
  EXPECT_EQ(a.upper, b.upper);
}

// A pseudo-random table with repeated counts and failures.
table::MeasureTable random_table(std::size_t methods, std::size_t problems, unsigned seed) {
  std::mt19937 g(seed);
  table::MeasureTable t;
  for (std::size_t m = 0; m < methods; ++m) t.names.push_back("M" + std::to_string(m + 1));
  t.problems = problems;
  for (std::size_t i = 0; i < methods * problems; ++i) {
    const std::uint32_t u = g() % 64;
    t.measures.push_back(u < 5 ? k_failed : static_cast<std::int32_t>(1 + u % 24));
  }
  return t;
}

// Mostly failures, rows of uneven length: the pairs that count are kept
// without a byte per method and problem.
table::MeasureTable sparse_table(unsigned seed) {
  std::mt19937 g(seed);
  table::MeasureTable t;
  for (std::size_t m = 0; m < 12; ++m) {
    std::vector<double> row(g() % 41);
    for (double& v : row) v = g() % 10 == 0 ? static_cast<double>(1 + g() % 24) : k_failed;
    t.add_row("S" + std::to_string(m + 1), row.data(), row.size());
  }
  t.problems = 40;
  return t;
}

TEST(Run, EqualsARecomputationOfEveryResampledTable) {
  struct Case {
    table::MeasureTable t;
    bootstrap::Options o;
  };
  const std::vector<Case> cases = {
      {small_table(), {1, 1, 2.0}},  // one replicate: lower = upper = its figures
      {small_table(), {200, 7, 2.0}},
      {small_table(), {99, 3, 0.7}},
      {random_table(5, 60, 1), {300, 11, 2.0}},
      {random_table(4, 33, 2), {41, 0, 5.0}},
      {random_table(1, 9, 3), {50, 5, 1.0}},  // one method is always first
      {sparse_table(4), {120, 4, 2.0}},
      {sparse_table(5), {60, 9, 5.0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.t.methods() << "x" << c.t.problems << " seed " << c.o.seed
                                    << " replicates " << c.o.replicates);
    const bootstrap::Result got = bootstrap::run(c.t, c.o);
    const bootstrap::Result want = reference(c.t, c.o);
    ASSERT_EQ(got.methods.size(), want.methods.size());
    for (std::size_t m = 0; m < got.methods.size(); ++m) {
      SCOPED_TRACE(m);
      expect_same(got.methods[m].mean_value, want.methods[m].mean_value);
      expect_same(got.methods[m].rho_0, want.methods[m].rho_0);
      expect_same(got.methods[m].rho_bound, want.methods[m].rho_bound);
      EXPECT_EQ(got.methods[m].p_first, want.methods[m].p_first);
    }
  }
  // The cases hold exact ties that the doubles would have split.
  EXPECT_GT(g_rounded_ties, 0u);
}

TEST(Run, EstimatesAreTheFiguresOfTheWholeTableAndIntervalsLieInTheUnitRange) {
  for (const double bound : {0.5, 2.0, 3.3, 5.0}) {
    for (const std::uint64_t seed : {1u, 2u, 99u}) {
      const table::MeasureTable t = random_table(6, 80, static_cast<unsigned>(seed));
      const analysis::Figures f = analysis::compute_figures(t, bound);
      const bootstrap::Result r = bootstrap::run(t, {250, seed, bound});
      EXPECT_EQ(r.bound, f.bound);
      double first_total = 0.0;
      for (std::size_t m = 0; m < t.methods(); ++m) {
        const bootstrap::MethodResult& mr = r.methods[m];
        EXPECT_EQ(mr.mean_value.estimate, f.mean_value[m]);
        EXPECT_EQ(mr.rho_0.estimate, f.profile[m][0]);
        EXPECT_EQ(mr.rho_bound.estimate, f.profile[m][20]);
        for (const bootstrap::Interval& i : {mr.mean_value, mr.rho_0, mr.rho_bound}) {
          EXPECT_LE(0.0, i.lower);
          EXPECT_LE(i.lower, i.upper);
          EXPECT_LE(i.upper, 1.0);
        }
        EXPECT_LE(mr.rho_0.upper, mr.rho_bound.upper);
        EXPECT_LE(0.0, mr.p_first);
        EXPECT_LE(mr.p_first, 1.0);
        first_total += mr.p_first;
      }
      EXPECT_GE(first_total, 1.0);  // some method is first in every replicate
    }
  }
}

TEST(Run, NoProblemGivesNotANumberAndNoMethodGivesTheHeaderAlone) {
  const table::MeasureTable empty = kit_support::measure_table({"A", "B"}, {{}, {}});
  std::ostringstream csv;
  bootstrap::write_csv(csv, empty, bootstrap::run(empty, {}));
  EXPECT_EQ(csv.str(),
            "method_number,method,statistic,estimate,lower,upper\r\n"
            "1,A,mean_value,nan,nan,nan\r\n1,A,rho_0,nan,nan,nan\r\n"
            "1,A,rho_bound,nan,nan,nan\r\n1,A,p_first,nan,nan,nan\r\n"
            "2,B,mean_value,nan,nan,nan\r\n2,B,rho_0,nan,nan,nan\r\n"
            "2,B,rho_bound,nan,nan,nan\r\n2,B,p_first,nan,nan,nan\r\n");
  const table::MeasureTable none;
  std::ostringstream header;
  bootstrap::write_csv(header, none, bootstrap::run(none, {}));
  EXPECT_EQ(header.str(), "method_number,method,statistic,estimate,lower,upper\r\n");
}

std::string golden(const std::string& name) {
  std::ifstream in(std::string(PROFKIT_TEST_DATA) + "/bootstrap/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Output, GoldenCsvAndTextOfASmallTable) {
  // Pins the generator, the index mapping, the ranks and the number form:
  // these bytes must come out on every platform and build.
  const table::MeasureTable t = small_table();
  const bootstrap::Result r = bootstrap::run(t, {100, 7, 2.0});
  std::ostringstream csv, text;
  bootstrap::write_csv(csv, t, r);
  bootstrap::write_text(text, t, r);
  EXPECT_EQ(csv.str(), golden("small_seed7.csv"));
  EXPECT_EQ(text.str(), golden("small_seed7.txt"));
}

TEST(Output, TextShowsControlCharactersOfNamesEscaped) {
  const table::MeasureTable t = kit_support::measure_table({"A\tB\x1b[2J", "C"}, {{1}, {2}});
  std::ostringstream text;
  bootstrap::write_text(text, t, bootstrap::run(t, {1, 1, 2.0}));
  EXPECT_NE(text.str().find("\n1  A\\x09B\\x1B[2J  1.0000 [1.0000, 1.0000]"), std::string::npos)
      << text.str();
  EXPECT_EQ(text.str().find('\x1b'), std::string::npos);
}

TEST(Output, NumbersInShortestRoundTripFormAndFixedFourDecimals) {
  struct Case {
    double value;
    const char* shortest;
    const char* fixed;
  };
  for (const Case c : {Case{0.1, "0.1", "0.1000"}, Case{1.0, "1", "1.0000"},
                       Case{0.738095238095238, "0.738095238095238", "0.7381"},
                       Case{2.0 / 3.0, "0.6666666666666666", "0.6667"},
                       Case{0.00005, "5e-05", "0.0001"}, Case{0.0, "0", "0.0000"}}) {
    std::string s;
    textkit::append_shortest(s, c.value);
    EXPECT_EQ(s, c.shortest);
    EXPECT_EQ(textkit::fixed(c.value, 4), c.fixed);
  }
  // A NaN of either sign is "nan" in shortest form, "NaN" as F10.4 shows it.
  for (const double nan :
       {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(textkit::shortest(nan), "nan");
    EXPECT_EQ(textkit::fixed(nan, 4), "NaN");
  }
}

}  // namespace
