// The HTTP proxy named by the system's Internet settings.
#ifndef TARNWICK_PROXY_PROXY_H
#define TARNWICK_PROXY_PROXY_H

#include <cstdint>

namespace tw {

constexpr int32_t kProxyTextSize = 1024;

// Asks the system for its HTTP proxy. Returns 1 when one was found: host and port (each
// kProxyTextSize bytes) then hold terminated texts. Returns 0 when nothing was found, for
// whatever reason, and leaves both buffers untouched.
int32_t get_system_proxy(char* host, char* port);

}  // namespace tw

#endif
