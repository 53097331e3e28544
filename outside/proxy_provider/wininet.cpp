// SPDX-License-Identifier: Apache-2.0
#include "wininet.h"

#include <cerrno>
#include <cstring>

#include "proxy_env.h"

extern "C" int InternetQueryOptionA(void* internet, uint32_t option, void* buffer, uint32_t* size) {
    if (internet != nullptr || option != WININET_OPTION_PROXY || size == nullptr) {
        errno = EINVAL;
        return 0;
    }
    const std::string list = wininet::system_proxy_list();
    const size_t needed = sizeof(WininetProxyInfo) + (list.empty() ? 0 : list.size() + 1);
    if (buffer == nullptr || *size < needed) {
        *size = static_cast<uint32_t>(needed);
        errno = ERANGE;
        return 0;
    }
    WininetProxyInfo* info = static_cast<WininetProxyInfo*>(buffer);
    info->access_type = list.empty() ? WININET_OPEN_TYPE_DIRECT : WININET_OPEN_TYPE_PROXY;
    info->proxy = nullptr;
    info->proxy_bypass = nullptr;
    if (!list.empty()) {
        char* text = static_cast<char*>(buffer) + sizeof(WininetProxyInfo);
        std::memcpy(text, list.c_str(), list.size() + 1);
        info->proxy = text;
    }
    *size = static_cast<uint32_t>(needed);
    return 1;
}
