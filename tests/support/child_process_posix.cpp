// SPDX-License-Identifier: Apache-2.0
#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace twtest {

namespace {

int exit_code_of(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

std::vector<char*> argv_of(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

void close_fd(int* fd) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

int wait_for_pid(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return exit_code_of(status);
}

// Forks and runs program; the child first moves its standard handles onto fds (-1: keeps
// its own) and changes to cwd. A failed exec is reported back through a pipe closed on
// exec, so that the caller learns whether the program really started. Returns the pid or -1.
pid_t start(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
            const int (&fds)[3], const std::vector<int>& close_in_child) {
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return -1;
    std::vector<char*> argv = argv_of(program, args);
    const pid_t pid = fork();
    if (pid == 0) {
        for (int i = 0; i < 3; ++i)
            if (fds[i] >= 0) dup2(fds[i], i);
        for (int fd : close_in_child) close(fd);
        if (cwd.empty() || chdir(cwd.c_str()) == 0) execv(argv[0], argv.data());
        const int error = errno;
        (void)!write(report[1], &error, sizeof error);
        _exit(127);
    }
    close(report[1]);
    if (pid < 0) {
        close(report[0]);
        return -1;
    }
    int error = 0;
    ssize_t n;
    while ((n = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    if (n > 0) {
        wait_for_pid(pid);
        return -1;
    }
    return pid;
}

}  // namespace

fs::path program_dir() { return fs::read_symlink("/proc/self/exe").parent_path(); }

std::string executable_name(const std::string& base) { return base; }

int current_process_id() { return static_cast<int>(getpid()); }

Child::Child(const fs::path& program, const std::vector<std::string>& args, const fs::path& cwd) {
    const int keep[3] = {-1, -1, -1};
    const pid_t pid = start(program.string(), args, cwd.string(), keep, {});
    if (pid < 0) return;
    process_ = pid;
    running_ = true;
}

void Child::kill() {
    if (running_) ::kill(static_cast<pid_t>(process_), SIGKILL);
}

int Child::wait() {
    if (running_) finish(wait_for_pid(static_cast<pid_t>(process_)));
    return exit_code_;
}

bool Child::ended() {
    if (!running_) return true;
    int status = 0;
    if (waitpid(static_cast<pid_t>(process_), &status, WNOHANG) == 0) return false;
    finish(exit_code_of(status));
    return true;
}

void Child::finish(int exit_code) {
    running_ = false;
    exit_code_ = exit_code;
}

int run_on_terminal(const fs::path& program, const std::vector<std::string>& args,
                    const std::function<void(int master)>& converse) {
    const std::string file = program.string();
    std::vector<char*> argv = argv_of(file, args);
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) return -1;
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    converse(master);
    close(master);
    return wait_for_pid(pid);
}

ProcessResult run_process(const fs::path& program, const std::vector<std::string>& args, const std::string& input) {
    ProcessResult result;
    int in[2], out[2], err[2];
    if (pipe(in) != 0) return result;
    if (pipe(out) != 0) {
        close(in[0]);
        close(in[1]);
        return result;
    }
    if (pipe(err) != 0) {
        for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
        return result;
    }
    const int fds[3] = {in[0], out[1], err[1]};
    const pid_t pid = start(program.string(), args, "", fds, {in[0], in[1], out[0], out[1], err[0], err[1]});
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(in[1]);
        close(out[0]);
        close(err[0]);
        return result;
    }
    // The program may end without reading its input.
    signal(SIGPIPE, SIG_IGN);
    size_t written = 0;
    while (written < input.size()) {
        const ssize_t n = write(in[1], input.data() + written, input.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    close(in[1]);

    int readers[2] = {out[0], err[0]};
    std::string* sinks[2] = {&result.out, &result.err};
    while (readers[0] >= 0 || readers[1] >= 0) {
        pollfd p[2] = {{readers[0], POLLIN, 0}, {readers[1], POLLIN, 0}};
        if (poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (readers[i] < 0 || p[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(readers[i], buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close_fd(&readers[i]);
            }
        }
    }
    for (int& fd : readers) close_fd(&fd);
    result.exit_code = wait_for_pid(pid);
    return result;
}

}  // namespace twtest
