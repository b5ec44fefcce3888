// compute_profiles on real results tables in temporary directories: the report
// bytes, the tables it leaves, and the stops on bad or oversized input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "profcmp/profiles.h"
#include "records/record_format.h"
#include "records/units.h"
#include "test_support.h"

namespace {

using test_support::read_file;
using test_support::ScopedChdir;
using test_support::TempDir;
using test_support::write_file;

constexpr double k_nan = std::numeric_limits<double>::quiet_NaN();
constexpr double k_inf = std::numeric_limits<double>::infinity();

std::string padded(std::string_view text, std::size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

using test_support::i10;

std::string method_header(std::string_view name) {
  return test_support::method_record(name);
}

// A problem record with the five counts in their I10 fields.
std::string problem(long long nit, long long nfv, long long nfg, long long ncgr, long long time) {
  return test_support::table_record("  P", "", {nit, nfv, nfg, ncgr, time});
}

// A problem record with only the NFV field (columns 33 to 42) filled.
std::string nfv(long long value) {
  return std::string(32, ' ') + i10(value) + "\r\n";
}

// Opens units 7 and 8 in `dir` as the run does, computes, closes and returns
// the report's bytes. `bound` receives the normalised bound.
std::string compute_in(const TempDir& dir, const std::string& table, std::string_view criterion,
                       double& bound, bool* units_left_open = nullptr) {
  ScopedChdir in_dir(dir.path());
  write_file(dir.file("P.PER"), table);
  records::open_unit(7, "P.PER", records::OpenStatus::unknown, records::BlankMode::null);
  records::open_unit(8, "P.PRO", records::OpenStatus::unknown, records::BlankMode::null);
  profiles::compute_profiles(criterion, bound);
  if (units_left_open != nullptr) {
    *units_left_open = records::unit_connected(7) && records::unit_connected(8);
  }
  records::close_unit(8);
  records::close_unit(7);
  return read_file(dir.file("P.PRO"));
}

std::string compute_in(const TempDir& dir, const std::string& table,
                       std::string_view criterion = "NFV ") {
  double bound = 2.0;
  return compute_in(dir, table, criterion, bound);
}

std::string header_record(std::string_view criterion, std::string_view bound, std::string_view step,
                          std::string_view count) {
  return "PERFORMANCE PROFILES:   " + std::string(criterion) + "   BOUND =" + std::string(bound) +
         "   STEP =" + std::string(step) + "   NMETH =" + std::string(count) + "\r\n";
}

std::string method_record(std::string_view number, std::string_view name, std::string_view mean,
                          std::string_view efficiency) {
  return "METHOD   " + std::string(number) + "   " + padded(name, 14) +
         "   MEAN VALUE =" + std::string(mean) + "   EFFICIENCY =" + std::string(efficiency) +
         "\r\n";
}

std::string repeated(std::string_view field, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += field;
  return out;
}

// The three profile records of 21 values: `low` at the first `low_count`
// abscissae, `high` at the rest.
std::string profile_records(std::string_view low, int low_count, std::string_view high) {
  std::string values = repeated(low, low_count) + repeated(high, 21 - low_count);
  return values.substr(0, 80) + "\r\n" + values.substr(80, 80) + "\r\n" + values.substr(160) +
         "\r\n";
}

const std::string k_blank = " \r\n";

TEST(ComputeProfiles, WorkedExampleByteForByte) {
  TempDir dir;
  const std::string table =
      method_header("M1") + nfv(10) + nfv(30) + method_header("M2") + nfv(20) + nfv(15);
  double bound = 2.0;
  bool units_left_open = false;
  const std::string report = compute_in(dir, table, "NFV ", bound, &units_left_open);

  const std::string expected =
      "PERFORMANCE PROFILES:   NFV    BOUND =    2.0000   STEP =    0.1000   NMETH =  2\r\n"
      " \r\n"
      "METHOD     1   M1               MEAN VALUE =    0.7381   EFFICIENCY =    1.0000\r\n"
      " \r\n"
      "    0.5000    0.5000    0.5000    0.5000    0.5000    0.5000    0.5000    0.5000\r\n"
      "    0.5000    0.5000    0.5000    1.0000    1.0000    1.0000    1.0000    1.0000\r\n"
      "    1.0000    1.0000    1.0000    1.0000    1.0000\r\n"
      " \r\n"
      "METHOD     2   M2               MEAN VALUE =    0.7381   EFFICIENCY =    1.0000\r\n"
      " \r\n"
      "    0.5000    0.5000    0.5000    0.5000    0.5000    0.5000    0.5000    0.5000\r\n"
      "    0.5000    0.5000    0.5000    1.0000    1.0000    1.0000    1.0000    1.0000\r\n"
      "    1.0000    1.0000    1.0000    1.0000    1.0000\r\n"
      " \r\n";
  EXPECT_EQ(report, expected);
  EXPECT_EQ(test_support::crlf_records(report).size(), 14u);
  EXPECT_TRUE(units_left_open);
  EXPECT_EQ(bound, 2.0);

  const profiles::ProfileTables& t = profiles::profile_tables();
  EXPECT_EQ(t.measure_index, 2);
  EXPECT_EQ(t.method_count, 2);
  EXPECT_EQ(t.problem_count, 2);
  EXPECT_EQ(t.abscissa_count, 21);
  EXPECT_EQ(t.best_measure[1], 10);
  EXPECT_EQ(t.best_measure[2], 15);
  EXPECT_EQ(t.measure_sum[1], 30);
  EXPECT_EQ(t.measure_sum[2], 45);
  EXPECT_EQ(t.ratio_table[1][2], 2.0);
  EXPECT_EQ(t.log_ratio[1][2], 1.0);
  // The 11th accumulated abscissa is 0.9999999999999999, so the ratio 2 is
  // first counted at the 12th; x = (j - 1) * step would count it at the 11th.
  EXPECT_EQ(t.profile_table[11][1], 0.5);
  EXPECT_EQ(t.profile_table[12][1], 1.0);
  EXPECT_EQ(t.mean_value[1], 15.5 / 21.0);
  EXPECT_EQ(t.mean_value[2], 15.5 / 21.0);
  EXPECT_EQ(t.efficiency[1], 1.0);
  EXPECT_EQ(t.efficiency[2], 1.0);
}

TEST(ComputeProfiles, EachCriterionSelectsItsOwnCount) {
  TempDir dir;
  const char* const keywords[] = {"NIT ", "NFV ", "NFG ", "NCGR", "TIME"};
  for (int column = 1; column <= 5; ++column) {
    // Method A is best only in `column`; method B (20 everywhere) is best in
    // every other column, where A has 40.
    long long a[5] = {40, 40, 40, 40, 40};
    a[column - 1] = 10;
    const std::string table = method_header("A") + problem(a[0], a[1], a[2], a[3], a[4]) +
                              method_header("B") + problem(20, 20, 20, 20, 20);
    for (int chosen = 1; chosen <= 5; ++chosen) {
      SCOPED_TRACE(std::string("column ") + std::to_string(column) + " criterion " +
                   keywords[chosen - 1]);
      const std::string report = compute_in(dir, table, keywords[chosen - 1]);
      const profiles::ProfileTables& t = profiles::profile_tables();
      EXPECT_EQ(t.measure_index, chosen);
      const bool a_best = chosen == column;
      EXPECT_EQ(t.measure_table[1][1], a_best ? 10 : 40);
      EXPECT_EQ(t.profile_table[1][1], a_best ? 1.0 : 0.0);
      EXPECT_EQ(t.profile_table[1][2], a_best ? 0.0 : 1.0);
      EXPECT_EQ(report.substr(24, 4), keywords[chosen - 1]);
    }
  }

  // A criterion that is no keyword selects no count: every measure is 1, so
  // all methods tie, and the criterion is shown as given.
  const std::string table =
      method_header("A") + problem(1, 5, 9, 3, 7) + method_header("B") + problem(2, 4, 6, 8, 10);
  for (const std::string_view criterion : {"nfv ", "    ", "NFV?", "NIT."}) {
    SCOPED_TRACE(std::string(criterion));
    const std::string report = compute_in(dir, table, criterion);
    const profiles::ProfileTables& t = profiles::profile_tables();
    EXPECT_EQ(t.measure_index, 0);
    EXPECT_EQ(t.measure_table[1][1], 1);
    EXPECT_EQ(t.measure_table[1][2], 1);
    const std::vector<std::string> records = test_support::crlf_records(report);
    ASSERT_EQ(records.size(), 14u);
    EXPECT_EQ(records[0].substr(24, 4), criterion.substr(0, 4));
    EXPECT_EQ(records[2] + "\r\n", method_record("  1", "A", "    1.0000", "    1.0000"));
    EXPECT_EQ(records[8] + "\r\n", method_record("  2", "B", "    1.0000", "    1.0000"));
  }

  // A criterion shorter than 4 characters is blank-padded: "NIT" is "NIT ".
  compute_in(dir, table, "NIT");
  EXPECT_EQ(profiles::profile_tables().measure_index, 1);
}

TEST(ComputeProfiles, BoundIsRoundedUpToAHalfWithItsStep) {
  struct Case {
    double requested;
    double bound;
    double step;
    const char* bound_text;
    const char* step_text;
  };
  const double thresholds[] = {0.5, 1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0, 4.5};
  const double steps[] = {0.025, 0.05, 0.075, 0.1, 0.125, 0.15, 0.175, 0.2, 0.225, 0.25};
  const char* const bound_texts[] = {"    0.5000", "    1.0000", "    1.5000", "    2.0000",
                                     "    2.5000", "    3.0000", "    3.5000", "    4.0000",
                                     "    4.5000", "    5.0000"};
  const char* const step_texts[] = {"    0.0250", "    0.0500", "    0.0750", "    0.1000",
                                    "    0.1250", "    0.1500", "    0.1750", "    0.2000",
                                    "    0.2250", "    0.2500"};
  std::vector<Case> cases;
  for (int i = 0; i < 9; ++i) {
    const double t = thresholds[i];
    // At the threshold and just below it: that threshold. Just above: the next.
    cases.push_back({t, t, steps[i], bound_texts[i], step_texts[i]});
    cases.push_back({std::nextafter(t, 0.0), t, steps[i], bound_texts[i], step_texts[i]});
    cases.push_back({std::nextafter(t, 10.0), thresholds[i] + 0.5, steps[i + 1], bound_texts[i + 1],
                     step_texts[i + 1]});
  }
  cases.push_back({0.0, 0.5, 0.025, bound_texts[0], step_texts[0]});
  cases.push_back({-0.0, 0.5, 0.025, bound_texts[0], step_texts[0]});
  cases.push_back({-1.0, 0.5, 0.025, bound_texts[0], step_texts[0]});
  cases.push_back({-k_inf, 0.5, 0.025, bound_texts[0], step_texts[0]});
  cases.push_back({k_nan, 0.5, 0.025, bound_texts[0], step_texts[0]});
  cases.push_back({0.003, 0.5, 0.025, bound_texts[0], step_texts[0]});
  cases.push_back({1.25, 1.5, 0.075, bound_texts[2], step_texts[2]});
  cases.push_back({2.0000001, 2.5, 0.125, bound_texts[4], step_texts[4]});
  cases.push_back({5.0, 5.0, 0.25, bound_texts[9], step_texts[9]});
  cases.push_back({7.3, 5.0, 0.25, bound_texts[9], step_texts[9]});
  cases.push_back({k_inf, 5.0, 0.25, bound_texts[9], step_texts[9]});

  TempDir dir;
  // One method with a ratio-1 problem, so the sweep runs over a real column.
  const std::string table = method_header("ONLY") + nfv(3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.requested);
    double bound = c.requested;
    const std::string report = compute_in(dir, table, "NFV ", bound);
    EXPECT_EQ(bound, c.bound);
    const profiles::ProfileTables& t = profiles::profile_tables();
    EXPECT_EQ(t.step, c.step);
    // Every bound gives 21 abscissae, 1.5, 3.0 and 3.5 included, whose 21st
    // accumulated x falls just short of the bound.
    EXPECT_EQ(t.abscissa_count, 21);
    EXPECT_EQ(t.profile_table[21][1], 1.0);
    EXPECT_EQ(t.profile_table[22][1], 0.0);
    const std::vector<std::string> records = test_support::crlf_records(report);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0] + "\r\n", header_record("NFV ", c.bound_text, c.step_text, "  1"));
  }
}

