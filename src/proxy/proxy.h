/* SPDX-License-Identifier: Apache-2.0 */
// The HTTP proxy named by the system's Internet settings.
#ifndef TARNWICK_PROXY_PROXY_H
#define TARNWICK_PROXY_PROXY_H

#include <cstdint>

namespace tw {

constexpr int32_t kProxyTextSize = 1024;

// Asks the system for its HTTP proxy (InternetQueryOptionA of "wininet.dll", loaded through
// plinth32 and never released). Returns 1 when one was found: host and port (each
// kProxyTextSize bytes) then hold terminated texts, the port "80" when the system names
// none. Returns 0 when nothing was found, for whatever reason, and leaves both buffers
// untouched; a host or port text too long for its buffer, or holding a control character,
// counts as nothing found.
int32_t get_system_proxy(char* host, char* port);

}  // namespace tw

#endif
