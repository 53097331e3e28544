// SPDX-License-Identifier: Apache-2.0
#include <cctype>
#include <cstdlib>

#include "environment.h"

namespace twtest {

// _putenv_s updates both the run-time's copy (getenv) and the process environment that
// children inherit; an empty value removes the variable.
void set_env(const char* name, const char* value) { _putenv_s(name, value != nullptr ? value : ""); }

void EnvGuard::set_temp_dir(const fs::path& dir) {
    const std::string value = dir.string();
    set("TMP", dir.empty() ? nullptr : value.c_str());
    set("TEMP", dir.empty() ? nullptr : value.c_str());
}

const char* library_path_variable() { return ""; }

const char* library_folder_name() { return "bin"; }

bool is_shared_library(const fs::path& file) {
    std::string ext = file.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".dll";
}

}  // namespace twtest
