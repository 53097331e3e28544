/* SPDX-License-Identifier: Apache-2.0 */
// The system's proxy query, as the Windows Internet services define it, and the two halves
// of get_system_proxy so that each can be driven on its own.
#ifndef TARNWICK_PROXY_PROXY_QUERY_H
#define TARNWICK_PROXY_PROXY_QUERY_H

#include <cstdint>

#if defined(_WIN32)
#  define TW_SYSTEM_CALL __stdcall
#else
#  define TW_SYSTEM_CALL
#endif

namespace tw {

// INTERNET_PROXY_INFO: what the proxy query writes at the start of its buffer. The texts
// may lie inside the same buffer.
struct InternetProxyInfo {
    uint32_t access_type;
    const char* proxy;
    const char* proxy_bypass;
};

constexpr uint32_t kInternetOptionProxy = 38;
constexpr uint32_t kFirstQuerySize = 1024;

// InternetQueryOptionA(internet handle, option, buffer, in: buffer size, out: size written
// or needed). Non-zero on success; on failure the reason is the thread's last error.
using QueryOptionFn = int(TW_SYSTEM_CALL*)(void* internet, uint32_t option, void* buffer, uint32_t* size);

// Loads library (a plinth32 library name) and looks function up in it. NULL when the library
// cannot be loaded (also when loading raises an operating-system fault) or lacks the
// function. The library is never released.
QueryOptionFn find_query_function(const char* library, const char* function);

// Asks query for the proxy list (one regrowth of the buffer when it is too small) and parses
// it into host and port (kProxyTextSize bytes each). 1 when a proxy was found; 0 otherwise,
// with both buffers untouched. Every block is released before it returns.
int32_t query_system_proxy(QueryOptionFn query, char* host, char* port);

}  // namespace tw

#endif
