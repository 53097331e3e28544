// SPDX-License-Identifier: Apache-2.0
#include "tarnwick/plinth32.h"

#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "plinth32_internal.h"

namespace plinth32 {

bool is_separator(char c) { return c == '\\' || c == '/'; }

size_t drive_length(const char* path) {
    return std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' ? 2 : 0;
}

void make_one_directory(const char* path) { CreateDirectoryA(path, nullptr); }


// Full path of the module that contains address, or "" when none does.
std::string module_path(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &module))
        return std::string();
    // A full buffer means the name may have been cut short: grow and ask again.
    for (DWORD size = MAX_PATH + 1; size <= 65536; size *= 2) {
        std::vector<char> buf(size);
        const DWORD n = GetModuleFileNameA(module, buf.data(), size);
        if (n == 0) return std::string();
        if (n < size - 1) return std::string(buf.data(), n);
    }
    return std::string();
}

namespace {

bool flags_refused() { return GetLastError() == ERROR_INVALID_PARAMETER; }

bool is_full_path(const std::string& path) {
    return (path.size() > 2 && drive_length(path.c_str()) == 2 && is_separator(path[2])) ||
           (path.size() > 2 && is_separator(path[0]) && is_separator(path[1]));
}

// Loads the library at a full path; its own imports come from its directory and the search
// directories that more names (LOAD_LIBRARY_SEARCH_*). Where the system refuses these flags
// (Windows 7 without its loader update) the imports are searched from the library's
// directory first, the best that system offers.
HMODULE load_full_path(const std::string& path, DWORD more) {
    if (!is_full_path(path)) return nullptr;
    HMODULE library = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | more);
    if (library == nullptr && flags_refused()) library = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return library;
}

std::string system_directory() {
    char dir[MAX_PATH + 1];
    const UINT n = GetSystemDirectoryA(dir, sizeof dir);
    return n > 0 && n < sizeof dir ? std::string(dir, n) : std::string();
}

// By name from the system directory alone, never from the program's directory.
HMODULE load_from_system_directory(const char* name) {
    HMODULE library = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library != nullptr || !flags_refused()) return library;
    const std::string dir = system_directory();
    return dir.empty() ? nullptr : load_full_path(dir + "\\" + name, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// By name from the application's directory, then the system directory.
HMODULE load_from_default_directories(const char* name) {
    HMODULE library = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (library != nullptr || !flags_refused()) return library;
    const std::string program = module_path(GetModuleHandleA(nullptr));
    const size_t slash = program.find_last_of("\\/");
    if (slash != std::string::npos) {
        library = load_full_path(program.substr(0, slash + 1) + name, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        if (library != nullptr) return library;
    }
    const std::string dir = system_directory();
    return dir.empty() ? nullptr : load_full_path(dir + "\\" + name, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

DWORD attributes(const char* path) {
    return path != nullptr && path[0] != '\0' ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
}

}  // namespace

}  // namespace plinth32

using namespace plinth32;

extern "C" {

int32_t PLINTH32_CALL os_is_file_exist(const char* path) {
    const DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

int32_t PLINTH32_CALL os_is_dir_exist(const char* path) {
    const DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

int32_t PLINTH32_CALL os_get_tmp_dir(int32_t size, int32_t /*reserved*/, char* buf) {
    const size_t capacity = buffer_size(size);
    if (buf == nullptr || capacity == 0) return OS_ERR_ARG;
    // Asked into a buffer of our own: what the system writes into one too small is unspecified.
    std::vector<char> dir(MAX_PATH + 1);
    DWORD n = GetTempPathA(static_cast<DWORD>(dir.size()), dir.data());
    if (n >= dir.size()) {
        dir.resize(n + 1);
        n = GetTempPathA(static_cast<DWORD>(dir.size()), dir.data());
    }
    if (n == 0 || n >= dir.size()) {
        buf[0] = '\0';
        return OS_ERR_SYSTEM;
    }
    return copy_out(dir.data(), n, buf, capacity);
}

void* PLINTH32_CALL os_load_library_ex(const char* name, int32_t search, const void* module) {
    if (name == nullptr || name[0] == '\0') return nullptr;
    if (std::strpbrk(name, "\\/") != nullptr) return load_full_path(name, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (search == OS_LOAD_SYSTEM) return load_from_system_directory(name);
    if (search != OS_LOAD_BESIDE_MODULE) return nullptr;
    const std::string own = module_path(module != nullptr ? module : reinterpret_cast<const void*>(&os_load_library_ex));
    const size_t slash = own.find_last_of("\\/");
    if (slash != std::string::npos) {
        // Its own imports come from its folder and the safe default directories.
        if (HMODULE library = load_full_path(own.substr(0, slash + 1) + name, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS))
            return library;
    }
    return load_from_default_directories(name);
}

void* PLINTH32_CALL os_get_proc_address(void* library, const char* name) {
    if (library == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // extern "C"
