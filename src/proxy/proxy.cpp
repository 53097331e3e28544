// SPDX-License-Identifier: Apache-2.0
#include "proxy/proxy.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/platform.h"
#include "proxy/proxy_list.h"
#include "proxy/proxy_query.h"
#include "tarnwick.h"
#include "tarnwick/corvane.h"
#include "tarnwick/plinth32.h"

namespace tw {

QueryOptionFn find_query_function(const char* library, const char* function) {
    // By name from the system's own libraries only: never a copy beside the program. No fault
    // guard around it: a fault inside the loader is not translated on i686, and a throw out of
    // it elsewhere would leave the loader's lock held.
    void* const lib = os_load_library_ex(library, OS_LOAD_SYSTEM, nullptr);
    if (lib == nullptr) return nullptr;
    return reinterpret_cast<QueryOptionFn>(os_get_proc_address(lib, function));
}

int32_t query_system_proxy(QueryOptionFn query, char* host, char* port) {
    uint32_t size = kFirstQuerySize;
    void* buffer = maw_malloc(size);
    if (buffer == nullptr) return 0;
    if (!query(nullptr, kInternetOptionProxy, buffer, &size)) {
        // Asked before anything else can change the thread's last error.
        if (!platform::last_error_is_insufficient_buffer()) {
            maw_free(buffer);
            return 0;
        }
        // Never less than the record itself, whatever size the system names.
        size = std::max<uint32_t>(size, sizeof(InternetProxyInfo));
        void* grown = maw_realloc(buffer, size);
        if (grown == nullptr) {
            maw_free(buffer);
            return 0;
        }
        buffer = grown;
        if (!query(nullptr, kInternetOptionProxy, buffer, &size)) {
            maw_free(buffer);
            return 0;
        }
    }

    const char* list = static_cast<const InternetProxyInfo*>(buffer)->proxy;
    if (list == nullptr || *list == '\0') {
        maw_free(buffer);
        return 0;
    }
    // The list may lie inside the query buffer: copy it before that is released.
    const size_t length = std::strlen(list);
    char* copy = static_cast<char*>(maw_malloc(length + 1));
    if (copy != nullptr) std::memcpy(copy, list, length + 1);
    maw_free(buffer);
    if (copy == nullptr) return 0;

    const int32_t found = parse_proxy_list(copy, host, port);
    maw_free(copy);
    return found;
}

int32_t get_system_proxy(char* host, char* port) {
    // Found once per process and kept, as the library stays loaded: later opens use the same
    // function instead of taking one more reference on the library each time. Until it is
    // found, each call looks again. Two first calls at once find the same function.
    static std::atomic<QueryOptionFn> found{nullptr};
    QueryOptionFn query = found.load(std::memory_order_acquire);
    if (query == nullptr) {
        query = find_query_function("wininet.dll", "InternetQueryOptionA");
        if (query == nullptr) return 0;
        found.store(query, std::memory_order_release);
    }
    return query_system_proxy(query, host, port);
}

}  // namespace tw