TEST(ComputeProfiles, ResultsTableFieldsAndRecordKinds) {
  TempDir dir;
  const std::string prefix = "  P   " + std::string(16, ' ');
  const std::string table =
      // Records ahead of the first method header change nothing.
      nfv(999) + nfv(0) +
      // The name is exactly columns 9 to 22, blanks included; the counts of a
      // header record are read and ignored.
      method_header(" a b  c     d ").substr(0, 22) + i10(7) + i10(7) + "\r\n" +
      // 1: plain record, but its name field never renames the method.
      "  P1    NOT A NAME    " + i10(1) + i10(42) + "\r\n" +
      // 2: a lower-case key is a problem record.
      "method  lower case    " + i10(0) + i10(5) + "\r\n" +
      // 3: "METHOD" starting in column 2 is a problem record.
      " METHOD shifted       " + i10(0) + i10(6) + "\r\n" +
      // 4: an entirely blank record: measure 1.
      "\r\n" +
      // 5: blanks inside a count field are skipped: "1 2" reads 12.
      prefix + i10(0) + "       1 2" + "\r\n" +
      // 6: a comma ends count 1 early; count 2 starts right after it.
      prefix + "    12,345" + "       " + "\r\n" +
      // 7: a line ending inside count 2 reads blanks for the missing columns.
      prefix + i10(3) + "        8" + "\r\n" +
      // 8: a line of 300 characters; what follows column 72 is not read.
      prefix + i10(1) + i10(77) + i10(1) + i10(1) + i10(1) + std::string(228, '9') + "\r\n" +
      // 9 and 10: zero and negative counts are stored as 1.
      nfv(0) + nfv(-5) +
      // 11: a short line holding only a key.
      "  P11\r\n" +
      // 12: a line end without carriage return, and the largest count.
      prefix + i10(0) + i10(2147483647) + "\n";
  const std::string report = compute_in(dir, table);
  const profiles::ProfileTables& t = profiles::profile_tables();
  EXPECT_EQ(t.method_count, 1);
  EXPECT_EQ(t.problem_count, 12);
  EXPECT_EQ(std::string(t.method_names[1], 14), " a b  c     d ");
  const int expected[] = {0, 42, 5, 6, 1, 12, 345, 8, 77, 1, 1, 1, 2147483647};
  for (int p = 1; p <= 12; ++p) {
    SCOPED_TRACE(p);
    EXPECT_EQ(t.measure_table[p][1], expected[p]);
  }
  EXPECT_EQ(t.measure_table[13][1], 0);
  const std::vector<std::string> records = test_support::crlf_records(report);
  ASSERT_EQ(records.size(), 8u);
  EXPECT_EQ(records[2] + "\r\n",
            method_record("  1", " a b  c     d ", "    1.0000", "    1.0000"));
}

