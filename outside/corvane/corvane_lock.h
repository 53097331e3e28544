// The platform's named lock objects (corvane_win.cpp / corvane_posix.cpp), as the handle table in
// corvane.cpp uses them. None of these is called with the table's mutex held except release and
// close, which never block.
#ifndef CORVANE_LOCK_H
#define CORVANE_LOCK_H

#include <cstdint>

namespace corvane {

// An open lock object: a file descriptor on POSIX, a mutex HANDLE on Windows.
using NativeLock = std::intptr_t;

// Opens the machine-wide lock object of name (not empty), creating it when it does not exist.
// Each call opens an object of its own that excludes every other one of the same name, in this
// process as in others. False when it cannot be opened.
bool open_lock(const char* name, NativeLock* lock);
// Blocks until the lock is held through this object; false when the system refused.
bool acquire(NativeLock lock);
// Like acquire, but gives up after timeout_ms milliseconds; false then, or when refused.
bool acquire_within(NativeLock lock, uint32_t timeout_ms);
// Releases a lock held through this object.
void release(NativeLock lock);
// Closes the object.
void close_lock(NativeLock lock);

}  // namespace corvane

#endif
