// A long CSV read by the two-thread pipeline against the same bytes read by
// one thread: random tables with quotes, line ends inside quotes, CR LF, a
// byte-order mark, each delimiter, rows of another width, pairs given twice,
// control bytes, odd statuses and numbers of every shape, read in batches of
// a few rows so that every row kind meets a batch boundary.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "kit_support.h"
#include "profkit/table/csv_rows.h"

namespace {

using table::ReadTable;

// A number as a table may write it: mostly plain decimals of any length,
// point and exponent, sometimes anything else a cell can hold.
std::string random_number(std::mt19937& rng) {
  static const char* const k_odd[] = {
      "",     "0",    "-1",      "nan",   "Inf",      "-inf", "abc",   " 5 ",
      "+3",   "1.",   ".5",      "1e400", "1e-400",   "1.5e", "0.0e0", "9007199254740993",
      "1e22", "1e23", "4.6E+01", "0x10",  "00012.500"};
  std::uniform_int_distribution<int> pick(0, 9);
  if (pick(rng) == 0) return k_odd[rng() % std::size(k_odd)];
  std::string digits;
  const int count = 1 + static_cast<int>(rng() % 21);
  for (int k = 0; k < count; ++k) digits += static_cast<char>('0' + rng() % 10);
  const std::size_t point = rng() % (digits.size() + 1);
  if (point > 0 && point < digits.size() && rng() % 2 == 0) digits.insert(point, ".");
  if (rng() % 2 == 0) {
    digits += rng() % 2 == 0 ? "e" : "E";
    const int exponent = static_cast<int>(rng() % 61) - 30;
    if (exponent >= 0 && rng() % 2 == 0) digits += "+";
    digits += std::to_string(exponent);
  }
  return digits;
}

std::string random_name(std::mt19937& rng, const char* stem, int choices) {
  std::string name = stem + std::to_string(rng() % static_cast<unsigned>(choices));
  switch (rng() % 40) {
    case 0:
      return " " + name + "\t";
    case 1:
      return name + "\x01";
    case 2:
      return "\"" + name + ",\"\"q\"\"\"";
    case 3:
      return "\"" + name + "\nx\"";
    default:
      return name;
  }
}

// A table whose columns are chosen from `columns` (name and whether the
// cells are numbers), rows mostly in method order like real tables.
std::string random_table(std::mt19937& rng, char delimiter, bool crlf) {
  const bool status = rng() % 4 != 0;
  std::vector<std::string> header = {"solver", "problem", "cost"};
  if (status) header.insert(header.begin() + 2, "status");
  if (rng() % 3 == 0) header.insert(header.begin() + static_cast<long>(rng() % 3), "note");
  const std::string end = crlf ? "\r\n" : "\n";
  std::string csv = rng() % 4 == 0 ? "\xEF\xBB\xBF" : "";
  for (std::size_t c = 0; c < header.size(); ++c) {
    csv += (c > 0 ? std::string(1, delimiter) : "") + header[c];
  }
  csv += end;
  const int methods = 1 + static_cast<int>(rng() % 4);
  const int problems = 1 + static_cast<int>(rng() % 30);
  static const char* const k_statuses[] = {"solved", "failed",   "0", " Solved ",
                                           "weird",  "max_iter", "",  "optimal"};
  const int rows = static_cast<int>(rng() % 120);
  for (int r = 0; r < rows; ++r) {
    const int method = r * methods / std::max(rows, 1);
    std::vector<std::string> cells;
    for (const std::string& column : header) {
      if (column == "solver") {
        cells.push_back(rng() % 10 == 0 ? random_name(rng, "m", methods)
                                        : "m" + std::to_string(method));
      } else if (column == "problem") {
        cells.push_back(rng() % 6 == 0 ? random_name(rng, "p", problems)
                                       : "p" + std::to_string(r % problems));
      } else if (column == "status") {
        cells.push_back(rng() % 5 == 0 ? k_statuses[rng() % std::size(k_statuses)] : "solved");
      } else if (column == "note") {
        cells.push_back(rng() % 5 == 0 ? "\"a" + std::string(1, delimiter) + "b\"" : "x");
      } else {
        cells.push_back(random_number(rng));
      }
    }
    if (rng() % 25 == 0) cells.pop_back();
    if (rng() % 25 == 0) cells.push_back("extra");
    if (rng() % 60 == 0) cells.resize(cells.size() + 60 + rng() % 10, "x");
    std::string line;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      line += (c > 0 ? std::string(1, delimiter) : "") + cells[c];
    }
    if (rng() % 30 == 0) line.clear();
    csv += line + end;
  }
  if (rng() % 20 == 0) csv += "\"m0" + std::string(1, delimiter) + "open";
  if (rng() % 20 == 0) csv += "\x1A" + end + "m9,p9,solved,1" + end;
  return csv;
}

ReadTable read(const std::string& path, std::size_t head_bytes, const table::ReadOptions& options,
               const table::CsvReading& reading) {
  const std::string bytes = kit_support::read_file(path);
  head_bytes = std::min(head_bytes, bytes.size());
  const int fd = ::open(path.c_str(), O_RDONLY);
  EXPECT_GE(fd, 0);
  ::lseek(fd, static_cast<off_t>(head_bytes), SEEK_SET);
  ReadTable t = table::read_csv(fd, std::string_view(bytes).substr(0, head_bytes), path, options,
                                false, reading);
  ::close(fd);
  return t;
}

