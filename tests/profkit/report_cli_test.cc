// profkit report as a program: the summary's MEAN VALUE and EFFICIENCY digits
// equal the P.PRO profcmp writes, the audit lists check's findings, the page of
// the example is valid and self-contained, standard output and -o give the
// same bytes, and usage errors are exact.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "kit_support.h"
#include "profkit/html/report.h"

namespace {

using kit_support::run_profkit;

// "NAME MEAN EFFICIENCY" per method of a P.PRO, as profcmp printed them.
std::vector<std::string> profcmp_figures(const std::string& report) {
  static const std::regex method(
      R"(METHOD +[0-9]+   (.{14}) +MEAN VALUE = +([^ ]+) +EFFICIENCY = +([^ \r]+))");
  std::vector<std::string> out;
  for (std::sregex_iterator it(report.begin(), report.end(), method), end; it != end; ++it) {
    std::string name = (*it)[1];
    name.erase(name.find_last_not_of(' ') + 1);
    out.push_back(name + " " + (*it)[2].str() + " " + (*it)[3].str());
  }
  return out;
}

// The same from the summary section of a page.
std::vector<std::string> page_figures(const std::string& html) {
  const auto start = html.find("<section id=\"summary\">");
  const std::string summary = html.substr(start, html.find("</section>", start) - start);
  static const std::regex row(
      R"(<tr><td class="n">[0-9]+</td><td class="name"><bdi>([^<]*)</bdi></td><td class="n">([^<]+)</td><td class="n">([^<]+)</td>)");
  std::vector<std::string> out;
  for (std::sregex_iterator it(summary.begin(), summary.end(), row), end; it != end; ++it) {
    out.push_back((*it)[1].str() + " " + (*it)[2].str() + " " + (*it)[3].str());
  }
  return out;
}

std::string check_page(const std::string& html) {
  kit_support::TempDir dir;
  kit_support::write_file(dir.file("page.html"), html);
  return kit_support::run({"/usr/bin/python3", kit_support::test_data("report/html_check.py"),
                           dir.file("page.html")})
      .out;
}

TEST(ReportCli, SummaryDigitsAreProfcmpsAndThePageIsValid) {
  struct Case {
    std::vector<std::string> profcmp_args, report_args;
  };
  const std::vector<Case> cases = {
      {{}, {}},
      {{"NIT"}, {"--criterion", "NIT"}},
      {{"TIME", "3."}, {"--criterion", "time", "--bound", "3"}},
      {{"NFG", "0.7"}, {"--criterion", "NFG", "--bound", "0.7"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.report_args));
    const std::vector<std::string> want =
        profcmp_figures(kit_support::profcmp_report(c.profcmp_args));
    ASSERT_EQ(want.size(), 4u);

    std::vector<std::string> args{"report", "--replicates", "50"};
    args.insert(args.end(), c.report_args.begin(), c.report_args.end());
    args.push_back(kit_support::example_table());
    const kit_support::RunResult r = run_profkit(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(page_figures(r.out), want);
    EXPECT_EQ(check_page(r.out),
              "sections: verdict audit profiles summary pairs stability bootstrap budget\nok\n");
  }
}

TEST(ReportCli, OutputFileStandardOutputAndStandardInputAgree) {
  const std::string table = kit_support::example_table();
  kit_support::TempDir dir;
  const kit_support::RunResult to_file =
      run_profkit({"report", "-o", dir.file("P.html"), "--replicates", "100", table});
  ASSERT_EQ(to_file.status, 0) << to_file.err;
  EXPECT_EQ(to_file.out, "");
  const std::string page = kit_support::read_file(dir.file("P.html"));
  const kit_support::RunResult to_stdout = run_profkit({"report", "--replicates", "100", table});
  EXPECT_EQ(to_stdout.out, page);
  EXPECT_NE(page.find("<title>profkit report: " + table + "</title>"), std::string::npos);

  const kit_support::RunResult piped =
      run_profkit({"report", "--replicates", "100", "-"}, kit_support::read_file(table));
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_NE(piped.out.find("<title>profkit report: standard input</title>"), std::string::npos);
  EXPECT_EQ(page_figures(piped.out), page_figures(page));
}

TEST(ReportCli, AuditSectionListsTheFindingsOfCheck) {
  kit_support::TempDir dir;
  // Method B lacks problem 3 and has a count of 0 on problem 1.
  const std::string table = kit_support::results_table({"A", "B"}, {{10, 20, 30}, {0, 5}});
  kit_support::write_file(dir.file("P.PER"), table);
  const kit_support::RunResult r = run_profkit({"report", "--replicates", "10"}, {}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  const auto start = r.out.find("<section id=\"audit\">");
  const std::string audit = r.out.substr(start, r.out.find("</section>", start) - start);

  // One row per line of `profkit check --criterion NFV`, in its order.
  const kit_support::RunResult check =
      run_profkit({"check", "--criterion", "NFV", "P.PER"}, {}, dir.path());
  static const std::regex finding(R"(P\.PER:([0-9]+):([0-9]+): (error|warning|note): (.*))");
  std::string rows;
  std::size_t findings = 0;
  for (std::sregex_iterator it(check.out.begin(), check.out.end(), finding), end; it != end;
       ++it, ++findings) {
    rows += "<tr><td class=\"" + (*it)[3].str() + "\">" + (*it)[3].str() + "</td><td>line " +
            (*it)[1].str() + ", column " + (*it)[2].str() + "</td><td class=\"msg\">" +
            report::html_escape((*it)[4].str()) + "</td></tr>\n";
  }
  EXPECT_GE(findings, 2u) << check.out;
  EXPECT_NE(audit.find("<tbody>\n" + rows + "</tbody>"), std::string::npos) << audit << rows;
  EXPECT_NE(audit.find("<p>Checked with --criterion NFV: 0 errors, "), std::string::npos);
  EXPECT_EQ(check_page(r.out),
            "sections: verdict audit profiles summary pairs stability bootstrap budget\nok\n");
}

TEST(ReportCli, UsageAndInputErrors) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::string table = kit_support::example_table();
  const std::string hint = "Run 'profkit --help' for usage.\n";
  const std::vector<Case> cases = {
      {{"--bound", "x", table}, "profkit: error: --bound: 'x' is not a number (e.g. 2.0)\n" + hint},
      {{"--replicates", "0", table},
       "profkit: error: --replicates: '0' is not a whole number from 1 to 100000\n" + hint},
      {{"--seed", "s", table},
       "profkit: error: --seed: 's' is not a whole number from 0 to 18446744073709551615\n" + hint},
      {{"/nonexistent/P.PER"}, "profkit: error: /nonexistent/P.PER: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    std::vector<std::string> args{"report"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const kit_support::RunResult r = run_profkit(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }

  kit_support::TempDir dir;
  kit_support::write_file(dir.file("P.PER"), "METHOD  A\r\n  P1                  10       1x0\r\n");
  const kit_support::RunResult bad = run_profkit({"report", "P.PER"}, {}, dir.path());
  EXPECT_EQ(bad.status, 2);
  // The message every subcommand gives for this table.
  EXPECT_EQ(run_profkit({"boot", "P.PER"}, {}, dir.path()).err, bad.err);
  EXPECT_EQ(bad.err,
            "profkit: error: P.PER:2:33: count NFV 'x0' is not a whole number (profcmp "
            "stops here with message 64); 'profkit check P.PER' lists every problem of the "
            "table\n");
  EXPECT_EQ(bad.out, "");
}

}  // namespace
