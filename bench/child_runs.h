// Whole programs as benchmarks: a child run with its output discarded, its
// CPU time and peak resident memory as counters, and the lookup of a
// comparison program (mawk) on PATH.
#ifndef PROFCMP_BENCH_CHILD_RUNS_H_
#define PROFCMP_BENCH_CHILD_RUNS_H_

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

// The path of `name` on PATH, or "".
inline std::string on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path == nullptr ? "/usr/bin:/bin" : path;
  for (std::size_t at = 0; at <= dirs.size();) {
    const std::size_t end = std::min(dirs.find(':', at), dirs.size());
    const std::string candidate = dirs.substr(at, end - at) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    at = end + 1;
  }
  return "";
}

// Runs argv with standard output on /dev/null; false when it failed. `usage`
// receives the child's resources (peak resident set, CPU time).
inline bool run_child(const std::vector<std::string>& argv, struct rusage& usage) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null < 0 || ::dup2(null, 1) < 0) ::_exit(250);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(251);
  }
  int status = 0;
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline double seconds(const struct timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Times argv as a child per iteration. Counters: the child's own CPU time
// (user + system, steadier than wall time on a busy machine), its peak
// resident memory, and `items` per second under the name `rate`.
inline void run_program(benchmark::State& state, const std::vector<std::string>& argv,
                        const char* rate, double items) {
  long peak = 0;
  double cpu = 0;
  for (auto _ : state) {
    struct rusage usage {};
    if (!run_child(argv, usage)) {
      state.SkipWithError(("the run failed: " + argv[0]).c_str());
      return;
    }
    peak = std::max(peak, usage.ru_maxrss);
    cpu += seconds(usage.ru_utime) + seconds(usage.ru_stime);
  }
  state.counters["child_cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
  state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
  state.counters[rate] = benchmark::Counter(items, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace bench

#endif  // PROFCMP_BENCH_CHILD_RUNS_H_
