// compute_profiles on a results table at full capacity (20 methods of 200
// problems), in process and as a whole profcmp run.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench_tables.h"
#include "profcmp/profiles.h"
#include "records/record_format.h"
#include "records/units.h"

namespace {

// A temporary working directory holding a full P.PER, made once for the
// program and removed at its end.
struct FullTable {
  FullTable() {
    bench::write_results_table(m_scratch.file("P.PER"), profiles::k_max_methods,
                               profiles::k_max_problems);
  }
  const std::string& dir() const { return m_scratch.path(); }

  bench::ScratchDir m_scratch;
};

const FullTable& full_table() {
  static const FullTable table;
  return table;
}

void open_unit(int unit, std::string_view name) {
  records::open_unit(unit, name, records::OpenStatus::unknown, records::BlankMode::null);
}

void BM_ComputeProfilesFullTable(benchmark::State& state) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(full_table().dir());
  for (auto _ : state) {
    open_unit(profiles::k_results_unit, "P.PER");
    open_unit(profiles::k_report_unit, "P.PRO");
    double bound = 2.0;
    profiles::compute_profiles("NFV ", bound);
    records::close_unit(profiles::k_report_unit);
    records::close_unit(profiles::k_results_unit);
    benchmark::DoNotOptimize(profiles::profile_tables().mean_value[1]);
  }
  std::filesystem::current_path(previous);
}
BENCHMARK(BM_ComputeProfilesFullTable)->Unit(benchmark::kMicrosecond);

void BM_ProfcmpRunFullTable(benchmark::State& state) {
  const std::string& dir = full_table().dir();
  for (auto _ : state) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(dir.c_str()) != 0) ::_exit(250);
      ::execl(PROFCMP_BINARY, PROFCMP_BINARY, "NFV", "2.0", static_cast<char*>(nullptr));
      ::_exit(252);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("profcmp did not end with exit status 0");
      break;
    }
  }
}
BENCHMARK(BM_ProfcmpRunFullTable)->Unit(benchmark::kMicrosecond);

}  // namespace
