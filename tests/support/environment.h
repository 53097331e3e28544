/* SPDX-License-Identifier: Apache-2.0 */
// This process's environment, which the children it starts inherit, and the platform's
// names for what a test sets up.
#ifndef TARNWICK_TESTS_SUPPORT_ENVIRONMENT_H
#define TARNWICK_TESTS_SUPPORT_ENVIRONMENT_H

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace twtest {

namespace fs = std::filesystem;

// The variable's value; nullopt when it is not set.
std::optional<std::string> get_env(const char* name);
// Sets (value non-null) or removes (value null) a variable, as seen both by getenv and by
// child processes. Windows cannot hold an empty value: "" removes it there.
void set_env(const char* name, const char* value);

// Changes variables for the life of the object and restores every one it touched, in
// reverse order, when it goes out of scope.
class EnvGuard {
public:
    EnvGuard() = default;
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;
    ~EnvGuard();

    void set(const char* name, const char* value);  // value null: removes it
    void unset(const char* name) { set(name, nullptr); }
    // Points the platform's temporary-directory variables at dir (POSIX: TMPDIR; Windows: TMP
    // and TEMP); an empty dir removes them.
    void set_temp_dir(const fs::path& dir);
    // Gives this process and the children it starts machine-wide locks of their own: every
    // lock name gets a prefix (CORVANE_LOCK_PREFIX) that no other test uses.
    void use_private_locks();

private:
    void remember(const char* name);
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// The variable through which a child finds its shared libraries (POSIX), or "" (Windows:
// they lie beside it).
const char* library_path_variable();
// "bin" on Windows, "lib" on POSIX: the installation folder that holds the shared libraries.
const char* library_folder_name();
// True for a file name that is a shared library of this platform.
bool is_shared_library(const fs::path& file);

}  // namespace twtest

#endif
