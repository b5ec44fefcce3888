// The verdict on a ranking: the sign test against p-values summed exactly by
// hand, and built tables on which each check of separability fails in turn
// while the others pass.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "kit_support.h"
#include "profkit/verdict/verdict.h"

namespace {

using table::k_failed;

TEST(Verdict, SignTestAgainstExactSums) {
  // p = min(1, 2 sum_{i <= min} C(n, i) / 2^n), summed in exact fractions.
  struct Case {
    std::uint64_t wins, losses;
    double p;
  };
  const Case exact[] = {
      {0, 0, 1.0},
      {1, 0, 1.0},
      {0, 1, 1.0},
      {5, 0, 0.0625},
      {0, 6, 0.03125},
      {7, 1, 0.0703125},
      {13, 4, 0.049041748046875},  // just below the level
      {9, 8, 1.0},
      {31, 31, 1.0},
      {40, 22, 0.030015864349067292},  // 62: the last summed in integers
  };
  for (const Case& c : exact) {
    EXPECT_EQ(verdict::sign_test_p(c.wins, c.losses), c.p) << c.wins << "-" << c.losses;
  }
  const Case large[] = {
      {45, 18, 0.0008980471786680215},  // 63: the first from log-gamma
      {300, 200, 8.940066542253267e-06},
      {4500, 5500, 1.5510640568246042e-23},
      {1000, 0, 1.8665272370064378e-301},
  };
  for (const Case& c : large) {
    EXPECT_NEAR(verdict::sign_test_p(c.wins, c.losses) / c.p, 1.0, 1e-10)
        << c.wins << "-" << c.losses;
  }
  EXPECT_EQ(verdict::sign_test_p(0, 2000), 0.0);  // 2^-1999 is below every double
  EXPECT_EQ(verdict::sign_test_p(2000000, 2000001), 1.0);
}

// A table of methods A, B, C as kinds of problems: the measures of A, B and
// C (k_failed for a failure), repeated `times`.
struct Kind {
  double a, b, c;
  int times;
};

table::MeasureTable built(const std::vector<Kind>& kinds) {
  std::vector<std::vector<double>> rows(3);
  for (const Kind& k : kinds) {
    for (int i = 0; i < k.times; ++i) {
      rows[0].push_back(k.a);
      rows[1].push_back(k.b);
      rows[2].push_back(k.c);
    }
  }
  return kit_support::measure_table({"A", "B", "C"}, rows);
}

// Each table ranks A first and B second by MEAN VALUE at bound 2; exactly
// one check of A against B fails, or none.
TEST(Verdict, EachCheckFailsAlone) {
  struct Case {
    const char* what;
    std::vector<Kind> kinds;
    bool stable;
    std::string explanation;
  };
  const Case cases[] = {
      {"every check passes", {{1, 3, 6, 6}}, true, "separable"},
      // Without C, B is best on the four problems A fails and C solves best.
      {"leaving C out",
       {{3, 4, 50, 12}, {k_failed, 50, 4, 4}, {20, 50, 4, 1}},
       false,
       "not separable: B ahead without C"},
      // B's lead on the problem it wins counts only at the small bounds.
      {"the bound",
       {{3, 6, 1, 8}, {6, 4, 100, 1}, {10, 10, k_failed, 9}},
       false,
       "not separable: B ahead at bounds 0.5-1.5 only"},
      // A's one far-off problem outweighs B's small excesses on eight.
      {"EFFICIENCY",
       {{100, 20, 2, 1}, {4, 6, 20, 8}},
       false,
       "not separable: B ahead by EFFICIENCY"},
      // B's one problem far ahead decides replicates that draw it often.
      {"the interval",
       {{4, 1, 3, 1}, {3, 10, 4, 4}, {4, 6, k_failed, 4}},
       true,
       "not separable: interval includes 0"},
      // 7 wins and 1 loss: p = 2 x 9 / 256.
      {"the sign test",
       {{k_failed, 100, 2, 1}, {3, 10, 100, 7}},
       true,
       "not separable: sign test p = 0.0703"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const verdict::Verdict v = verdict::decide(built(c.kinds), {});
    ASSERT_EQ(v.order, (std::vector<std::size_t>{0, 1, 2}));
    const verdict::PairVerdict& pair = v.pairs[0];
    EXPECT_EQ(pair.stable, c.stable);
    EXPECT_EQ(pair.separable, c.explanation == "separable");
    EXPECT_EQ(pair.explanation, c.explanation);
    // The name spans mark every name, and only names.
    std::string marked = pair.explanation;
    for (const auto& [at, length] : pair.name_spans) {
      EXPECT_TRUE(std::regex_match(marked.substr(at, length), std::regex("[ABC]")));
      marked.replace(at, length, length, '*');
    }
    EXPECT_FALSE(std::regex_search(marked, std::regex("\\b[ABC]\\b"))) << marked;
    EXPECT_EQ(pair.interval_lower > 0, c.explanation.find("interval") == std::string::npos);
    EXPECT_LE(pair.interval_lower, pair.interval_upper);
  }
}

// Equal MEAN VALUEs are a tie, whatever the doubles' last bits: never separable.
TEST(Verdict, ExactTiesAreNeverSeparable) {
  // A and B solve the same problems with mirrored counts.
  const verdict::Verdict v = verdict::decide(
      kit_support::measure_table({"A", "B"}, {{1, 2, 1, 2, 1, 2}, {2, 1, 2, 1, 2, 1}}), {});
  ASSERT_EQ(v.pairs.size(), 1u);
  EXPECT_TRUE(v.pairs[0].tied);
  EXPECT_FALSE(v.pairs[0].stable);
  EXPECT_EQ(v.pairs[0].explanation,
            "not separable: tied by MEAN VALUE; interval includes 0; sign test p = 1");
}

}  // namespace
