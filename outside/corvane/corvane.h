/* corvane: the allocator and the machine-wide named locks.
 *
 * Allocation: every block the attribute library allocates passes through maw_malloc /
 * maw_realloc and is released with maw_free, so that blocks may be freed by any module
 * that links this library.
 *
 * Named locks: a lock name designates one lock for the whole machine, shared by every
 * process and account that uses the name. A handle is a 32-bit value; 0 means none.
 * A handle is owned by the caller of init and released with destroy. A stale, zero or
 * foreign handle given to enter/leave/destroy does nothing harmful. A process holds at most
 * 4095 handles at once.
 *
 * Each init opens a lock object of its own, so two handles on one name exclude each other
 * even within one thread; entering again through the handle that holds the lock nests (one
 * leave per enter). A handle is used by one thread at a time, and on Windows a lock is left by
 * the thread that entered it. destroy must not run while another thread waits in enter on the
 * same handle.
 *
 * Where the lock lives:
 * - Windows: the mutex "Global\<name>", shared by every session, created with a security
 *   descriptor that lets Authenticated Users wait on it and release it and nothing more, and
 *   opened asking only for those rights. A name that contains '\' or is taken by another kind
 *   of object (an event, say) cannot be opened.
 * - POSIX: flock() on the file "<dir>/corvane-<name>.lock", created with mode 0666 whatever the
 *   umask, never through a symbolic link. A lock file that may not be opened for writing (one
 *   another account created with fewer rights) is opened for reading, which flock() allows. <dir> is /run/lock unless the environment variable
 *   CORVANE_LOCK_DIR names another directory (for tests and confined services: every process
 *   sharing a lock must see the same value). Bytes of the name other than letters, digits,
 *   '-', '_' and '.' appear as %XX, so distinct names give distinct files; a name whose file
 *   name exceeds the system's limit (about 250 bytes) cannot be opened.
 * A lock whose holder ends (exits, crashes or is killed) without leaving is free again: the
 * next enter takes it (on Windows as an abandoned mutex).
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

/* Opens (creating on first use) the machine-wide lock of that name. Takes no lock. 0 on
 * failure: NULL or empty name, lock object that cannot be created or opened (POSIX: the lock
 * directory is missing or not writable, or something other than a regular file stands at the
 * lock path, or the lock file cannot be opened even for reading), or too many handles. */
CORVANE_API uint32_t CORVANE_CALL init_interprocess_critical_section(const char* name);
/* Returns once the caller holds the lock, waiting as long as another holder has it. Returns
 * without the lock only when the system refuses the wait. */
CORVANE_API void CORVANE_CALL enter_interprocess_critical_section(uint32_t lock);
/* Like enter_interprocess_critical_section, but waits at most timeout_ms milliseconds (0: only
 * tries). Returns 1 when the caller holds the lock (to be left once, like an enter), 0 when
 * the time ran out, the system refused the wait or the handle is not valid; nothing is held
 * then. Any account that may open the lock can hold it for as long as it likes: a caller that
 * must not wait for ever uses this. */
CORVANE_API int32_t CORVANE_CALL try_enter_interprocess_critical_section(uint32_t lock, uint32_t timeout_ms);
/* Releases the lock (after as many leaves as enters); does nothing when it is not held
 * through this handle. */
CORVANE_API void CORVANE_CALL leave_interprocess_critical_section(uint32_t lock);
/* Releases this process's hold on the named lock object; the handle is invalid afterwards. A
 * lock still held through the handle is released first (on Windows only when called by the
 * thread that entered it; otherwise it is freed when that thread ends). */
CORVANE_API void CORVANE_CALL destroy_interprocess_critical_section(uint32_t lock);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_H */
