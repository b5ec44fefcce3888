// The HTML report in process: strict structure and self-containment checked
// by tests/profkit/data/report/html_check.py and by tidy, every section once
// with its heading and reading line, escaped names, hand-computed figures in
// the summary and the pairs, and the same bytes on every run.
#include "profkit/html/report.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "kit_support.h"

namespace {

using table::k_failed;

const char* const k_all_sections =
    "sections: verdict audit profiles summary pairs stability bootstrap budget\n";

// Ties, failures, a problem no method solved (as in bootstrap_test.cc).
table::MeasureTable small_table() {
  return kit_support::measure_table({"ALPHA", "BETA", "GAMMA"},
                                    {{10, 20, 5, k_failed, 7, 100, 3, k_failed},
                                     {10, 40, 10, 8, 14, 30, k_failed, k_failed},
                                     {40, 15, 5, 9, 6, 400, 3, k_failed}});
}

std::string page(const table::MeasureTable& t, report::Settings s = {}) {
  if (s.criterion.empty()) s.criterion = "NFV";
  if (s.source.empty()) s.source = "P.PER";
  s.replicates = 200;
  std::ostringstream out;
  report::write_report(out, t, s);
  return out.str();
}

// What html_check.py says about `html`.
std::string check(const std::string& html) {
  kit_support::TempDir dir;
  kit_support::write_file(dir.file("page.html"), html);
  const kit_support::RunResult r = kit_support::run(
      {"/usr/bin/python3", kit_support::test_data("report/html_check.py"), dir.file("page.html")});
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

// tidy's errors and warnings, without the ones it gives for valid SVG 1.1
// (lengths with decimals, font presentation attributes).
std::string tidy(const std::string& html) {
  kit_support::TempDir dir;
  kit_support::write_file(dir.file("page.html"), html);
  const kit_support::RunResult r =
      kit_support::run({"/usr/bin/tidy", "-errors", "-quiet", dir.file("page.html")});
  EXPECT_LT(r.status, 2) << r.err;  // 2: errors
  static const std::regex svg_false_positive(
      R"re(<svg> (attribute "(width|height)" has invalid value "[0-9.]+"|)re"
      R"re(proprietary attribute "font-(family|size)"))re");
  std::istringstream lines(r.err + r.out);
  std::string line, rest;
  while (std::getline(lines, line)) {
    if (!std::regex_search(line, svg_false_positive)) rest += line + "\n";
  }
  return rest;
}

TEST(Report, ValidAndSelfContainedForTablesOfEveryShape) {
  struct Case {
    const char* what;
    table::MeasureTable t;
  };
  const std::vector<Case> cases = {
      {"small", small_table()},
      {"one method", kit_support::measure_table({"ONLY"}, {{3, 1, 4, 1, 5}})},
      {"no problem", kit_support::measure_table({"A", "B"}, {{}, {}})},
      {"no method", table::MeasureTable{}},
      {"all failed",
       kit_support::measure_table({"A", "B"}, {{k_failed, k_failed}, {k_failed, k_failed}})},
      {"names to escape",
       kit_support::measure_table(
           {"<b>&\"'x", "</section>", "C\x01\x1b[31m\x7f", "\xff\xfe", "\xc3\xa9t\xc3\xa9"},
           {{1, 2}, {2, 1}, {1, 1}, {3, k_failed}, {2, 2}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string html = page(c.t);
    EXPECT_EQ(check(html), std::string(k_all_sections) + "ok\n");
    EXPECT_EQ(tidy(html), "");
  }
}

TEST(Report, CheckerAndTidyCatchBrokenPages) {
  // The two checks must fail on the faults a generator can make.
  const std::string good = page(small_table());
  const auto replaced = [&](const std::string& from, const std::string& to) {
    std::string s = good;
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  EXPECT_NE(check(replaced("</td></tr>", "</tr>")).find("closes <td>"), std::string::npos);
  EXPECT_NE(check(replaced("</h2>", "</h3>")).find("bad"), std::string::npos);
  EXPECT_NE(check(replaced("<main>", "<main><script>x</script>")).find("<script>"),
            std::string::npos);
  EXPECT_NE(check(replaced("<main>", "<main><img src=\"a.png\" alt=\"\">")).find("src="),
            std::string::npos);
  EXPECT_NE(check(replaced("<h1>", "<h1><a href=\"http://x.org/\">x</a>")).find("refers to"),
            std::string::npos);
  EXPECT_NE(check(replaced("<section id=\"pairs\">", "<section id=\"summary\">")),
            std::string(k_all_sections) + "ok\n");
  EXPECT_NE(tidy(replaced(">ALPHA</title>", ">AL<PHA</title>")), "");
  EXPECT_NE(tidy(replaced("</section>", "</div>")), "");
}

TEST(Report, EverySectionOnceWithHeadingAndReadingLine) {
  const std::string html = page(small_table());
  for (const std::string_view id : report::k_section_ids) {
    SCOPED_TRACE(std::string(id));
    const std::string open = "<section id=\"" + std::string(id) + "\">";
    const auto at = html.find(open);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(html.find(open, at + 1), std::string::npos);
    EXPECT_EQ(html.find("id=\"" + std::string(id) + "\"", at + open.size()), std::string::npos);
    EXPECT_TRUE(
        std::regex_search(html.substr(at), std::regex("^<section id=\"[a-z]+\">\n<h2>[^<]+</h2>\n"
                                                      "<p class=\"how\">[^\n]+</p>\n")));
    EXPECT_NE(html.find("<a href=\"#" + std::string(id) + "\">"), std::string::npos);
  }
  EXPECT_NE(html.find("@media print{"), std::string::npos);
}

TEST(Report, NamesAndSourceEscapedControlsNeutralised) {
  report::Settings s;
  s.source = "runs/<today>&\"new\"";
  const std::string html =
      page(kit_support::measure_table({"<b>&\"'x", "</section>", "C\x01\x1b[31m\x7f", "\xff\xfe"},
                                      {{1, 2}, {2, 1}, {1, 1}, {3, 3}}),
           s);
  EXPECT_EQ(html.find("<b>"), std::string::npos);
  EXPECT_EQ(html.find("</section><"), std::string::npos);
  EXPECT_NE(html.find("<td class=\"name\"><bdi>&lt;b&gt;&amp;&quot;&apos;x</bdi></td>"),
            std::string::npos);
  EXPECT_NE(html.find("<td class=\"name\"><bdi>&lt;/section&gt;</bdi></td>"), std::string::npos);
  EXPECT_NE(
      html.find("<td class=\"name\"><bdi>C\xEF\xBF\xBD\xEF\xBF\xBD[31m\xEF\xBF\xBD</bdi></td>"),
      std::string::npos);
  EXPECT_NE(html.find("<td class=\"name\"><bdi>\xEF\xBF\xBD\xEF\xBF\xBD</bdi></td>"),
            std::string::npos);
  EXPECT_NE(html.find("title=\"&lt;b&gt;&amp;&quot;&apos;x\""), std::string::npos);
  EXPECT_NE(html.find("<title>profkit report: runs/&lt;today&gt;&amp;&quot;new&quot;</title>"),
            std::string::npos);
  for (const char c : html) {
    const auto u = static_cast<unsigned char>(c);
    ASSERT_FALSE((u < 0x20 && c != '\n') || u == 0x7f) << "control byte " << int{u};
  }
}

// The rows of the section `id`'s first table body, one string per row.
std::vector<std::string> rows_of(const std::string& html, const std::string& id) {
  const auto start = html.find("<section id=\"" + id + "\">");
  const auto body = html.find("<tbody>\n", start) + 8;
  const auto end = html.find("</tbody>", body);
  std::vector<std::string> rows;
  std::istringstream in(html.substr(body, end - body));
  for (std::string line; std::getline(in, line);) rows.push_back(line);
  return rows;
}

std::string cells(const std::vector<std::string>& values) {
  std::string s = "<tr>";
  for (std::size_t i = 0; i < values.size(); ++i) {
    s += i == 1 ? "<td class=\"name\"><bdi>" + values[i] + "</bdi></td>"
                : "<td class=\"n\">" + values[i] + "</td>";
  }
  return s + "</tr>";
}

TEST(Report, SummaryAndPairsHoldHandComputedFigures) {
  // ALPHA's log2 ratios: 0 three times, log2(4/3), log2(7/6), log2(10/3), two
  // failures: (3x3 + 4x2 + 5x13 + 6x3) / 8 / 21 = 0.5952. EFFICIENCY: problems
  // over summed relative excesses, scaled by the largest (ALPHA's).
  const std::string html = page(small_table());
  const std::vector<std::string> summary = rows_of(html, "summary");
  ASSERT_EQ(summary.size(), 3u);
  const auto first7 = [](const std::string& row) {
    std::size_t at = 0;
    for (int i = 0; i < 7; ++i) at = row.find("</td>", at) + 5;
    return row.substr(0, at) + "</tr>";
  };
  EXPECT_EQ(first7(summary[0]), cells({"1", "ALPHA", "0.5952", "1.0000", "0.3750", "0.7500", "2"}));
  EXPECT_EQ(first7(summary[1]), cells({"2", "BETA", "0.5179", "0.7764", "0.3750", "0.7500", "2"}));
  EXPECT_EQ(first7(summary[2]), cells({"3", "GAMMA", "0.6190", "0.9906", "0.5000", "0.7500", "1"}));

  // ALPHA against BETA: wins on problems 2, 3, 5, 7; ties on 1 and 8 (both
  // failed); loses 4 and 6. Against GAMMA: wins 1, 6; ties 3, 7, 8.
  const std::vector<std::string> pairs = rows_of(html, "pairs");
  ASSERT_EQ(pairs.size(), 3u);
  EXPECT_EQ(pairs[0], cells({"1", "ALPHA", "\xE2\x80\x94", "4-2-2", "2-3-3"}));
  EXPECT_EQ(pairs[1], cells({"2", "BETA", "2-2-4", "\xE2\x80\x94", "3-1-4"}));
}

// A method that solved nothing has EFFICIENCY above 0 (each failure's excess
// is 1, the others' excesses are shares below it), and the summary says why;
// a table without such a method has no such sentence.
TEST(Report, SummaryExplainsEfficiencyOfAMethodThatSolvedNothing) {
  const std::string why = " solved no problem and still shows an EFFICIENCY above 0: ";
  const std::string html =
      page(kit_support::measure_table({"A", "B", "C"}, {{10, 3}, {k_failed, k_failed}, {5, 6}}));
  // B: MEAN VALUE 0; EFFICIENCY 2 / (1 + 1) over A's and C's 2 / (1/3) = 6: 0.1667.
  EXPECT_NE(
      rows_of(html, "summary")[1].find("<td class=\"n\">0.0000</td><td class=\"n\">0.1667</td>"),
      std::string::npos);
  EXPECT_NE(html.find("<p>method 2 (<bdi>B</bdi>)" + why), std::string::npos);
  EXPECT_EQ(page(small_table()).find(" solved no problem"), std::string::npos);
}

TEST(Report, SameInputSameBytes) {
  const table::MeasureTable t = small_table();
  EXPECT_EQ(page(t), page(t));
  report::Settings other;
  other.seed = 2;
  EXPECT_NE(page(t), page(t, other));
}

}  // namespace

namespace {

// Every curve of the page: its name (a budget curve's name leads with the
// method number) and its stroke and dash, in page order.
std::vector<std::pair<std::string, std::string>> curve_looks(const std::string& html) {
  static const std::regex curve(
      R"re(<path class="curve" stroke="(#[0-9A-F]{6})"( stroke-dasharray="[0-9,]+")? d="[^"]*"( visibility="hidden")?><title>([^<]*)</title>)re");
  std::vector<std::pair<std::string, std::string>> looks;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), curve);
       it != std::sregex_iterator(); ++it) {
    looks.push_back({(*it)[4], std::string((*it)[1]) + std::string((*it)[2])});
  }
  return looks;
}

// A method keeps one look in both figures of the page, whichever methods
// --methods picks and in whatever order; the virtual best has its own.
TEST(Report, AMethodKeepsItsStyleInEveryFigure) {
  const table::MeasureTable t = small_table();
  for (const std::vector<std::size_t>& methods :
       {std::vector<std::size_t>{}, {2, 0}, {1}, {2, 1, 0}}) {
    report::Settings s;
    s.figure.methods = methods;
    const auto looks = curve_looks(page(t, s));
    const std::size_t drawn = methods.empty() ? 3 : methods.size();
    ASSERT_EQ(looks.size(), 2 * drawn + 1);  // profiles, then the virtual best and the budget
    std::map<std::string, std::string> of_method;
    for (std::size_t i = 0; i < drawn; ++i) {
      const std::size_t m = methods.empty() ? i : methods[i];
      EXPECT_EQ(looks[i].first, t.names[m]);
      of_method[t.names[m]] = looks[i].second;
      EXPECT_EQ(looks[drawn + 1 + i].first, std::to_string(m + 1) + " " + t.names[m]);
      EXPECT_EQ(looks[drawn + 1 + i].second, looks[i].second) << t.names[m];
    }
    EXPECT_EQ(looks[drawn].first, "virtual best");
    for (const auto& [name, look] : of_method) EXPECT_NE(look, looks[drawn].second) << name;
    EXPECT_EQ(of_method.size(), drawn);
  }
}

}  // namespace
