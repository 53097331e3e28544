// SPDX-License-Identifier: Apache-2.0
#include "proxy/proxy_list.h"

#include <cstring>

#include "proxy/proxy.h"

namespace tw {
namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool is_control(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

// Length of the text at begin up to the first of stops or the end, or -1 when that text
// holds a control character or would not fit a kProxyTextSize buffer with its terminator.
int32_t field_length(const char* begin, const char* stops) {
    int32_t n = 0;
    for (; begin[n] != '\0' && std::strchr(stops, begin[n]) == nullptr; ++n) {
        if (is_control(begin[n]) || n + 1 >= kProxyTextSize) return -1;
    }
    return n;
}

void copy_field(char* out, const char* begin, int32_t length) {
    std::memcpy(out, begin, static_cast<size_t>(length));
    out[length] = '\0';
}

}  // namespace

int32_t split_host_port(const char* entry, char* host, char* port) {
    const int32_t host_length = field_length(entry, " :");
    if (host_length < 0) return 0;
    const char* after = entry + host_length;
    if (*after != ':') {
        copy_field(host, entry, host_length);
        copy_field(port, "80", 2);
        return 1;
    }
    const int32_t port_length = field_length(after + 1, " ");
    if (port_length < 0) return 0;
    copy_field(host, entry, host_length);
    copy_field(port, after + 1, port_length);
    return 1;
}

int32_t parse_proxy_list(char* list, char* host, char* port) {
    if (char* entry = std::strstr(list, "http=")) {
        entry += 5;
        if (std::strncmp(entry, "http://", 7) == 0) entry += 7;
        return split_host_port(entry, host, port);
    }
    // The first token without "="; each token is cut off at its separator, since the split
    // stops at a space only.
    char* next = list;
    for (;;) {
        while (is_separator(*next)) ++next;
        if (*next == '\0') return 0;
        char* token = next;
        while (*next != '\0' && !is_separator(*next)) ++next;
        if (*next != '\0') *next++ = '\0';
        if (std::strchr(token, '=') == nullptr) return split_host_port(token, host, port);
    }
}

}  // namespace tw
