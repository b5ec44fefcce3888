// profkit export run as a program: the documents of the bundled example and
// of large and hostile tables, well-formed (xmllint) and the same bytes on
// every run, the options shared with the other subcommands, and the exact
// usage errors.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kit_support.h"

namespace {

using kit_support::on_path;
using kit_support::read_file;
using kit_support::run;
using kit_support::run_profkit;
using kit_support::TempDir;
using kit_support::write_file;

// xmllint's verdict on `document` ("" when well-formed), or skips the test.
#define EXPECT_WELL_FORMED(dir, document)                                            \
  do {                                                                               \
    const std::string xmllint = on_path("xmllint");                                  \
    if (xmllint.empty()) GTEST_SKIP() << "xmllint is not installed (libxml2-utils)"; \
    write_file((dir).file("check.svg"), document);                                   \
    const auto lint = run({xmllint, "--noout", (dir).file("check.svg")});            \
    EXPECT_EQ(lint.status, 0) << lint.err;                                           \
    EXPECT_EQ(lint.err, "");                                                         \
  } while (false)

std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

TEST(ExportCli, ExampleTableGoldenCsvAndEveryWayToNameInputAndOutput) {
  const std::string expected = kit_support::test_data("curves/example.csv");
  const auto by_file = run_profkit({"export", kit_support::example_table()});
  EXPECT_EQ(by_file.status, 0) << by_file.err;
  EXPECT_EQ(by_file.err, "");
  EXPECT_EQ(by_file.out, read_file(expected));

  const auto by_stdin =
      run_profkit({"export", "--format", "csv", "-"}, read_file(kit_support::example_table()));
  EXPECT_EQ(by_stdin.out, by_file.out);

  const TempDir dir;
  write_file(dir.file("P.PER"), read_file(kit_support::example_table()));
  const auto by_default = run_profkit({"export", "-o", "out.csv"}, {}, dir.path());
  EXPECT_EQ(by_default.status, 0) << by_default.err;
  EXPECT_EQ(by_default.out, "");
  EXPECT_EQ(read_file(dir.file("out.csv")), by_file.out);

  // The criterion in any case selects its column; TIME differs from NFV.
  const auto time_lower = run_profkit({"export", "--criterion", "time", "P.PER"}, {}, dir.path());
  const auto time_upper = run_profkit({"export", "--criterion", "TIME", "P.PER"}, {}, dir.path());
  EXPECT_EQ(time_lower.status, 0);
  EXPECT_EQ(time_lower.out, time_upper.out);
  EXPECT_NE(time_lower.out, by_file.out);
}

// PDF and PNG draw the SVG the same run writes: the PDF page is its size at
// 0.75 pt per px, the PNG one pixel per px (rounded up), and a second run
// gives the same bytes. The example table and a history's summary figure.
TEST(ExportCli, PdfAndPngAreTheSvgAtItsSizeAndTheSameBytesOnEveryRun) {
  const TempDir dir;
  for (const std::string& input :
       {kit_support::example_table(), std::string(PROFCMP_SOURCE_DIR) + "/examples/history.csv"}) {
    const kit_support::Size px =
        kit_support::svg_size(run_profkit({"export", "--format", "svg", input}).out);
    std::string runs[4];  // pdf, png, pdf, png
    for (int run = 0; run < 4; ++run) {
      const std::string format = run % 2 == 0 ? "pdf" : "png", out = dir.file("figure");
      const auto r = run_profkit({"export", "--format", format, "-o", out, input});
      ASSERT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(r.out + r.err, "");
      runs[run] = read_file(out);
    }
    EXPECT_TRUE(runs[0] == runs[2] && runs[1] == runs[3]) << input << ": runs differ";
    const kit_support::Size points = kit_support::pdf_size(runs[0]);
    EXPECT_NEAR(points.width, px.width * 0.75, 1e-3) << input;
    EXPECT_NEAR(points.height, px.height * 0.75, 1e-3) << input;
    EXPECT_EQ(runs[0].find("/CreationDate"), std::string::npos);
    EXPECT_EQ(kit_support::png_size(runs[1]),
              (kit_support::Size{std::ceil(px.width), std::ceil(px.height)}))
        << input;
  }
}

TEST(ExportCli, ExampleSvgAndTexAreWellFormedDeterministicAndNameEveryMethod) {
  const TempDir dir;
  const auto svg = run_profkit({"export", "--format", "svg", kit_support::example_table()});
  ASSERT_EQ(svg.status, 0) << svg.err;
  EXPECT_EQ(svg.out, run_profkit({"export", "--format", "svg", kit_support::example_table()}).out);
  EXPECT_NE(svg.out.find("Performance profiles, criterion NFV"), std::string::npos);
  EXPECT_EQ(occurrences(svg.out, "<path class=\"curve\""), occurrences(svg.out, "legend-entry"));
  const auto tex = run_profkit({"export", "--format", "tex", "--criterion", "nit", "--bound", "3",
                                kit_support::example_table()});
  ASSERT_EQ(tex.status, 0) << tex.err;
  EXPECT_NE(tex.out.find("title={Performance profiles, criterion NIT}"), std::string::npos);
  EXPECT_NE(tex.out.find("xmin=0, xmax=3, "), std::string::npos);
  EXPECT_EQ(occurrences(tex.out, "\\addlegendentry{"), occurrences(svg.out, "legend-entry"));
  EXPECT_WELL_FORMED(dir, svg.out);
}

TEST(ExportCli, ThirtyMethodsOfFiveHundredProblems) {
  std::mt19937_64 rng(500);
  std::vector<std::string> names;
  std::vector<std::vector<std::int64_t>> counts(30);
  for (int m = 0; m < 30; ++m) {
    names.push_back("Solver " + std::to_string(m + 1));
    for (int p = 0; p < 500; ++p) counts[m].push_back(1 + static_cast<std::int64_t>(rng() % 900));
  }
  counts[29].resize(400);  // a short group: 100 failures
  const TempDir dir;
  write_file(dir.file("big.per"), kit_support::results_table(names, counts));
  const auto csv = run_profkit({"export", dir.file("big.per")});
  ASSERT_EQ(csv.status, 0) << csv.err;
  for (int m = 0; m < 30; ++m) {
    const std::string first = "\r\n" + std::to_string(m + 1) + "," + names[m] + ",0,";
    EXPECT_EQ(occurrences(csv.out, first), 1u) << names[m];
  }
  EXPECT_NE(csv.out.find("\r\n30,Solver 30,0,"), std::string::npos);
  EXPECT_EQ(csv.out.substr(csv.out.rfind(',', csv.out.size() - 3)), ",0.8\r\n");  // 400 of 500

  const auto svg = run_profkit({"export", "--format", "svg", dir.file("big.per")});
  ASSERT_EQ(svg.status, 0) << svg.err;
  EXPECT_EQ(occurrences(svg.out, "<path class=\"curve\""), 30u);
  EXPECT_EQ(occurrences(svg.out, "<g class=\"legend-entry\">"), 30u);
  for (const std::string& name : names) EXPECT_EQ(occurrences(svg.out, ">" + name + "<"), 2u);
  EXPECT_WELL_FORMED(dir, svg.out);
}

// Names with markup characters, controls and bytes that are not UTF-8 stay
// inside a well-formed document; CSV replaces what is not printable UTF-8.
TEST(ExportCli, HostileNames) {
  const std::vector<std::string> names = {"<b>&amp;\"x\"", "tab\there\x01\x1b", "\xFF\xFEraw\x80",
                                          "caf\xC3\xA9 {$_%}", "a,b"};
  std::vector<std::vector<std::int64_t>> counts;
  for (std::size_t m = 0; m < names.size(); ++m) counts.push_back({1 + int(m), 5, 3});
  const TempDir dir;
  write_file(dir.file("P.PER"), kit_support::results_table(names, counts));
  const auto svg = run_profkit({"export", "--format", "svg"}, {}, dir.path());
  ASSERT_EQ(svg.status, 0) << svg.err;
  for (const char* escaped :
       {">&lt;b&gt;&amp;amp;&quot;x&quot;<", ">tab\xEF\xBF\xBDhere\xEF\xBF\xBD\xEF\xBF\xBD<",
        ">\xEF\xBF\xBD\xEF\xBF\xBDraw\xEF\xBF\xBD<", ">caf\xC3\xA9 {$_%}<", ">a,b<"}) {
    EXPECT_EQ(occurrences(svg.out, escaped), 2u) << escaped;
  }
  const auto tex = run_profkit({"export", "--format", "tex"}, {}, dir.path());
  EXPECT_NE(tex.out.find("\\addlegendentry{caf\xC3\xA9 \\{\\$\\_\\%\\}}"), std::string::npos);
  EXPECT_NE(tex.out.find("\\addlegendentry{tab?here??}"), std::string::npos);
  const auto csv = run_profkit({"export"}, {}, dir.path());
  EXPECT_NE(csv.out.find("\r\n1,\"<b>&amp;\"\"x\"\"\",0,"), std::string::npos);
  EXPECT_NE(csv.out.find("\r\n3,\xEF\xBF\xBD\xEF\xBF\xBDraw\xEF\xBF\xBD,0,"), std::string::npos);
  EXPECT_NE(csv.out.find("\r\n5,\"a,b\",0,"), std::string::npos);
  EXPECT_WELL_FORMED(dir, svg.out);
}

TEST(ExportCli, TablesWithoutRatiosGiveDocumentsAndWithoutProblemsAreRefused) {
  const TempDir dir;
  // Every method ties everywhere: the axis runs to 2 (ratio 4) with log2
  // ticks every 0.2, ratio ticks at 1, 2, 4.
  write_file(dir.file("tie.per"), kit_support::results_table({"A", "B"}, {{3, 4}, {3, 4}}));
  const auto tie = run_profkit({"export", "--format", "svg", dir.file("tie.per")});
  EXPECT_EQ(tie.status, 0);
  EXPECT_NE(tie.out.find("text-anchor=\"middle\">4</text>"), std::string::npos);
  EXPECT_EQ(tie.out.find("text-anchor=\"middle\">1.8</text>"), std::string::npos);
  const auto log2 =
      run_profkit({"export", "--format", "svg", "--axis", "log2", dir.file("tie.per")});
  EXPECT_NE(log2.out.find("text-anchor=\"middle\">2</text>"), std::string::npos);
  EXPECT_NE(log2.out.find("text-anchor=\"middle\">1.8</text>"), std::string::npos);
  write_file(dir.file("empty.per"), kit_support::method_record("LONE"));
  const auto empty = run_profkit({"export", "--format", "svg", dir.file("empty.per")});
  EXPECT_EQ(empty.status, 2);
  EXPECT_EQ(empty.out, "");
  EXPECT_EQ(empty.err, "profkit: error: " + dir.file("empty.per") +
                           ": the table has no problem; there is nothing to compare\n");
}

TEST(ExportCli, FailuresNonpositiveTurnsCountsOfZeroIntoFailures) {
  const TempDir dir;
  write_file(dir.file("P.PER"), kit_support::results_table({"A", "B"}, {{0, 10}, {5, 20}}));
  EXPECT_EQ(run_profkit({"export"}, {}, dir.path()).out,
            "method_number,method,log2_ratio,fraction\r\n"
            "1,A,0,1\r\n"
            "2,B,0,0\r\n2,B,1,0.5\r\n2,B,2.321928094887362,1\r\n");
  EXPECT_EQ(run_profkit({"export", "--failures", "nonpositive"}, {}, dir.path()).out,
            "method_number,method,log2_ratio,fraction\r\n"
            "1,A,0,0.5\r\n"
            "2,B,0,0.5\r\n2,B,1,1\r\n");
}

TEST(ExportCli, UsageErrorsAndUnreadableFiles) {
  const TempDir dir;
  write_file(dir.file("P.PER"), read_file(kit_support::example_table()));
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"export", "--bound", "3"},
       "profkit: error: export: --bound sets the x axis of --format svg, pdf, png or tex; CSV "
       "holds every breakpoint\nRun 'profkit --help' for usage.\n"},
      {{"export", "--format", "svg", "--bound", "0"},
       "profkit: error: export: --bound must be a positive finite number\nRun 'profkit --help' "
       "for usage.\n"},
      {{"export", "--format", "tex", "--bound", "inf"},
       "profkit: error: export: --bound must be a positive finite number\nRun 'profkit --help' "
       "for usage.\n"},
      {{"export", "missing.per"}, "profkit: error: missing.per: No such file or directory\n"},
      {{"export", "-o", "no/such/dir/out.csv"},
       "profkit: error: no/such/dir/out.csv: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    const auto r = run_profkit(c.args, {}, dir.path());
    EXPECT_EQ(r.status, 2) << c.args.back();
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
  // Parse errors of the command line (CLI11's words) point to --help.
  const Case parse_errors[] = {
      {{"export", "--format", "eps"},
       "profkit: error: --format: eps not in {csv,svg,pdf,png,tex}\n"},
      {{"export", "--format", "pdf", "--dpi", "300"},
       "profkit: error: export: --dpi sets the resolution of --format png\n"},
      {{"export", "--format", "png", "--dpi", "0"},
       "profkit: error: --dpi: '0' is not a whole number from 1 to 2400\n"},
      {{"export", "--format", "svg", "--bound", "wide"},
       "profkit: error: --bound: 'wide' is not a number (e.g. 2.0)\n"},
      {{"export", "--criterion", "NFE"},
       "profkit: error: --criterion: 'NFE' is not one of NIT, NFV, NFG, NCGR, TIME\n"},
  };
  for (const Case& c : parse_errors) {
    const auto r = run_profkit(c.args, {}, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, c.err + "Run 'profkit --help' for usage.\n");
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
