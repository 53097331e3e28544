// SPDX-License-Identifier: Apache-2.0
#include <cstdlib>

#include "environment.h"

namespace twtest {

void set_env(const char* name, const char* value) {
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

void EnvGuard::set_temp_dir(const fs::path& dir) {
    set("TMPDIR", dir.empty() ? nullptr : dir.string().c_str());
}

const char* library_path_variable() { return "LD_LIBRARY_PATH"; }

const char* library_folder_name() { return "lib"; }

bool is_shared_library(const fs::path& file) {
    const std::string name = file.filename().string();
    return name.rfind("lib", 0) == 0 && name.find(".so") != std::string::npos;
}

}  // namespace twtest
