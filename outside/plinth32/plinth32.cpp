// SPDX-License-Identifier: Apache-2.0
// Path arithmetic and directory creation, the same on every platform; the platform file knows
// the syntax (separators, drives) and the system calls.
#include "tarnwick/plinth32.h"

#include <cstring>
#include <string>

#include "plinth32_internal.h"

namespace plinth32 {

size_t buffer_size(int32_t size) {
    if (size == -1) return OS_MAX_PATH;
    return size > 0 ? static_cast<size_t>(size) : 0;
}

int32_t copy_out(const char* text, size_t length, char* buf, size_t capacity) {
    if (length >= capacity) {
        buf[0] = '\0';
        return OS_ERR_TOO_LONG;
    }
    std::memcpy(buf, text, length);
    buf[length] = '\0';
    return OS_OK;
}

size_t directory_length(const char* path, size_t* name_start) {
    const size_t drive = drive_length(path);
    size_t last = std::strlen(path);
    while (last > drive && !is_separator(path[last - 1])) --last;
    *name_start = last;
    // last is now just past the final separator (or at the drive's end when there is none).
    while (last > drive && is_separator(path[last - 1])) --last;
    return last;
}

namespace {

// True for a name made of dots only ("." and ".."): such a name has no extension.
bool dots_only(const char* name, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (name[i] != '.') return false;
    return true;
}

}  // namespace

}  // namespace plinth32

using namespace plinth32;

extern "C" {

int32_t PLINTH32_CALL os_get_my_module_dir_name(const void* module, char* buf, int32_t size) {
    // Taken here, in the exported function itself, so that it names our caller.
    const void* address = module != nullptr ? module : __builtin_return_address(0);
    const size_t capacity = buffer_size(size);
    if (buf == nullptr || capacity == 0) return OS_ERR_ARG;
    const std::string path = module_path(address);
    if (path.empty()) {
        buf[0] = '\0';
        return OS_ERR_SYSTEM;
    }
    size_t name_start = 0;
    return copy_out(path.c_str(), directory_length(path.c_str(), &name_start), buf, capacity);
}

int32_t PLINTH32_CALL os_split_path(const char* path, char* dir, char* name, char* ext, int32_t size) {
    char* const outputs[] = {dir, name, ext};
    const size_t capacity = buffer_size(size);
    bool any_output = false;
    for (char* out : outputs) any_output = any_output || out != nullptr;
    if (any_output && capacity == 0) return OS_ERR_ARG;
    if (path == nullptr) {
        for (char* out : outputs)
            if (out != nullptr) out[0] = '\0';
        return OS_ERR_ARG;
    }

    size_t name_start = 0;
    const size_t dir_length = directory_length(path, &name_start);
    const char* file = path + name_start;
    const size_t file_length = std::strlen(file);
    size_t name_length = file_length;
    if (!dots_only(file, file_length)) {
        const char* dot = std::strrchr(file, '.');
        if (dot != nullptr && dot != file) name_length = static_cast<size_t>(dot - file);
    }
    const char* texts[] = {path, file, file + name_length};
    const size_t lengths[] = {dir_length, name_length, file_length - name_length};

    // All or nothing: a part that does not fit leaves every output empty.
    bool fits = true;
    for (int i = 0; i < 3; ++i) fits = fits && (outputs[i] == nullptr || lengths[i] < capacity);
    for (int i = 0; i < 3; ++i) {
        if (outputs[i] == nullptr) continue;
        if (fits) copy_out(texts[i], lengths[i], outputs[i], capacity);
        else outputs[i][0] = '\0';
    }
    return fits ? OS_OK : OS_ERR_TOO_LONG;
}

int32_t PLINTH32_CALL os_mkdir(const char* path) {
    if (path == nullptr || path[0] == '\0') return OS_ERR_ARG;
    // Each ancestor in turn, from the root down. Ancestors that exist or cannot be made (a drive,
    // a share, a directory we may not write) are passed over; what counts is the final result.
    std::string prefix(path);
    const size_t drive = drive_length(path);
    for (size_t i = drive + 1; i < prefix.size(); ++i) {
        if (!is_separator(prefix[i]) || is_separator(prefix[i - 1])) continue;
        const char kept = prefix[i];
        prefix[i] = '\0';
        if (!os_is_dir_exist(prefix.c_str())) make_one_directory(prefix.c_str());
        prefix[i] = kept;
    }
    if (!os_is_dir_exist(path)) make_one_directory(path);
    return os_is_dir_exist(path) ? OS_OK : OS_ERR_SYSTEM;
}

}  // extern "C"

extern "C" void* PLINTH32_CALL os_load_library(const char* name) { return os_load_library_ex(name, OS_LOAD_SYSTEM, nullptr); }
