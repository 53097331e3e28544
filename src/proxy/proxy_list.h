/* SPDX-License-Identifier: Apache-2.0 */
// Choosing the HTTP proxy from a system proxy list.
//
// A list holds entries separated by runs of space, tab and line feed: "proto=host[:port]"
// or a plain "host[:port]" that serves every protocol.
#ifndef TARNWICK_PROXY_PROXY_LIST_H
#define TARNWICK_PROXY_PROXY_LIST_H

#include <cstdint>

namespace tw {

// Picks the proxy of list: after the first "http=" anywhere in it (a following "http://" is
// skipped), else the first token without "=". list is cut into tokens in place.
// Returns 1 and fills host and port (kProxyTextSize bytes each) when an entry was chosen and
// split_host_port accepted it; 0 otherwise, with both buffers untouched.
int32_t parse_proxy_list(char* list, char* host, char* port);

// Splits entry at the first space or ":" into host and port: the port runs from after the
// ":" to the next space or the end; without ":" the port is "80". Returns 1 with both
// buffers (kProxyTextSize bytes each) filled. Returns 0, writing neither, when the host or
// port text would not fit its buffer or holds a control character (a value the store
// cannot keep).
int32_t split_host_port(const char* entry, char* host, char* port);

}  // namespace tw

#endif
