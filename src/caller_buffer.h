/* SPDX-License-Identifier: Apache-2.0 */
// The caller-buffer protocol shared by every call that returns text. It stands beneath every
// folder of src/ (it includes tarnwick.h alone), so that attribs/ and scramble/ both use it
// and scramble/ needs nothing of attribs/, which calls it.
#ifndef TARNWICK_CALLER_BUFFER_H
#define TARNWICK_CALLER_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tarnwick.h"

namespace tw {

// Copies text (length bytes, then a terminator) into buffer when length < *size and buffer is
// not NULL, and returns ATTRIB_MNGR_OK with *size unchanged. Otherwise writes length + 1
// into *size and returns ATTRIB_MNGR_BUFFER_TOO_SMALL, leaving buffer untouched. size must
// not be NULL. A text too long for a 32-bit size is reported as ATTRIB_MNGR_NO_MEMORY.
inline int32_t copy_to_caller(const char* text, size_t length, char* buffer, int32_t* size) {
    if (length >= static_cast<size_t>(INT32_MAX)) return ATTRIB_MNGR_NO_MEMORY;
    const int32_t needed = static_cast<int32_t>(length) + 1;
    if (buffer == nullptr || *size < needed) {
        *size = needed;
        return ATTRIB_MNGR_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return ATTRIB_MNGR_OK;
}

}  // namespace tw

#endif
