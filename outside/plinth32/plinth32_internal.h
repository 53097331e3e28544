/* SPDX-License-Identifier: Apache-2.0 */
// Shared between plinth32.cpp and the one platform file (plinth32_win.cpp / plinth32_posix.cpp).
#ifndef PLINTH32_INTERNAL_H
#define PLINTH32_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace plinth32 {

// --- Supplied by the platform file ---

// True for a character that separates directory components ('/' on POSIX; '\\' and '/' on
// Windows).
bool is_separator(char c);
// Length of the drive designator that starts path ("C:" on Windows), 0 when there is none.
size_t drive_length(const char* path);
// Creates one directory whose parent exists. The result is not reported: the caller checks
// what is there afterwards.
void make_one_directory(const char* path);
// Full path of the module that holds address, or "" when it cannot be found.
std::string module_path(const void* address);

// --- Common helpers (plinth32.cpp) ---

// The byte count an output size argument stands for: OS_MAX_PATH for -1, the value itself when
// positive, 0 (invalid) otherwise.
size_t buffer_size(int32_t size);
// Copies text (length bytes plus a terminator) into buf of capacity bytes. When it does not fit,
// buf holds the empty string and the result is OS_ERR_TOO_LONG. capacity is at least 1.
int32_t copy_out(const char* text, size_t length, char* buf, size_t capacity);
// Length of the directory part of path: everything before its last separator, without trailing
// separators, but never shorter than its drive. *name_start receives where the file name begins.
size_t directory_length(const char* path, size_t* name_start);

}  // namespace plinth32

#endif
