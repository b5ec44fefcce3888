// The scratch working directory of the file-based fuzz targets: every input
// runs in it, and the process returns to where libFuzzer started afterwards,
// so that libFuzzer's own relative paths keep working.
#ifndef PROFCMP_FUZZ_SCRATCH_DIR_H_
#define PROFCMP_FUZZ_SCRATCH_DIR_H_

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

inline char g_scratch[64];
inline int g_home = -1;

// Makes the scratch directory the working directory for one input.
struct InScratch {
  InScratch() {
    if (::chdir(g_scratch) != 0) std::abort();
  }
  ~InScratch() {
    if (::fchdir(g_home) != 0) std::abort();
  }
  InScratch(const InScratch&) = delete;
  InScratch& operator=(const InScratch&) = delete;
};

// Removes the scratch directory when the fuzzing process ends normally.
inline void remove_scratch() {
  for (const char* name : {"P.PER", "P.PRO", "P.sci"}) {
    const std::string path = std::string(g_scratch) + "/" + name;
    ::unlink(path.c_str());
  }
  ::rmdir(g_scratch);
}

// Creates the scratch directory "<base>/profcmp-fuzz-<tag>-XXXXXX", memory-backed
// when /dev/shm is writable, and removes it at exit.
inline void make_scratch(const char* tag) {
  const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::snprintf(g_scratch, sizeof g_scratch, "%s/profcmp-fuzz-%s-XXXXXX", base, tag);
  g_home = ::open(".", O_RDONLY | O_DIRECTORY);
  if (g_home < 0 || ::mkdtemp(g_scratch) == nullptr) std::abort();
  std::atexit(remove_scratch);
}

// Writes the input as P.PER in the working directory.
inline void write_table(const std::uint8_t* data, std::size_t size) {
  const int fd = ::open("P.PER", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) std::abort();
  if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
  ::close(fd);
}

}  // namespace fuzz

#endif  // PROFCMP_FUZZ_SCRATCH_DIR_H_
