// Test helpers that differ per platform: environment, child processes, file layout names.
#ifndef TARNWICK_TESTS_ATTRIBS_TEST_SUPPORT_H
#define TARNWICK_TESTS_ATTRIBS_TEST_SUPPORT_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace twtest {

namespace fs = std::filesystem;

// Sets (value non-null) or removes (value null) a variable of this process's environment,
// as seen both by getenv and by child processes.
void set_env(const char* name, const char* value);

// Points the platform's temporary-directory variables at dir.
void set_temp_dir(const fs::path& dir);

// Restores the variables it touched, in reverse order, when it goes out of scope.
class EnvGuard {
public:
    EnvGuard() = default;
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;
    ~EnvGuard();
    void set(const char* name, const char* value);
    void set_temp_dir(const fs::path& dir);

private:
    void remember(const char* name);
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Directory of the running test program.
fs::path program_dir();
// The shared libraries to copy into an installation layout: the program directory on Windows,
// ../layout-libs on POSIX.
fs::path layout_library_dir();
// "bin" on Windows, "lib" on POSIX: the installation folder that holds the library.
const char* library_folder_name();
// True for a file name that is a shared library of this platform.
bool is_shared_library(const fs::path& file);
// base + ".exe" on Windows, base on POSIX.
std::string executable_name(const std::string& base);
// The variable through which a child finds its libraries (POSIX), or "" (Windows: beside).
const char* library_path_variable();

int current_process_id();

// A fresh, empty directory under the system's temporary directory, removed by the caller.
fs::path make_temp_dir(const std::string& tag);

// A started child process.
struct Child {
    intptr_t handle = 0;
};

// Starts program with args in the working directory cwd; the child inherits the environment.
// Fails the test (and returns an empty Child) when it cannot be started.
Child start_process(const fs::path& program, const std::vector<std::string>& args, const fs::path& cwd);
// Waits for the child and returns its exit code (-1 when it did not exit normally).
int wait_process(Child child);

// The whole content of a file as bytes ("" when it cannot be read).
std::string read_file(const fs::path& file);
void write_file(const fs::path& file, const std::string& bytes);

}  // namespace twtest

#endif
