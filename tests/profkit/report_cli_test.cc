// profkit report as a program: the summary's MEAN VALUE and EFFICIENCY digits
// equal the P.PRO profcmp writes, the audit lists check's findings, the page of
// the example is valid and self-contained, standard output and -o give the
// same bytes, and usage errors are exact. A page of several criteria or
// tolerances holds, per part, the sections of that part's page alone.
#include <gtest/gtest.h>

#include <cstdlib>
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
      {{"--criterion", "nfv,,NIT", table},
       "profkit: error: --criterion: an empty name in 'nfv,,NIT'\n" + hint},
      {{"--criterion", "nfv, NFV", table},
       "profkit: error: --criterion: 'NFV' is given twice in 'nfv, NFV'\n" + hint},
      {{"--criterion", "NFV,NFX", table},
       "profkit: error: --criterion: 'NFX' is not one of NIT, NFV, NFG, NCGR, TIME\n" + hint},
      {{"--criterion", "a,b", kit_support::source_dir() + "/examples/wide.csv"},
       "profkit: error: --criterion: a wide table has one cost; several criteria are measure "
       "columns of a long CSV table or keywords of a results table\n" +
           hint},
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

// A page with every <svg> element (and what it holds) as "<svg/>": the
// figures' own bytes are the plots' tests' business.
std::string without_figures(const std::string& html) {
  std::string page;
  std::size_t at = 0;
  for (std::size_t svg; (svg = html.find("<svg", at)) != std::string::npos;) {
    page += html.substr(at, svg - at) + "<svg/>";
    at = html.find("</svg>", svg) + 6;  // figures on the page hold no nested <svg>
  }
  return page + html.substr(at);
}

// The sections of a page of one table: the verdict that opens it, then
// everything after the audit section, up to </main>.
std::string sections_alone(const std::string& page) {
  const auto verdict = page.find("<section id=\"verdict\">");
  const auto audit = page.find("<section id=\"audit\">");
  const auto start = page.find("</section>\n", audit) + 11;
  return page.substr(verdict, audit - verdict) + page.substr(start, page.find("</main>") - start);
}

// The sections of part `id` of a page of several, with their ids as on a
// page of that part alone.
std::string sections_of_part(const std::string& page, const std::string& id) {
  const std::string open = "<section id=\"" + id + "\" class=\"part\">\n";
  auto start = page.find(open);
  if (start == std::string::npos) return "no part " + id;
  start = page.find("</h2>\n", start) + 6;
  auto end = page.find("\" class=\"part\">", start);  // the next part
  end = end == std::string::npos ? page.find("</main>") : page.rfind("<section id=", end);
  std::string part = page.substr(start, end - start);
  part.erase(part.size() - 11);  // the part's own </section>
  return std::regex_replace(part, std::regex("id=\"" + id + "-"), "id=\"");
}

