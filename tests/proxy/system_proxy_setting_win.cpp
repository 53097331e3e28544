// SPDX-License-Identifier: Apache-2.0
#include "system_proxy_setting.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {
const char kKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

struct Value {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

Value read_value(HKEY key, const char* name) {
    Value v;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &v.type, nullptr, &size) != ERROR_SUCCESS) return v;
    v.data.resize(size);
    if (RegQueryValueExA(key, name, nullptr, &v.type, v.data.data(), &size) == ERROR_SUCCESS) {
        v.present = true;
        v.data.resize(size);
    }
    return v;
}

void restore_value(HKEY key, const char* name, const Value& v) {
    if (v.present) {
        RegSetValueExA(key, name, 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
    } else {
        RegDeleteValueA(key, name);
    }
}
}  // namespace

struct ScopedSystemProxy::Saved {
    HKEY key = nullptr;
    Value enable;
    Value server;
};

ScopedSystemProxy::ScopedSystemProxy(const char* server) : saved_(new Saved()) {
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &saved_->key, nullptr) != ERROR_SUCCESS) {
        saved_->key = nullptr;
        return;
    }
    saved_->enable = read_value(saved_->key, "ProxyEnable");
    saved_->server = read_value(saved_->key, "ProxyServer");
    const DWORD enable = server != nullptr ? 1 : 0;
    RegSetValueExA(saved_->key, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable), sizeof enable);
    if (server != nullptr) {
        RegSetValueExA(saved_->key, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server),
                       static_cast<DWORD>(std::string(server).size() + 1));
    } else {
        RegDeleteValueA(saved_->key, "ProxyServer");
    }
}

ScopedSystemProxy::~ScopedSystemProxy() {
    if (saved_->key == nullptr) return;
    restore_value(saved_->key, "ProxyEnable", saved_->enable);
    restore_value(saved_->key, "ProxyServer", saved_->server);
    RegCloseKey(saved_->key);
}
