// Tables in the other input formats run through the built profkit: how the
// format is told from the content (and what is refused), golden findings of
// check for each format's flaws, perprof tables read to the same numbers as
// the same runs in a long CSV, and inputs that once took unbounded memory or
// time.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kit_support.h"

namespace {

using kit_support::run_profkit;

std::string formats_dir() {
  return kit_support::test_data("formats");
}

TEST(FormatsCli, DetectionFromTheContent) {
  const kit_support::TempDir dir;
  const std::string pper = kit_support::results_table({"A", "B"}, {{3, 4}, {5, 2}});
  struct Case {
    std::string name;
    std::string bytes;
    int status;
    std::string first_row;  // export's first curve row, or the start of the error
  };
  const Case cases[] = {
      {"long.csv", "solver,problem,status,cost\nA,p,ok?,1\nA,q,solved,2\nB,q,0,4\n", 0,
       "1,A,0,0.5\r\n"},
      {"semicolon.csv", "\xEF\xBB\xBF\"Method\";Instance;cost\nA;p;1\nB;p;3\n", 0, "1,A,0,1\r\n"},
      {"wide.csv", "problem\tA\tB\np\t1\t2\nq\t\t1\n", 0, "1,A,0,0.5\r\n"},
      {"table.PER", pper, 0, "1,A,0,0.5\r\n"},
      {"alpha.txt", "p c 1.5\nq d 2\n", 0, "1,alpha.txt,0,0.5\r\n"},
      {"empty.csv", "", 2, "profkit: error: empty.csv: not a table profkit reads (an empty file)"},
      {"zeros.bin", std::string(100, '\0'), 2,
       "profkit: error: zeros.bin: not a table profkit reads (binary data (NUL bytes))"},
      {"header.csv", "solver,problem,cost\n", 2,
       "profkit: error: header.csv: not a table profkit reads (a header row without rows)"},
      {"orphans.PER", "        P1          1         2\n", 2,
       "profkit: error: orphans.PER: the table has no method"},
      {"nomethod.csv", "solver,problem,cost\n,p,1\n", 0, "1,,0,1\r\n"},
      {"noproblem.csv", "problem,A\n", 2, "profkit: error: noproblem.csv: not a table"},
      {"words.txt", "just some words\n", 2, "profkit: error: words.txt: not a table"},
  };
  for (const Case& c : cases) {
    kit_support::write_file(dir.path() + "/" + c.name, c.bytes);
    const kit_support::RunResult r = run_profkit({"export", c.name}, {}, dir.path());
    EXPECT_EQ(r.status, c.status) << c.name << r.err;
    const std::string& text = c.status == 0 ? r.out : r.err;
    const std::size_t at = c.status == 0 ? text.find("\r\n") + 2 : 0;
    EXPECT_EQ(text.substr(at, c.first_row.size()), c.first_row) << c.name << "\n" << text;
  }
  // A named format that does not fit, and a table with no problem, are refused too.
  kit_support::write_file(dir.path() + "/methods.PER", "METHOD  A\nMETHOD  B\n");
  for (const char* sub : {"check", "export", "pairs", "stability", "boot", "budget", "report"}) {
    const kit_support::RunResult r = run_profkit({sub, "methods.PER"}, {}, dir.path());
    EXPECT_EQ(r.status, 2) << sub;
    EXPECT_NE(r.err.find("profkit: error: methods.PER: the table has no problem"),
              std::string::npos)
        << sub << r.err;
  }
  const kit_support::RunResult bad =
      run_profkit({"export", "--input-format", "xml", "table.PER"}, {}, dir.path());
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("--input-format"), std::string::npos) << bad.err;
}

// Every data/formats/flawed* table against its .expected findings.
TEST(FormatsCli, GoldenFindings) {
  int tables = 0;
  for (const auto& entry : std::filesystem::directory_iterator(formats_dir())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("flawed", 0) != 0 || entry.path().extension() == ".expected") continue;
    ++tables;
    const std::string expected =
        kit_support::read_file(std::filesystem::path(entry.path()).replace_extension(".expected"));
    const kit_support::RunResult r = run_profkit({"check", name}, {}, formats_dir());
    EXPECT_EQ(r.out, expected) << name;
    EXPECT_EQ(r.status, 1) << name;
  }
  EXPECT_EQ(tables, 3);
}

// The same runs as perprof tables and as a long CSV give the same curves,
// pairs and bootstrap, byte for byte.
TEST(FormatsCli, PerprofTablesReadAsTheirLongCsv) {
  for (const char* sub : {"export", "pairs", "stability", "boot", "budget"}) {
    const kit_support::RunResult perprof =
        run_profkit({sub, "alpha.table", "beta.table"}, {}, formats_dir());
    const kit_support::RunResult csv = run_profkit({sub, "alpha_beta.csv"}, {}, formats_dir());
    EXPECT_EQ(perprof.status, 0) << sub << perprof.err;
    EXPECT_EQ(csv.status, 0) << sub << csv.err;
    EXPECT_EQ(perprof.out, csv.out) << sub;
  }
  // Alpha wins on 10FOLDTR (Beta failed), 3PK and BT1, Beta on ACOPP14 and DEGENQP (Alpha
  // failed); both fail ACOPR300 and ARGAUSS.
  const kit_support::RunResult pairs =
      run_profkit({"pairs", "--format", "csv", "alpha.table", "beta.table"}, {}, formats_dir());
  EXPECT_EQ(pairs.out,
            "method_a_number,method_a,method_b_number,method_b,wins,ties,losses\r\n"
            "1,Alpha,2,Beta,3,2,2\r\n2,Beta,1,Alpha,2,2,3\r\n");
}