TEST(ComputeProfiles, EmptyTablesGiveHeaderAndBlankRecord) {
  TempDir dir;
  const std::string expected =
      "PERFORMANCE PROFILES:   NFV    BOUND =    2.0000   STEP =    0.1000   NMETH =  0\r\n \r\n";
  EXPECT_EQ(compute_in(dir, ""), expected);
  EXPECT_EQ(profiles::profile_tables().method_count, 0);
  EXPECT_EQ(profiles::profile_tables().problem_count, 0);

  // Only records without a method header: counted, but nothing is stored.
  EXPECT_EQ(compute_in(dir, nfv(4) + nfv(5) + "\r\n"), expected);
  EXPECT_EQ(profiles::profile_tables().method_count, 0);
  EXPECT_EQ(profiles::profile_tables().measure_table[1][0], 0);
  EXPECT_EQ(profiles::profile_tables().problem_count, 0);

  // More records than the tables hold, still without a header: no problem
  // is counted, so nothing runs past the tables.
  EXPECT_EQ(compute_in(dir, std::string(5000, '\n')), expected);
  EXPECT_EQ(profiles::profile_tables().problem_count, 0);

  // A criterion of four blanks and a bound of 7.3.
  double bound = 7.3;
  EXPECT_EQ(compute_in(dir, "", "    ", bound),
            header_record("    ", "    5.0000", "    0.2500", "  0") + k_blank);
  EXPECT_EQ(bound, 5.0);
}

