#include "heap.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#define VELKLK_HEAP_HUGE_PAGES 1
#endif

namespace velklk::cli {

void PrepareHeap([[maybe_unused]] std::uintmax_t expectedBytes) {
#ifdef VELKLK_HEAP_HUGE_PAGES
  constexpr std::uintmax_t kHugePage = 2u << 20;
  constexpr std::uintmax_t kLimit = 512u << 20;  // twice that still fits mallopt's int
  constexpr int kLargestHeapBlock = 32 << 20;    // glibc's own bound
  // Below a few huge pages the faults cost little.
  if (expectedBytes < 4 * kHugePage) return;
  const auto pad = static_cast<int>(std::min(expectedBytes, kLimit) / kHugePage * kHugePage);
  auto* const before = static_cast<char*>(::sbrk(0));
  if (before == reinterpret_cast<char*>(-1)) return;
  // Every growth of the heap takes `pad` more, a free keeps that much, and
  // large blocks (a call's images, the text of a dump) come from it as well.
  if (::mallopt(M_TOP_PAD, pad) == 0 || ::mallopt(M_TRIM_THRESHOLD, 2 * pad) == 0 ||
      ::mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock) == 0)
    return;
  // Small blocks come from the heap: take them until it has grown.
  std::vector<void*> blocks;
  for (int i = 0; i < 8 && ::sbrk(0) == before; ++i) {
    void* block = std::malloc(64u << 10);
    if (block == nullptr) break;
    blocks.push_back(block);
  }
  for (void* block : blocks) std::free(block);
  auto* const after = static_cast<char*>(::sbrk(0));
  const auto from =
      (reinterpret_cast<std::uintptr_t>(before) + kHugePage - 1) / kHugePage * kHugePage;
  const auto to = reinterpret_cast<std::uintptr_t>(after) / kHugePage * kHugePage;
  // Advice only: a system without huge pages keeps small ones.
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#endif
}

}  // namespace velklk::cli
