// Asks the kernel to back a large buffer with huge pages where it can: one
// fault then maps 2 MiB instead of 4 KiB. Only a hint; nothing changes when
// the system declines it.
#ifndef PROFCMP_PROFKIT_TABLE_LARGE_PAGES_H_
#define PROFCMP_PROFKIT_TABLE_LARGE_PAGES_H_

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace table {

inline constexpr std::size_t k_large_page = std::size_t{2} << 20;

// Advises the whole 2 MiB pages inside [data, data + bytes).
inline void advise_large_pages(void* data, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + k_large_page - 1) & ~(k_large_page - 1);
  const std::uintptr_t last = (begin + bytes) & ~(k_large_page - 1);
  if (last > first) {
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
#else
  (void)data;
  (void)bytes;
#endif
}

}  // namespace table

#endif  // PROFCMP_PROFKIT_TABLE_LARGE_PAGES_H_
