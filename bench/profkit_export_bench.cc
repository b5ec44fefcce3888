// profkit export on 20 methods x 100,000 problems: the whole program run
// (wall time and the child's peak resident memory) for CSV and SVG, beside
// mawk summing one count column of the same file (a floor for reading it),
// and each half alone in process: reading the table's measures, and the CSV
// writer on the table in memory.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "bench_tables.h"
#include "child_runs.h"
#include "profkit/curves/export.h"
#include "profkit/table/measure_table.h"
#include "profkit/table/results_table.h"

namespace {

constexpr int k_methods = 20;
constexpr int k_problems = 100000;

// The table file, written once for the program.
struct BigTable {
  BigTable() { bench::write_results_table(m_scratch.file("P.PER"), k_methods, k_problems); }
  std::string path() const { return m_scratch.file("P.PER"); }
  bench::ScratchDir m_scratch;
};

const BigTable& big_table() {
  static const BigTable table;
  return table;
}

void BM_ProfkitExportCsv(benchmark::State& state) {
  bench::run_program(state, {PROFKIT_BINARY, "export", "--format", "csv", big_table().path()},
                     "records_per_s", static_cast<double>(k_methods) * (k_problems + 1));
}
BENCHMARK(BM_ProfkitExportCsv)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ProfkitExportSvg(benchmark::State& state) {
  bench::run_program(state, {PROFKIT_BINARY, "export", "--format", "svg", big_table().path()},
                     "records_per_s", static_cast<double>(k_methods) * (k_problems + 1));
}
BENCHMARK(BM_ProfkitExportSvg)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MawkSumOfOneColumn(benchmark::State& state) {
  const std::string mawk = bench::on_path("mawk");
  if (mawk.empty()) {
    state.SkipWithError("mawk is not installed (apt-get install mawk): no comparison");
    return;
  }
  bench::run_program(state, {mawk, "{s += substr($0, 33, 10)} END {print s}", big_table().path()},
                     "records_per_s", static_cast<double>(k_methods) * (k_problems + 1));
}
BENCHMARK(BM_MawkSumOfOneColumn)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reading half alone: the big table's NFV measures in process, as
// profkit export reads them (two halves on two threads), and in one piece.
void read_measures_of(benchmark::State& state, std::size_t split_bytes) {
  const int fd = ::open(big_table().path().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    state.SkipWithError("cannot open the table");
    return;
  }
  for (auto _ : state) {
    const table::MeasureRead read =
        table::read_measures(fd, 2, table::FailureRule::clamp, split_bytes);
    benchmark::DoNotOptimize(read.measures.measures.data());
    ::lseek(fd, 0, SEEK_SET);
  }
  ::close(fd);
  state.counters["records_per_s"] =
      benchmark::Counter(static_cast<double>(k_methods) * (k_problems + 1),
                         benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReadMeasuresTwoHalves(benchmark::State& state) {
  read_measures_of(state, std::size_t{8} << 20);
}
BENCHMARK(BM_ReadMeasuresTwoHalves)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadMeasuresOnePiece(benchmark::State& state) {
  read_measures_of(state, SIZE_MAX);
}
BENCHMARK(BM_ReadMeasuresOnePiece)->Unit(benchmark::kMillisecond)->UseRealTime();

// Discards everything written to it.
class NullBuffer : public std::streambuf {
 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
};

void BM_WriteCsvInMemory(benchmark::State& state) {
  table::MeasureTable t;
  t.problems = k_problems;
  std::uint32_t seed = 20240611u;
  for (int m = 0; m < k_methods; ++m) t.names.push_back("SOLVER-" + std::to_string(m + 1));
  t.measures.resize(static_cast<std::size_t>(k_methods) * k_problems);
  for (double& v : t.measures) {
    seed = seed * 1664525u + 1013904223u;
    v = 1.0 + static_cast<double>((seed >> 16) % 5000);
  }
  NullBuffer buffer;
  std::ostream out(&buffer);
  for (auto _ : state) curves::write_csv(out, t);
}
// Real time: the rows are formatted on two threads.
BENCHMARK(BM_WriteCsvInMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
