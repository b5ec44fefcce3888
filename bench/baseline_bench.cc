// The whole run as a process on a full 20 x 200 table, against the baseline
// program (baseline_run.cc) that reads the same P.PER bytes and writes the
// same P.PRO and P.sci records with one write call each; and the heap
// allocations of a run, counted by the preloaded alloc_counter library, for
// a 1 x 1 and a 20 x 200 table.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_tables.h"

namespace {

// Runs `program` with `args` in `dir`, with `env` added; returns its exit
// status, or -1 when it did not exit normally.
int run_in(const std::string& dir, const char* program, const std::vector<const char*>& args,
           const std::vector<std::string>& env = {}) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(250);
    for (const std::string& entry : env) ::putenv(const_cast<char*>(entry.c_str()));
    std::vector<char*> argv{const_cast<char*>(program)};
    for (const char* arg : args) argv.push_back(const_cast<char*>(arg));
    argv.push_back(nullptr);
    ::execv(program, argv.data());
    ::_exit(252);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The profcmp binary measured: the build's own, or the one named by
// PROFCMP_BENCH_BINARY (to compare link options without rebuilding).
const char* tool_binary() {
  const char* chosen = std::getenv("PROFCMP_BENCH_BINARY");
  return chosen != nullptr && *chosen != '\0' ? chosen : PROFCMP_BINARY;
}

// Three directories with the same full table: one where profcmp runs, one
// where the baseline runs, and one holding the reference P.PRO and P.sci of a
// profcmp run, which the baseline writes out again.
struct WholeRunDirs {
  bench::ScratchDir tool;
  bench::ScratchDir baseline;
  bench::ScratchDir reference;

  WholeRunDirs() {
    for (const bench::ScratchDir* dir : {&tool, &baseline, &reference}) {
      bench::write_results_table(dir->file("P.PER"), 20, 200);
    }
    if (run_in(reference.path(), tool_binary(), {}) != 0) {
      std::fprintf(stderr, "profcmp failed on the full table\n");
      std::exit(1);
    }
  }
};

const WholeRunDirs& dirs() {
  static const WholeRunDirs instance;
  return instance;
}

double seconds_of_run(const std::string& dir, const char* program,
                      const std::vector<const char*>& args) {
  const auto start = std::chrono::steady_clock::now();
  if (run_in(dir, program, args) != 0) return -1.0;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_WholeRunProfcmp(benchmark::State& state) {
  for (auto _ : state) {
    if (run_in(dirs().tool.path(), tool_binary(), {}) != 0) {
      state.SkipWithError("profcmp did not end with exit status 0");
      break;
    }
  }
}
BENCHMARK(BM_WholeRunProfcmp)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_WholeRunBaseline(benchmark::State& state) {
  const std::string reference = dirs().reference.path();
  for (auto _ : state) {
    if (run_in(dirs().baseline.path(), BASELINE_BINARY, {reference.c_str()}) != 0) {
      state.SkipWithError("baseline_run failed");
      break;
    }
  }
  // The baseline must have written exactly what the tool writes.
  for (const char* name : {"P.PRO", "P.sci"}) {
    if (bench::read_bytes(dirs().baseline.file(name)) !=
        bench::read_bytes(dirs().reference.file(name))) {
      state.SkipWithError("baseline output differs from the tool's");
    }
  }
}
BENCHMARK(BM_WholeRunBaseline)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The floor of any run: starting a process that does nothing (/bin/true, a
// C program linked against the C library only).
void BM_ProcessFloor(benchmark::State& state) {
  const std::string& dir = dirs().baseline.path();
  for (auto _ : state) {
    if (run_in(dir, "/bin/true", {}) != 0) {
      state.SkipWithError("/bin/true failed");
      break;
    }
  }
}
BENCHMARK(BM_ProcessFloor)->Unit(benchmark::kMicrosecond)->UseRealTime();

// profcmp on an empty P.PER: start-up, opens and closes, the two-record report
// and the 13-line script; the fixed cost of every run.
void BM_WholeRunEmptyTable(benchmark::State& state) {
  const bench::ScratchDir dir;
  bench::write_results_table(dir.file("P.PER"), 0, 0);
  for (auto _ : state) {
    if (run_in(dir.path(), tool_binary(), {}) != 0) {
      state.SkipWithError("profcmp did not end with exit status 0");
      break;
    }
  }
}
BENCHMARK(BM_WholeRunEmptyTable)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Both runs alternately, so that both see the same machine load; reports the
// cost of the whole run over the baseline as the counter "ratio".
void BM_WholeRunOverBaseline(benchmark::State& state) {
  const std::string reference = dirs().reference.path();
  double tool_seconds = 0.0;
  double baseline_seconds = 0.0;
  for (auto _ : state) {
    const double tool = seconds_of_run(dirs().tool.path(), tool_binary(), {});
    const double baseline =
        seconds_of_run(dirs().baseline.path(), BASELINE_BINARY, {reference.c_str()});
    if (tool < 0 || baseline < 0) {
      state.SkipWithError("a run failed");
      break;
    }
    tool_seconds += tool;
    baseline_seconds += baseline;
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["profcmp_us"] = tool_seconds / runs * 1e6;
  state.counters["baseline_us"] = baseline_seconds / runs * 1e6;
  state.counters["ratio"] = tool_seconds / baseline_seconds;
}
BENCHMARK(BM_WholeRunOverBaseline)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Heap allocations of one profcmp run on a table of range(0) methods of
// range(1) problems, counted from process start to exit. The preloaded
// counter needs a dynamically linked program: the build's dynamic twin of
// profcmp, or the one named by PROFCMP_BENCH_BINARY.
void BM_HeapAllocations(benchmark::State& state) {
  const char* chosen = std::getenv("PROFCMP_BENCH_BINARY");
  const char* program = chosen != nullptr && *chosen != '\0' ? chosen : PROFCMP_DYNAMIC_BINARY;
  const bench::ScratchDir dir;
  bench::write_results_table(dir.file("P.PER"), static_cast<int>(state.range(0)),
                             static_cast<int>(state.range(1)));
  const std::string count_file = dir.file("allocations");
  const std::vector<std::string> env = {std::string("LD_PRELOAD=") + ALLOC_COUNTER_LIBRARY,
                                        "PROFCMP_ALLOC_COUNT_FILE=" + count_file};
  unsigned long allocations = 0;
  unsigned long bytes = 0;
  for (auto _ : state) {
    if (run_in(dir.path(), program, {}, env) != 0) {
      state.SkipWithError("profcmp did not end with exit status 0");
      break;
    }
    const std::string counts = bench::read_bytes(count_file);
    if (std::sscanf(counts.c_str(), "allocations %lu bytes %lu", &allocations, &bytes) != 2) {
      state.SkipWithError("no allocation counts written (a static program cannot be counted)");
      break;
    }
  }
  state.counters["allocations"] = static_cast<double>(allocations);
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_HeapAllocations)
    ->Args({1, 1})
    ->Args({20, 200})
    ->Iterations(3)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
