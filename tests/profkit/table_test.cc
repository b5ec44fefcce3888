// The table reader against profcmp's own: record splitting, the layout, groups
// and the measures of every criterion, for hand-made and random tables.
#include "table/results_table.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "support/kit_support.h"

namespace {

using kit_support::TempDir;

table::ResultsTable read_text(const std::string& text) {
  TempDir dir;
  kit_support::write_file(dir.file("P.PER"), text);
  const int fd = ::open(dir.file("P.PER").c_str(), O_RDONLY);
  table::RecordReader reader(fd);
  table::ResultsTable results;
  EXPECT_TRUE(table::read_results(reader, results));
  ::close(fd);
  return results;
}

TEST(ResultsTable, GroupsAndMeasures) {
  const table::ResultsTable t =
      read_text(kit_support::results_table({"A", "B"}, {{10, 20, 0}, {5, 40}}));
  ASSERT_EQ(t.groups.size(), 2u);
  EXPECT_EQ(t.problems(), 3u);
  const table::MeasureTable m = table::measures_of(t, 2, table::FailureRule::clamp);
  EXPECT_EQ(m.names, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(m.measures, (std::vector<std::int32_t>{10, 20, 1, 5, 40, table::k_failed}));
  const table::MeasureTable n = table::measures_of(t, 2, table::FailureRule::nonpositive);
  EXPECT_EQ(n.measures,
            (std::vector<std::int32_t>{10, 20, table::k_failed, 5, 40, table::k_failed}));
}

}  // namespace
