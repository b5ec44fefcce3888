// Convergence histories run through the built profkit: golden check
// findings, performance profiles of every tolerance, data profiles and the
// summary figure of the hand-computed history; one tolerance read exactly as the table of its
// costs; the dimensions from a file; what is refused and how.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit_support.h"

namespace {

using kit_support::run_profkit;

std::string history_dir() {
  return kit_support::test_data("history");
}

TEST(HistoryCli, GoldenOutputsOfTheHandHistory) {
  const std::string dir = history_dir();
  const struct {
    std::vector<std::string> args;
    std::string golden;
    int status;
  } cases[] = {
      {{"check", "hand.csv"}, "hand_check.txt", 0},
      {{"export", "hand.csv"}, "hand_performance.csv", 0},
      {{"export", "--input-format", "history", "hand.csv"}, "hand_performance.csv", 0},
      {{"export", "--profile", "data", "hand.csv"}, "hand_data.csv", 0},
      {{"export", "--format", "svg", "hand.csv"}, "hand_summary.svg", 0},
      {{"export", "--format", "tex", "hand.csv"}, "hand_summary.tex", 0},
  };
  for (const auto& c : cases) {
    const kit_support::RunResult r = run_profkit(c.args, {}, dir);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out, kit_support::read_file(dir + "/" + c.golden)) << c.golden;
  }
}

// The costs of the hand history at 1e-3 as a long CSV table (its measure
// named as a history names it): every
// subcommand gives the same bytes for the history with --tolerance 1e-3.
TEST(HistoryCli, OneToleranceIsExactlyItsTable) {
  const kit_support::TempDir dir;
  kit_support::write_file(dir.file("costs.csv"),
                          "solver,problem,status,evaluations\n"
                          "A,P1,0,5\nA,P2,fail,\nA,P3,0,1\nA,P4,fail,\n"
                          "B,P1,0,5\nB,P2,0,3\nB,P3,0,1\nB,P4,0,3\n"
                          "C,P1,fail,\nC,P2,fail,\nC,P3,0,1\nC,P4,fail,\n");
  const std::string history = history_dir() + "/hand.csv";
  const std::vector<std::vector<std::string>> commands = {
      {"export"},
      {"export", "--format", "svg"},
      {"pairs", "--format", "csv"},
      {"budget"},
      {"stability", "--format", "csv"},
      {"boot", "--replicates", "50"},
      {"verdict", "--replicates", "50"},
  };
  for (const auto& command : commands) {
    std::vector<std::string> on_table = command, on_history = command;
    on_table.push_back(dir.file("costs.csv"));
    on_history.insert(on_history.end(), {"--tolerance", "1e-3", history});
    const kit_support::RunResult a = run_profkit(on_table), b = run_profkit(on_history);
    EXPECT_EQ(a.status, 0) << command[0] << a.err;
    EXPECT_EQ(b.status, 0) << command[0] << b.err;
    EXPECT_EQ(a.out, b.out) << command[0];
  }
  // import writes that table as a results table that reads back the same.
  const kit_support::RunResult imported =
      run_profkit({"import", "--tolerance", "1e-3", history, "-o", dir.file("P.PER")});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(run_profkit({"export", "--failures", "sentinel", dir.file("P.PER")}).out,
            run_profkit({"export", "--tolerance", "1e-3", history}).out);
}

// Without --tolerance, a CSV holds every tolerance: its rows are those of
// each --tolerance run in turn, each behind its tolerance.
TEST(HistoryCli, EveryToleranceIsEachToleranceLabelled) {
  const std::string history = history_dir() + "/hand.csv";
  const std::vector<std::vector<std::string>> commands = {
      {"export"},
      {"pairs", "--format", "csv"},
      {"budget", "--format", "csv"},
      {"stability", "--format", "csv"},
      {"boot", "--format", "csv", "--replicates", "20"},
      {"verdict", "--format", "csv", "--replicates", "20"},
  };
  for (const auto& command : commands) {
    std::vector<std::string> all = command;
    all.insert(all.end(), {"--tolerances", "1e-1,0.001,1e-5", history});
    const kit_support::RunResult whole = run_profkit(all);
    ASSERT_EQ(whole.status, 0) << whole.err;
    std::string expected;
    for (const std::string tolerance : {"1e-1", "0.001", "1e-5"}) {
      std::vector<std::string> one = command;
      one.insert(one.end(), {"--tolerance", tolerance, history});
      const kit_support::RunResult r = run_profkit(one);
      ASSERT_EQ(r.status, 0) << r.err;
      const std::size_t rows = r.out.find('\n') + 1;
      if (expected.empty()) expected = "tolerance," + r.out.substr(0, rows);
      for (std::size_t at = rows; at < r.out.size();) {
        const std::size_t end = r.out.find('\n', at) + 1;
        expected += tolerance + "," + r.out.substr(at, end - at);
        at = end;
      }
    }
    EXPECT_EQ(whole.out, expected) << command[0];
  }
}

