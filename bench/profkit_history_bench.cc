// profkit on a convergence history of 20 methods x 500 problems x 2,000
// evaluations (20,000,000 rows): `profkit export` of every tolerance's
// profiles as a program run (wall time, the child's CPU time and peak
// resident memory), beside mawk summing the value column of the same file (a
// floor for merely reading it), and the reading alone in process.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench_tables.h"
#include "child_runs.h"
#include "profkit/table/history_reader.h"

namespace {

constexpr int k_methods = 20;
constexpr int k_problems = 500;
constexpr int k_evaluations = 2000;

// The history file, written once: each run a noisy descent from 100, most
// evaluations no better than the best so far, as derivative-free runs go.
struct BigHistory {
  BigHistory() {
    std::ofstream out(path(), std::ios::binary | std::ios::trunc);
    out << "solver,problem,evaluation,fvalue\n";
    std::uint64_t seed = 20261209u;
    std::string rows;
    char number[32];
    for (int m = 0; m < k_methods; ++m) {
      for (int p = 0; p < k_problems; ++p) {
        std::string key = "S";  // built by appending: g++ 12 warns falsely on "S" + ...
        key += std::to_string(m);
        key += ",P";
        key += std::to_string(p);
        key += ',';
        double best = 100.0;
        rows.clear();
        for (int e = 1; e <= k_evaluations; ++e) {
          seed = seed * 6364136223846793005u + 1442695040888963407u;
          const double u = static_cast<double>(seed >> 11) / 9007199254740992.0;
          const double value = e == 1 ? 100.0 : best * (0.97 + 0.2 * u);
          if (value < best) best = value;
          rows += key;
          rows.append(number, std::to_chars(number, number + sizeof number, e).ptr);
          rows += ',';
          rows.append(number, std::to_chars(number, number + sizeof number, value).ptr);
          rows += '\n';
        }
        out << rows;
      }
    }
  }
  std::string path() const { return m_scratch.file("history.csv"); }
  bench::ScratchDir m_scratch;
};

const BigHistory& big_history() {
  static const BigHistory history;
  return history;
}

void BM_ProfkitExportEveryTolerance(benchmark::State& state) {
  bench::run_program(state, {PROFKIT_BINARY, "export", big_history().path()}, "rows_per_s",
                     static_cast<double>(k_methods) * k_problems * k_evaluations);
}
BENCHMARK(BM_ProfkitExportEveryTolerance)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MawkSumOfTheValues(benchmark::State& state) {
  const std::string mawk = bench::on_path("mawk");
  if (mawk.empty()) {
    state.SkipWithError("mawk is not installed (apt-get install mawk): no comparison");
    return;
  }
  bench::run_program(state, {mawk, "-F,", "{s += $4} END {print s}", big_history().path()},
                     "rows_per_s", static_cast<double>(k_methods) * k_problems * k_evaluations);
}
BENCHMARK(BM_MawkSumOfTheValues)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reading alone: one pass keeping each run's improvements.
void BM_ReadHistory(benchmark::State& state) {
  std::size_t improvements = 0;
  for (auto _ : state) {
    const int fd = ::open(big_history().path().c_str(), O_RDONLY | O_CLOEXEC);
    const table::History h = table::read_history(fd, {}, big_history().path(), {});
    ::close(fd);
    improvements = 0;
    for (const table::HistoryRun& run : h.runs) improvements += run.improvements.size();
    benchmark::DoNotOptimize(improvements);
  }
  state.counters["improvements"] = static_cast<double>(improvements);
}
BENCHMARK(BM_ReadHistory)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
