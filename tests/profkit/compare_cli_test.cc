// profkit pairs, stability and budget run as programs: golden text and CSV of
// small tables and of the bundled example, help, -o, standard input, and the
// exact usage errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "kit_support.h"

namespace {

using kit_support::read_file;
using kit_support::run_profkit;
using kit_support::TempDir;
using kit_support::test_data;

struct Golden {
  std::vector<std::string> args;  // the table's path is appended
  std::string table;              // under tests/profkit/data ("" : examples/P.PER)
  std::string expected;           // under tests/profkit/data
};

TEST(CompareCli, GoldenOutputs) {
  const std::string nonpositive = "--failures=nonpositive";
  const Golden cases[] = {
      {{"pairs", nonpositive}, "compare/pairs.per", "compare/pairs.txt"},
      {{"pairs", nonpositive, "--format", "csv"}, "compare/pairs.per", "compare/pairs.csv"},
      {{"pairs", nonpositive, "--format", "csv", "--tie-tolerance", "0.05"},
       "compare/pairs.per",
       "compare/pairs-tolerance.csv"},
      {{"pairs"}, "compare/pairs.per", "compare/pairs-clamp.txt"},
      {{"pairs"}, "", "compare/example-pairs.txt"},
      {{"stability", nonpositive}, "compare/leave-one-out.per", "compare/leave-one-out.txt"},
      {{"stability", nonpositive, "--format", "csv"},
       "compare/leave-one-out.per",
       "compare/leave-one-out.csv"},
      {{"stability", nonpositive, "--bound", "2"}, "compare/bound.per", "compare/bound.txt"},
      {{"stability"}, "", "compare/example-stability.txt"},
      {{"budget", nonpositive}, "budget/budget.per", "budget/budget.txt"},
      {{"budget", nonpositive, "--format", "csv"}, "budget/budget.per", "budget/budget.csv"},
      {{"budget", "--format", "csv", "--criterion", "nfv"}, "", "budget/example.csv"},
      {{"verdict", "--format", "csv"}, "", "verdict/example.csv"},
      {{"verdict", nonpositive}, "compare/leave-one-out.per", "verdict/leave-one-out.txt"},
  };
  for (const Golden& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back(c.table.empty() ? kit_support::example_table() : test_data(c.table));
    SCOPED_TRACE(c.expected);
    const auto result = run_profkit(args);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, read_file(test_data(c.expected)));
  }
}

TEST(CompareCli, StandardInputAndOutputFile) {
  TempDir dir;
  for (const std::string command : {"pairs", "stability", "budget", "verdict"}) {
    SCOPED_TRACE(command);
    const std::string out = dir.file(command + ".csv");
    const auto by_file =
        run_profkit({command, "--format", "csv", "-o", out, "--failures", "nonpositive", "-"},
                    read_file(test_data("compare/leave-one-out.per")));
    EXPECT_EQ(by_file.status, 0) << by_file.err;
    EXPECT_EQ(by_file.out, "");
    EXPECT_EQ(by_file.err, "");
    const auto to_stdout = run_profkit({command, "--format", "csv", "--failures", "nonpositive",
                                        test_data("compare/leave-one-out.per")});
    EXPECT_EQ(read_file(out), to_stdout.out);
    EXPECT_NE(to_stdout.out, "");
  }
  // A P.PER in the working directory is the default table.
  kit_support::write_file(dir.file("P.PER"), read_file(test_data("compare/pairs.per")));
  EXPECT_EQ(run_profkit({"pairs"}, {}, dir.path()).out,
            read_file(test_data("compare/pairs-clamp.txt")));
}

