#include "system_proxy_setting.h"

#include <cstdlib>
#include <string>

namespace {
const char* const kNames[2] = {"http_proxy", "HTTP_PROXY"};
}

struct ScopedSystemProxy::Saved {
    bool set[2];
    std::string value[2];
};

ScopedSystemProxy::ScopedSystemProxy(const char* server) : saved_(new Saved()) {
    for (int i = 0; i < 2; ++i) {
        const char* value = std::getenv(kNames[i]);
        saved_->set[i] = value != nullptr;
        if (value) saved_->value[i] = value;
        unsetenv(kNames[i]);
    }
    if (server) setenv("http_proxy", server, 1);
}

ScopedSystemProxy::~ScopedSystemProxy() {
    for (int i = 0; i < 2; ++i) {
        if (saved_->set[i]) {
            setenv(kNames[i], saved_->value[i].c_str(), 1);
        } else {
            unsetenv(kNames[i]);
        }
    }
}
