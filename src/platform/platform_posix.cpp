// SPDX-License-Identifier: Apache-2.0
#include "platform/platform.h"

#include <cerrno>
#include <ctime>

namespace tw::platform {

bool is_readable_string(const char* text) { return text != nullptr; }

bool is_readable(const void* block, size_t size) { return block != nullptr || size == 0; }

uint32_t clock_seconds() { return static_cast<uint32_t>(std::time(nullptr)); }

bool last_error_is_insufficient_buffer() { return errno == ERANGE; }

}  // namespace tw::platform
