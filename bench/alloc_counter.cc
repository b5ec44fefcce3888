// A heap-allocation counter to preload into a process (LD_PRELOAD): counts
// every malloc, calloc, realloc and aligned allocation, and the bytes asked
// for, from the start of the process to its end, and writes
// "allocations N bytes B" to the file named by PROFCMP_ALLOC_COUNT_FILE when
// the process exits. operator new goes through malloc, so it is counted too.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);
}

namespace {

unsigned long g_allocations = 0;
unsigned long g_bytes = 0;

void count(std::size_t bytes) {
  ++g_allocations;
  g_bytes += bytes;
}

__attribute__((destructor)) void write_counts() {
  const char* path = std::getenv("PROFCMP_ALLOC_COUNT_FILE");
  if (path == nullptr) return;
  char line[96];
  const int length =
      std::snprintf(line, sizeof line, "allocations %lu bytes %lu\n", g_allocations, g_bytes);
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  if (::write(fd, line, static_cast<std::size_t>(length)) < 0) {
  }
  ::close(fd);
}

}  // namespace

extern "C" {

void* malloc(std::size_t size) {
  count(size);
  return __libc_malloc(size);
}

void* calloc(std::size_t count_of, std::size_t size) {
  count(count_of * size);
  return __libc_calloc(count_of, size);
}

void* realloc(void* pointer, std::size_t size) {
  count(size);
  return __libc_realloc(pointer, size);
}

void* memalign(std::size_t alignment, std::size_t size) {
  count(size);
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
  count(size);
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  count(size);
  void* pointer = __libc_memalign(alignment, size);
  if (pointer == nullptr) return 12;  // ENOMEM
  *out = pointer;
  return 0;
}

void free(void* pointer) {
  __libc_free(pointer);
}

}  // extern "C"
