// SPDX-License-Identifier: Apache-2.0
#include "last_error.h"

#include <cerrno>

void set_last_error_insufficient_buffer() { errno = ERANGE; }
void set_last_error_other() { errno = EINVAL; }
