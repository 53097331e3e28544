#include "platform/platform.h"

#include <dlfcn.h>
#include <cerrno>
#include <ctime>
#include <string>

#include "plinth32.h"

namespace tw::platform {

bool is_readable_string(const char* text) { return text != nullptr; }

bool is_readable(const void* block, size_t size) { return block != nullptr || size == 0; }

uint32_t clock_seconds() { return static_cast<uint32_t>(std::time(nullptr)); }

bool last_error_is_insufficient_buffer() { return errno == ERANGE; }

void* load_optional_library(const char* base_name) {
    const std::string file = std::string("lib") + base_name + ".so";
    char dir[OS_MAX_PATH];
    // An address inside this library names the directory to look in.
    if (os_get_my_module_dir_name(reinterpret_cast<const void*>(&load_optional_library), dir, sizeof dir) == OS_OK) {
        const std::string beside = std::string(dir) + "/" + file;
        if (void* lib = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return lib;
    }
    // A name without a slash goes through the loader's search (LD_LIBRARY_PATH, this
    // library's run path, the system directories). It reaches the current directory only
    // through an empty or "." entry there; installed, the run path is $ORIGIN alone.
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* find_function(void* library, const char* name) {
    return library ? dlsym(library, name) : nullptr;
}

}  // namespace tw::platform
