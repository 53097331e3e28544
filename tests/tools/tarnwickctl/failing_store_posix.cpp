// SPDX-License-Identifier: Apache-2.0
// Preloaded into tarnwickctl by the status test (LD_PRELOAD): the store's set fails as out of
// memory for one value and behaves as ever for every other, so that a failure of the library
// inside a write comes on demand.
#include <dlfcn.h>

#include <cstring>

#include "tarnwick/config.h"

// The value whose set fails.
#define TW_FAILING_VALUE "the store runs out of memory"

extern "C" int32_t CONFIG_CALL config_set_attrib(config_handle cfg, const char* path, const char* section,
                                                 const char* key, const char* value) {
    using Set = int32_t (*)(config_handle, const char*, const char*, const char*, const char*);
    static const Set next = reinterpret_cast<Set>(dlsym(RTLD_NEXT, "config_set_attrib"));
    if (value != nullptr && std::strcmp(value, TW_FAILING_VALUE) == 0) return CONFIG_E_NO_MEMORY;
    return next(cfg, path, section, key, value);
}