TEST(HistoryCli, DimensionsFromAFileAndRefusals) {
  const kit_support::TempDir dir;
  // The hand history without its dimension column, and its dimensions apart.
  const std::string bare = kit_support::history_csv({
      {"A", "P1", {"10", "5", "1", "0.1", "0.001"}},
      {"A", "P2", {"4", "4", "4"}},
      {"A", "P3", {"2", "2"}},
      {"A", "P4", {"100", "1"}},
      {"B", "P1", {"10", "10", "2", "0.5", "0.005"}},
      {"B", "P2", {"4", "3", "0"}},
      {"B", "P3", {"2", "2"}},
      {"B", "P4", {"50", "20", "-0.5"}},
      {"C", "P1", {"10", "9", "8", "7"}},
      {"C", "P2", {"4", "nan", "-inf", "1"}},
      {"C", "P3", {"2", "2"}},
      {"C", "P4", {"100"}},
  });
  kit_support::write_file(dir.file("bare.csv"), bare);
  kit_support::write_file(dir.file("dims.csv"), "problem,dimension\nP4,5\nP3,3\nP2,1\nP1,2\n");
  const kit_support::RunResult r = run_profkit(
      {"export", "--profile", "data", "bare.csv", "--dimensions", "dims.csv"}, {}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kit_support::read_file(history_dir() + "/hand_data.csv"));

  const struct {
    std::vector<std::string> args;
    std::string err;
  } refusals[] = {
      {{"export", "--profile", "data", "bare.csv"},
       "profkit: error: bare.csv: data profiles need every problem's dimension, and problem 'P1' "
       "has none; give them in a dimension column (--dimension-column NAME) or with --dimensions "
       "FILE, a CSV with the header problem,dimension\n"},
      {{"export", "--format", "svg", "bare.csv"},
       "profkit: error: bare.csv: data profiles (drawn in the summary figure) need every "
       "problem's dimension, and problem 'P1' has none; give them in a dimension column "
       "(--dimension-column NAME) or with --dimensions FILE, a CSV with the header "
       "problem,dimension\n"},
      {{"export", "--format", "tex", "bare.csv"},
       "profkit: error: bare.csv: data profiles (drawn in the summary figure) need every "
       "problem's dimension, and problem 'P1' has none; give them in a dimension column "
       "(--dimension-column NAME) or with --dimensions FILE, a CSV with the header "
       "problem,dimension\n"},
      {{"export", "--tolerance", "2", "bare.csv"},
       "profkit: error: --tolerance: '2' is not a number from 0 to 1\nRun 'profkit --help' for "
       "usage.\n"},
      {{"export", "--tolerances", "1e-1,,1e-3", "bare.csv"},
       "profkit: error: --tolerances: an empty tolerance\nRun 'profkit --help' for usage.\n"},
      {{"pairs", "--tolerance", "1e-3", "dims.csv"},
       "profkit: error: --tolerance goes with a convergence history (--input-format history); "
       "'dims.csv' is read as wide\nRun 'profkit --help' for usage.\n"},
      {{"export", "--profile", "data", "dims.csv"},
       "profkit: error: export: data profiles are drawn from convergence histories "
       "(--input-format history); 'dims.csv' is read as wide\nRun 'profkit --help' for usage.\n"},
  };
  for (const auto& c : refusals) {
    const kit_support::RunResult e = run_profkit(c.args, {}, dir.path());
    EXPECT_EQ(e.status, 2) << c.args[1];
    EXPECT_EQ(e.err, c.err);
    EXPECT_EQ(e.out, "");
  }
}

}  // namespace
