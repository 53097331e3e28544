#include "large_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace cfg {

#if defined(__SANITIZE_ADDRESS__)

// The address sanitizer watches heap blocks only: keep the big ones in its sight.
void* allocate_large(size_t bytes) { return std::malloc(bytes); }

void free_large(void* block, size_t) { std::free(block); }

#else

// A mapping of its own, trimmed to start on a large-page boundary and marked for large pages
// before anything touches it: the kernel then backs each whole large page of it with one.
void* allocate_large(size_t bytes) {
    constexpr uintptr_t kPage = 4096;
    const size_t mapped = bytes + kLargeBlock;
    if (mapped < bytes) return nullptr;
    void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kLargeBlock - 1) & ~uintptr_t{kLargeBlock - 1};
    const uintptr_t end = (aligned + bytes + kPage - 1) & ~(kPage - 1);
    if (aligned > start) ::munmap(raw, aligned - start);
    if (start + mapped > end) ::munmap(reinterpret_cast<void*>(end), start + mapped - end);
#ifdef MADV_HUGEPAGE
    // Only advice: where large pages are off or scarce, small pages serve.
    ::madvise(reinterpret_cast<void*>(aligned), end - aligned, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

void free_large(void* block, size_t bytes) {
    if (block != nullptr) ::munmap(block, bytes);
}

#endif

}  // namespace cfg
