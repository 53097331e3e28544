#include "platform/platform.h"

#include <windows.h>

#include <climits>
#include <ctime>
#include <string>

#include "plinth32.h"

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

void* load_optional_library(const char* base_name) {
    const std::string file = std::string(base_name) + ".dll";
    char dir[OS_MAX_PATH];
    if (os_get_my_module_dir_name(reinterpret_cast<const void*>(&load_optional_library), dir, sizeof dir) == OS_OK) {
        const std::string beside = std::string(dir) + "\\" + file;
        // Its own dependencies come from its folder and the safe default directories only
        // (the altered search order would still try the current directory).
        const DWORD search = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
        if (HMODULE lib = LoadLibraryExA(beside.c_str(), nullptr, search)) return lib;
    }
    // Application directory, System32 and added directories; never the current directory.
    return LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}

void* find_function(void* library, const char* name) {
    return library ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name)) : nullptr;
}

}  // namespace tw::platform

// Loading the library runs nothing but this: the library keeps no per-thread state.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
    return TRUE;
}
