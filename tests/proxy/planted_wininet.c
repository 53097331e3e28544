/* SPDX-License-Identifier: Apache-2.0 */
/* A wininet.dll planted beside a program: records being loaded by creating the file that
 * TW_PLANTED_MARKER names. Nothing else: a copy the loader must never pick. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)module;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        char marker[MAX_PATH];
        const DWORD n = GetEnvironmentVariableA("TW_PLANTED_MARKER", marker, sizeof marker);
        if (n > 0 && n < sizeof marker) {
            HANDLE h = CreateFileA(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
    }
    return TRUE;
}
