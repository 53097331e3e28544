// SPDX-License-Identifier: Apache-2.0
#include "system.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace twctl {

bool stdin_is_terminal() { return isatty(STDIN_FILENO) == 1; }

bool stderr_is_terminal() { return isatty(STDERR_FILENO) == 1; }

const char* default_editor() { return "vi"; }

int run_editor(const std::string& editor, const std::string& file) {
    // The file is passed as a positional parameter, so that no character of its name is
    // taken by the shell; the editor's own text is a command line, as users write it.
    const std::string script = editor + " \"$1\"";
    // Like system(): the editor, not this process, answers the terminal's interrupts.
    struct sigaction ignore = {}, old_int, old_quit;
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGINT, &ignore, &old_int);
    sigaction(SIGQUIT, &ignore, &old_quit);
    const pid_t pid = fork();
    if (pid == 0) {
        sigaction(SIGINT, &old_int, nullptr);
        sigaction(SIGQUIT, &old_quit, nullptr);
        execl("/bin/sh", "sh", "-c", script.c_str(), "sh", file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    pid_t waited = -1;
    if (pid > 0) {
        do {
            waited = waitpid(pid, &status, 0);
        } while (waited < 0 && errno == EINTR);
    }
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGQUIT, &old_quit, nullptr);
    if (pid < 0 || waited < 0) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status) == 127 ? -1 : WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

bool make_private_directory(std::string* dir) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
    pattern += "/tarnwickctl-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) return false;  // mode 0700
    *dir = buffer.data();
    return true;
}

}  // namespace twctl