void expect_same(const ReadTable& a, const ReadTable& b, const std::string& csv) {
  SCOPED_TRACE(csv);
  EXPECT_EQ(a.measure_names, b.measure_names);
  EXPECT_EQ(a.problem_names, b.problem_names);
  EXPECT_EQ(a.errors, b.errors);
  EXPECT_EQ(a.warnings, b.warnings);
  EXPECT_EQ(a.stopped, b.stopped);
  ASSERT_EQ(a.findings.size(), b.findings.size());
  for (std::size_t k = 0; k < a.findings.size(); ++k) {
    const table::SourceFinding &x = a.findings[k], &y = b.findings[k];
    EXPECT_EQ(std::make_tuple(x.line, x.column, x.error, x.message),
              std::make_tuple(y.line, y.column, y.error, y.message));
  }
  ASSERT_EQ(a.measures.size(), b.measures.size());
  for (std::size_t k = 0; k < a.measures.size(); ++k) {
    EXPECT_EQ(a.measures[k].names, b.measures[k].names);
    EXPECT_EQ(a.measures[k].problems, b.measures[k].problems);
    EXPECT_EQ(a.measures[k].row_end, b.measures[k].row_end);
    // Bit for bit: the pipeline converts plain decimals on its own.
    ASSERT_EQ(a.measures[k].measures.size(), b.measures[k].measures.size());
    for (std::size_t i = 0; i < a.measures[k].measures.size(); ++i) {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(a.measures[k].measures[i]),
                std::bit_cast<std::uint64_t>(b.measures[k].measures[i]))
          << a.measures[k].measures[i] << " against " << b.measures[k].measures[i];
    }
  }
}

TEST(CsvPipeline, RandomTablesReadAsOneThreadReadsThem) {
  std::mt19937 rng(18);
  kit_support::TempDir dir;
  const std::string path = dir.file("t.csv");
  std::size_t plain_tables = 0;
  for (int round = 0; round < 400; ++round) {
    const char delimiter = ",;\t"[rng() % 3];
    const std::string csv = random_table(rng, delimiter, rng() % 2 == 0);
    kit_support::write_file(path, csv);
    table::ReadOptions options;
    if (rng() % 4 == 0) options.delimiter = delimiter;
    if (rng() % 4 == 0) options.measures = {"cost"};
    if (rng() % 5 == 0) options.min_cost = 0.5;
    if (rng() % 6 == 0) options.success = {"solved", "weird"};
    const std::size_t head = rng() % 2 == 0 ? csv.size() : rng() % (csv.size() + 1);
    const ReadTable one = read(path, head, options, {false, 1});
    const ReadTable two = read(path, head, options, {true, 1 + rng() % 4});
    expect_same(one, two, csv);
    plain_tables += one.findings.empty() && !one.problem_names.empty() ? 1 : 0;
    if (HasFailure()) return;
  }
  // Clean tables too, where every row takes the pipeline's own path.
  EXPECT_GT(plain_tables, 0u);
}

// Many rows and the default batches: duplicates and control bytes far
// apart, a row longer than 1 MiB refused at its line.
TEST(CsvPipeline, LongTablesAndLongRows) {
  kit_support::TempDir dir;
  const std::string path = dir.file("t.csv");
  std::string csv = "solver,problem,status,cost\n";
  for (int m = 0; m < 3; ++m) {
    for (int p = 0; p < 40000; ++p) {
      csv += "m" + std::to_string(m) + ",p" + std::to_string(p % 39000 == 7 ? 7 : p) +
             (p == 30000 ? "\x02" : "") + ",solved," + std::to_string(p % 97 + 1) + ".5e-1\n";
    }
  }
  for (const bool too_long : {false, true}) {
    if (too_long) csv += "m9,p1,solved," + std::string(std::size_t{1} << 20, '1') + "\n";
    kit_support::write_file(path, csv);
    const ReadTable one = read(path, 0, {}, {false, 1});
    const ReadTable two = read(path, 1000, {}, {});
    expect_same(one, two, too_long ? "long row" : "long table");
    EXPECT_EQ(two.stopped, too_long);
  }
}

}  // namespace

// The name index against a map, on names short and long, empty, repeated
// and met in runs as tables list them: first-met numbers, `added` once.
TEST(NameIndex, NumbersNamesInTheOrderFirstMet) {
  std::mt19937 rng(5);
  table::NameIndex index;
  std::map<std::string, std::uint32_t> numbers;
  for (int k = 0; k < 200000; ++k) {
    const int n = k % 3 == 0 ? static_cast<int>(rng() % 70000) : k / 3 % 50000;
    const std::string name =
        n == 3       ? std::string()
        : n % 7 == 0 ? std::string(static_cast<std::size_t>(n % 40), 'x') + std::to_string(n)
                     : "p" + std::to_string(n);
    bool added = false;
    const std::uint32_t got = index.find_or_add(name, added);
    const auto [at, is_new] = numbers.emplace(name, static_cast<std::uint32_t>(numbers.size()));
    ASSERT_EQ(got, at->second) << name;
    ASSERT_EQ(added, is_new) << name;
  }
  ASSERT_EQ(index.size(), numbers.size());
  for (const auto& [name, number] : numbers) EXPECT_EQ(index.name(number), name);
}
