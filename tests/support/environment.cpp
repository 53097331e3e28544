// SPDX-License-Identifier: Apache-2.0
#include "environment.h"

#include <cstdlib>
#include <random>

namespace twtest {

std::optional<std::string> get_env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

EnvGuard::~EnvGuard() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
        set_env(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
}

void EnvGuard::use_private_locks() {
    static std::mt19937 random{std::random_device()()};
    set("CORVANE_LOCK_PREFIX", ("tw" + std::to_string(random()) + "_").c_str());
}

void EnvGuard::remember(const char* name) { saved_.emplace_back(name, get_env(name)); }

void EnvGuard::set(const char* name, const char* value) {
    remember(name);
    set_env(name, value);
}

}  // namespace twtest
