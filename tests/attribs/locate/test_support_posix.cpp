#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "test_support.h"

namespace twtest {

void set_env(const char* name, const char* value) {
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

void set_temp_dir(const fs::path& dir) { set_env("TMPDIR", dir.string().c_str()); }

void EnvGuard::set_temp_dir(const fs::path& dir) {
    remember("TMPDIR");
    twtest::set_temp_dir(dir);
}

fs::path program_dir() { return fs::read_symlink("/proc/self/exe").parent_path(); }

// Copies made for installation layouts (their run path is $ORIGIN alone).
fs::path layout_library_dir() { return program_dir().parent_path() / "layout-libs"; }

const char* library_folder_name() { return "lib"; }

bool is_shared_library(const fs::path& file) {
    const std::string name = file.filename().string();
    return name.rfind("lib", 0) == 0 && name.find(".so") != std::string::npos;
}

std::string executable_name(const std::string& base) { return base; }

const char* library_path_variable() { return "LD_LIBRARY_PATH"; }

int current_process_id() { return static_cast<int>(getpid()); }

Child start_process(const fs::path& program, const std::vector<std::string>& args, const fs::path& cwd) {
    std::vector<std::string> argv_text{program.string()};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argv_text) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string dir = cwd.string();

    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) {
        ADD_FAILURE() << "fork failed: " << std::strerror(errno);
        return Child{};
    }
    return Child{static_cast<intptr_t>(pid)};
}

int wait_process(Child child) {
    if (child.handle == 0) return -1;
    int status = 0;
    if (waitpid(static_cast<pid_t>(child.handle), &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace twtest