// Inputs that once took hundreds of MB or ended by a signal: 2,000 methods
// beside one group of 100,000 empty records, 20,000 methods alone, an
// endless line.
TEST(FormatsCli, UnevenAndEndlessInputsStayBounded) {
  const kit_support::TempDir dir;
  std::string uneven;
  for (int m = 0; m < 2000; ++m) uneven += "METHOD\n";
  uneven += std::string(100000, '\n');
  kit_support::write_file(dir.path() + "/uneven.PER", uneven);
  const kit_support::RunResult exported = run_profkit({"export", "uneven.PER"}, {}, dir.path());
  EXPECT_EQ(exported.status, 0) << exported.err;
  EXPECT_NE(exported.out.find("\r\n2000,,0,1\r\n"), std::string::npos);
  const kit_support::RunResult pairs = run_profkit({"pairs", "uneven.PER"}, {}, dir.path());
  EXPECT_EQ(pairs.status, 0) << pairs.err;

  std::string methods;
  for (int m = 0; m < 20000; ++m) methods += "METHOD\n";
  const kit_support::RunResult alone = run_profkit({"pairs", "-"}, methods, dir.path());
  EXPECT_EQ(alone.status, 2);
  EXPECT_EQ(alone.err,
            "profkit: error: -: the table has no problem; there is nothing to compare\n");

  const kit_support::RunResult endless =
      run_profkit({"export", "--input-format", "csv", "-"},
                  "solver,problem,cost\n" + std::string(std::size_t{3} << 20, 'x'), dir.path());
  EXPECT_EQ(endless.status, 2);
  EXPECT_EQ(endless.err,
            "profkit: error: -:2: row longer than 1 MiB (1048576 bytes; profcmp stops at such a "
            "record with message 22)\n");
}

// A long CSV of 20,000 methods that each ran one problem of its own: stored
// as methods x problems it needs over 3 GB (a slot per problem up to each
// method's last one), so under a 1 GiB address space every subcommand must
// keep to the cells read. import writes methods x problems records by the
// nature of a results table: it reads and plans, then meets a full disk.
TEST(FormatsCli, OneProblemPerMethodCostsItsCells) {
#if defined(__SANITIZE_ADDRESS__)
  constexpr bool sanitized = true;  // the sanitizer reserves far more address space
#else
  constexpr bool sanitized = false;
#endif
  const kit_support::TempDir dir;
  std::string csv = "solver,problem,status,cost\n";
  for (int i = 0; i < 20000; ++i) {
    csv += "m" + std::to_string(i) + ",p" + std::to_string(i) + ",solved," +
           std::to_string(i % 97 + 1) + "\n";
  }
  kit_support::write_file(dir.path() + "/one.csv", csv);
  kit_support::RunOptions options{.dir = dir.path(), .deadline_seconds = 120};
  if (!sanitized) options.address_space = std::size_t{1} << 30;
  const long peak_kib = sanitized ? 1L << 40 : 128 * 1024;
  const std::vector<std::vector<std::string>> runs = {
      {"check", "one.csv"},
      {"export", "one.csv"},
      {"export", "--format", "svg", "one.csv"},
      {"pairs", "one.csv"},
      {"stability", "one.csv"},
      {"boot", "--replicates", "50", "one.csv"},
      {"budget", "one.csv"},
      {"report", "--replicates", "50", "-o", "one.html", "one.csv"},
  };
  for (const std::vector<std::string>& args : runs) {
    const kit_support::RunResult run = kit_support::run_profkit_with(args, options);
    EXPECT_EQ(run.status, 0) << args.front() << ": " << run.err;
    EXPECT_LT(run.max_rss_kib, peak_kib) << args.front();
  }
  // Every method solved its problem alone: the best on it, nowhere else.
  const kit_support::RunResult budget =
      kit_support::run_profkit_with({"budget", "--format", "csv", "one.csv"}, options);
  EXPECT_NE(budget.out.find("\r\n20000,m19999,18,5e-05\r\n"), std::string::npos);
  const kit_support::RunResult stability =
      kit_support::run_profkit_with({"stability", "one.csv"}, options);
  EXPECT_NE(stability.out.find("Nothing changes"), std::string::npos) << stability.out;
  if (test_support::file_exists("/dev/full")) {
    const kit_support::RunResult import =
        kit_support::run_profkit_with({"import", "one.csv", "-o", "/dev/full"}, options);
    EXPECT_EQ(import.status, 2);
    EXPECT_NE(import.err.find("profkit: error: /dev/full: No space left on device\n"),
              std::string::npos)
        << import.err;
    EXPECT_LT(import.max_rss_kib, peak_kib);
  }
}

}  // namespace
