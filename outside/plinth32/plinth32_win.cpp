#include "plinth32.h"

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

void* PLINTH32_CALL os_load_library(const char* name) {
    if (name == nullptr || name[0] == '\0') return nullptr;
    return reinterpret_cast<void*>(LoadLibraryA(name));
}

void* PLINTH32_CALL os_get_proc_address(void* library, const char* name) {
    if (library == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // extern "C"
