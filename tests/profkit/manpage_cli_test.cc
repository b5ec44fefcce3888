// profkit's manual page against the built program: it renders without a
// groff warning, every subcommand `profkit --help` lists has its own section,
// no section is left unwritten, and every CSV header the page states is the
// first line the subcommand prints for the bundled example.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "kit_support.h"

namespace {

using kit_support::example_table;
using kit_support::on_path;
using kit_support::read_file;
using kit_support::run;
using kit_support::run_profkit;

std::string page_path() {
  return std::string(PROFCMP_SOURCE_DIR) + "/docs/profkit.1";
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The subcommand names under "Subcommands:" in `profkit --help`.
std::vector<std::string> listed_subcommands() {
  const auto result = run_profkit({"--help"});
  EXPECT_EQ(result.status, 0) << result.err;
  std::vector<std::string> names;
  bool in_list = false;
  const std::regex entry(R"(^  ([a-z]+)\s)");
  for (const std::string& line : lines_of(result.out)) {
    if (line == "Subcommands:") {
      in_list = true;
      continue;
    }
    std::smatch match;
    if (in_list && std::regex_search(line, match, entry)) names.push_back(match[1]);
  }
  return names;
}

// The page's source split at its `.SS` headings under SUBCOMMANDS: name -> lines.
std::map<std::string, std::vector<std::string>> subcommand_sections() {
  std::map<std::string, std::vector<std::string>> sections;
  bool in_subcommands = false;
  std::vector<std::string>* current = nullptr;
  for (const std::string& line : lines_of(read_file(page_path()))) {
    if (line.rfind(".SH ", 0) == 0) {
      in_subcommands = line == ".SH SUBCOMMANDS";
      current = nullptr;
    } else if (in_subcommands && line.rfind(".SS ", 0) == 0) {
      current = &sections[line.substr(4)];
    } else if (current != nullptr) {
      current->push_back(line);
    }
  }
  return sections;
}

// CSV headers stated in a section: the bold words made only of lower-case
// names and commas (groff's \% and \: escapes removed).
std::vector<std::string> csv_headers(const std::vector<std::string>& section) {
  const std::regex bold(R"(^\.BR? (\S+))");
  const std::regex header(R"(^[a-z0-9_]+(,[a-z0-9_]+)+$)");
  std::vector<std::string> headers;
  for (const std::string& line : section) {
    std::smatch match;
    if (!std::regex_search(line, match, bold)) continue;
    std::string word = match[1];
    for (const std::string escape : {"\\%", "\\:"}) {
      for (std::size_t at; (at = word.find(escape)) != std::string::npos;) word.erase(at, 2);
    }
    if (std::regex_match(word, header)) headers.push_back(word);
  }
  return headers;
}

TEST(ManPage, RendersWithoutWarnings) {
  const std::string groff = on_path("groff");
  if (groff.empty()) GTEST_SKIP() << "groff is not installed (package groff)";
  const auto result = run({groff, "-man", "-Tutf8", "-ww", page_path()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_NE(result.out.find("profkit stability"), std::string::npos);
}

TEST(ManPage, EverySubcommandHasAWrittenSection) {
  const std::vector<std::string> listed = listed_subcommands();
  // The parse of the help found the list (the first subcommand is check).
  ASSERT_GE(listed.size(), 2u);
  EXPECT_EQ(listed.front(), "check");
  const auto sections = subcommand_sections();
  std::set<std::string> documented;
  for (const auto& [name, lines] : sections) documented.insert(name);
  EXPECT_EQ(documented, std::set<std::string>(listed.begin(), listed.end()));
  for (const auto& [name, lines] : sections) {
    ASSERT_FALSE(lines.empty()) << name;
    // Each section opens with its synopsis line, then describes the subcommand.
    EXPECT_EQ(lines.front(), ".B profkit " + name);
    EXPECT_GT(lines.size(), 20u) << name;
    for (const std::string& line : lines) {
      EXPECT_EQ(line.find("to be written"), std::string::npos) << name << ": " << line;
      EXPECT_EQ(line.find("Reserved"), std::string::npos) << name << ": " << line;
    }
  }
}

TEST(ManPage, CsvHeadersAreTheProgramsFirstLines) {
  struct Case {
    std::string subcommand;
    std::vector<std::string> extra;
    std::string file;  // empty: the example table
  };
  const std::vector<Case> cases = {
      {"export", {}, {}},
      {"export", {"--profile", "data"}, kit_support::test_data("history/hand.csv")},
      {"pairs", {}, {}},
      {"stability", {}, {}},
      {"boot", {"--replicates", "10"}, {}},
      {"budget", {}, {}},
      {"verdict", {"--replicates", "10"}, {}},
  };
  const auto sections = subcommand_sections();
  // Per subcommand, the first lines of its runs, in the order of the cases.
  std::map<std::string, std::vector<std::string>> first_lines;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.subcommand);
    std::vector<std::string> args = {c.subcommand, "--format", "csv",
                                     c.file.empty() ? example_table() : c.file};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const auto result = run_profkit(args);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::size_t end = result.out.find("\r\n");
    ASSERT_NE(end, std::string::npos);
    first_lines[c.subcommand].push_back(result.out.substr(0, end));
  }
  std::set<std::string> with_csv;
  for (const auto& [subcommand, lines] : first_lines) {
    with_csv.insert(subcommand);
    ASSERT_TRUE(sections.count(subcommand));
    EXPECT_EQ(csv_headers(sections.at(subcommand)), lines) << subcommand;
  }
  // No other section states a CSV header that no test holds to the program.
  for (const auto& [name, lines] : sections) {
    if (with_csv.count(name) == 0) {
      EXPECT_TRUE(csv_headers(lines).empty()) << name;
    }
  }
}

}  // namespace
