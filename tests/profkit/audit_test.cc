// The audit in-process: the cap per kind and its summary line, the order of
// findings, and findings whose place depends on the whole table.
#include "profkit/audit/audit.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include "kit_support.h"

namespace {

std::string check(const std::string& text, audit::Options options = {}) {
  const int fd = ::memfd_create("P.PER", MFD_CLOEXEC);
  EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::lseek(fd, 0, SEEK_SET);
  table::RecordReader reader(fd);
  table::ResultsTable results;
  audit::Auditor auditor(options);
  EXPECT_TRUE(table::read_results(reader, results,
                                  [&](const table::ParsedRecord& r) { auditor.observe(r); }));
  ::close(fd);
  std::ostringstream out;
  audit::write_audit(out, "T", auditor.finish(results));
  return out.str();
}

TEST(Audit, CapPerKindKeepsTheFirstAndCountsTheRest) {
  // Problem names differ on three records, counts are 0 on two: with a cap of
  // 1 each kind shows its first finding and one line for the rest.
  std::string text = kit_support::results_table({"A", "B"}, {{1, 2, 3}, {4, 5, 6}});
  const std::string renamed = kit_support::problem_record("Q", {1, 7, 1, 1, 1});
  text = kit_support::method_record("A") + kit_support::problem_record("P1", {1, 0, 1, 1, 1}) +
         kit_support::problem_record("P2", {1, 0, 1, 1, 1}) +
         kit_support::problem_record("P3", {1, 3, 1, 1, 1}) + kit_support::method_record("B") +
         renamed + renamed + renamed;
  audit::Options options;
  options.shown_per_rule = 1;
  options.measure_index = 2;
  EXPECT_EQ(check(text, options),
            "T:2:33: warning: count NFV 0: profcmp takes a count below 1 as 1, the best possible "
            "count; profkit's --failures nonpositive takes it as a failure\n"
            "T:3:33: note: 1 more warning (counts below 1) from here to line 3, not shown\n"
            "T:6:9: warning: problem 'Q' differs from 'P1', problem 1 of method 'A' (line 2): "
            "profcmp matches problems by position only; list them in the same order in every "
            "group\n"
            "T:7:9: note: 2 more warnings (problem names differ) from here to line 8, not shown\n"
            "T: 2 methods, 3 problems; 0 errors, 5 warnings, 0 notes\n");
}

TEST(Audit, SeveralFindingsOnOneLineInColumnOrder) {
  std::string record = kit_support::problem_record("P1", {1, 12, 1, 1, 1});
  record[0] = '\t';
  record[6] = 'x';
  record[7] = 'x';
  record.replace(32, 10, "     1  2 ");
  const std::string text = kit_support::method_record("A") + record +
                           kit_support::method_record("B") +
                           kit_support::problem_record("P1", {1, 1, 1, 1, 1});
  EXPECT_EQ(check(text, {2}),
            "T:2:1: warning: tab: profcmp reads a tab as one column, so the fields after it are "
            "not in the columns they appear in; use blanks\n"
            "T:2:7: warning: text 'xx' in columns 7-8: profcmp skips these columns (names are in "
            "columns 9-22)\n"
            "T:2:33: warning: count NFV '1  2' has blanks between its digits: profcmp ignores "
            "blanks and reads 12; check the columns\n"
            "T: 2 methods, 1 problem; 0 errors, 3 warnings, 0 notes\n");
}

TEST(Audit, EmptyTable) {
  EXPECT_EQ(check(""), "T: 0 methods, 0 problems; 0 errors, 0 warnings, 0 notes\n");
  EXPECT_EQ(check("no method here\n"),
            "T:1:1: warning: no method record ('METHOD' in columns 1-6) in 1 record: profcmp reads "
            "no method and no problem; start each group with a METHOD record\n"
            "T: 0 methods, 0 problems; 0 errors, 1 warning, 0 notes\n");
}

}  // namespace
