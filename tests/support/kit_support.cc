#include "kit_support.h"

namespace kit_support {

RunResult run_profkit(const std::vector<std::string>& args, std::string_view input,
                      const std::string& dir) {
  std::vector<std::string> argv{PROFKIT_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv, {.dir = dir, .input = std::string(input)});
}

RunResult run_profkit_with(const std::vector<std::string>& args, const RunOptions& options) {
  std::vector<std::string> argv{PROFKIT_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return run(argv, options);
}

std::string test_data(const std::string& relative) {
  return std::string(PROFKIT_TEST_DATA) + "/" + relative;
}

std::string results_table(const table::MeasureTable& measures, int measure_index) {
  std::vector<std::vector<std::int64_t>> counts(measures.methods());
  for (std::size_t m = 0; m < measures.methods(); ++m) {
    for (std::size_t p = 0; p < measures.problems; ++p) {
      counts[m].push_back(measures.solved(m, p) ? static_cast<std::int64_t>(measures.at(m, p))
                                                : -1);
    }
  }
  return test_support::results_table(measures.names, counts, measure_index);
}

table::MeasureTable measure_table(std::vector<std::string> names,
                                  const std::vector<std::vector<double>>& rows) {
  table::MeasureTable t;
  t.names = std::move(names);
  t.problems = rows.empty() ? 0 : rows.front().size();
  for (const auto& row : rows) t.measures.insert(t.measures.end(), row.begin(), row.end());
  return t;
}

std::string profcmp_report(const std::vector<std::string>& args) {
  TempDir dir;
  write_file(dir.file("P.PER"), read_file(example_table()));
  if (test_support::run_profcmp(dir.path(), args).status != 0) return "";
  return read_file(dir.file("P.PRO"));
}

std::string history_csv(const std::vector<HistoryRun>& runs,
                        const std::vector<std::uint64_t>& dimensions) {
  const bool with_dimensions = !dimensions.empty();
  std::string csv = with_dimensions ? "solver,problem,dimension,evaluation,fvalue\n"
                                    : "solver,problem,evaluation,fvalue\n";
  for (std::size_t r = 0; r < runs.size(); ++r) {
    for (std::size_t e = 0; e < runs[r].values.size(); ++e) {
      csv += runs[r].method + "," + runs[r].problem + ",";
      if (with_dimensions) csv += std::to_string(dimensions[r]) + ",";
      csv += std::to_string(e + 1) + "," + runs[r].values[e] + "\n";
    }
  }
  return csv;
}

}  // namespace kit_support
