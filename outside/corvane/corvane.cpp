#include "corvane.h"

#include <cstdlib>

// The allocator is the C run-time heap of this one module, so that a block allocated in any
// module is released by the same heap.
extern "C" {

void* maw_malloc(size_t size) { return std::malloc(size ? size : 1); }

void* maw_realloc(void* block, size_t size) { return std::realloc(block, size ? size : 1); }

void maw_free(void* block) { std::free(block); }

}