TEST(CompareCli, HelpNamesEveryOption) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"pairs", {"--tie-tolerance REL=0", "--format", "--criterion", "--failures", "-o,--output"}},
      {"stability", {"--bound B=2.0", "--limit N=1000", "--format", "--criterion", "--failures"}},
      {"budget", {"--format", "--criterion", "--failures", "-o,--output"}},
      {"verdict",
       {"--bound B=2.0", "--tie-tolerance REL=0", "--replicates N=1000", "--seed S=1", "--format",
        "--criterion", "--failures", "--tolerance", "-o,--output"}},
  };
  for (const auto& [command, options] : cases) {
    SCOPED_TRACE(command);
    const auto help = run_profkit({command, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: profkit " + command + " [OPTIONS] [FILE...]"),
              std::string::npos)
        << help.out;
    for (const std::string& option : options) {
      EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
  }
}

TEST(CompareCli, UsageErrorsExitTwoWithTheExactMessage) {
  const std::string table = test_data("compare/pairs.per");
  const std::string hint = "Run 'profkit --help' for usage.\n";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"pairs", "--format", "xml", table},
       "profkit: error: --format: xml not in {text,csv}\n" + hint},
      {{"stability", "--format", "svg", table},
       "profkit: error: --format: svg not in {text,csv}\n" + hint},
      {{"budget", "--format", "TEXT", table},
       "profkit: error: --format: TEXT not in {text,csv,svg,tex}\n" + hint},
      {{"export", "--format", "svg", "--methods", "C,NOPE", table},
       "profkit: error: --methods: 'NOPE' is no method of " + table +
           "; its methods are 'NEWTON,DAMPED', 'SAY \"HI\"', 'C' (a method number from 1 to 3 "
           "also works)\n" +
           hint},
      {{"budget", "--format", "svg", "--methods", "1,C,1", table},
       "profkit: error: --methods: '1' is given twice\n" + hint},
      {{"export", "--format", "svg", "--width", "10", table},
       "profkit: error: --width: '10' is not a size in px from 240 to 100000 (e.g. 640)\n" + hint},
      {{"report", "--height", "1e3", table},
       "profkit: error: --height: '1e3' is not a size in px from 100 to 100000 (e.g. 640)\n" +
           hint},
      {{"export", "--format", "tex", "--width", "8", table},
       "profkit: error: --width: '8' is not a TeX length: a positive number and one of pt, bp, "
       "mm, cm, in, \\linewidth, \\columnwidth, \\textwidth (e.g. 8cm, 0.9\\linewidth)\n" +
           hint},
      {{"export", "--format", "svg", "--axis", "ratios", table},
       "profkit: error: --axis: 'ratios' is not one of ratio, log2\n" + hint},
      {{"export", "--title", "T", table},
       "profkit: error: export: --methods, --title, --width, --height and --axis go with "
       "--format svg, pdf, png or tex; CSV holds every method's breakpoints\n" +
           hint},
      {{"pairs", "--tie-tolerance", "-0.5", table},
       "profkit: error: --tie-tolerance: '-0.5' is not a number >= 0 (e.g. 0.05)\n" + hint},
      {{"pairs", "--tie-tolerance", "nan", table},
       "profkit: error: --tie-tolerance: 'nan' is not a number >= 0 (e.g. 0.05)\n" + hint},
      {{"pairs", "--tie-tolerance", "5%", table},
       "profkit: error: --tie-tolerance: '5%' is not a number >= 0 (e.g. 0.05)\n" + hint},
      {{"stability", "--bound", "two", table},
       "profkit: error: --bound: 'two' is not a number (e.g. 2.0)\n" + hint},
      {{"export", "--format", "svg", "--bound", "abc", table},
       "profkit: error: --bound: 'abc' is not a number (e.g. 2.0)\n" + hint},
      {{"verdict", "--tie-tolerance", "-1", table},
       "profkit: error: --tie-tolerance: '-1' is not a number >= 0 (e.g. 0.05)\n" + hint},
      {{"verdict", "--replicates", "0", table},
       "profkit: error: --replicates: '0' is not a whole number from 1 to 100000\n" + hint},
      {{"stability", "--limit", "0", table},
       "profkit: error: --limit: '0' is not a whole number from 1 to 18446744073709551615\n" +
           hint},
      {{"budget", "no-such-table"}, "profkit: error: no-such-table: No such file or directory\n"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    const auto result = run_profkit(args);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, message);
  }
}

// Above 50 methods pairs and the report show each method against the best and
// the next by MEAN VALUE: every row agrees with the full matrix, the output
// grows with the methods, and --all-pairs still gives every ordered pair.
TEST(CompareCli, LargeTablesSummarisePairsInLinearSpace) {
  std::vector<std::string> names;
  std::vector<std::vector<std::int64_t>> counts;
  std::uint64_t state = 7;
  for (int m = 0; m < 60; ++m) {
    names.push_back("M" + std::to_string(m));
    counts.emplace_back();
    for (int p = 0; p < 5; ++p) {
      state = state * 6364136223846793005u + 1442695040888963407u;
      counts.back().push_back(static_cast<std::int64_t>(state >> 59) - 2);  // -2 .. 29
    }
  }
  TempDir dir;
  kit_support::write_file(dir.file("t.PER"), kit_support::results_table(names, counts));
  const std::string table = dir.file("t.PER");
  const auto every = run_profkit({"pairs", "--all-pairs", "--format", "csv", table});
  const auto ranked = run_profkit({"pairs", "--format", "csv", table});
  ASSERT_EQ(every.status, 0) << every.err;
  ASSERT_EQ(ranked.status, 0) << ranked.err;
  const auto every_rows = test_support::crlf_records(every.out);
  const auto ranked_rows = test_support::crlf_records(ranked.out);
  EXPECT_EQ(every_rows.size(), 1u + 60 * 59);
  EXPECT_EQ(ranked_rows.size(), 1u + 2 * 60 - 3);
  for (const std::string& row : ranked_rows) {
    EXPECT_NE(std::find(every_rows.begin(), every_rows.end(), row), every_rows.end()) << row;
  }
  const auto text = run_profkit({"pairs", table});
  EXPECT_EQ(text.out.substr(0, text.out.find('\n')),
            "Wins-ties-losses on 5 problems (tie tolerance 0) of each method against the best by "
            "MEAN VALUE and against the next in the MEAN VALUE ranking: 60 methods are more than "
            "50, so not every pair is shown (--all-pairs shows all 3540 ordered pairs).");
  EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), 62);

  // The report of 2,000 methods: about two kilobytes per method (the full
  // pairs matrix alone would be 40 MB).
  names.clear();
  counts.clear();
  for (int m = 0; m < 2000; ++m) {
    names.push_back("M" + std::to_string(m));
    counts.push_back({m % 7 + 1, m % 11 + 1, m % 13 + 1});
  }
  kit_support::write_file(table, kit_support::results_table(names, counts));
  const auto report =
      run_profkit({"report", "--replicates", "10", "-o", dir.file("r.html"), table});
  ASSERT_EQ(report.status, 0) << report.err;
  EXPECT_LT(read_file(dir.file("r.html")).size(), 2000u * 3000);
}

}  // namespace
