// The plot script written from hand-made reports and from whole runs.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "profcmp/plot_script.h"
#include "records/record_format.h"
#include "records/units.h"
#include "test_support.h"

namespace {

using test_support::crlf_records;
using test_support::read_file;
using test_support::write_file;

constexpr int k_values = 21;

std::string header_record(const std::string& criterion, const std::string& count_field) {
  return "PERFORMANCE PROFILES:   " + criterion +
         "   BOUND =    2.0000   STEP =    0.1000   NMETH =" + count_field + "\r\n \r\n";
}

std::string header_record(const std::string& criterion, int count) {
  char field[16];
  std::snprintf(field, sizeof field, "%3d", count);
  return header_record(criterion, std::string(field));
}

// The three profile records of one method: 8, 8 and 5 fields of ten columns.
std::string profile_records(const std::vector<std::string>& fields) {
  std::string out;
  for (int j = 0; j < k_values; ++j) {
    out += fields[static_cast<std::size_t>(j)];
    if (j == 7 || j == 15 || j == k_values - 1) out += "\r\n";
  }
  return out;
}

std::vector<std::string> value_fields(const std::vector<double>& values) {
  std::vector<std::string> fields;
  for (double v : values) {
    char field[16];
    std::snprintf(field, sizeof field, "%10.4f", v);
    fields.emplace_back(field);
  }
  return fields;
}

// One method block: method record, blank, profile records, blank.
std::string method_block(int m, const std::string& name14, const std::vector<std::string>& fields) {
  char number[16];
  std::snprintf(number, sizeof number, "%3d", m);
  return "METHOD   " + std::string(number) + "   " + name14 +
         "   MEAN VALUE =    0.7381   EFFICIENCY =    1.0000\r\n \r\n" + profile_records(fields) +
         " \r\n";
}

// Values that tell the methods apart: method m, value j is (21 m + j) / 1000.
std::vector<double> distinct_values(int m) {
  std::vector<double> values;
  for (int j = 1; j <= k_values; ++j) values.push_back((21 * m + j) / 1000.0);
  return values;
}

std::string pad14(const std::string& name) {
  return name + std::string(14 - name.size(), ' ');
}

// A report of `count` methods named A1, A2, ... with distinct values.
std::string report_of(int count) {
  std::string report = header_record("NFV ", count);
  for (int m = 1; m <= count; ++m) {
    report += method_block(m, pad14("A" + std::to_string(m)), value_fields(distinct_values(m)));
  }
  return report;
}

void open_and_write(const std::string& criterion, double bound) {
  records::open_unit(8, "P.PRO", records::OpenStatus::unknown, records::BlankMode::null);
  records::open_unit(9, "P.sci", records::OpenStatus::unknown, records::BlankMode::null);
  plot::write_plot_script(criterion, bound);
  records::close_unit(8);
  records::close_unit(9);
}

// Writes `report` as P.PRO in a fresh directory, runs the writer on it and
// returns the bytes of P.sci.
std::string script_for(const std::string& report, const std::string& criterion = "NFV ",
                       double bound = 2.0) {
  test_support::TempDir dir;
  write_file(dir.file("P.PRO"), report);
  test_support::ScopedChdir here(dir.path());
  open_and_write(criterion, bound);
  return read_file(dir.file("P.sci"));
}

// The script of the worked example (two methods, two problems), byte for byte.
const std::string k_worked_script =
    read_file(test_support::source_dir() + "/tests/profcmp/data/worked_example.sci");

std::vector<double> worked_values() {
  std::vector<double> values(11, 0.5);
  values.resize(k_values, 1.0);
  return values;
}

std::string worked_report() {
  return header_record("NFV ", 2) + method_block(1, pad14("M1"), value_fields(worked_values())) +
         method_block(2, pad14("M2"), value_fields(worked_values()));
}

int count_lines_starting(const std::vector<std::string>& lines, const std::string& prefix) {
  int n = 0;
  for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

TEST(PlotScript, WorkedExampleByteForByte) {
  const std::string script = script_for(worked_report());
  EXPECT_EQ(script, k_worked_script);
  const std::vector<std::string> lines = crlf_records(script);
  ASSERT_EQ(lines.size(), 29u);
  EXPECT_EQ(lines[2].size(), 84u);
  EXPECT_EQ(lines[3].size(), 84u);
  EXPECT_EQ(lines[4].size(), 12u);
  EXPECT_EQ(lines[23].size(), 50u);
}

const char* const k_style_lines[] = {
    "e.children(1).polyline_style=1;", "e.children(1).line_style=1;",
    "e.children(1).thickness=2.5;",    "e.children(1).foreground=4;",
    "e.children(2).polyline_style=1;", "e.children(2).line_style=8;",
    "e.children(2).thickness=4;",      "e.children(2).foreground=13;",
    "e.children(3).polyline_style=1;", "e.children(3).line_style=3;",
    "e.children(3).thickness=4;",      "e.children(3).foreground=5;",
    "e.children(4).polyline_style=1;", "e.children(4).line_style=1;",
    "e.children(4).thickness=5;",      "e.children(4).foreground=2;",
};

TEST(PlotScript, LinesForEachMethodCount) {
  const struct {
    int count;
    std::size_t lines;
    const char* plot;
    const char* legend;
    int styled_children;
  } cases[] = {
      {0, 13, nullptr, nullptr, 1},
      {1, 20, "plot(x,y1);", "leg=legend(['A1            '],4);", 1},
      {2, 29, "plot(x,y1,x,y2);", "leg=legend(['A1            ';'A2            '],4);", 2},
      {3, 38, "plot(x,y1,x,y2,x,y3);",
       "leg=legend(['A1            ';'A2            ';'A3            '],4);", 3},
      {4, 47, "plot(x,y1,x,y2,x,y3,x,y4);",
       "leg=legend(['A1            ';'A2            ';'A3            ';'A4            '],4);", 4},
      {5, 47, "plot(x,y1,x,y2,x,y3,x,y4);",
       "leg=legend(['A1            ';'A2            ';'A3            ';'A4            '],4);", 4},
      {7, 47, "plot(x,y1,x,y2,x,y3,x,y4);",
       "leg=legend(['A1            ';'A2            ';'A3            ';'A4            '],4);", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("count " + std::to_string(c.count));
    const std::vector<std::string> lines = crlf_records(script_for(report_of(c.count)));
    ASSERT_EQ(lines.size(), c.lines);
    EXPECT_EQ(lines.front(), "x=0: 0.10000: 2.00000;");
    const std::size_t curves = c.count < 4 ? static_cast<std::size_t>(c.count) : 4u;
    for (std::size_t k = 1; k <= curves; ++k) {
      EXPECT_EQ(lines[1 + 5 * (k - 1)], "y" + std::to_string(k) + "=[ ...");
      EXPECT_EQ(lines[5 + 5 * (k - 1)], "];");
    }
    std::size_t at = 1 + 5 * curves;
    if (c.plot != nullptr) {
      EXPECT_EQ(lines[at++], c.plot);
    }
    EXPECT_EQ(lines[at++], "a=gca();");
    EXPECT_EQ(lines[at++], "a.font_size=3;");
    EXPECT_EQ(lines[at++], "e=gce();");
    EXPECT_EQ(count_lines_starting(lines, "e.children("), 4 * c.styled_children);
    for (int i = 0; i < 4 * c.styled_children; ++i) EXPECT_EQ(lines[at++], k_style_lines[i]);
    if (c.legend != nullptr) {
      EXPECT_EQ(lines[at++], c.legend);
    }
    EXPECT_EQ(lines[at], "leg.font_size=4.5;");
    EXPECT_EQ(lines.back(), "xs2eps(0,'P');");
  }

  // With more than four methods every block is still read in step: the fourth
  // curve holds method 4's values, and nothing of method 5 appears.
  const std::vector<std::string> lines = crlf_records(script_for(report_of(5)));
  ASSERT_EQ(lines.size(), 47u);
  EXPECT_EQ(lines[16], "y4=[ ...");
  EXPECT_EQ(lines[17],
            " 0.08500 0.08600 0.08700 0.08800 0.08900 0.09000 0.09100 0.09200 0.09300 0.09400 ...");
  EXPECT_EQ(lines[18],
            " 0.09500 0.09600 0.09700 0.09800 0.09900 0.10000 0.10100 0.10200 0.10300 0.10400 ...");
  EXPECT_EQ(lines[19], " 0.10500 ...");
  EXPECT_EQ(count_lines_starting(lines, "y5"), 0);
  EXPECT_EQ(script_for(report_of(5)).find("A5"), std::string::npos);

  // A negative announced count reads no block at all.
  EXPECT_EQ(crlf_records(script_for(header_record("NFV ", " -1") +
                                    method_block(1, pad14("Z"), value_fields(worked_values()))))
                .size(),
            13u);
}

TEST(PlotScript, ValueLinesCarryTheReportDecimals) {
  std::vector<std::string> fields = value_fields(worked_values());
  fields[0] = "    0.1234";
  fields[1] = "      5000";  // no point: four implied decimals, 0.5
  fields[2] = "    0.0000";
  fields[10] = " 0 . 2 5  ";  // blanks inside the field are ignored
  const std::vector<std::string> lines =
      crlf_records(script_for(header_record("NFV ", 1) + method_block(1, pad14("M1"), fields)));
  ASSERT_EQ(lines.size(), 20u);
  EXPECT_EQ(lines[2],
            " 0.12340 0.50000 0.00000 0.50000 0.50000 0.50000 0.50000 0.50000 0.50000 0.50000 ...");
  EXPECT_EQ(lines[3],
            " 0.25000 1.00000 1.00000 1.00000 1.00000 1.00000 1.00000 1.00000 1.00000 1.00000 ...");
}

TEST(PlotScript, TitleShowsTheCriterionWhole) {
  const std::vector<std::string> nfv = crlf_records(script_for(report_of(2), "NFV "));
  EXPECT_EQ(nfv[25], "title('Performance profiles for NFV ','fontsize',5);");
  const std::vector<std::string> ncgr = crlf_records(script_for(report_of(2), "NCGR"));
  EXPECT_EQ(ncgr[25], "title('Performance profiles for NCGR','fontsize',5);");
  const std::vector<std::string> blank = crlf_records(script_for(report_of(0), "    "));
  EXPECT_EQ(blank[9], "title('Performance profiles for     ','fontsize',5);");
}

TEST(PlotScript, QuotesInNamesAndCriterionAreDoubled) {
  std::string report = header_record("N'V ", 4);
  report += method_block(1, "O'Brien  trail", value_fields(worked_values()));
  report += method_block(2, "say \"hi\"      ", value_fields(worked_values()));
  // A name built to close the literal and call a command must stay inside it.
  report += method_block(3, "'],4);unix('x'", value_fields(worked_values()));
  report += method_block(4, " in ner  blank", value_fields(worked_values()));
  const std::vector<std::string> lines = crlf_records(script_for(report, "N'V\""));
  ASSERT_EQ(lines.size(), 47u);
  EXPECT_EQ(lines[41],
            "leg=legend(['O''Brien  trail';'say \"\"hi\"\"      ';"
            "'''],4);unix(''x''';' in ner  blank'],4);");
  EXPECT_EQ(lines[43], "title('Performance profiles for N''V\"\"','fontsize',5);");
  // Fourteen quotes double to 28 characters without touching their neighbours.
  std::string quotes = header_record("NFV ", 2);
  quotes += method_block(1, std::string(14, '\''), value_fields(worked_values()));
  quotes += method_block(2, std::string(14, '"'), value_fields(worked_values()));
  const std::vector<std::string> q = crlf_records(script_for(quotes));
  ASSERT_EQ(q.size(), 29u);
  EXPECT_EQ(q[23],
            "leg=legend(['" + std::string(28, '\'') + "';'" + std::string(28, '"') + "'],4);");
}

TEST(PlotScript, CarriageReturnsBecomeValuesAndEveryOtherByteStays) {
  // Scilab cannot read a carriage return inside a literal: it is closed, the
  // character added as ascii(13), and the literal reopened. Tabs, other
  // control bytes and bytes above 127 go into the literal as they are.
  std::string report = header_record("N\rV ", 4);
  report += method_block(1, std::string("\rA\r\r") + std::string(9, ' ') + "\r",
                         value_fields(worked_values()));
  report +=
      method_block(2, std::string("\t\x01\x7f\xe9\x1b[0m'\r\"   "), value_fields(worked_values()));
  report += method_block(3, std::string(14, '\r'), value_fields(worked_values()));
  report += method_block(4, pad14("plain"), value_fields(worked_values()));
  const std::vector<std::string> lines = crlf_records(script_for(report, "\r'\t\r"));
  ASSERT_EQ(lines.size(), 47u);
  const std::string cr = "'+ascii(13)+'";
  std::string fourteen;
  for (int i = 0; i < 14; ++i) fourteen += cr;
  EXPECT_EQ(lines[41], "leg=legend(['" + cr + "A" + cr + cr + std::string(9, ' ') + cr +
                           "';'\t\x01\x7f\xe9\x1b[0m''" + cr + "\"\"   " + "';'" + fourteen +
                           "';'plain         '],4);");
  EXPECT_EQ(lines[43], "title('Performance profiles for " + cr + "''\t" + cr + "','fontsize',5);");
}

TEST(PlotScript, AbscissaLineForEveryBound) {
  const char* expected[] = {
      "x=0: 0.02500: 0.50000;", "x=0: 0.05000: 1.00000;", "x=0: 0.07500: 1.50000;",
      "x=0: 0.10000: 2.00000;", "x=0: 0.12500: 2.50000;", "x=0: 0.15000: 3.00000;",
      "x=0: 0.17500: 3.50000;", "x=0: 0.20000: 4.00000;", "x=0: 0.22500: 4.50000;",
      "x=0: 0.25000: 5.00000;",
  };
  for (int i = 0; i < 10; ++i) {
    const double bound = 0.5 * (i + 1);
    const std::vector<std::string> lines = crlf_records(script_for(report_of(0), "NFV ", bound));
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[0], expected[i]);
  }
}

TEST(PlotScript, ReportWithFewerBlocksThanAnnounced) {
  // Three announced, two held: the curves so far and nothing after them.
  std::string report = header_record("NFV ", 3) +
                       method_block(1, pad14("M1"), value_fields(worked_values())) +
                       method_block(2, pad14("M2"), value_fields(worked_values()));
  EXPECT_EQ(script_for(report), k_worked_script.substr(0, k_worked_script.find("plot(")));
  EXPECT_EQ(crlf_records(script_for(report)).size(), 11u);
  // None held at all: only the abscissa line.
  EXPECT_EQ(script_for(header_record("NFV ", 1)), "x=0: 0.10000: 2.00000;\r\n");
}

using PlotScriptDeathTest = testing::Test;

TEST(PlotScriptDeathTest, ReportEndingInsideABlockStops) {
  const std::string block = method_block(1, pad14("M1"), value_fields(worked_values()));
  const std::string full = header_record("NFV ", 2) + block;
  const std::string second = method_block(2, pad14("M2"), value_fields(worked_values()));
  const std::string cut_points[] = {
      "",                                                // no header record
      full.substr(0, full.find("\r\n") + 2),             // header, no blank after it
      full + second.substr(0, second.find("\r\n") + 2),  // method record only
      full + second.substr(0, second.find("\r\n") + 5),  // and its blank record
      full + second.substr(0, second.size() - 3 - 52),   // two profile records
      full + second.substr(0, second.size() - 3),        // no closing blank record
  };
  for (const std::string& report : cut_points) {
    SCOPED_TRACE(report.size());
    test_support::TempDir dir;
    write_file(dir.file("P.PRO"), report);
    test_support::ScopedChdir here(dir.path());
    EXPECT_EXIT(open_and_write("NFV ", 2.0), testing::ExitedWithCode(24),
                "rtdiag: severe \\(24\\): end-of-file during read, unit 8, file .*/P\\.PRO");
    // The lines written before the stop stay: the first curve only when the
    // cut lies in the second block.
    const std::string script = read_file(dir.file("P.sci"));
    if (report.size() > full.size()) {
      EXPECT_EQ(script, k_worked_script.substr(0, k_worked_script.find("y2=")));
    } else {
      EXPECT_EQ(script, "x=0: 0.10000: 2.00000;\r\n");
    }
  }
}

TEST(PlotScriptDeathTest, UnreadableValuesStop) {
  std::vector<std::string> nan_fields = value_fields(worked_values());
  for (std::string& field : nan_fields) field = " NaN      ";
  std::vector<std::string> inf_fields = value_fields(worked_values());
  inf_fields[20] = " Infinity ";
  const std::string reports[] = {
      header_record("NFV ", 2) + method_block(1, pad14("M1"), nan_fields) +
          method_block(2, pad14("M2"), nan_fields),
      header_record("NFV ", 1) + method_block(1, pad14("M1"), inf_fields),
      header_record("NFV ", "  x"),
  };
  for (const std::string& report : reports) {
    test_support::TempDir dir;
    write_file(dir.file("P.PRO"), report);
    test_support::ScopedChdir here(dir.path());
    EXPECT_EXIT(open_and_write("NFV ", 2.0), testing::ExitedWithCode(64),
                "rtdiag: severe \\(64\\): input conversion error, unit 8, file .*/P\\.PRO");
    EXPECT_EQ(read_file(dir.file("P.sci")), "x=0: 0.10000: 2.00000;\r\n");
  }
}

}  // namespace
