// Large buffers (a multi-megabyte document, the arena of a large text) are
// filled once and thrown away, so most of their cost is the kernel's page
// faults. Asking for transparent huge pages on them replaces hundreds of
// 4 KiB faults by one per 2 MiB. Only advice: where the kernel does not
// offer huge pages nothing changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <sys/mman.h>

namespace vellum {

inline constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// Advises huge pages for the whole 2 MiB pages inside [p, p + size).
inline void adviseHugePages(void* p, std::size_t size) {
#ifdef MADV_HUGEPAGE
  std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(p) + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p) + size) & ~(kHugePageBytes - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)p;
  (void)size;
#endif
}

// malloc for a buffer that will be filled: blocks of 2 MiB and more are
// aligned to whole huge pages (and advised), smaller ones come as they are.
// The result is released with free(). `size` may be rounded up.
inline void* allocateForFilling(std::size_t& size) {
  if (size < kHugePageBytes) return std::malloc(size);
  size = (size + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  void* p = std::aligned_alloc(kHugePageBytes, size);
  if (p != nullptr) adviseHugePages(p, size);
  return p;
}

}  // namespace vellum
