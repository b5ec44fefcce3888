// The bundled example examples/P.PER through the built program, once per
// criterion at the default bound: the report and the script must match the
// stored files byte for byte (tests/profcmp/data/example/<criterion>.PRO and
// .sci, kept with their CR LF line ends).
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using test_support::read_file;

class ExampleGolden : public testing::TestWithParam<const char*> {};

TEST_P(ExampleGolden, ReportAndScriptMatchTheStoredFiles) {
  const std::string criterion = GetParam();
  const std::string golden =
      test_support::source_dir() + "/tests/profcmp/data/example/" + criterion;
  const std::string table = read_file(test_support::source_dir() + "/examples/P.PER");
  ASSERT_FALSE(table.empty());
  test_support::TempDir dir;
  test_support::write_file(dir.file("P.PER"), table);

  const test_support::RunResult run = test_support::run_profcmp(dir.path(), {criterion});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out + run.err, "");
  EXPECT_EQ(read_file(dir.file("P.PRO")), read_file(golden + ".PRO"));
  EXPECT_EQ(read_file(dir.file("P.sci")), read_file(golden + ".sci"));
  EXPECT_EQ(read_file(dir.file("P.PER")), table);
}

INSTANTIATE_TEST_SUITE_P(EveryCriterion, ExampleGolden,
                         testing::Values("NIT", "NFV", "NFG", "NCGR", "TIME"));

}  // namespace
