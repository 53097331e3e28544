/* SPDX-License-Identifier: Apache-2.0 */
/* corvane: the allocator and the machine-wide named locks.
 *
 * Allocation: every block the attribute library allocates passes through maw_malloc /
 * maw_realloc and is released with maw_free, so that blocks may be freed by any module
 * that links this library.
 *
 * Named locks: a lock name designates one lock for the whole machine, shared by every
 * process and account that uses the name. A handle is a 32-bit value; 0 means none.
 * A handle is owned by the caller of init and released with destroy. A stale, zero or
 * foreign handle given to enter/leave/destroy does nothing harmful, and a handle once destroyed
 * is never given out again. A process holds at most 4095 handles at once.
 *
 * Each init opens a lock object of its own, so two handles on one name exclude each other
 * even within one thread; entering again through the handle that holds the lock nests (one
 * leave per enter). A handle is used by one thread at a time; any thread may leave a lock
 * another entered. destroy must not run while another thread waits in enter on the same
 * handle.
 *
 * Where the lock lives: holding the lock is owning a name that the system lets one owner have
 * at a time and takes back when the owner lets go or ends. Nothing persists between holders,
 * so no object made in advance by another account (a file, a link, a mutex with an access list
 * that denies others) can keep a lock from being opened or taken: the worst another account
 * can do is hold the lock itself, which try_enter bounds.
 * - Linux: a stream socket bound to "corvane-<name>" in the abstract socket namespace (it
 *   never listens). The name counts every byte, so distinct names are distinct locks; at most
 *   99 bytes, the prefix below included. The namespace belongs to a network namespace:
 *   processes in different ones (a container, a service with a private network) do not share
 *   locks.
 * - Windows: the first and only instance of the named pipe "\\.\pipe\corvane-<name>", shared by
 *   every session, with an empty access list (nobody may connect to it). A name containing '\'
 *   or longer than 239 bytes, the prefix included, cannot be opened.
 * Waiting for a taken lock is polling: every pause, doubling from 1 ms to 32 ms, the waiter
 * tries again, so a lock left is taken within about 32 ms.
 * A lock whose holder ends (exits, crashes or is killed) without leaving is free again.
 *
 * The environment variable CORVANE_LOCK_PREFIX, when set, is put before every name: tests give
 * each run locks of its own with it. Every process that shares a lock must see the same value.
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

/* Opens the machine-wide lock of that name. Takes no lock and creates nothing that others see.
 * 0 on failure: NULL or empty name, a name the platform cannot use (see above), too many
 * handles, or no memory. */
CORVANE_API uint32_t CORVANE_CALL init_interprocess_critical_section(const char* name);
/* Returns once the caller holds the lock, waiting as long as another holder has it. Returns
 * without the lock only when the system refuses (out of descriptors or handles, say). */
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
 * lock still held through the handle is released first. */
CORVANE_API void CORVANE_CALL destroy_interprocess_critical_section(uint32_t lock);

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_H */
