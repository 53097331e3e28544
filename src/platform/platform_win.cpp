// SPDX-License-Identifier: Apache-2.0
#include "platform/platform.h"

#include <windows.h>

#include <climits>
#include <ctime>

namespace tw::platform {

bool is_readable_string(const char* text) {
    return text != nullptr && !IsBadStringPtrA(text, UINT_PTR(-1));
}

bool is_readable(const void* block, size_t size) {
    if (size == 0) return true;
    return block != nullptr && !IsBadReadPtr(block, size);
}

// Whole seconds since the epoch, cut to 32 bits as the 32-bit run-time clock gives them.
uint32_t clock_seconds() { return static_cast<uint32_t>(std::time(nullptr)); }

bool last_error_is_insufficient_buffer() { return GetLastError() == ERROR_INSUFFICIENT_BUFFER; }

}  // namespace tw::platform

// Loading the library runs nothing but this: the library keeps no per-thread state.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
    return TRUE;
}
