/* corvane: the allocator and the machine-wide named locks.
 *
 * Allocation: every block the attribute library allocates passes through maw_malloc /
 * maw_realloc and is released with maw_free, so that blocks may be freed by any module
 * that links this library.
 *
 * Named locks: a lock name designates one lock for the whole machine, shared by every
 * process and account that uses the name. A handle is a 32-bit value; 0 means none.
 * A handle is owned by the caller of init and released with destroy. A stale, zero or
 * foreign handle given to enter/leave/destroy does nothing harmful.
 */
#ifndef CORVANE_H
#define CORVANE_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(CORVANE_BUILD)
#    define CORVANE_API __declspec(dllexport)
#  else
#    define CORVANE_API __declspec(dllimport)
#  endif
#  define CORVANE_CALL __cdecl
#else
#  define CORVANE_API __attribute__((visibility("default")))
#  define CORVANE_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A block of at least size bytes, or NULL. */
CORVANE_API void* CORVANE_CALL maw_malloc(size_t size);
/* The block moved or grown to size bytes with its content kept, or NULL (block left intact). */
CORVANE_API void* CORVANE_CALL maw_realloc(void* block, size_t size);
/* Releases a block from maw_malloc or maw_realloc; NULL does nothing. */
CORVANE_API void CORVANE_CALL maw_free(void* block);

/* Opens (creating on first use) the machine-wide lock of that name; 0 on failure. Takes no lock. */
CORVANE_API uint32_t CORVANE_CALL init_interprocess_critical_section(const char* name);
/* Returns once the caller holds the lock, waiting as long as another holder has it. */
CORVANE_API void CORVANE_CALL enter_interprocess_critical_section(uint32_t lock);
/* Releases the lock. */
CORVANE_API void CORVANE_CALL leave_interprocess_critical_section(uint32_t lock);
/* Releases this process's hold on the named lock object; the handle is invalid afterwards. */
CORVANE_API void CORVANE_CALL destroy_interprocess_critical_section(uint32_t lock);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_H */