TEST(ComputeProfiles, MethodsBestOnEveryProblemHaveEfficiencyOne) {
  TempDir dir;
  // A single method is best everywhere: its score is +infinity, reported as 1.0.
  std::string report = compute_in(dir, method_header("SOLO") + nfv(5) + nfv(9) + nfv(1));
  EXPECT_EQ(report, header_record("NFV ", "    2.0000", "    0.1000", "  1") + k_blank +
                        method_record("  1", "SOLO", "    1.0000", "    1.0000") + k_blank +
                        profile_records("    1.0000", 21, "") + k_blank);

  // All ties: every method is best everywhere.
  std::string table;
  for (const char* name : {"T1", "T2", "T3"}) table += method_header(name) + nfv(4) + nfv(8);
  report = compute_in(dir, table);
  std::vector<std::string> records = test_support::crlf_records(report);
  ASSERT_EQ(records.size(), 20u);
  for (int m = 0; m < 3; ++m) {
    EXPECT_EQ(records[2 + 6 * m] + "\r\n",
              method_record("  " + std::to_string(m + 1), "T" + std::to_string(m + 1), "    1.0000",
                            "    1.0000"));
    EXPECT_EQ(records[4 + 6 * m], repeated("    1.0000", 8));
  }

  // One method best everywhere, one never: 1.0 and 0.0.
  report = compute_in(
      dir, method_header("BEST") + nfv(2) + nfv(3) + method_header("WORST") + nfv(40) + nfv(30));
  EXPECT_EQ(report, header_record("NFV ", "    2.0000", "    0.1000", "  2") + k_blank +
                        method_record("  1", "BEST", "    1.0000", "    1.0000") + k_blank +
                        profile_records("    1.0000", 21, "") + k_blank +
                        method_record("  2", "WORST", "    0.0000", "    0.0000") + k_blank +
                        profile_records("    0.0000", 21, "") + k_blank);
}

