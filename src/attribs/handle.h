/* SPDX-License-Identifier: Apache-2.0 */
// The attribute manager handle and the opening procedure behind attrib_mngr_init.
#ifndef TARNWICK_ATTRIBS_HANDLE_H
#define TARNWICK_ATTRIBS_HANDLE_H

#include <cstddef>
#include <cstdint>

#include "tarnwick.h"
#include "tarnwick/config.h"

// Owns its store and its path copy; the record and the copy are blocks from maw_malloc.
struct AttribMngr {
    config_handle config;
    char* filename;
};

namespace tw {

// The name of the machine-wide lock that opening holds while it loads or creates the file.
extern const char kInitLockName[];

// Where opening takes the handle's two blocks from. attrib_mngr_init uses maw_malloc and
// maw_free; whatever allocate returns must also be releasable with maw_free, which
// delete_attribs_mngr uses. allocate returns NULL when memory is exhausted.
struct Allocator {
    void* (*allocate)(size_t size);
    void (*release)(void* block);
};

// How long attrib_mngr_init waits for the machine-wide lock before it gives up.
constexpr uint32_t kInitLockTimeoutMs = 60 * 1000;

// attrib_mngr_init with its allocator and its wait for the lock named. Returns
// ATTRIB_MNGR_LOCK_TIMEOUT, with nothing stored, the file untouched and everything released,
// when the lock was not taken within lock_timeout_ms milliseconds. Returns ATTRIB_MNGR_NO_MEMORY, with nothing
// stored, the file untouched and everything released, when an allocation fails. May throw
// CInterprocException.
int32_t open_attrib_mngr(const char* path, AttribMngr** mngr, const Allocator& allocator,
                         uint32_t lock_timeout_ms = kInitLockTimeoutMs);

}  // namespace tw

#endif
