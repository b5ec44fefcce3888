// table::read_measures against read_results followed by measures_of: the same
// measures, names, record count and first conversion error, read in one piece
// or as two halves on two threads, from a file, a pipe and a file read from
// the middle.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>
#include <thread>

#include "kit_support.h"
#include "profkit/table/results_table.h"

namespace {

int memory_file(const std::string& text) {
  const int fd = ::memfd_create("P.PER", MFD_CLOEXEC);
  EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

struct Expected {
  table::ResultsTable results;
  bool read = false;
};

Expected read_the_old_way(const std::string& text) {
  const int fd = memory_file(text);
  table::RecordReader reader(fd);
  Expected e;
  e.read = table::read_results(reader, e.results);
  ::close(fd);
  return e;
}

// How read_measures is to read the text.
enum class Way { whole, halves, pipe };

table::MeasureRead read_new_way(const std::string& text, int measure, table::FailureRule rule,
                                Way way) {
  if (way == Way::pipe) {
    int ends[2];
    EXPECT_EQ(::pipe(ends), 0);
    std::thread writer([&] {
      EXPECT_EQ(::write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
      ::close(ends[1]);
    });
    table::MeasureRead r = table::read_measures(ends[0], measure, rule, 1);
    writer.join();
    ::close(ends[0]);
    return r;
  }
  const int fd = memory_file(text);
  table::MeasureRead r =
      table::read_measures(fd, measure, rule, way == Way::halves ? 1 : text.size() + 1);
  ::close(fd);
  return r;
}

void expect_same(const std::string& text, const std::string& context) {
  const Expected e = read_the_old_way(text);
  ASSERT_TRUE(e.read) << context;
  for (Way way : {Way::whole, Way::halves, Way::pipe}) {
    for (int measure = 1; measure <= records::k_count_fields; ++measure) {
      for (table::FailureRule rule : {table::FailureRule::clamp, table::FailureRule::nonpositive}) {
        const std::string where = context + " way " + std::to_string(static_cast<int>(way)) +
                                  " measure " + std::to_string(measure) + " rule " +
                                  std::to_string(static_cast<int>(rule));
        const table::MeasureRead r = read_new_way(text, measure, rule, way);
        const table::MeasureTable m = table::measures_of(e.results, measure, rule);
        EXPECT_EQ(r.read_error, 0) << where;
        EXPECT_EQ(r.records, e.results.records) << where;
        EXPECT_EQ(r.measures.names, m.names) << where;
        EXPECT_EQ(r.measures.problems, m.problems) << where;
        ASSERT_EQ(r.measures.measures, m.measures) << where;
        ASSERT_EQ(r.conversion_failed, !e.results.conversion_errors.empty()) << where;
        if (r.conversion_failed) {
          const table::ConversionError& want = e.results.conversion_errors.front();
          EXPECT_EQ(r.first_error.line, want.line) << where;
          EXPECT_EQ(r.first_error.column, want.column) << where;
          EXPECT_EQ(r.first_error.field, want.field) << where;
          EXPECT_EQ(r.first_error.text, want.text) << where;
          EXPECT_EQ(r.first_error.out_of_range, want.out_of_range) << where;
        }
      }
    }
  }
}

// A record with `counts` as written after column 22, and no line end.
std::string record(const std::string& key, const std::string& name, const std::string& counts) {
  return test_support::record_start(key, name) + counts;
}

TEST(MeasureRead, HandMadeTables) {
  const std::string ok = "         1         2         3         4         5";
  const std::string bad = "         1       2x3         3         4         5";
  const std::string huge = "         1 9999999999        3         4         5";
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"one method, no problem", "METHOD  A\r\n"},
      {"only leading records", record("", "P1", ok) + "\n" + record("", "P2", ok) + "\n"},
      {"leading records, then groups",
       record("", "P0", ok) + "\r\n" + "METHOD  A\r\n" + record("", "P1", ok) + "\r\n"},
      {"short groups", "METHOD  A\n" + record("", "P1", ok) + "\n" + record("", "P2", ok) +
                           "\nMETHOD  B\nMETHOD  C\n" + record("", "P1", ok) + "\n"},
      {"blank and signed counts, a comma",
       "METHOD  A\n" + record("", "P1", "          -3,7,   +2         0      0") + "\n" +
           record("", "P2", "") + "\n"},
      {"last line without a line end, CR kept",
       "METHOD  A\r\n" + record("", "P1", "         4         5") + "\r"},
      {"a lone Ctrl-Z ends the table", "METHOD  A\r\n" + record("", "P1", ok) + "\r\n\x1a\r\n" +
                                           "METHOD  B\r\n" + record("", "P1", bad) + "\r\n"},
      {"Ctrl-Z with text is a record", "METHOD  A\n\x1a \n" + record("", "P1", ok) + "\n"},
      {"a count that does not convert", "METHOD  A\n" + record("", "P1", ok) + "\n" +
                                            record("", "P2", bad) + "\n" + record("", "P3", huge)},
      {"a count beyond 32 bits", "METHOD  A\n" + record("", "P1", huge) + "\n"},
      {"a method record with a bad count",
       record("METHOD", "A", bad) + "\n" + record("", "P1", ok) + "\n" + "METHOD  B\n"},
      {"empty records", "\n\nMETHOD  A\n\n\r\n"},
  };
  for (const auto& c : cases) {
    expect_same(c.text, c.what);
    if (HasFatalFailure()) return;
  }
}

// Tables with every kind of record in random places, so that the middle of
// the file falls anywhere: in a leading stretch, in a group, right before a
// method record, after a Ctrl-Z.
std::string random_table(std::mt19937& rng) {
  std::uniform_int_distribution<int> methods(0, 6);
  std::uniform_int_distribution<int> length(0, 40);
  std::uniform_int_distribution<int> coin(0, 9);
  std::uniform_int_distribution<int> count(-2, 9000);
  const char* end = coin(rng) < 5 ? "\n" : "\r\n";
  std::string text;
  const int leading = coin(rng) < 2 ? length(rng) : 0;
  for (int p = 0; p < leading; ++p) text += record("", "L", "         7") + end;
  const int m_count = methods(rng);
  for (int m = 0; m < m_count; ++m) {
    // A Ctrl-Z that starts a longer record is a byte of its key: this one
    // is a problem record, not a method record.
    text += std::string(coin(rng) == 0 ? "\x1aMETHOD  M" : "METHOD  M")
                .append(std::to_string(m))
                .append(end);
    const int problems = length(rng);
    for (int p = 0; p < problems; ++p) {
      std::string counts;
      for (int k = 0; k < records::k_count_fields; ++k) {
        const int form = coin(rng);
        char field[32];
        if (form == 0) {
          std::snprintf(field, sizeof field, "%10s", "");
        } else if (form == 1 && coin(rng) == 0) {
          std::snprintf(field, sizeof field, "%9dx", count(rng));
        } else if (form == 2) {
          std::snprintf(field, sizeof field, "%d,", count(rng));
        } else {
          std::snprintf(field, sizeof field, "%10d", count(rng));
        }
        counts += field;
      }
      text +=
          record(coin(rng) == 0 ? "\x1a" : "", std::string("P").append(std::to_string(p)), counts);
      text += end;
      if (coin(rng) == 0 && coin(rng) == 0) text += std::string("\x1a") + end;
    }
  }
  if (coin(rng) == 0) text += "METHOD  CUT";
  return text;
}

TEST(MeasureRead, RandomTablesInOnePieceAndInHalves) {
  std::mt19937 rng(20261209);
  for (int round = 0; round < 150; ++round) {
    expect_same(random_table(rng), "round " + std::to_string(round));
    if (HasFatalFailure()) return;
  }
}

TEST(MeasureRead, ReadsFromWhereTheFileStandsAndLeavesItAtTheEnd) {
  const std::string skipped = "METHOD  SKIPPED\n" + record("", "P1", "         9") + "\n";
  const std::string rest = "METHOD  A\n" + record("", "P1", "         4") + "\n" +
                           record("", "P2", "         6") + "\nMETHOD  B\n" +
                           record("", "P1", "         2") + "\n";
  for (std::size_t split : {std::size_t{1}, std::size_t{1} << 20}) {
    const int fd = memory_file(skipped + rest);
    ::lseek(fd, static_cast<off_t>(skipped.size()), SEEK_SET);
    const table::MeasureRead r = table::read_measures(fd, 1, table::FailureRule::clamp, split);
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), static_cast<off_t>(skipped.size() + rest.size()));
    ::close(fd);
    EXPECT_EQ(r.records, 5u);
    EXPECT_EQ(r.measures.names, (std::vector<std::string>{"A", "B"}));
    // B's short group is stored as it is; its missing problem is a failure.
    EXPECT_EQ(r.measures.measures, (std::vector<double>{4, 6, 2}));
    EXPECT_EQ(r.measures.row_end, (std::vector<std::size_t>{2, 3}));
    EXPECT_EQ(r.measures.at(1, 1), table::k_failed);
  }
}

TEST(MeasureRead, AReadErrorIsReported) {
  kit_support::TempDir dir;
  const int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  const table::MeasureRead r = table::read_measures(fd, 2, table::FailureRule::clamp);
  ::close(fd);
  EXPECT_EQ(r.read_error, EISDIR);
}

}  // namespace