TEST(ComputeProfiles, NoProblemRecordsGiveNaNFields) {
  TempDir dir;
  const std::string report = compute_in(dir, method_header("E1") + method_header("E2"));
  const std::string nan = " NaN      ";
  EXPECT_EQ(report, header_record("NFV ", "    2.0000", "    0.1000", "  2") + k_blank +
                        method_record("  1", "E1", nan, nan) + k_blank +
                        profile_records(nan, 21, "") + k_blank +
                        method_record("  2", "E2", nan, nan) + k_blank +
                        profile_records(nan, 21, "") + k_blank);
  EXPECT_TRUE(std::isnan(profiles::profile_tables().efficiency[1]));
}

TEST(ComputeProfiles, GroupsOfDifferentLengthsCountMissingProblemsAsFailures) {
  TempDir dir;
  // M2 did not report problem 3: ratio +inf, relative excess 1.0. Excess sums
  // 1/3 and 4/3 give scores 9 and 2.25.
  const std::string expected_blocks =
      method_record("  1", "M1", "    0.8254", "    1.0000") + k_blank +
      profile_records("    0.6667", 11, "    1.0000") + k_blank +
      method_record("  2", "M2", "    0.4921", "    0.2500") + k_blank +
      profile_records("    0.3333", 11, "    0.6667") + k_blank;
  std::string report = compute_in(dir, method_header("M1") + nfv(10) + nfv(10) + nfv(10) +
                                           method_header("M2") + nfv(20) + nfv(5));
  EXPECT_EQ(report,
            header_record("NFV ", "    2.0000", "    0.1000", "  2") + k_blank + expected_blocks);
  const profiles::ProfileTables& t = profiles::profile_tables();
  EXPECT_EQ(t.problem_count, 3);
  EXPECT_EQ(t.ratio_table[3][2], k_inf);
  EXPECT_EQ(t.best_measure[3], 10);
  EXPECT_EQ(t.measure_sum[3], 10);

  // The longest group need not be the last one.
  report = compute_in(dir, method_header("M2") + nfv(20) + nfv(5) + method_header("M1") + nfv(10) +
                               nfv(10) + nfv(10));
  EXPECT_EQ(t.problem_count, 3);
  EXPECT_EQ(test_support::crlf_records(report)[2] + "\r\n",
            method_record("  1", "M2", "    0.4921", "    0.2500"));

  // A last group without records beside a filled one: all failures, not NaN.
  report = compute_in(dir, method_header("FULL") + nfv(3) + nfv(4) + method_header("NONE"));
  EXPECT_EQ(report, header_record("NFV ", "    2.0000", "    0.1000", "  2") + k_blank +
                        method_record("  1", "FULL", "    1.0000", "    1.0000") + k_blank +
                        profile_records("    1.0000", 21, "") + k_blank +
                        method_record("  2", "NONE", "    0.0000", "    0.0000") + k_blank +
                        profile_records("    0.0000", 21, "") + k_blank);
}

