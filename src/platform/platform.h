/* SPDX-License-Identifier: Apache-2.0 */
// The few operating-system services the attribute library calls itself. One implementation
// per platform (platform_win.cpp, platform_posix.cpp); nothing else in src/ asks which
// platform it runs on.
#ifndef TARNWICK_PLATFORM_H
#define TARNWICK_PLATFORM_H

#include <cstddef>
#include <cstdint>

namespace tw::platform {

// True when text can be read up to its terminator. Windows asks the memory manager
// (IsBadStringPtrA); POSIX has no such service and only rejects NULL.
bool is_readable_string(const char* text);

// True when size bytes at block can be read. Windows: IsBadReadPtr; POSIX: only rejects
// NULL with a non-zero size.
bool is_readable(const void* block, size_t size);

// Calendar time in whole seconds since the Unix epoch, as a 32-bit unsigned value.
uint32_t clock_seconds();

// True when the last system call of this thread failed because the caller's buffer was too
// small: Windows ERROR_INSUFFICIENT_BUFFER (GetLastError); POSIX ERANGE (errno), the value
// the Linux stand-in of the Internet services library reports.
bool last_error_is_insufficient_buffer();

}  // namespace tw::platform

#endif
