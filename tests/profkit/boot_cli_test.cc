// profkit boot as a program: MEAN VALUE estimates equal to the P.PRO that
// profcmp writes, the same bytes for the same seed, other bytes for another,
// the defaults, -o, and the exact usage errors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "kit_support.h"
#include "records/record_format.h"

namespace {

using kit_support::run_profkit;

// The value fields of the mean_value rows of a boot CSV, in method order.
std::vector<std::string> csv_mean_values(const std::string& csv) {
  std::vector<std::string> values;
  std::istringstream in(csv);
  std::string line;
  while (std::getline(in, line)) {
    const auto at = line.find(",mean_value,");
    if (at == std::string::npos) continue;
    const auto start = at + std::string(",mean_value,").size();
    values.push_back(line.substr(start, line.find(',', start) - start));
  }
  return values;
}

// The MEAN VALUE fields (F10.4) of a P.PRO.
std::vector<std::string> report_mean_values(const std::string& report) {
  std::vector<std::string> values;
  const std::string key = "MEAN VALUE =";
  for (auto at = report.find(key); at != std::string::npos; at = report.find(key, at + 1)) {
    values.push_back(report.substr(at + key.size(), 10));
  }
  return values;
}

TEST(BootCli, MeanValueEstimatesAreTheMeanValuesOfProfcmpsReport) {
  struct Case {
    std::vector<std::string> profcmp_args, boot_args;
  };
  const std::vector<Case> cases = {
      {{}, {}},
      {{"NIT"}, {"--criterion", "nit"}},
      {{"TIME", "3."}, {"--criterion", "TIME", "--bound", "3"}},
      {{"NFG", "0.7"}, {"--criterion", "NFG", "--bound", "0.7"}},
      {{"NFV", "5."}, {"--bound", "5.0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.boot_args));
    const std::vector<std::string> want =
        report_mean_values(kit_support::profcmp_report(c.profcmp_args));
    ASSERT_EQ(want.size(), 4u);

    std::vector<std::string> args{"boot",         "--format", "csv",
                                  "--replicates", "20",       kit_support::example_table()};
    args.insert(args.end(), c.boot_args.begin(), c.boot_args.end());
    const kit_support::RunResult boot = run_profkit(args);
    ASSERT_EQ(boot.status, 0) << boot.err;
    const std::vector<std::string> got = csv_mean_values(boot.out);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t m = 0; m < got.size(); ++m) {
      char field[10];
      records::render_fixed(std::strtod(got[m].c_str(), nullptr), 10, 4, field);
      EXPECT_EQ(std::string(field, 10), want[m]) << "method " << m + 1;
    }
  }
}

TEST(BootCli, SameSeedSameBytesOtherSeedOtherBytes) {
  const std::string table = kit_support::example_table();
  for (const std::string format : {"csv", "text"}) {
    SCOPED_TRACE(format);
    const auto boot = [&](const std::string& seed) {
      const kit_support::RunResult r =
          run_profkit({"boot", "--format", format, "--seed", seed, "--replicates", "300", table});
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.err, "");
      return r.out;
    };
    const std::string first = boot("42");
    EXPECT_EQ(boot("42"), first);
    EXPECT_NE(boot("43"), first);
    EXPECT_NE(boot("18446744073709551615"), first);
  }
}

TEST(BootCli, DefaultsOutputFileAndStandardInput) {
  const std::string table = kit_support::example_table();
  const kit_support::RunResult plain = run_profkit({"boot", table});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.out.substr(0, plain.out.find('\n')),
            "Bootstrap over problems: 1000 replicates of 30 problems drawn with replacement, seed "
            "1, bound 2.0.");
  EXPECT_EQ(run_profkit({"boot", "--replicates", "1000", "--seed", "1", "--bound", "2.0",
                         "--format", "text", table})
                .out,
            plain.out);

  kit_support::TempDir dir;
  const kit_support::RunResult to_file =
      run_profkit({"boot", "--format", "csv", "-o", dir.file("boot.csv"), table});
  ASSERT_EQ(to_file.status, 0) << to_file.err;
  EXPECT_EQ(to_file.out, "");
  const std::string csv = kit_support::read_file(dir.file("boot.csv"));
  EXPECT_EQ(csv.substr(0, 53), "method_number,method,statistic,estimate,lower,upper\r\n");
  EXPECT_EQ(csv.substr(53, 42), "1,QUASI-NEWTON,mean_value,0.71746031746031");
  EXPECT_EQ(run_profkit({"boot", "--format", "csv", "-"}, kit_support::read_file(table)).out, csv);
}

TEST(BootCli, UsageErrors) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::string hint = "Run 'profkit --help' for usage.\n";
  const std::vector<Case> cases = {
      {{"--replicates", "0"},
       "profkit: error: --replicates: '0' is not a whole number from 1 to 100000\n" + hint},
      {{"--replicates", "-3"},
       "profkit: error: --replicates: '-3' is not a whole number from 1 to 100000\n" + hint},
      {{"--replicates", "100001"},
       "profkit: error: --replicates: '100001' is not a whole number from 1 to 100000\n" + hint},
      {{"--replicates", "1e3"},
       "profkit: error: --replicates: '1e3' is not a whole number from 1 to 100000\n" + hint},
      {{"--replicates", "ten"},
       "profkit: error: --replicates: 'ten' is not a whole number from 1 to 100000\n" + hint},
      {{"--seed", "-1"},
       "profkit: error: --seed: '-1' is not a whole number from 0 to 18446744073709551615\n" +
           hint},
      {{"--seed", "18446744073709551616"},
       "profkit: error: --seed: '18446744073709551616' is not a whole number from 0 to "
       "18446744073709551615\n" +
           hint},
      {{"--bound", "two"}, "profkit: error: --bound: 'two' is not a number (e.g. 2.0)\n" + hint},
      {{"--bound", "nan"}, "profkit: error: --bound: 'nan' is not a number (e.g. 2.0)\n" + hint},
      {{"--bound", "2.0x"}, "profkit: error: --bound: '2.0x' is not a number (e.g. 2.0)\n" + hint},
      {{"--format", "xml"}, "profkit: error: --format: xml not in {text,csv}\n" + hint},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    std::vector<std::string> args{"boot", kit_support::example_table()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const kit_support::RunResult r = run_profkit(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
