// Names as every subcommand shows them: no byte of a name (a control
// character, a direction control, a byte that is not UTF-8) reaches the
// terminal raw, and every document (CSV, SVG, TeX, HTML) carries names that
// are escaped, isolated and valid UTF-8, as its golden file shows.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "kit_support.h"
#include "profkit/text/escape.h"

namespace {

using kit_support::read_file;
using kit_support::run_profkit;
using kit_support::TempDir;
using kit_support::write_file;

// Fails unless `bytes` is well-formed UTF-8 whose only control characters are
// those in `controls` and which holds a direction control only if `directions`.
void expect_clean(const std::string& bytes, std::string_view controls, bool directions,
                  const std::string& what) {
  for (std::size_t i = 0; i < bytes.size();) {
    std::uint32_t code = 0;
    const std::size_t length = textkit::utf8_sequence(bytes, i, code);
    ASSERT_NE(length, 0u) << what << ": byte " << i << " is not UTF-8\n" << bytes;
    const bool listed = code < 0x80 && controls.find(static_cast<char>(code)) != controls.npos;
    ASSERT_TRUE(!textkit::is_control(code) || listed)
        << what << ": control U+" << std::hex << code << std::dec << " at byte " << i << "\n"
        << bytes;
    ASSERT_TRUE(!textkit::is_direction_control(code) || directions)
        << what << ": direction control at byte " << i << "\n"
        << bytes;
    i += length;
  }
}

// Methods whose names hold an OSC sequence that retitles a terminal, a raw
// C1 CSI, a UTF-8 C1 CSI, a right-to-left override and bytes that are not
// UTF-8; the last method lacks a problem, so that check names methods too.
std::string hostile_table() {
  return kit_support::results_table({"ESC\x1b]0;pwn\x07",
                                     "C1raw\x9b"
                                     "31m",
                                     "C1utf\xC2\x9b"
                                     "31m",
                                     "RLO\xE2\x80\xAE"
                                     "cba",
                                     "bad\xFF\xC3"},
                                    {{1, 4, 9}, {2, 3, 9}, {3, 2, 1}, {4, 1, 2}, {5, 5}});
}

TEST(NamesCli, NoRawControlOrDirectionByteReachesTheTerminal) {
  const TempDir dir;
  write_file(dir.file("P.PER"), hostile_table());
  // The same names in a long CSV, whose reader has findings of its own.
  write_file(dir.file("long.csv"),
             "solver,problem,status,time\nE\x1b[2J,p\x9b,solved,1\nE\x1b[2J,q,solved,2\n"
             "R\xE2\x80\xAE,p\x9b,solved,2\n");
  // Beyond 50 methods pairs shows each against the best and the next.
  std::vector<std::string> many_names(51, "M");
  many_names[7] = "ESC\x1b[2J\xC2\x9b";
  write_file(dir.file("many.per"),
             kit_support::results_table(many_names, std::vector<std::vector<std::int64_t>>(
                                                        51, std::vector<std::int64_t>{1, 2})));
  const std::vector<std::vector<std::string>> runs = {
      {"check"},
      {"check", "--strict", "no\x1b[2Jfile\xE2\x80\xAE"},
      {"pairs"},
      {"pairs", "many.per"},
      {"check", "long.csv"},
      {"budget", "long.csv"},
      {"stability"},
      {"budget"},
      {"boot", "--replicates", "20"},
      {"boot", "--seed", "\x1b[31m"},
      {"export", "--criterion",
       "\xC2\x9b"
       "31m"},
      {"\x1b]0;title\x07"},
  };
  for (const auto& args : runs) {
    const auto result = run_profkit(args, {}, dir.path());
    std::string what = "profkit";
    for (const std::string& a : args) what += " " + textkit::terminal(a);
    EXPECT_NE(result.out + result.err, "") << what;
    expect_clean(result.out, "\n", false, what + " (standard output)");
    expect_clean(result.err, "\n", false, what + " (standard error)");
  }
  // The exact form, once: \xNN for C0, DEL and bytes that are not UTF-8,
  // \uNNNN for a UTF-8 C1 control or a direction control.
  EXPECT_EQ(run_profkit({"pairs"}, {}, dir.path()).out,
            "Wins-ties-losses of the row method against the column method on 3 problems (tie "
            "tolerance 0).\n"
            "                          1      2      3      4      5\n"
            "1  ESC\\x1B]0;pwn\\x07      -  1-1-1  1-0-2  1-0-2  3-0-0\n"
            "2  C1raw\\x9B31m       1-1-1      -  1-0-2  1-0-2  3-0-0\n"
            "3  C1utf\\u009B31m     2-0-1  2-0-1      -  2-0-1  3-0-0\n"
            "4  RLO\\u202Ecba       2-0-1  2-0-1  1-0-2      -  3-0-0\n"
            "5  bad\\xFF\\xC3        0-0-3  0-0-3  0-0-3  0-0-3      -\n");
  EXPECT_EQ(run_profkit({"export", "no\x1b[2Jfile"}, {}, dir.path()).err,
            "profkit: error: no\\x1B[2Jfile: No such file or directory\n");
}

// Names with a right-to-left override, TeX's specials and ligatures,
// characters pdflatex's default setup cannot typeset, a CSV quote and bytes
// that are not UTF-8, through every writer.
// NAMES_UPDATE_GOLDEN=1 rewrites the golden files (review the diff).
TEST(NamesCli, GoldenDocumentsOfNamesToIsolateAndEscape) {
  const std::string table = kit_support::results_table(
      {"RLO\xE2\x80\xAE"
       "cba",
       "a--b``c!`d", "\xD0\x96{$}_%\\", "x,\"y\"\x1b", "caf\xC3\xA9\xFF"},
      {{1, 4, 9}, {2, 3, 9}, {3, 2, 1}, {4, 1, 2}, {5, 5, 5}});
  struct Golden {
    std::vector<std::string> args;
    const char* file;
  };
  const Golden goldens[] = {
      {{"export", "-"}, "names/names.csv"},
      {{"export", "--format", "svg", "-"}, "names/names.svg"},
      {{"export", "--format", "tex", "-"}, "names/names.tex"},
      {{"report", "--replicates", "10", "-"}, "names/names-lines.html"},
  };
  for (const Golden& g : goldens) {
    const auto result = run_profkit(g.args, table);
    ASSERT_EQ(result.status, 0) << result.err;
    expect_clean(result.out, "\r\n", true, g.file);
    // Of the page, the lines that show names.
    std::string shown = result.out;
    if (g.args.front() == "report") {
      std::istringstream page(result.out);
      shown.clear();
      for (std::string line; std::getline(page, line);) {
        if (line.find("<bdi>") != line.npos || line.find("isolate") != line.npos) {
          shown += line + "\n";
        }
      }
    }
    const std::string path = kit_support::test_data(g.file);
    if (std::getenv("NAMES_UPDATE_GOLDEN") != nullptr) write_file(path, shown);
    EXPECT_EQ(shown, read_file(path)) << g.file;
  }
}

// Every sentence of the report that names a method isolates the name.
TEST(NamesCli, ReportIsolatesEveryMethodNamedInASentence) {
  const auto result = run_profkit(
      {"report", "--replicates", "10", kit_support::test_data("compare/leave-one-out.per")});
  ASSERT_EQ(result.status, 0) << result.err;
  std::size_t labels = 0;
  for (std::size_t at = result.out.find("ethod "); at != std::string::npos;
       at = result.out.find("ethod ", at + 1)) {
    const std::size_t open = result.out.find_first_not_of("0123456789", at + 6);
    if (open == at + 6 || result.out.compare(open, 2, " (") != 0) continue;
    ++labels;
    EXPECT_EQ(result.out.compare(open, 7, " (<bdi>"), 0) << result.out.substr(at, 40);
  }
  EXPECT_GE(labels, 9u);  // the ranking and the sentences of three findings
}

}  // namespace
