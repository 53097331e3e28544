// cfg::LargeAllocator: where the store keeps its big tables and the loaded bytes. Blocks of
// kLargeBlock bytes or more come from the platform (large_memory_posix.cpp, _win.cpp), which
// may back them with large pages: lookups spread over a big file then miss the address
// translation cache far less often. Smaller blocks come from operator new.
#ifndef CONFIG_LARGE_MEMORY_H
#define CONFIG_LARGE_MEMORY_H

#include <cstddef>
#include <new>
#include <string>

namespace cfg {

constexpr size_t kLargeBlock = size_t{2} << 20;

// A block of at least bytes, aligned for any type, or nullptr. Freed with free_large and the
// same size.
void* allocate_large(size_t bytes);
void free_large(void* block, size_t bytes);

template <typename T>
struct LargeAllocator {
    using value_type = T;

    LargeAllocator() = default;
    template <typename U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}

    // Throws std::bad_alloc like operator new.
    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        const size_t bytes = n * sizeof(T);
        if (bytes < kLargeBlock) return static_cast<T*>(::operator new(bytes));
        void* block = allocate_large(bytes);
        if (block == nullptr) throw std::bad_alloc();
        return static_cast<T*>(block);
    }

    void deallocate(T* p, size_t n) noexcept {
        const size_t bytes = n * sizeof(T);
        if (bytes < kLargeBlock) {
            ::operator delete(p);
        } else {
            free_large(p, bytes);
        }
    }

    template <typename U>
    bool operator==(const LargeAllocator<U>&) const noexcept { return true; }
    template <typename U>
    bool operator!=(const LargeAllocator<U>&) const noexcept { return false; }
};

// A file's bytes as the store holds them.
using Bytes = std::basic_string<char, std::char_traits<char>, LargeAllocator<char>>;

}  // namespace cfg

#endif
