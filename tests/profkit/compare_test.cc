// Pairwise wins, ties and losses and the stability findings, on tables built
// by hand so that every count, figure and sentence is known in advance.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "kit_support.h"
#include "profkit/analysis/figures.h"
#include "profkit/compare/pairs.h"
#include "profkit/compare/stability.h"
#include "profkit/text/escape.h"
#include "profkit/text/numbers.h"

namespace {

using table::k_failed;
using table::MeasureTable;

// wins-ties-losses of a against b.
std::string verdict(const compare::PairCounts& c, std::size_t a, std::size_t b) {
  return std::to_string(c.wins(a, b)) + "-" + std::to_string(c.ties(a, b)) + "-" +
         std::to_string(c.losses(a, b));
}

// Failures (0) on either side, both sides, equal counts, and counts 2 and 5
// apart on 10/12, 100/104 and 95.
MeasureTable hand_table() {
  return kit_support::measure_table({"A", "B", "C"}, {{10, 5, k_failed, 7, k_failed, 100},
                                                      {12, 5, 3, k_failed, k_failed, 104},
                                                      {10, 6, k_failed, 7, 2, 95}});
}

TEST(Pairs, HandTableWithFailuresAndTiesAtSeveralTolerances) {
  const MeasureTable t = hand_table();
  struct Case {
    double tolerance;
    std::string ab, ac, bc;
  };
  const Case cases[] = {
      // A-B: wins 10<12, solved vs failed, 100<104; ties 5=5, both failed; loss failed vs 3.
      {0.0, "3-2-1", "1-3-2", "2-0-4"},
      // 100 and 104 are within 5% of 100; 10 and 12 are not within 5% of 10.
      {0.05, "2-3-1", "1-3-2", "2-0-4"},
      // |10 - 12| = 2 <= 0.2 x 10 and |5 - 6| = 1 <= 0.2 x 5: the bound itself ties.
      {0.2, "1-4-1", "0-5-1", "1-3-2"},
      // Every two solved counts tie; solved against failed still wins.
      {std::numeric_limits<double>::infinity(), "1-4-1", "0-5-1", "1-3-2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tolerance);
    const compare::PairCounts counts = compare::count_pairs(t, c.tolerance);
    EXPECT_EQ(verdict(counts, 0, 1), c.ab);
    EXPECT_EQ(verdict(counts, 0, 2), c.ac);
    EXPECT_EQ(verdict(counts, 1, 2), c.bc);
    // The reverse pair mirrors wins and losses.
    for (std::size_t a = 0; a < 3; ++a) {
      for (std::size_t b = 0; b < 3; ++b) {
        if (a == b) continue;
        EXPECT_EQ(counts.wins(a, b), counts.losses(b, a));
        EXPECT_EQ(counts.ties(a, b), counts.ties(b, a));
        EXPECT_EQ(counts.wins(a, b) + counts.ties(a, b) + counts.losses(a, b), 6u);
      }
    }
  }
}

TEST(Pairs, OneProblemVerdictsTieRelativeToTheSmallerCount) {
  // (count of A, count of B, tolerance) -> verdict of A against B.
  const std::tuple<std::int32_t, std::int32_t, double, std::string> cases[] = {
      {1, 2, 0.0, "1-0-0"},
      {2, 1, 0.0, "0-0-1"},
      {7, 7, 0.0, "0-1-0"},
      {k_failed, k_failed, 0.0, "0-1-0"},
      {k_failed, 1, 0.0, "0-0-1"},
      {2147483647, k_failed, 0.0, "1-0-0"},
      {2147483647, 2147483646, 0.0, "0-0-1"},
      {8, 10, 0.2, "1-0-0"},  // 2 > 0.2 x 8, although 2 <= 0.2 x 10
      {10, 8, 0.2, "0-0-1"},
      {8, 10, 0.25, "0-1-0"},
      {k_failed, 5, 1e300, "0-0-1"},  // a failure never ties with a count
      {2147483647, 1, 1e300, "0-1-0"},
  };
  for (const auto& [a, b, tolerance, expected] : cases) {
    SCOPED_TRACE(std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(tolerance));
    EXPECT_EQ(verdict(compare::count_pairs(
                          kit_support::measure_table(
                              {"A", "B"}, {{static_cast<double>(a)}, {static_cast<double>(b)}}),
                          tolerance),
                      0, 1),
              expected);
  }
}

TEST(Pairs, BlocksOfProblemsAddUpOnALargeTable) {
  // 3 x 10,001 problems crosses the blocks of 4,096; counts repeat every few
  // problems so that wins, ties and losses each have a known total.
  const std::size_t n = 10001;
  std::vector<std::vector<double>> rows(3, std::vector<double>(n));
  for (std::size_t p = 0; p < n; ++p) {
    rows[0][p] = static_cast<std::int32_t>(p % 3 == 0 ? k_failed : 5);          // fails on p%3==0
    rows[1][p] = static_cast<std::int32_t>(p % 2 == 0 ? 5 : 6);                 // 5 or 6
    rows[2][p] = static_cast<std::int32_t>(p % 5 == 0 ? k_failed : 4 + p % 3);  // 4, 5 or 6
  }
  const compare::PairCounts c =
      compare::count_pairs(kit_support::measure_table({"A", "B", "C"}, rows), 0.0);
  // A vs B: A fails (loss) on p%3==0 (3,334 problems); else ties on even p
  // (p%6 2 or 4: 3,334), wins on odd p (p%6 1 or 5: 3,333).
  EXPECT_EQ(c.wins(0, 1), 3333u);
  EXPECT_EQ(c.ties(0, 1), 3334u);
  EXPECT_EQ(c.losses(0, 1), 3334u);
  // A vs C: ties where both fail (p%15==0: 667) or both count 5 (p%3==1 and
  // p%5!=0: 2,667); wins where C fails or counts 6 (667 + 3,333); losses where
  // only A fails (3,334 - 667).
  EXPECT_EQ(c.wins(0, 2), 4000u);
  EXPECT_EQ(c.ties(0, 2), 3334u);
  EXPECT_EQ(c.losses(0, 2), 2667u);
}

TEST(Pairs, CsvAndTextOfTheHandTable) {
  const MeasureTable t =
      kit_support::measure_table({"A,1", "B \"2\"", "CC"}, {{10, 5, k_failed, 7, k_failed, 100},
                                                            {12, 5, 3, k_failed, k_failed, 104},
                                                            {10, 6, k_failed, 7, 2, 95}});
  const compare::PairCounts c = compare::count_pairs(t, 0.05);
  std::ostringstream csv, text;
  compare::write_pairs_csv(csv, t.names, c);
  compare::write_pairs_text(text, t.names, c);
  EXPECT_EQ(csv.str(),
            "method_a_number,method_a,method_b_number,method_b,wins,ties,losses\r\n"
            "1,\"A,1\",2,\"B \"\"2\"\"\",2,3,1\r\n"
            "1,\"A,1\",3,CC,1,3,2\r\n"
            "2,\"B \"\"2\"\"\",1,\"A,1\",1,3,2\r\n"
            "2,\"B \"\"2\"\"\",3,CC,2,0,4\r\n"
            "3,CC,1,\"A,1\",2,3,1\r\n"
            "3,CC,2,\"B \"\"2\"\"\",4,0,2\r\n");
  EXPECT_EQ(text.str(),
            "Wins-ties-losses of the row method against the column method on 6 problems (tie "
            "tolerance 0.05).\n"
            "              1      2      3\n"
            "1  A,1        -  2-3-1  1-3-2\n"
            "2  B \"2\"  1-3-2      -  2-0-4\n"
            "3  CC     2-3-1  4-0-2      -\n");
}

TEST(Pairs, TablesWithFewerThanTwoMethodsHaveNoPairs) {
  for (std::size_t methods : {0u, 1u}) {
    MeasureTable t;
    t.problems = 2;
    for (std::size_t m = 0; m < methods; ++m) {
      t.names.push_back("ONLY");
      t.measures.insert(t.measures.end(), {1, 2});
    }
    const compare::PairCounts c = compare::count_pairs(t, 0.0);
    std::ostringstream csv, text;
    compare::write_pairs_csv(csv, t.names, c);
    compare::write_pairs_text(text, t.names, c);
    EXPECT_EQ(csv.str(), "method_a_number,method_a,method_b_number,method_b,wins,ties,losses\r\n");
    EXPECT_EQ(text.str(),
              "Wins-ties-losses of the row method against the column method on 2 problems (tie "
              "tolerance 0).\nNo pairs: the table has " +
                  std::string(methods == 1 ? "1 method.\n" : "0 methods.\n"));
  }
}

// B is ahead of C by MEAN VALUE 0.5000 to 0.4405; without A, C is ahead 0.6905
// to 0.6071 (A is alone best on the last problem, where C is nearer to B).
MeasureTable leave_one_out_table() {
  return kit_support::measure_table(
      {"A", "B", "C"},
      {{k_failed, k_failed, k_failed, 1}, {k_failed, 1, 3, 20}, {k_failed, 1, 4, 9}});
}

// B is ahead of A by MEAN VALUE at bounds 0.5 and 1.0, tied at 1.5, behind
// from 2.0 up: B is best on three problems and fails the fourth.
MeasureTable bound_table() {
  return kit_support::measure_table({"A", "B"}, {{3, 3, 1, 5}, {2, 2, k_failed, 4}});
}

TEST(Stability, LeavingOneMethodOutSwapsTwoOthers) {
  const MeasureTable t = leave_one_out_table();
  const compare::StabilityFindings s = compare::find_instabilities(t, 2.0);
  ASSERT_EQ(s.findings.size(), 3u);
  const compare::Finding& f = s.findings[0];
  EXPECT_EQ(f.kind, compare::FindingKind::leave_one_out);
  EXPECT_EQ(f.a, 1u);
  EXPECT_EQ(f.b, 2u);
  EXPECT_EQ(f.left_out, 0u);
  EXPECT_EQ(f.value_a, 42.0 / 84.0);  // 21 + 21 + 0 profile points of 4 problems, over 21
  EXPECT_EQ(f.value_b, analysis::compute_figures(t, 2.0).mean_value[2]);
  EXPECT_EQ(f.sentence,
            "With every method, method 2 (B) is ahead of method 3 (C) by MEAN VALUE, 0.5000 to "
            "0.4405; without method 1 (A), method 3 (C) is ahead, 0.6905 to 0.6071.");
  EXPECT_EQ(textkit::fixed(f.reversed_a, 4), "0.6071");
  EXPECT_EQ(textkit::fixed(f.reversed_b, 4), "0.6905");

  EXPECT_EQ(s.findings[1].kind, compare::FindingKind::bound);
  EXPECT_EQ(s.findings[1].sentence,
            "By MEAN VALUE, method 2 (B) is ahead of method 3 (C) at bounds 0.5, 1.0, 1.5, 2.0, "
            "2.5, 3.0 and 3.5, and method 3 (C) is ahead at bounds 4.0, 4.5 and 5.0.");
  EXPECT_EQ(s.findings[2].kind, compare::FindingKind::efficiency);
  EXPECT_EQ(s.findings[2].sentence,
            "Method 2 (B) is ahead of method 3 (C) by MEAN VALUE, 0.5000 to 0.4405, but behind "
            "by EFFICIENCY, 0.8630 to 1.0000.");
  EXPECT_EQ(s.findings[2].reversed_b, 1.0);
  EXPECT_FALSE(s.stable());
  // Where each sentence names a method, in order.
  const auto names_at = [](const compare::Finding& f) {
    std::string names;
    for (const auto& [at, length] : f.name_spans) names += f.sentence.substr(at, length);
    return names;
  };
  EXPECT_EQ(names_at(s.findings[0]), "BCAC");
  EXPECT_EQ(names_at(s.findings[1]), "BCC");
  EXPECT_EQ(names_at(s.findings[2]), "BC");
}

TEST(Stability, TheBoundSwapsTwoMethodsWithATieBetween) {
  const compare::StabilityFindings s = compare::find_instabilities(bound_table(), 2.0);
  ASSERT_EQ(s.findings.size(), 1u);
  const compare::Finding& f = s.findings[0];
  EXPECT_EQ(f.kind, compare::FindingKind::bound);
  EXPECT_EQ(f.a, 1u);
  EXPECT_EQ(f.b, 0u);
  EXPECT_EQ(f.order_at_bound, (std::vector<int>{1, 1, 0, -1, -1, -1, -1, -1, -1, -1}));
  EXPECT_EQ(f.sentence,
            "By MEAN VALUE, method 2 (B) is ahead of method 1 (A) at bounds 0.5 and 1.0, method 1 "
            "(A) is ahead at bounds 2.0, 2.5, 3.0, 3.5, 4.0, 4.5 and 5.0, and they are tied at "
            "bound 1.5.");
  // The tie at 1.5 is exact: 26 + 16 profile points of A against 42 of B.
  const analysis::Figures at_1_5 = analysis::compute_figures(bound_table(), 1.5);
  EXPECT_EQ(at_1_5.mean_value[0], at_1_5.mean_value[1]);
}

TEST(Stability, TextListsEveryKindAndSaysWhenAKindHasNoFinding) {
  std::ostringstream loo, bound;
  compare::write_stability_text(loo, compare::find_instabilities(leave_one_out_table(), 2.0));
  compare::write_stability_text(bound, compare::find_instabilities(bound_table(), 4.1));
  EXPECT_EQ(
      loo.str(),
      "Stability of the MEAN VALUE ranking: 3 methods, 4 problems, bound 2.0.\n"
      "Leaving one method out:\n"
      "  With every method, method 2 (B) is ahead of method 3 (C) by MEAN VALUE, 0.5000 to "
      "0.4405; without method 1 (A), method 3 (C) is ahead, 0.6905 to 0.6071.\n"
      "Changing the bound from 0.5 to 5.0:\n"
      "  By MEAN VALUE, method 2 (B) is ahead of method 3 (C) at bounds 0.5, 1.0, 1.5, 2.0, "
      "2.5, 3.0 and 3.5, and method 3 (C) is ahead at bounds 4.0, 4.5 and 5.0.\n"
      "EFFICIENCY against MEAN VALUE (EFFICIENCYs within a relative 1e-9 of each other tie):\n"
      "  Method 2 (B) is ahead of method 3 (C) by MEAN VALUE, 0.5000 to 0.4405, but behind "
      "by EFFICIENCY, 0.8630 to 1.0000.\n");
  // 4.1 is normalised up to 4.5, as profcmp does.
  EXPECT_EQ(
      bound.str(),
      "Stability of the MEAN VALUE ranking: 2 methods, 4 problems, bound 4.5.\n"
      "Leaving one method out:\n"
      "  No pair changes order when one other method is left out.\n"
      "Changing the bound from 0.5 to 5.0:\n"
      "  By MEAN VALUE, method 2 (B) is ahead of method 1 (A) at bounds 0.5 and 1.0, method "
      "1 (A) is ahead at bounds 2.0, 2.5, 3.0, 3.5, 4.0, 4.5 and 5.0, and they are tied at "
      "bound 1.5.\n"
      "EFFICIENCY against MEAN VALUE (EFFICIENCYs within a relative 1e-9 of each other tie):\n"
      "  EFFICIENCY orders every pair as MEAN VALUE does.\n");
}

TEST(Stability, NothingChangesIsOneSentence) {
  const std::string nothing =
      "Nothing changes: no pair of methods changes order by MEAN VALUE when one other method is "
      "left out or between the bounds 0.5 and 5.0, and EFFICIENCY orders every pair as MEAN "
      "VALUE does.\n";
  struct Case {
    const char* what;
    MeasureTable t;
    std::string heading;
  };
  const Case cases[] = {
      {"dominated",
       kit_support::measure_table({"X", "Y", "Z"}, {{1, 1, 1}, {2, 2, 2}, {3, 3, k_failed}}),
       "3 methods, 3 problems, bound 2.0"},
      {"one method", kit_support::measure_table({"X"}, {{5, 6}}),
       "1 method, 2 problems, bound 2.0"},
      // No problem: every MEAN VALUE is NaN, which orders nothing.
      {"no problem", kit_support::measure_table({"X", "Y"}, {{}, {}}),
       "2 methods, 0 problems, bound 2.0"},
      {"no method", kit_support::measure_table({}, {}), "0 methods, 0 problems, bound 2.0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const compare::StabilityFindings s = compare::find_instabilities(c.t, 2.0);
    EXPECT_TRUE(s.stable());
    std::ostringstream text, csv;
    compare::write_stability_text(text, s);
    compare::write_stability_csv(csv, c.t.names, s);
    EXPECT_EQ(text.str(), "Stability of the MEAN VALUE ranking: " + c.heading + ".\n" + nothing);
    EXPECT_EQ(csv.str(),
              "kind,method_a_number,method_a,method_b_number,method_b,left_out_number,left_out,"
              "a_ahead_at,b_ahead_at,tied_at,value_a,value_b,reversed_a,reversed_b,sentence\r\n");
  }
}

TEST(Stability, FindingsBeyondTheLimitAreCountedAndSaid) {
  const compare::StabilityFindings s = compare::find_instabilities(leave_one_out_table(), 2.0, 0);
  EXPECT_TRUE(s.findings.empty());
  EXPECT_EQ(s.omitted[0], 1u);
  EXPECT_EQ(s.omitted[1], 1u);
  EXPECT_EQ(s.omitted[2], 1u);
  EXPECT_FALSE(s.stable());
  std::ostringstream text, csv;
  compare::write_stability_text(text, s);
  compare::write_stability_csv(csv, {"A", "B", "C"}, s);
  EXPECT_EQ(
      text.str(),
      "Stability of the MEAN VALUE ranking: 3 methods, 4 problems, bound 2.0.\n"
      "Leaving one method out:\n"
      "  1 more leave_one_out finding is not listed.\n"
      "Changing the bound from 0.5 to 5.0:\n"
      "  1 more bound finding is not listed.\n"
      "EFFICIENCY against MEAN VALUE (EFFICIENCYs within a relative 1e-9 of each other tie):\n"
      "  1 more efficiency finding is not listed.\n");
  EXPECT_EQ(csv.str(),
            "kind,method_a_number,method_a,method_b_number,method_b,left_out_number,left_out,"
            "a_ahead_at,b_ahead_at,tied_at,value_a,value_b,reversed_a,reversed_b,sentence\r\n"
            "omitted,,,,,,,,,,,,,,1 more leave_one_out finding is not listed.\r\n"
            "omitted,,,,,,,,,,,,,,1 more bound finding is not listed.\r\n"
            "omitted,,,,,,,,,,,,,,1 more efficiency finding is not listed.\r\n");
}

// The exact MEAN VALUEs of every method times 21 x problems, from the profile
// values themselves (each a count over the problem count).
std::vector<std::int64_t> exact_sums(const analysis::Figures& f, std::size_t problems) {
  std::vector<std::int64_t> sums;
  for (const std::vector<double>& profile : f.profile) {
    std::int64_t sum = 0;
    for (const double v : profile) sum += std::llround(v * static_cast<double>(problems));
    sums.push_back(sum);
  }
  return sums;
}

// Small deterministic tables with many ties and failures: the leave-one-out
// findings and their MEAN VALUEs equal those of recomputing the figures on
// the table without each method (the findings correct the whole table's
// profile counts only where the best measure changes), and the bound findings
// those of recomputing at each bound. Orders are exact: MEAN VALUEs whose
// count sums are equal tie, however their doubles round, so no reversal is
// reported for them.
TEST(Stability, LeaveOneOutAndBoundsAgreeWithExactRecomputation) {
  std::uint64_t state = 12345;
  auto next = [&state](std::uint64_t n) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::int32_t>((state >> 33) % n);
  };
  std::size_t total = 0, bound_total = 0, rounded_ties = 0;
  const auto order = [](std::int64_t x, std::int64_t y) { return x > y ? 1 : x < y ? -1 : 0; };
  for (int trial = 0; trial < 200; ++trial) {
    const std::size_t methods = 3 + static_cast<std::size_t>(next(3));
    const std::size_t problems = 1 + static_cast<std::size_t>(next(8));
    MeasureTable t;
    t.problems = problems;
    for (std::size_t m = 0; m < methods; ++m) {
      t.names.push_back(std::string(1, static_cast<char>('A' + m)));
      for (std::size_t p = 0; p < problems; ++p) t.measures.push_back(next(7));  // 0: failure
    }
    const compare::StabilityFindings s = compare::find_instabilities(t, 2.0);
    std::vector<std::tuple<std::size_t, std::size_t, std::size_t>> found, expected;
    for (const compare::Finding& f : s.findings) {
      if (f.kind == compare::FindingKind::leave_one_out) found.emplace_back(f.left_out, f.a, f.b);
    }
    const analysis::Figures whole = analysis::compute_figures(t, 2.0);
    const std::vector<std::int64_t> all = exact_sums(whole, problems);
    for (std::size_t left = 0; left < methods; ++left) {
      MeasureTable reduced;
      reduced.problems = problems;
      std::vector<std::size_t> kept;
      for (std::size_t m = 0; m < methods; ++m) {
        if (m == left) continue;
        kept.push_back(m);
        reduced.names.push_back(t.names[m]);
        for (std::size_t p = 0; p < problems; ++p) reduced.measures.push_back(t.at(m, p));
      }
      const analysis::Figures reduced_figures = analysis::compute_figures(reduced, 2.0);
      const std::vector<double> r = reduced_figures.mean_value;
      const std::vector<std::int64_t> exact = exact_sums(reduced_figures, problems);
      // The figures without the method are exactly those of the smaller table.
      auto reduced_index = [left](std::size_t m) { return m < left ? m : m - 1; };
      for (const compare::Finding& f : s.findings) {
        if (f.kind != compare::FindingKind::leave_one_out || f.left_out != left) continue;
        EXPECT_EQ(f.reversed_a, r[reduced_index(f.a)]);
        EXPECT_EQ(f.reversed_b, r[reduced_index(f.b)]);
      }
      for (std::size_t i = 0; i < kept.size(); ++i) {
        for (std::size_t j = i + 1; j < kept.size(); ++j) {
          const std::size_t a = kept[i], b = kept[j];
          if (exact[i] == exact[j] && r[i] != r[j]) ++rounded_ties;
          if (all[a] > all[b] && exact[j] > exact[i]) expected.emplace_back(left, a, b);
          if (all[b] > all[a] && exact[i] > exact[j]) expected.emplace_back(left, b, a);
        }
      }
    }
    EXPECT_EQ(found, expected) << "trial " << trial;
    total += found.size();

    std::vector<std::vector<std::int64_t>> at_bound;
    std::vector<std::vector<double>> doubles_at_bound;
    for (std::size_t i = 0; i < compare::k_bound_count; ++i) {
      const analysis::Figures f = analysis::compute_figures(t, compare::bound_at(i));
      at_bound.push_back(exact_sums(f, problems));
      doubles_at_bound.push_back(f.mean_value);
    }
    for (const compare::Finding& f : s.findings) {
      if (f.kind != compare::FindingKind::bound) continue;
      ++bound_total;
      for (std::size_t i = 0; i < compare::k_bound_count; ++i) {
        EXPECT_EQ(f.order_at_bound[i], order(at_bound[i][f.a], at_bound[i][f.b]));
      }
    }
    for (std::size_t a = 0; a < methods; ++a) {
      for (std::size_t b = a + 1; b < methods; ++b) {
        bool ahead = false, behind = false;
        for (std::size_t i = 0; i < compare::k_bound_count; ++i) {
          const int o = order(at_bound[i][a], at_bound[i][b]);
          ahead = ahead || o > 0;
          behind = behind || o < 0;
          if (o == 0 && doubles_at_bound[i][a] != doubles_at_bound[i][b]) ++rounded_ties;
        }
        const bool listed =
            std::any_of(s.findings.begin(), s.findings.end(), [&](const compare::Finding& f) {
              return f.kind == compare::FindingKind::bound && std::min(f.a, f.b) == a &&
                     std::max(f.a, f.b) == b;
            });
        EXPECT_EQ(listed, ahead && behind) << "trial " << trial << " pair " << a << "," << b;
      }
    }
  }
  EXPECT_GT(total, 10u);  // the tables do produce reversals
  EXPECT_GT(bound_total, 10u);
  // ... and MEAN VALUEs that tie exactly while their doubles differ.
  EXPECT_GT(rounded_ties, 0u);
}

// Without C, A and B have the same exact MEAN VALUE, 100/126, though the
// double of B's is larger in the last bits: leaving C out is no reversal of
// A ahead of B, and nothing calls B ahead.
TEST(Stability, ExactTieWithoutAMethodIsNoReversal) {
  const MeasureTable t = kit_support::measure_table(
      {"A", "B", "C"}, {{8, 3, 2, 8, 8, 6}, {6, 12, 1, 5, 12, 5}, {12, 4, 12, 1, 6, 3}});
  const MeasureTable without_c =
      kit_support::measure_table({"A", "B"}, {{8, 3, 2, 8, 8, 6}, {6, 12, 1, 5, 12, 5}});
  const analysis::Figures reduced = analysis::compute_figures(without_c, 2.0);
  ASSERT_EQ(exact_sums(reduced, 6), (std::vector<std::int64_t>{100, 100}));
  ASSERT_LT(reduced.mean_value[0], reduced.mean_value[1]);  // the doubles differ
  const compare::StabilityFindings s = compare::find_instabilities(t, 2.0);
  for (const compare::Finding& f : s.findings) {
    EXPECT_NE(f.kind, compare::FindingKind::leave_one_out) << f.sentence;
  }
  std::ostringstream text;
  compare::write_stability_text(text, s);
  EXPECT_EQ(text.str().find("0.7937 to 0.7937"), std::string::npos) << text.str();
}

TEST(Stability, MethodLabelsAndCsvQuoting) {
  EXPECT_EQ(compare::method_label({"QUASI-NEWTON", ""}, 0), "method 1 (QUASI-NEWTON)");
  EXPECT_EQ(compare::method_label({"QUASI-NEWTON", ""}, 1), "method 2");
  EXPECT_EQ(textkit::csv_field("plain"), "plain");
  EXPECT_EQ(textkit::csv_field("a,b"), "\"a,b\"");
  EXPECT_EQ(textkit::csv_field("say \"x\""), "\"say \"\"x\"\"\"");
  EXPECT_EQ(textkit::fixed(0.44047619047619047, 4), "0.4405");
  EXPECT_EQ(textkit::fixed(0.00005, 4), "0.0001");  // the binary value is just above 0.00005
  EXPECT_EQ(textkit::fixed(std::numeric_limits<double>::quiet_NaN(), 4), "NaN");
  EXPECT_EQ(textkit::shortest(0.1), "0.1");
  EXPECT_EQ(textkit::shortest(1.0), "1");
}

}  // namespace
