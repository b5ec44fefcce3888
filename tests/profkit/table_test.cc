// The table reader against profcmp's own: record splitting, the layout, groups
// and the measures of every criterion, for hand-made and random tables, and
// tables far beyond profcmp's capacity.
#include "profkit/table/results_table.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "arithmetic/profile_arithmetic.h"
#include "kit_support.h"
#include "profcmp/profiles.h"
#include "records/record_format.h"
#include "records/units.h"

namespace {

using kit_support::TempDir;

table::ResultsTable read_text(const std::string& text) {
  // An in-memory file: large tables need not go through the disk.
  const int fd = ::memfd_create("P.PER", MFD_CLOEXEC);
  EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::lseek(fd, 0, SEEK_SET);
  table::RecordReader reader(fd);
  table::ResultsTable results;
  EXPECT_TRUE(table::read_results(reader, results));
  ::close(fd);
  return results;
}

// profcmp's reader on `text` for `criterion`: its tables after compute_profiles.
const profiles::ProfileTables& profcmp_read(const std::string& text, std::string_view criterion) {
  TempDir dir;
  kit_support::write_file(dir.file("P.PER"), text);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  records::open_unit(7, "P.PER", records::OpenStatus::unknown, records::BlankMode::null);
  records::open_unit(8, "P.PRO", records::OpenStatus::unknown, records::BlankMode::null);
  double bound = 2.0;
  profiles::compute_profiles(criterion, bound);
  records::close_unit(8);
  records::close_unit(7);
  std::filesystem::current_path(previous);
  return profiles::profile_tables();
}

void expect_same_as_profcmp(const std::string& text, const std::string& context) {
  const table::ResultsTable results = read_text(text);
  ASSERT_TRUE(results.conversion_errors.empty()) << context;
  for (int k = 1; k <= records::k_count_fields; ++k) {
    const profiles::ProfileTables& t = profcmp_read(text, records::k_keywords[k - 1]);
    const table::MeasureTable m = table::measures_of(results, k, table::FailureRule::clamp);
    ASSERT_EQ(m.methods(), static_cast<std::size_t>(t.method_count)) << context;
    ASSERT_EQ(m.problems, static_cast<std::size_t>(t.problem_count)) << context;
    for (std::size_t g = 0; g < m.methods(); ++g) {
      EXPECT_EQ(m.names[g], table::trim_name(std::string_view(t.method_names[g + 1], 14)));
      for (std::size_t p = 0; p < m.problems; ++p) {
        ASSERT_EQ(m.at(g, p), t.measure_table[p + 1][g + 1])
            << context << " criterion " << k << " method " << g << " problem " << p;
      }
    }
  }
}

// One count field in one of the forms profcmp reads: right-aligned, blank,
// blanks between digits, signed, or ended by a comma (then shorter).
std::string random_field(std::mt19937& rng) {
  std::uniform_int_distribution<int> form(0, 9);
  std::uniform_int_distribution<int> value(-3, 5000);
  char text[32];
  switch (form(rng)) {
    case 0:
      return std::string(10, ' ');
    case 1:
      std::snprintf(text, sizeof text, "%4d %-5d", value(rng) % 100 + 1, 7);
      return text;
    case 2:
      std::snprintf(text, sizeof text, "%d,", value(rng));
      return text;
    case 3:
      std::snprintf(text, sizeof text, "%+10d", value(rng));
      return text;
    case 4:
      std::snprintf(text, sizeof text, "%-10d", value(rng));
      return text;
    default:
      std::snprintf(text, sizeof text, "%10d", value(rng));
      return text;
  }
}

// A random table and the records read from it: those before the first
// record that is a lone Ctrl-Z.
struct RandomTable {
  std::string text;
  std::uint64_t records = 0;
};

RandomTable random_table(std::mt19937& rng) {
  std::uniform_int_distribution<int> methods(1, 20);
  std::uniform_int_distribution<int> problems(0, 200);
  std::uniform_int_distribution<int> coin(0, 3);
  std::uniform_int_distribution<int> percent(0, 99);
  const int m_count = methods(rng);
  const int p_count = problems(rng);
  const bool unequal = coin(rng) == 0;
  const char* end = coin(rng) == 0 ? "\n" : "\r\n";
  // A lone Ctrl-Z ends the table in a third of them, anywhere.
  const double end_chance = coin(rng) == 0 ? 0.02 : 0.0;
  RandomTable t;
  bool ended = false;
  const auto add = [&](const std::string& record) {
    t.text += record + end;
    if (!ended) ++t.records;
  };
  const auto maybe_end = [&] {
    if (std::uniform_real_distribution<double>(0, 1)(rng) >= end_chance) return;
    t.text += std::string("\x1a") + end;
    ended = true;
  };
  if (coin(rng) == 0) add("  leading record  ");
  for (int m = 0; m < m_count; ++m) {
    // A Ctrl-Z that starts a record is only a byte of its key: the first
    // group's records then come ahead of any method.
    const bool hidden = m == 0 && coin(rng) == 0;
    add((hidden ? "\x1aMETHOD  M" : "METHOD  M") + std::to_string(m + 1) + "  x");
    maybe_end();
    const int length = unequal ? std::uniform_int_distribution<int>(0, p_count)(rng) : p_count;
    for (int p = 0; p < length; ++p) {
      std::string record = "  P   " + std::string(2, ' ') + "PROB" + std::to_string(p);
      record.resize(22, ' ');
      for (int k = 0; k < records::k_count_fields; ++k) record += random_field(rng);
      if (coin(rng) == 0) record.resize(std::uniform_int_distribution<std::size_t>(0, 60)(rng));
      // Never alone: a Ctrl-Z that starts a longer record is a byte of its key.
      if (record.size() > 1 && percent(rng) < 2) record[0] = '\x1a';
      if (percent(rng) == 0) record = coin(rng) == 0 ? "\x1a\x1a" : "\x1a ";
      add(record);
      maybe_end();
    }
  }
  if (coin(rng) == 0) {
    t.text += "METHOD  CUT";  // a last line without a line end
    if (!ended) ++t.records;
  }
  return t;
}

// Both programs end the table at the first lone Ctrl-Z and nowhere else.
TEST(ResultsTable, RandomTablesReadAsProfcmpReadsThem) {
  std::mt19937 rng(20261209);
  for (int round = 0; round < 60; ++round) {
    const RandomTable t = random_table(rng);
    const std::string context = "round " + std::to_string(round);
    EXPECT_EQ(read_text(t.text).records, t.records) << context;
    expect_same_as_profcmp(t.text, context);
    if (HasFatalFailure()) return;
  }
}

TEST(ResultsTable, RecordRules) {
  // CR LF and LF, a CR inside a record stays, a final line without LF is a
  // record, a lone Ctrl-Z ends the table.
  const std::string text =
      "METHOD  A\r\n        P1   \r     5\nMETHOD  B\r\n        P1\r\n\x1a\r\n" +
      std::string("METHOD  C\r\n");
  const table::ResultsTable t = read_text(text);
  ASSERT_EQ(t.groups.size(), 2u);
  EXPECT_EQ(t.groups[1].line, 3u);
  EXPECT_EQ(t.records, 4u);
  EXPECT_EQ(t.problem_name(0, 0), std::string("P1   \r     5  "));
  const table::ResultsTable last = read_text("METHOD  A\n        P1" + std::string(14, ' ') + "7");
  ASSERT_EQ(last.groups.size(), 1u);
  EXPECT_EQ(last.count(0, 0, 0), 7);
}

TEST(ResultsTable, GroupsAndMeasures) {
  const table::ResultsTable t =
      read_text(kit_support::results_table({"A", "B"}, {{10, 20, 0}, {5, 40}}));
  ASSERT_EQ(t.groups.size(), 2u);
  EXPECT_EQ(t.problems(), 3u);
  EXPECT_EQ(t.line_of(1, 1), 7u);
  const table::MeasureTable m = table::measures_of(t, 2, table::FailureRule::clamp);
  EXPECT_EQ(m.names, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(m.measures, (std::vector<double>{10, 20, 1, 5, 40}));
  EXPECT_EQ(m.row_end, (std::vector<std::size_t>{3, 5}));
  EXPECT_EQ(m.at(1, 2), table::k_failed);
  const table::MeasureTable n = table::measures_of(t, 2, table::FailureRule::nonpositive);
  EXPECT_EQ(n.measures, (std::vector<double>{10, 20, table::k_failed, 5, 40}));
}

TEST(ResultsTable, ConversionErrorsSayWhere) {
  const table::ResultsTable t =
      read_text("METHOD  A\r\n        P1                   7    1x3,99999999999\r\n");
  ASSERT_EQ(t.conversion_errors.size(), 1u);
  const table::ConversionError& e = t.conversion_errors[0];
  EXPECT_EQ(e.line, 2u);
  EXPECT_EQ(e.field, 1);
  EXPECT_EQ(e.column, 32u);
  EXPECT_EQ(e.text, "  1x3");
  EXPECT_FALSE(e.out_of_range);
  const table::ResultsTable big = read_text("METHOD  A\r\n        P1            1,99999999999\r\n");
  ASSERT_EQ(big.conversion_errors.size(), 1u);
  EXPECT_EQ(big.conversion_errors[0].column, 24u);
  EXPECT_TRUE(big.conversion_errors[0].out_of_range);
}

// Sizes far beyond profcmp's 20 x 200.
void expect_large(std::size_t methods, std::size_t problems) {
  std::string text;
  text.reserve(methods * (problems + 1) * 74);
  for (std::size_t m = 0; m < methods; ++m) {
    text += kit_support::method_record("M" + std::to_string(m));
    for (std::size_t p = 0; p < problems; ++p) {
      const auto v = static_cast<std::int64_t>((m * 7919 + p * 104729) % 100000 + 1);
      text += kit_support::problem_record("P" + std::to_string(p), {v, v + 1, v + 2, 0, v});
    }
  }
  const table::ResultsTable t = read_text(text);
  const table::MeasureTable m = table::measures_of(t, 2, table::FailureRule::clamp);
  ASSERT_EQ(m.methods(), methods);
  ASSERT_EQ(m.problems, problems);
  for (std::size_t g = 0; g < methods; ++g) {
    for (std::size_t p = 0; p < problems; ++p) {
      ASSERT_EQ(m.at(g, p), static_cast<std::int32_t>((g * 7919 + p * 104729) % 100000 + 2));
    }
  }
  EXPECT_EQ(t.line_of(methods - 1, problems - 1), methods * (problems + 1));
  EXPECT_EQ(t.problem_names.size(), problems);
}

TEST(ResultsTable, TwoHundredMethodsOfAThousandProblems) {
  expect_large(200, 1000);
}

TEST(ResultsTable, TwentyMethodsOfAHundredThousandProblems) {
  expect_large(20, 100000);
}

}  // namespace
