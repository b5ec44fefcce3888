// profkit check run as a program: golden outputs for tables with one flaw
// each, the bundled example, --strict, --criterion, standard input, floods.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kit_support.h"

namespace {

using kit_support::run_profkit;

std::string audit_dir() {
  return kit_support::test_data("audit");
}

// Every data/audit/<flaw>.PER against <flaw>.expected, run in that folder so
// FILE is the bare name; status 1 exactly when the summary counts an error.
TEST(CheckCli, GoldenOutputs) {
  int tables = 0;
  for (const auto& entry : std::filesystem::directory_iterator(audit_dir())) {
    if (entry.path().extension() != ".PER") continue;
    ++tables;
    const std::string name = entry.path().filename().string();
    const std::string expected =
        kit_support::read_file(std::filesystem::path(entry.path()).replace_extension(".expected"));
    const kit_support::RunResult r = run_profkit({"check", name}, {}, audit_dir());
    EXPECT_EQ(r.out, expected) << name;
    // A table without a method or a problem is refused after its findings.
    const bool empty = expected.find(" 0 problems;") != std::string::npos ||
                       expected.find(": 0 methods,") != std::string::npos;
    EXPECT_EQ(r.err.empty(), !empty) << name << r.err;
    const bool errors = expected.find("; 0 errors,") == std::string::npos;
    EXPECT_EQ(r.status, empty ? 2 : errors ? 1 : 0) << name;
  }
  EXPECT_GE(tables, 24);
}

TEST(CheckCli, BundledExampleHasNoWarning) {
  const kit_support::RunResult r = run_profkit({"check", "--strict", kit_support::example_table()});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(": 4 methods, 30 problems; 0 errors, 0 warnings, 2 notes\n"),
            std::string::npos)
      << r.out;
}

TEST(CheckCli, StrictFailsOnWarnings) {
  EXPECT_EQ(run_profkit({"check", "--strict", "clean.PER"}, {}, audit_dir()).status, 0);
  EXPECT_EQ(run_profkit({"check", "--strict", "tab.PER"}, {}, audit_dir()).status, 1);
  EXPECT_EQ(run_profkit({"check", "tab.PER"}, {}, audit_dir()).status, 0);
}

TEST(CheckCli, CriterionLimitsCountFindings) {
  // below_one.PER has its low counts in NFV only.
  const kit_support::RunResult nit =
      run_profkit({"check", "--criterion", "nit", "below_one.PER"}, {}, audit_dir());
  // No count finding; the NIT column ties everywhere.
  EXPECT_EQ(nit.out,
            "below_one.PER:2:9: note: every method has NIT 1 on problem 1 'P1': it does not tell "
            "the methods apart\n"
            "below_one.PER:3:9: note: every method has NIT 2 on problem 2 'P2': it does not tell "
            "the methods apart\n"
            "below_one.PER:4:9: note: every method has NIT 3 on problem 3 'P3': it does not tell "
            "the methods apart\n"
            "below_one.PER: 2 methods, 3 problems; 0 errors, 0 warnings, 3 notes\n");
  const kit_support::RunResult nfv =
      run_profkit({"check", "--criterion", "NFV", "below_one.PER"}, {}, audit_dir());
  EXPECT_EQ(nfv.out, kit_support::read_file(audit_dir() + "/below_one.expected"));
}

