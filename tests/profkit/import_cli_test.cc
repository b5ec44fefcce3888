// profkit import through the built programs: on random long CSV tables, the
// written results table read back with --failures sentinel gives the curves
// of the original for every mapped measure, profcmp's MEAN VALUEs on it are
// profkit's on the original, and names stay distinct within 14 bytes; the
// exact bytes of one small table; tables that cannot be written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "kit_support.h"
#include "profkit/analysis/figures.h"
#include "profkit/table/table_model.h"
#include "profkit/text/numbers.h"

namespace {

using kit_support::run_profkit;

// Export's CSV rows without the method name (the second field), which the
// import may shorten.
std::string without_names(const std::string& csv) {
  std::string out;
  std::size_t start = 0;
  while (start < csv.size()) {
    std::size_t end = csv.find('\n', start);
    end = end == std::string::npos ? csv.size() : end + 1;
    const std::string line = csv.substr(start, end - start);
    const std::size_t a = line.find(',');
    const std::size_t b = line.find(',', a + 1);
    out += a == std::string::npos ? line : line.substr(0, a) + line.substr(b);
    start = end;
  }
  return out;
}

std::vector<std::string> mean_values(const std::string& report) {
  std::vector<std::string> values;
  const std::string key = "MEAN VALUE =";
  for (auto at = report.find(key); at != std::string::npos; at = report.find(key, at + 1)) {
    std::string v = report.substr(at + key.size(), 10);
    v.erase(0, v.find_first_not_of(' '));
    values.push_back(v);
  }
  return values;
}

// profkit's MEAN VALUEs of the cost column of `csv`, as P.PRO prints them.
std::vector<std::string> profkit_mean_values(const std::string& path, double bound) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  table::ReadOptions options;
  options.measures = {"cost"};
  const table::ReadTable t = table::read_csv(fd, {}, path, options, false);
  ::close(fd);
  const analysis::Figures figures = analysis::compute_figures(t.measures.front(), bound);
  std::vector<std::string> values;
  for (const double v : figures.mean_value) values.push_back(textkit::fixed(v, 4));
  return values;
}

// The names of the METHOD records of a results table, trailing blanks dropped.
std::vector<std::string> method_names(const std::string& per) {
  std::vector<std::string> names;
  for (std::size_t at = per.find("METHOD  "); at != std::string::npos;
       at = per.find("\nMETHOD  ", at + 1)) {
    if (per[at] == '\n') ++at;
    std::string name = per.substr(at + 8, 14);
    name.erase(name.find_last_not_of(' ') + 1);
    names.push_back(name);
  }
  return names;
}

TEST(ImportCli, RandomTablesRoundTrip) {
  std::mt19937 random(18);
  const kit_support::TempDir dir;
  int profcmp_checks = 0;
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const int methods = 1 + static_cast<int>(random() % (round < 36 ? 6 : 24));
    const int problems = 1 + static_cast<int>(random() % (round < 36 ? 30 : 220));
    // Long names that collide when cut, some with a character of two bytes
    // across the cut.
    std::vector<std::string> names;
    for (int m = 0; m < methods; ++m) {
      switch (random() % 3) {
        case 0:
          names.push_back("m" + std::to_string(m));
          break;
        case 1:
          names.push_back("solver-variant-" + std::to_string(m));
          break;
        default:
          names.push_back("L\xC3\xB6ser-variant" + std::to_string(m));
          break;
      }
    }
    std::string csv = "solver,problem,status,cost,iters\n";
    std::vector<bool> solved(static_cast<std::size_t>(problems), false);
    for (int m = 0; m < methods; ++m) {
      for (int p = 0; p < problems; ++p) {
        if (random() % 10 == 0) continue;  // a missing row
        const std::string problem =
            (p % 3 == 0 ? "problem-with-long-name-" : "P") + std::to_string(p);
        const bool ok = random() % 5 != 0;
        std::string cost = std::to_string(1 + random() % (random() % 2 ? 9 : 5000));
        if (random() % 20 == 0) cost = random() % 2 ? "" : "-3";
        const std::string iters = random() % 15 == 0 ? "NaN" : std::to_string(1 + random() % 90);
        csv += names[m] + "," + problem + "," + (ok ? "solved" : "max_iter") + "," + cost + "," +
               iters + "\n";
        if (ok && cost != "" && cost != "-3") solved[static_cast<std::size_t>(p)] = true;
      }
    }
    kit_support::write_file(dir.file("t.csv"), csv);
    const kit_support::RunResult imported = run_profkit(
        {"import", "t.csv", "--nfv", "COST", "--nit", "iters", "-o", "P.PER"}, {}, dir.path());
    ASSERT_EQ(imported.status, 0) << imported.err;
    const std::string per = kit_support::read_file(dir.file("P.PER"));

    for (const auto& [field, column] : {std::pair{"NFV", "cost"}, std::pair{"nit", "iters"}}) {
      const auto original = run_profkit({"export", "--criterion", column, "t.csv"}, {}, dir.path());
      const auto back = run_profkit(
          {"export", "--criterion", field, "--failures", "sentinel", "P.PER"}, {}, dir.path());
      ASSERT_EQ(original.status, 0) << original.err;
      ASSERT_EQ(back.status, 0) << back.err;
      EXPECT_EQ(without_names(back.out), without_names(original.out)) << field << "\n" << csv;
    }

    // Method names: distinct, at most 14 bytes, each one either the original
    // or printed as "NAME -> SHORT".
    const std::vector<std::string> written = method_names(per);
    ASSERT_EQ(written.size(), names.size());
    EXPECT_EQ(std::set<std::string>(written.begin(), written.end()).size(), written.size());
    for (std::size_t m = 0; m < names.size(); ++m) {
      EXPECT_LE(written[m].size(), 14u);
      if (written[m] != names[m]) {
        EXPECT_NE(imported.err.find(names[m] + " -> " + written[m] + "\n"), std::string::npos)
            << imported.err;
      }
    }
    EXPECT_EQ(methods > 20, imported.err.find("profcmp stops at the 21st") != std::string::npos);

    // profcmp on the written table, where it can take it.
    bool every_solved = true;
    for (const bool s : solved) every_solved = every_solved && s;
    if (methods > 20 || problems > 200 || !every_solved) continue;
    const double bounds[] = {0.5, 1.0, 2.0, 3.5, 5.0};
    const double bound = bounds[random() % 5];
    std::string bound_text = textkit::fixed(bound, 1);
    const auto report = test_support::run_profcmp(dir.path(), {"NFV", bound_text});
    ASSERT_EQ(report.status, 0) << report.err;
    EXPECT_EQ(mean_values(kit_support::read_file(dir.file("P.PRO"))),
              profkit_mean_values(dir.file("t.csv"), bound));
    ++profcmp_checks;
  }
  EXPECT_GE(profcmp_checks, 5);
}

