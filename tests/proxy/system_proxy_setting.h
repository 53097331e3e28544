/* SPDX-License-Identifier: Apache-2.0 */
// Names an HTTP proxy in the system's settings for the life of the object, then restores the
// settings found. Windows: ProxyEnable/ProxyServer of the user's Internet Settings; POSIX:
// http_proxy (HTTP_PROXY removed).
#ifndef TARNWICK_TESTS_PROXY_SYSTEM_PROXY_SETTING_H
#define TARNWICK_TESTS_PROXY_SYSTEM_PROXY_SETTING_H

#include <memory>

class ScopedSystemProxy {
public:
    // server: "host[:port]", or NULL for no proxy.
    explicit ScopedSystemProxy(const char* server);
    ~ScopedSystemProxy();
    ScopedSystemProxy(const ScopedSystemProxy&) = delete;
    ScopedSystemProxy& operator=(const ScopedSystemProxy&) = delete;

private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

#endif
