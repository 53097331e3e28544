// SPDX-License-Identifier: Apache-2.0
#include "support.h"

#include <windows.h>

namespace support {

namespace {
UINT g_exit_code = 0;
LONG WINAPI exit_now(EXCEPTION_POINTERS*) { ExitProcess(g_exit_code); }
// Ends the process with the exception's code, as the system does, without starting a debugger.
LONG WINAPI exit_with_code(EXCEPTION_POINTERS* pointers) { ExitProcess(pointers->ExceptionRecord->ExceptionCode); }
}  // namespace

volatile int* no_access_page() {
    return static_cast<volatile int*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS));
}

uint32_t access_violation_code() { return EXCEPTION_ACCESS_VIOLATION; }

int killed_by_access_violation() { return static_cast<int>(EXCEPTION_ACCESS_VIOLATION); }

void exit_on_fault(int exit_code) {
    g_exit_code = static_cast<UINT>(exit_code);
    SetUnhandledExceptionFilter(exit_now);
}

void prepare_to_crash() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(exit_with_code);
}

}  // namespace support
