// SPDX-License-Identifier: Apache-2.0
#include "last_error.h"

#include <windows.h>

void set_last_error_insufficient_buffer() { SetLastError(ERROR_INSUFFICIENT_BUFFER); }
void set_last_error_other() { SetLastError(ERROR_INVALID_PARAMETER); }
