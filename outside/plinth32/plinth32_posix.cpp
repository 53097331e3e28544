// SPDX-License-Identifier: Apache-2.0
#include "tarnwick/plinth32.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "plinth32_internal.h"

namespace plinth32 {

bool is_separator(char c) { return c == '/'; }

size_t drive_length(const char*) { return 0; }

void make_one_directory(const char* path) { ::mkdir(path, 0777); }

// Full path of the loaded object that contains address, or "" when none does.
std::string module_path(const void* address) {
    Dl_info info;
    link_map* map = nullptr;
    if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 || map == nullptr)
        return std::string();
    std::string path;
    if (map->l_name == nullptr || map->l_name[0] == '\0') {
        // The main program has no name of its own in the loader's list.
        char buf[4096];
        const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return std::string();
        path.assign(buf, static_cast<size_t>(n));
    } else {
        path = map->l_name;
    }
    if (path[0] != '/') {
        // Loaded by a relative name: resolve it against the current directory.
        char* full = realpath(path.c_str(), nullptr);
        if (full == nullptr) return std::string();
        path = full;
        std::free(full);
    }
    return path;
}

namespace {

bool stat_path(const char* path, struct stat* st) { return path != nullptr && path[0] != '\0' && ::stat(path, st) == 0; }

}  // namespace

}  // namespace plinth32

using namespace plinth32;

extern "C" {

int32_t PLINTH32_CALL os_is_file_exist(const char* path) {
    struct stat st;
    return stat_path(path, &st) && !S_ISDIR(st.st_mode) ? 1 : 0;
}

int32_t PLINTH32_CALL os_is_dir_exist(const char* path) {
    struct stat st;
    return stat_path(path, &st) && S_ISDIR(st.st_mode) ? 1 : 0;
}

int32_t PLINTH32_CALL os_get_tmp_dir(int32_t size, int32_t /*reserved*/, char* buf) {
    const size_t capacity = buffer_size(size);
    if (buf == nullptr || capacity == 0) return OS_ERR_ARG;
    const char* env = std::getenv("TMPDIR");
    std::string dir = env != nullptr && env[0] != '\0' ? env : "/tmp";
    if (dir.back() != '/') dir += '/';
    return copy_out(dir.c_str(), dir.size(), buf, capacity);
}

void* PLINTH32_CALL os_load_library_ex(const char* name, int32_t search, const void* module) {
    if (name == nullptr || name[0] == '\0') return nullptr;
    if (search != OS_LOAD_SYSTEM && search != OS_LOAD_BESIDE_MODULE) return nullptr;
    if (std::strchr(name, '/') != nullptr) return dlopen(name, RTLD_NOW | RTLD_LOCAL);
    const size_t length = std::strlen(name);
    const bool dll_name = length > 4 && strcasecmp(name + length - 4, ".dll") == 0;
    if (!dll_name) return dlopen(name, RTLD_NOW | RTLD_LOCAL);

    const std::string file = "lib" + std::string(name, length - 4) + ".so";
    if (search == OS_LOAD_SYSTEM || module == nullptr) module = reinterpret_cast<const void*>(&os_load_library_ex);
    char dir[OS_MAX_PATH];
    if (os_get_my_module_dir_name(module, dir, sizeof dir) == OS_OK) {
        const std::string beside = std::string(dir) + "/" + file;
        if (void* library = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return library;
    }
    // A name without a slash goes through the loader's search (LD_LIBRARY_PATH, the run path,
    // the system directories). It reaches the current directory only through an empty or "."
    // entry there; installed, the run path is $ORIGIN alone.
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* PLINTH32_CALL os_get_proc_address(void* library, const char* name) {
    // dlsym treats a null handle as "every loaded object"; a null library finds nothing here.
    if (library == nullptr || name == nullptr) return nullptr;
    return dlsym(library, name);
}

}  // extern "C"
