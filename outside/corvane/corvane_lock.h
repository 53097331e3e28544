/* SPDX-License-Identifier: Apache-2.0 */
// The platform's machine-wide lock names (corvane_win.cpp / corvane_posix.cpp), as the handle
// table in corvane.cpp uses them. A lock is held by owning a name that the system gives to one
// owner at a time and takes back when that owner closes it or ends: nothing stays behind that
// another account could create in advance, and waiting is the table's polling. None of these
// blocks.
#ifndef CORVANE_LOCK_H
#define CORVANE_LOCK_H

#include <cstdint>

namespace corvane {

// One handle's view of a lock name and, while held, the object that owns the name.
struct LockName;
using NativeLock = LockName*;

enum class Take {
    taken,    // this object owns the name now
    busy,     // another object owns it (in this process or another)
    refused,  // the system refused for another reason
};

// Prepares the lock of full_name (not empty), taking nothing. False when the name can never
// be a lock here (too long, or a character the system reserves) or memory ran out.
bool open_lock(const char* full_name, NativeLock* lock);
// Tries once to own the name.
Take try_take(NativeLock lock);
// Gives the name back; the lock must be held through this object.
void release(NativeLock lock);
// Frees the object, giving the name back if it is held.
void close_lock(NativeLock lock);

}  // namespace corvane

#endif