// Under --failures nonpositive or sentinel a count of 0 or less is a
// failure: the findings say so, and none says it is taken as 1 or makes a
// method best on every problem.
TEST(CheckCli, FailuresRuleDecidesWhatLowCountsAre) {
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"--failures", "nonpositive", "below_one.PER"},
       "below_one.PER:3:33: note: count NFV -1: a failure (--failures nonpositive)\n"
       "below_one.PER:4:33: note: count NFV 0: a failure (--failures nonpositive)\n"
       "below_one.PER:6:33: note: count NFV blank: a failure (--failures nonpositive)\n"
       "below_one.PER: 2 methods, 3 problems; 0 errors, 0 warnings, 3 notes\n"},
      {{"--failures", "sentinel", "--criterion", "time", "method_column_zero.PER"},
       "method_column_zero.PER:1:1: warning: method 'A' has TIME 0 or blank on every problem: "
       "with --criterion TIME it fails every problem (--failures sentinel)\n"
       "method_column_zero.PER: 2 methods, 2 problems; 0 errors, 1 warning, 0 notes\n"},
      {{"--failures", "nonpositive", "--criterion", "TIME", "blank_column.PER"},
       "blank_column.PER:2:63: note: count TIME is blank in all 4 problem records: with "
       "--criterion TIME every method fails every problem (--failures nonpositive)\n"
       "blank_column.PER: 2 methods, 2 problems; 0 errors, 0 warnings, 1 note\n"},
      {{"--failures", "clamp", "below_one.PER"},
       kit_support::read_file(audit_dir() + "/below_one.expected")},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"check"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const kit_support::RunResult r = run_profkit(args, {}, audit_dir());
    EXPECT_EQ(r.out, c.out) << c.args.back();
    EXPECT_EQ(r.status, 0);
  }
  // Every golden table: no finding under nonpositive speaks of a count taken as 1.
  for (const auto& entry : std::filesystem::directory_iterator(audit_dir())) {
    if (entry.path().extension() != ".PER") continue;
    const std::string name = entry.path().filename().string();
    for (const char* criterion : {"NIT", "NFV", "NFG", "NCGR", "TIME"}) {
      const std::string out =
          run_profkit({"check", "--failures", "nonpositive", "--criterion", criterion, name}, {},
                      audit_dir())
              .out;
      EXPECT_EQ(out.find(" as 1"), std::string::npos) << name << " " << criterion << "\n" << out;
      EXPECT_EQ(out.find("best on every problem"), std::string::npos) << name << "\n" << out;
    }
  }
}

TEST(CheckCli, StandardInputIsNamedDash) {
  const std::string table = kit_support::read_file(audit_dir() + "/tab.PER");
  const kit_support::RunResult r = run_profkit({"check", "-"}, table);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "-:3:1: warning: tab: profcmp reads a tab as one column, so the fields after it are "
            "not in the columns they appear in; use blanks\n"
            "-: 2 methods, 3 problems; 0 errors, 1 warning, 0 notes\n");
}

TEST(CheckCli, UnreadableFiles) {
  kit_support::TempDir dir;
  const kit_support::RunResult missing = run_profkit({"check", "none.PER"}, {}, dir.path());
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "profkit: error: none.PER: No such file or directory\n");
  const kit_support::RunResult folder = run_profkit({"check", dir.path()});
  EXPECT_EQ(folder.status, 2);
  EXPECT_EQ(folder.err, "profkit: error: " + dir.path() + ": Is a directory\n");
}

// 100,000 problems with a blank NCGR in one method and a -1 TIME everywhere:
// a few lines, not one per record, and the summary counts every finding.
TEST(CheckCli, FloodsAreCapped) {
  std::string table = kit_support::method_record("A");
  for (int p = 1; p <= 100000; ++p) {
    table += kit_support::problem_record("P" + std::to_string(p), {p, p, p, p, -1});
  }
  table += kit_support::method_record("B");
  for (int p = 1; p <= 100000; ++p) {
    table += kit_support::problem_record("P" + std::to_string(p), {p, p + 1, p, 1, 5});
  }
  const kit_support::RunResult r = run_profkit({"check", "-"}, table);
  EXPECT_EQ(r.status, 0);
  std::size_t lines = 0;
  for (char c : r.out) lines += c == '\n';
  EXPECT_LE(lines, 40u) << r.out;
  EXPECT_NE(r.out.find("-:2:63: warning: count TIME -1: profcmp takes a count below 1 as 1, the "
                       "best possible count; profkit's --failures nonpositive takes it as a "
                       "failure\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("-:12:63: note: 99990 more warnings (counts below 1) from here to line "
                       "100001, not shown\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("-: 2 methods, 100000 problems; 0 errors, 100001 warnings, 0 notes\n"),
            std::string::npos)
      << r.out;
}

}  // namespace
