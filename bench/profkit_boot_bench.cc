// profkit boot: the bootstrap of a 20 x 1,000 table with 1,000 replicates in
// process, and the whole `profkit boot` run on the same table as a process.
#include <benchmark/benchmark.h>

#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "bench_tables.h"
#include "profkit/bootstrap/bootstrap.h"

namespace {

// Counts 1 to 5000 from a fixed sequence, 5 % failures.
table::MeasureTable bench_table(std::size_t methods, std::size_t problems) {
  table::MeasureTable t;
  for (std::size_t m = 0; m < methods; ++m) t.names.push_back("SOLVER-" + std::to_string(m + 1));
  t.problems = problems;
  std::uint32_t state = 20240611u;
  for (std::size_t i = 0; i < methods * problems; ++i) {
    state = state * 1664525u + 1013904223u;
    const std::uint32_t u = state >> 8;
    t.measures.push_back(u % 20 == 0 ? table::k_failed : static_cast<std::int32_t>(1 + u % 5000));
  }
  return t;
}

void BM_Bootstrap(benchmark::State& state) {
  const table::MeasureTable t = bench_table(static_cast<std::size_t>(state.range(0)),
                                            static_cast<std::size_t>(state.range(1)));
  const bootstrap::Options options{static_cast<std::size_t>(state.range(2)), 1, 2.0};
  for (auto _ : state) {
    bootstrap::Result r = bootstrap::run(t, options);
    benchmark::DoNotOptimize(r.methods.data());
  }
  state.counters["draws/s"] =
      benchmark::Counter(static_cast<double>(state.range(1) * state.range(2)),
                         benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Bootstrap)
    ->Args({20, 1000, 1000})
    ->Args({20, 200, 1000})
    ->Args({200, 1000, 100})
    ->Unit(benchmark::kMillisecond);

// The whole run: read a 20 x 1,000 P.PER, 1,000 replicates, write the CSV.
void BM_ProfkitBootProcess(benchmark::State& state) {
  bench::ScratchDir dir;
  bench::write_results_table(dir.file("P.PER"), 20, 1000);
  const std::string command = std::string(PROFKIT_BINARY) + " boot --format csv -o " +
                              dir.file("boot.csv") + " " + dir.file("P.PER");
  for (auto _ : state) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("profkit boot failed");
      break;
    }
  }
}
BENCHMARK(BM_ProfkitBootProcess)->Unit(benchmark::kMillisecond);

}  // namespace
