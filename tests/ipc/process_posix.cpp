#include "process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace twtest {

static std::string own_dir() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    const std::string exe(path, static_cast<size_t>(n));
    return exe.substr(0, exe.rfind('/'));
}

long long spawn_helper(const std::string& name, const std::vector<std::string>& args) {
    const std::string program = own_dir() + "/" + name;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

int wait_helper(long long process) {
    int status = 0;
    if (waitpid(static_cast<pid_t>(process), &status, 0) < 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

void use_private_locks(const std::string& dir) { setenv("CORVANE_LOCK_DIR", dir.c_str(), 1); }

}  // namespace twtest
