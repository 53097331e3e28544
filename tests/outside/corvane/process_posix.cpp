#include "process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testproc {

std::string helper(const std::string& name) {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return name;
    const std::string self(buf, static_cast<size_t>(n));
    return self.substr(0, self.rfind('/') + 1) + name;
}

Child::Child(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return;
    process_ = pid;
    running_ = true;
}

Child::~Child() {
    if (running_) {
        kill();
        wait();
    }
}

void Child::kill() {
    if (running_) ::kill(static_cast<pid_t>(process_), SIGKILL);
}

int Child::wait() {
    if (!running_) return exit_code_;
    int status = 0;
    while (waitpid(static_cast<pid_t>(process_), &status, 0) < 0) {}
    running_ = false;
    exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return exit_code_;
}

bool Child::ended() {
    if (!running_) return true;
    int status = 0;
    if (waitpid(static_cast<pid_t>(process_), &status, WNOHANG) == 0) return false;
    running_ = false;
    exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

}  // namespace testproc
