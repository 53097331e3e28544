// SPDX-License-Identifier: Apache-2.0
#include "attribs/locate.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "caller_buffer.h"
#include "tarnwick.h"
#include "tarnwick/config.h"
#include "tarnwick/corvane.h"
#include "tarnwick/plinth32.h"

namespace tw {
namespace {

constexpr char kOverrideVariable[] = "QZ_CFG_FILE_PATH";
constexpr char kPlainFileName[] = "k_agent_attribs.cfg";
constexpr char kProductSuffix[] = "_agent_attribs.cfg";
constexpr char kProductConfig[] = ".." OS_PATH_SEPARATOR_STR "dat" OS_PATH_SEPARATOR_STR "brix_agent.cfg";
constexpr char kResolverLibrary[] = "trellum.dll";  // libtrellum.so on POSIX
constexpr char kResolverFunction[] = "GetFullPath";

// The resolver's entry point: a plain C function.
using GetFullPathFn = int (*)(int kind, int flags, const char* name, char* directory);

static_assert(OS_MAX_PATH == 2048, "the temporary directory buffer is OS_MAX_PATH bytes");

size_t file_name_length(const char* product) {
    return product[0] == '\0' ? sizeof kPlainFileName - 1 : std::strlen(product) + sizeof kProductSuffix - 1;
}

// Writes separator, file name and terminator at out, which has room for them.
void put_file_name(char* out, const char* product) {
    *out++ = OS_PATH_SEPARATOR;
    if (product[0] == '\0') {
        std::memcpy(out, kPlainFileName, sizeof kPlainFileName);
        return;
    }
    const size_t length = std::strlen(product);
    std::memcpy(out, product, length);
    std::memcpy(out + length, kProductSuffix, sizeof kProductSuffix);
}

// A name that can only be a file name: no separator of any platform, no drive or stream colon,
// no control character, and not a name of the directory itself or of its parent. (With no
// separator allowed, ".." can only be the whole name.)
bool is_plain_file_name(const char* name, size_t length) {
    if (length == 0 || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == '/' || c == '\\' || c == ':' || c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

// Any address inside this library names the module whose directory holds the installation.
void read_product_name(char* product) {
    product[0] = '\0';
    char module_path[kModulePathSize];
    const void* self = reinterpret_cast<const void*>(&read_product_name);
    if (os_get_my_module_dir_name(self, module_path, static_cast<int32_t>(sizeof module_path)) != OS_OK) return;
    if (!append_product_config(module_path)) return;
    read_product_name_from(module_path, product);
}

// The override directory, or NULL when the variable is unset or empty.
const char* override_directory() {
    const char* value = std::getenv(kOverrideVariable);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

enum class Resolved { kNo, kYes, kTooLong };

// The resolver library, loaded once per process and never released (the process keeps what
// it loads): later opens use the same one instead of taking one more reference each time. Until
// one is found, each open looks again, so a resolver installed later is still seen.
void* resolver_library() {
    static std::atomic<void*> loaded{nullptr};
    void* library = loaded.load(std::memory_order_acquire);
    if (library != nullptr) return library;
    // Beside this library first, then the application's and the system's directories.
    const void* self = reinterpret_cast<const void*>(&resolver_library);
    library = os_load_library_ex(kResolverLibrary, OS_LOAD_BESIDE_MODULE, self);
    if (library == nullptr) return nullptr;
    void* expected = nullptr;
    // Two first opens at once may both load it: the loader then hands both the same module.
    if (!loaded.compare_exchange_strong(expected, library, std::memory_order_acq_rel)) return expected;
    return library;
}

// Asks the optional resolver library for the default directory.
Resolved resolve_default_directory(char* default_path) {
    void* const library = resolver_library();
    if (library == nullptr) return Resolved::kNo;
    auto get_full_path = reinterpret_cast<GetFullPathFn>(os_get_proc_address(library, kResolverFunction));
    if (get_full_path == nullptr) return Resolved::kNo;
    default_path[0] = '\0';
    if (get_full_path(4, 0, "", default_path) == 0) {
        default_path[0] = '\0';
        return Resolved::kNo;
    }
    // A directory that filled the whole buffer has no terminator; its end is unknown.
    if (std::memchr(default_path, '\0', kDefaultPathSize) == nullptr) {
        default_path[0] = '\0';
        return Resolved::kTooLong;
    }
    return Resolved::kYes;
}

// The full default path (resolver's or temporary directory, then the file name) into
// default_path (kDefaultPathSize bytes).
int32_t default_location(char* default_path, const char* product) {
    default_path[0] = '\0';
    const Resolved resolved = resolve_default_directory(default_path);
    if (resolved == Resolved::kTooLong) return ATTRIB_MNGR_PATH_TOO_LONG;
    if (resolved == Resolved::kNo) {
        char temporary[OS_MAX_PATH];
        temporary[0] = '\0';
        if (os_get_tmp_dir(-1, 0, temporary) != OS_OK || temporary[0] == '\0') return ATTRIB_MNGR_NO_TMP_DIR;
        // Split into a buffer as large as the temporary directory's, so that a long directory
        // part is told from a failed split.
        char directory[OS_MAX_PATH];
        directory[0] = '\0';
        if (os_split_path(temporary, directory, nullptr, nullptr, -1) != OS_OK) return ATTRIB_MNGR_SPLIT_PATH_FAILED;
        const size_t length = std::strlen(directory);
        if (length >= static_cast<size_t>(kDefaultPathSize)) return ATTRIB_MNGR_PATH_TOO_LONG;
        std::memcpy(default_path, directory, length + 1);
    }
    return append_file_name(default_path, kDefaultPathSize, product);
}

// Size of directory + separator + file name + terminator, or 0 when it overflows size_t.
size_t override_path_size(size_t directory_length, const char* product) {
    const size_t rest = file_name_length(product) + 2;
    return directory_length > SIZE_MAX - rest ? 0 : directory_length + rest;
}

}  // namespace

void read_product_name_from(const char* config_path, char* product) {
    product[0] = '\0';
    if (!os_is_file_exist(config_path)) return;
    const config_handle cfg = new_config();
    if (cfg == 0) return;
    if (config_add_ini_file_source(cfg, config_path) == CONFIG_OK) {
        const char* unique = config_get_attrib(cfg, "UniqueConfiguration");
        const char* name = unique != nullptr && unique[0] == '1' ? config_get_attrib(cfg, "ProductName") : nullptr;
        // A longer name is refused rather than cut: a cut name would name another file. A name
        // that would lead out of the directory, or hide in it, counts as none.
        const size_t length = name != nullptr ? std::strlen(name) : 0;
        if (name != nullptr && length < kProductNameSize && is_plain_file_name(name, length)) {
            for (size_t i = 0; i < length; ++i) product[i] = name[i] == ' ' ? '_' : name[i];
            product[length] = '\0';
        }
    }
    delete_config(cfg);
}

bool append_product_config(char* module_path) {
    const size_t length = std::strlen(module_path);
    if (length + 1 + sizeof kProductConfig > kModulePathSize) {
        module_path[0] = '\0';
        return false;
    }
    module_path[length] = OS_PATH_SEPARATOR;
    std::memcpy(module_path + length + 1, kProductConfig, sizeof kProductConfig);
    return true;
}

int32_t append_file_name(char* dir, size_t size, const char* product) {
    const size_t length = std::strlen(dir);
    if (length + 1 + file_name_length(product) + 1 > size) return ATTRIB_MNGR_PATH_TOO_LONG;
    put_file_name(dir + length, product);
    return ATTRIB_MNGR_OK;
}

int32_t locate_attrib_file(char* default_path, char** path, bool* allocated) {
    *path = nullptr;
    *allocated = false;
    char product[kProductNameSize];
    read_product_name(product);

    const char* directory = override_directory();
    if (directory == nullptr) {
        const int32_t result = default_location(default_path, product);
        if (result != ATTRIB_MNGR_OK) return result;
        *path = default_path;
        return ATTRIB_MNGR_OK;
    }

    const size_t length = std::strlen(directory);
    const size_t size = override_path_size(length, product);
    char* full = size != 0 ? static_cast<char*>(maw_malloc(size)) : nullptr;
    if (full == nullptr) return ATTRIB_MNGR_NO_MEMORY;
    std::memcpy(full, directory, length);
    put_file_name(full + length, product);
    if (!os_is_dir_exist(directory) && os_mkdir(directory) != OS_OK) {
        maw_free(full);
        return ATTRIB_MNGR_MKDIR_FAILED;
    }
    *path = full;
    *allocated = true;
    return ATTRIB_MNGR_OK;
}

}  // namespace tw

int32_t TARNWICK_CALL attrib_mngr_get_null_filename(char* buffer, int32_t* size) {
    if (size == nullptr) return ATTRIB_MNGR_NULL_ARGUMENT;
    char product[tw::kProductNameSize];
    tw::read_product_name(product);

    const char* directory = tw::override_directory();
    if (directory == nullptr) {
        char default_path[tw::kDefaultPathSize];
        const int32_t result = tw::default_location(default_path, product);
        if (result != ATTRIB_MNGR_OK) return result;
        return tw::copy_to_caller(default_path, std::strlen(default_path), buffer, size);
    }

    // Composed straight into the caller's buffer: the override has no length limit.
    const size_t length = std::strlen(directory);
    const size_t needed = tw::override_path_size(length, product);
    if (needed == 0 || needed > static_cast<size_t>(INT32_MAX)) return ATTRIB_MNGR_PATH_TOO_LONG;
    if (buffer == nullptr || *size < 0 || static_cast<size_t>(*size) < needed) {
        *size = static_cast<int32_t>(needed);
        return ATTRIB_MNGR_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, directory, length);
    tw::put_file_name(buffer + length, product);
    return ATTRIB_MNGR_OK;
}