// `report ARGS` with 30 replicates; a failed run fails the test.
std::string report_page(std::vector<std::string> args, const std::string& dir = {}) {
  args.insert(args.begin(), {"report", "--replicates", "30"});
  const kit_support::RunResult r = run_profkit(args, {}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

TEST(ReportCli, OneCriterionGivesTheKnownPage) {
  // REPORT_UPDATE_GOLDEN=1 rewrites the golden page (review the diff).
  const std::string page =
      without_figures(report_page({"P.PER"}, kit_support::source_dir() + "/examples"));
  const std::string golden = kit_support::test_data("report/P.PER.html");
  if (std::getenv("REPORT_UPDATE_GOLDEN") != nullptr) kit_support::write_file(golden, page);
  EXPECT_EQ(page, kit_support::read_file(golden));
}

TEST(ReportCli, EachCriterionHasTheSectionsOfItsPageAlone) {
  struct Case {
    std::string file, criteria;
    std::vector<std::string> alone, ids;
  };
  const std::string examples = kit_support::source_dir() + "/examples/";
  const std::vector<Case> cases = {
      {examples + "P.PER", "NFV,nit", {"NFV", "NIT"}, {"criterion-nfv", "criterion-nit"}},
      {examples + "long.csv",
       "TIME, iterations",
       {"time", "iterations"},
       {"criterion-time", "criterion-iterations"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.criteria);
    const std::string page = report_page({"--criterion", c.criteria, c.file});
    std::string sections = "sections: audit";
    for (std::size_t k = 0; k < c.alone.size(); ++k) {
      SCOPED_TRACE(c.alone[k]);
      EXPECT_EQ(sections_of_part(page, c.ids[k]),
                sections_alone(report_page({"--criterion", c.alone[k], c.file})));
      EXPECT_NE(page.find("<li><a href=\"#" + c.ids[k] + "\">Criterion <bdi>" + c.alone[k]),
                std::string::npos);
      sections += " " + c.ids[k];
      for (const std::string_view id : report::k_section_ids) {
        if (id != "audit") sections += " " + c.ids[k] + "-" + std::string(id);
      }
    }
    EXPECT_EQ(check_page(page), sections + "\nok\n");
  }

  // The audit, given once, checks every criterion's column: a count of 0 in NIT.
  kit_support::TempDir dir;
  kit_support::write_file(dir.file("P.PER"),
                          kit_support::results_table({"A", "B"}, {{0, 2}, {3, 4}}, 1));
  const std::string zero_nit = "count NIT ";
  EXPECT_EQ(report_page({"--criterion", "NFV"}, dir.path()).find(zero_nit), std::string::npos);
  EXPECT_NE(report_page({"--criterion", "nfv,NIT"}, dir.path()).find(zero_nit), std::string::npos);
}

TEST(ReportCli, HistoryHasEveryToleranceAndItsDataProfiles) {
  const std::vector<kit_support::HistoryRun> runs = {
      {"A", "P1", {"10", "4", "1", "0.01"}},
      {"A", "P2", {"5", "5", "0.5"}},
      {"B", "P1", {"10", "2", "0.02"}},
      {"B", "P2", {"5", "1", "0.8", "0.4"}},
      {"C", "P1", {"10", "9"}},
      {"C", "P2", {"5", "0.1"}},
  };
  const std::string how = "Data profiles need every problem's dimension, and problem";
  for (const bool dimensions : {true, false}) {
    SCOPED_TRACE(dimensions ? "dimensions" : "no dimension");
    kit_support::TempDir dir;
    kit_support::write_file(
        dir.file("h.csv"),
        kit_support::history_csv(runs, dimensions ? std::vector<std::uint64_t>(runs.size(), 2)
                                                  : std::vector<std::uint64_t>{}));
    const std::string page = report_page({"--tolerances", "0.1,1e-4", "h.csv"}, dir.path());
    std::string sections = "sections: audit overview";
    for (const std::string tolerance : {"0.1", "1e-4"}) {
      SCOPED_TRACE(tolerance);
      const std::string id = tolerance == "0.1" ? "tolerance-0-1" : "tolerance-1e-4";
      const std::string alone = report_page({"--tolerance", tolerance, "h.csv"}, dir.path());
      EXPECT_EQ(sections_of_part(page, id), sections_alone(alone));
      const auto data = alone.find("<section id=\"data\">");
      ASSERT_NE(data, std::string::npos);
      EXPECT_EQ(alone.find("<svg", data) != std::string::npos, dimensions);
      EXPECT_EQ(alone.find(how, data) != std::string::npos, !dimensions);
      sections += " " + id;
      for (const std::string_view section : report::k_section_ids) {
        if (section != "audit") sections += " " + id + "-" + std::string(section);
      }
      sections += " " + id + "-data";
    }
    EXPECT_EQ(check_page(page), sections + "\nok\n");
    // The summary figure draws the data profiles only with the dimensions.
    const auto overview = page.find("<section id=\"overview\">");
    const std::string top = page.substr(overview, page.find("</section>", overview) - overview);
    EXPECT_EQ(top.find("Data profiles, tolerance 1e-4") != std::string::npos, dimensions);
    EXPECT_EQ(top.find(how) != std::string::npos, !dimensions);
  }
}

TEST(ReportCli, PartIdsAreUniqueAndReadable) {
  const auto ids = [](std::vector<std::string> labels, bool history) {
    std::vector<report::Part> parts;
    for (std::string& label : labels) parts.push_back({label, nullptr});
    std::string all;
    for (const std::string& id : report::part_ids(parts, history)) all += id + " ";
    return all;
  };
  EXPECT_EQ(ids({"NFV", "Time (s)", "time_s", "", "1e-3"}, false),
            "criterion-nfv criterion-time-s criterion-time-s-2 criterion criterion-1e-3 ");
  EXPECT_EQ(ids({"a profiles", "a", "a"}, true),
            "tolerance-a-profiles tolerance-a-2 tolerance-a-3 ");
}

}  // namespace