// The bytes of a small table: names cut and numbered, a problem nobody
// solved, an unmapped field blank, a scaled time; and the refusals.
TEST(ImportCli, ExactBytesAndRefusals) {
  const kit_support::TempDir dir;
  kit_support::write_file(dir.file("t.csv"),
                          "method,instance,flag,time\n"
                          "a-solver-with-long-name-1,p,optimal,0.07\n"
                          "a-solver-with-long-name-2,p,optimal,1.5\n"
                          "a-solver-with-long-name-2,q,error,1\n");
  const kit_support::RunResult r = run_profkit(
      {"import", "t.csv", "--time", "TIME", "--scale", "time=100", "-o", "P.PER"}, {}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "a-solver-with-long-name-1 -> a-solver-with-\n"
            "a-solver-with-long-name-2 -> a-solver-wit~2\n"
            "profkit: warning: TIME (time): 1 problem that every method failed, the first 'q', "
            "written all the same: profcmp counts such a problem as solved by every method at "
            "ratio 1\n");
  const std::string blank(10, ' ');
  EXPECT_EQ(kit_support::read_file(dir.file("P.PER")),
            "METHOD  a-solver-with-\r\n"
            "        p             " +
                blank + blank + blank + blank +
                "         7\r\n"
                "        q             " +
                blank + blank + blank + blank +
                "2147483647\r\n"
                "METHOD  a-solver-wit~2\r\n"
                "        p             " +
                blank + blank + blank + blank +
                "       150\r\n"
                "        q             " +
                blank + blank + blank + blank + "2147483647\r\n");

  struct Refusal {
    std::vector<std::string> args;
    std::string error;
  };
  const Refusal refusals[] = {
      {{"--time", "time"},
       "profkit: error: t.csv: method 'a-solver-with-long-name-1', problem 'p': time "
       "0.07 is not a whole count; give --scale time=FACTOR to turn it into one (rounded up)\n"},
      {{"--time", "time", "--scale", "time=1e10"},
       "profkit: error: t.csv: method 'a-solver-with-long-name-2', problem 'p': time "
       "1.5 x 1e+10 does not fit a count (at most 2147483646; 2147483647 "
       "stands for a failure)\n"},
      {{"--scale", "flag=2"},
       "profkit: error: --scale: column 'flag' is written to no count field\n"
       "Run 'profkit --help' for usage.\n"},
      {{"--nfv", "speed"}, "profkit: error: t.csv:1: no column 'speed' (--nfv)\n"},
  };
  for (const Refusal& c : refusals) {
    std::vector<std::string> args{"import", "t.csv", "-o", "out.PER"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const kit_support::RunResult bad = run_profkit(args, {}, dir.path());
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, c.error);
    EXPECT_FALSE(test_support::file_exists(dir.file("out.PER")));
  }
}

}  // namespace
