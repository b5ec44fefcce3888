// The program's shared command line: help, version, usage errors with their
// exact text and status 2, unreadable tables, standard input.
#include <gtest/gtest.h>

#include <string>

#include "kit_support.h"

namespace {

using kit_support::run_profkit;

TEST(Cli, HelpAndVersion) {
  const kit_support::RunResult help = run_profkit({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: "), std::string::npos);
  for (const char* sub : {"check", "export", "pairs", "stability", "boot", "budget", "report"}) {
    EXPECT_NE(help.out.find(sub), std::string::npos) << sub;
    const kit_support::RunResult sub_help = run_profkit({sub, "--help"});
    EXPECT_EQ(sub_help.status, 0) << sub;
    EXPECT_NE(sub_help.out.find(std::string("Usage: ")), std::string::npos) << sub;
  }
  const kit_support::RunResult version = run_profkit({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("profkit ", 0), 0u) << version.out;
}

TEST(Cli, UsageErrorsExitTwoWithAHint) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"check", "--criterion", "NFX", kit_support::example_table()},
       "profkit: error: --criterion: 'NFX' is not one of NIT, NFV, NFG, NCGR, TIME\n"
       "Run 'profkit --help' for usage.\n"},
      {{"export", "--criterion", "time2", kit_support::example_table()},
       "profkit: error: --criterion: 'time2' is not one of NIT, NFV, NFG, NCGR, TIME\n"
       "Run 'profkit --help' for usage.\n"},
      {{"check", "--frobnicate"},
       "profkit: error: The following argument was not expected: --frobnicate\n"
       "Run 'profkit --help' for usage.\n"},
      {{"chek", "P.PER"},
       "profkit: error: unknown subcommand 'chek' (one of check, export, pairs, stability, boot, "
       "budget, verdict, report, import)\nRun 'profkit --help' for usage.\n"},
      {{}, "profkit: error: A subcommand is required\nRun 'profkit --help' for usage.\n"},
  };
  for (const Case& c : cases) {
    const kit_support::RunResult r = run_profkit(c.args);
    EXPECT_EQ(r.status, 2) << c.err;
    EXPECT_EQ(r.out, "") << c.err;
    EXPECT_EQ(r.err, c.err);
  }
}

TEST(Cli, CriterionIsCaseInsensitive) {
  const kit_support::RunResult r =
      run_profkit({"check", "--criterion", "tImE", kit_support::example_table()});
  EXPECT_EQ(r.status, 0) << r.err;
}

// A table every subcommand reads: the default file, a missing one, a count
// profcmp cannot convert (status 2 with FILE:LINE:COLUMN), standard input.
TEST(Cli, TablesOfTheAnalyses) {
  kit_support::TempDir dir;
  const kit_support::RunResult none = run_profkit({"export", "--format", "csv"}, {}, dir.path());
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err, "profkit: error: P.PER: No such file or directory\n");

  kit_support::write_file(dir.file("bad.PER"),
                          "METHOD  A\r\n        P1                  12       1.5\r\n");
  const kit_support::RunResult bad =
      run_profkit({"export", "--format", "csv", "bad.PER"}, {}, dir.path());
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err,
            "profkit: error: bad.PER:2:33: count NFV '     1.5' is not a whole number (profcmp "
            "stops here with message 64); 'profkit check bad.PER' lists every problem of the "
            "table\n");

  const std::string table = kit_support::read_file(kit_support::example_table());
  const kit_support::RunResult piped = run_profkit({"export", "--format", "csv", "-"}, table);
  const kit_support::RunResult named =
      run_profkit({"export", "--format", "csv", kit_support::example_table()});
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out, named.out);
  EXPECT_FALSE(piped.out.empty());
}

}  // namespace
