// compute_profiles on a results table at full capacity (20 methods of 200
// problems), in process and as a whole profcmp run.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "profiles/profiles.h"
#include "records/record_format.h"
#include "records/units.h"

namespace {

// A temporary working directory holding a full P.PER, made once for the
// program and removed at its end.
class FullTable {
 public:
  FullTable() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "profcmp-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    m_dir = pattern;
    std::ofstream out(m_dir + "/P.PER", std::ios::binary);
    std::uint32_t state = 12345;
    char line[128];
    for (int m = 1; m <= profiles::k_max_methods; ++m) {
      std::snprintf(line, sizeof line, "METHOD  METHOD-%-7d\r\n", m);
      out << line;
      for (int p = 1; p <= profiles::k_max_problems; ++p) {
        long counts[5];
        for (long& count : counts) {
          state = state * 1664525u + 1013904223u;
          count = 1 + static_cast<long>(state >> 16) % 5000;
        }
        std::snprintf(line, sizeof line, "  P%03d                %10ld%10ld%10ld%10ld%10ld\r\n", p,
                      counts[0], counts[1], counts[2], counts[3], counts[4]);
        out << line;
      }
    }
  }
  ~FullTable() {
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
  }
  const std::string& dir() const { return m_dir; }

 private:
  std::string m_dir;
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
