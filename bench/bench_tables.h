// Results tables and scratch directories for the benchmarks.
#ifndef PROFCMP_BENCH_BENCH_TABLES_H_
#define PROFCMP_BENCH_BENCH_TABLES_H_

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace bench {

// A fresh directory under the system's temporary directory, removed with its
// contents on destruction.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "profcmp-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    m_path = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return m_path; }
  std::string file(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// Writes a results table of `methods` groups of `problems` records with
// counts of realistic spread (1 to 5000, a fixed pseudo-random sequence), CR
// LF line ends. Returns the number of records written.
inline int write_results_table(const std::string& path, int methods, int problems) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::uint32_t state = 20240611u;
  char line[128];
  int records = 0;
  for (int m = 1; m <= methods; ++m) {
    std::snprintf(line, sizeof line, "METHOD  SOLVER-%-7d%50s\r\n", m, "");
    out << line;
    ++records;
    for (int p = 1; p <= problems; ++p) {
      long counts[5];
      for (long& count : counts) {
        state = state * 1664525u + 1013904223u;
        count = 1 + static_cast<long>(state >> 16) % 5000;
      }
      // The key fills its six columns whatever the problem's number, so the
      // counts stay in their columns.
      char key[16];
      if (p < 1000) {
        std::snprintf(key, sizeof key, "  P%03d", p);
      } else if (p < 100000) {
        std::snprintf(key, sizeof key, "P%05d", p);
      } else {
        std::snprintf(key, sizeof key, "%06d", p % 1000000);
      }
      std::snprintf(line, sizeof line, "%.6s                %10ld%10ld%10ld%10ld%10ld\r\n", key,
                    counts[0], counts[1], counts[2], counts[3], counts[4]);
      out << line;
      ++records;
    }
  }
  return records;
}

inline std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace bench

#endif  // PROFCMP_BENCH_BENCH_TABLES_H_