TEST(ComputeProfiles, MeasureSumsOfCountsNear2To31DoNotOverflow) {
  TempDir dir;
  // 20 methods; problem 1 sums to 39e9, far beyond 32 bits, problem 2 to 39.
  // M01 and M02 are each best once and tie; the rest have twice their excess.
  std::string table;
  for (int m = 1; m <= 20; ++m) {
    char name[8];
    std::snprintf(name, sizeof name, "M%02d", m);
    table += method_header(name) + nfv(m == 1 ? 1000000000 : 2000000000) + nfv(m == 2 ? 1 : 2);
  }
  const std::vector<std::string> records = test_support::crlf_records(compute_in(dir, table));
  ASSERT_EQ(records.size(), 2u + 20u * 6u);
  EXPECT_EQ(profiles::profile_tables().measure_sum[1], 39000000000LL);
  EXPECT_EQ(records[2] + "\r\n", method_record("  1", "M01", "    0.7381", "    1.0000"));
  EXPECT_EQ(records[8] + "\r\n", method_record("  2", "M02", "    0.7381", "    1.0000"));
  for (int m = 3; m <= 20; ++m) {
    EXPECT_EQ(records[2 + 6 * (m - 1)].substr(69), "    0.5000") << "method " << m;
  }
}

TEST(ComputeProfilesDeathTest, BadCountStopsBeforeTheReportIsWritten) {
  TempDir dir;
  const std::string old_report = "old report\r\n";
  write_file(dir.file("P.PRO"), old_report);
  const std::string good = method_header("A") + nfv(3);
  // A letter in a problem record's count field, and in a header's ignored one.
  for (const std::string& bad : {good + std::string(32, ' ') + "      12x4\r\n",
                                 good + "METHOD  B             " + i10(1) + "      -+1\r\n",
                                 good + std::string(22, ' ') + "2147483648\r\n"}) {
    EXPECT_EXIT(compute_in(dir, bad), testing::ExitedWithCode(64),
                "rtdiag: severe \\(64\\): input conversion error, unit 7, file .*P\\.PER");
    EXPECT_EQ(read_file(dir.file("P.PRO")), old_report);
  }
}

TEST(ComputeProfilesDeathTest, CapacityIsTwentyMethodsOfTwoHundredProblems) {
  TempDir dir;
  std::string full;
  for (int m = 1; m <= 20; ++m) {
    full += method_header("M" + std::to_string(m));
    for (int p = 1; p <= 200; ++p) full += nfv(p + m);
  }
  // Records ahead of the first header belong to no group and are not stored.
  std::string ahead;
  for (int p = 1; p <= 250; ++p) ahead += nfv(1);
  const std::string report = compute_in(dir, ahead + full);
  EXPECT_EQ(profiles::profile_tables().method_count, 20);
  EXPECT_EQ(profiles::profile_tables().problem_count, 200);
  EXPECT_EQ(test_support::crlf_records(report).size(), 2u + 20u * 6u);

  const std::string old_report = "old report\r\n";
  write_file(dir.file("P.PRO"), old_report);
  const char* const message =
      "rtdiag: severe \\(120\\): results table exceeds capacity of 20 methods and 200 problems, "
      "unit 7, file .*P\\.PER";
  EXPECT_EXIT(compute_in(dir, full + method_header("M21")), testing::ExitedWithCode(120), message);
  EXPECT_EQ(read_file(dir.file("P.PRO")), old_report);
  EXPECT_EXIT(compute_in(dir, full + nfv(1)), testing::ExitedWithCode(120), message);
  EXPECT_EQ(read_file(dir.file("P.PRO")), old_report);
}

}  // namespace
