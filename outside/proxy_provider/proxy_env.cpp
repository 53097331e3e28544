// SPDX-License-Identifier: Apache-2.0
#include "proxy_env.h"

#include <algorithm>
#include <cstdlib>

namespace wininet {

std::string proxy_list_from_url(const char* url) {
    if (url == nullptr) return "";
    std::string text(url);
    const char* blank = " \t\r\n";
    const size_t first = text.find_first_not_of(blank);
    if (first == std::string::npos) return "";
    text = text.substr(first, text.find_last_not_of(blank) - first + 1);

    const size_t scheme = text.find("://");
    if (scheme != std::string::npos && scheme < text.find('/')) text.erase(0, scheme + 3);
    text.erase(std::min(text.find_first_of("/?#"), text.size()));
    // A password may hold "@": the host follows the last one.
    const size_t at = text.rfind('@');
    if (at != std::string::npos) text.erase(0, at + 1);
    return text.empty() ? "" : "http=" + text;
}

std::string system_proxy_list() {
    for (const char* name : {"http_proxy", "HTTP_PROXY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return proxy_list_from_url(value);
    }
    return "";
}

}  // namespace wininet
