// SPDX-License-Identifier: Apache-2.0
#include "environment.h"
#include "system_proxy_setting.h"

struct ScopedSystemProxy::Saved {
    twtest::EnvGuard env;
};

ScopedSystemProxy::ScopedSystemProxy(const char* server) : saved_(new Saved()) {
    saved_->env.unset("HTTP_PROXY");
    saved_->env.set("http_proxy", server);
}

ScopedSystemProxy::~ScopedSystemProxy() = default;
