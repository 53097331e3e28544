// SPDX-License-Identifier: Apache-2.0
// tarnwickctl on a terminal and a shell's job control, through pseudo-terminals: Ctrl+Z and
// fg at the secret prompt, the edit's question, an editor given as a shell script, and
// standard output that cannot be written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "child_process.h"
#include "environment.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

std::string program() { return (twtest::program_dir() / TARNWICKCTL_FILE_NAME).string(); }

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Reads the terminal's output until it holds text count times, or until the terminal closes.
bool read_until(int master, const std::string& text, std::string* transcript, int count = 1) {
    char buffer[256];
    const auto seen = [&] {
        int n = 0;
        for (size_t at = transcript->find(text); at != std::string::npos; at = transcript->find(text, at + 1)) ++n;
        return n;
    };
    while (seen() < count) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // EIO: the programs closed the terminal
        transcript->append(buffer, static_cast<size_t>(n));
    }
    return true;
}

bool echo_on(int master) {
    struct termios mode;
    return tcgetattr(master, &mode) == 0 && (mode.c_lflag & ECHO) != 0;
}

class TerminalTest : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/tarnwickctl-term-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir_ = templ;
        file_ = (dir_ / "t.cfg").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
    std::string file_;
};

// What a shell with job control finds in the terminal's input after its job stopped or ended:
// it reads without the line discipline, as line editors do, so a partly typed line shows.
void report_leftover_input() {
    struct termios saved, raw;
    tcgetattr(STDIN_FILENO, &saved);
    raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 2;  // tenths of a second
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    char left[64];
    const ssize_t n = read(STDIN_FILENO, left, sizeof left);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::string line = "[left:" + std::string(left, n > 0 ? static_cast<size_t>(n) : 0) + "]\n";
    if (write(STDOUT_FILENO, line.data(), line.size()) < 0) _exit(105);
}

// The secret prompt, then "abc" typed and one interruption: Ctrl+Z (then fg and "def"),
// Ctrl+C, Ctrl+\ or a SIGTERM from elsewhere. Nothing typed may be left for the shell, and
// what is stored is what was typed after the last prompt.
TEST_F(TerminalTest, AnInterruptionAtTheSecretPromptLeavesNothingForTheShell) {
    const struct {
        const char* name;
        const char* keys;  // typed after "abc"; empty: the shell sends SIGTERM
        bool stops;
    } cases[] = {
        {"Ctrl+Z", "\x1a", true},
        {"Ctrl+C", "\x03", false},
        {"Ctrl+\\", "\x1c", false},
        {"SIGTERM", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(file_);
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        int master = -1;
        const pid_t shell = forkpty(&master, nullptr, nullptr, nullptr);
        ASSERT_GE(shell, 0);
        if (shell == 0) {
            // A shell with job control, in brief: the job runs in its own process group in the
            // foreground; when it stops or ends, the shell takes the terminal back.
            close(go[1]);
            signal(SIGTTOU, SIG_IGN);
            const pid_t job = fork();
            if (job == 0) {
                setpgid(0, 0);
                tcsetpgrp(STDIN_FILENO, getpid());
                signal(SIGTTOU, SIG_DFL);
                execl(program().c_str(), program().c_str(), "set", "--scramble", "--file", file_.c_str(), "Agent",
                      "ServerPassword", static_cast<char*>(nullptr));
                _exit(127);
            }
            setpgid(job, job);
            tcsetpgrp(STDIN_FILENO, job);
            char g;
            if (*c.keys == '\0') {
                if (read(go[0], &g, 1) != 1) _exit(103);
                kill(-job, SIGTERM);
            }
            int status = 0;
            if (waitpid(job, &status, WUNTRACED) != job) _exit(100);
            tcsetpgrp(STDIN_FILENO, getpgrp());
            report_leftover_input();
            if (!WIFSTOPPED(status)) _exit(WIFSIGNALED(status) ? 50 : 51);
            if (read(go[0], &g, 1) != 1) _exit(103);
            tcsetpgrp(STDIN_FILENO, job);
            kill(-job, SIGCONT);
            if (waitpid(job, &status, 0) != job) _exit(104);
            _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 101);
        }
        close(go[0]);
        const std::string prompt = "Value of Agent/ServerPassword: ";
        std::string transcript;
        ASSERT_TRUE(read_until(master, prompt, &transcript)) << transcript;
        EXPECT_FALSE(echo_on(master));
        EXPECT_EQ(write(master, "abc", 3), 3);
        if (*c.keys != '\0') {
            EXPECT_EQ(write(master, c.keys, 1), 1);
        } else {
            usleep(100 * 1000);  // the typing reaches the terminal before the signal
            EXPECT_EQ(write(go[1], "t", 1), 1);
        }
        ASSERT_TRUE(read_until(master, "[left:", &transcript)) << transcript;
        read_until(master, "]", &transcript);
        EXPECT_THAT(transcript, HasSubstr("[left:]")) << "typed text left in the terminal's input";
        EXPECT_TRUE(echo_on(master)) << "the terminal is left without echo";
        if (c.stops) {
            EXPECT_EQ(write(go[1], "g", 1), 1);  // fg
            ASSERT_TRUE(read_until(master, prompt, &transcript, 2)) << transcript;
            EXPECT_FALSE(echo_on(master)) << "echo is back on after fg";
            EXPECT_EQ(write(master, "def\n", 4), 4);
        }
        read_until(master, "\x01never", &transcript);
        close(master);
        close(go[1]);
        int status = 0;
        ASSERT_EQ(waitpid(shell, &status, 0), shell);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.stops ? 0 : 50) << transcript;
        EXPECT_EQ(transcript.find("abc"), std::string::npos) << transcript;
        EXPECT_EQ(transcript.find("def"), std::string::npos) << transcript;

        const twtest::ProcessResult get =
            twtest::run_process(program(), {"get", "--reveal", "--file", file_, "ServerPassword"}, "");
        if (c.stops) {
            EXPECT_EQ(get.out, "def\n") << get.err;
        } else {
            EXPECT_FALSE(fs::exists(file_)) << "nothing is written when the prompt is interrupted";
        }
    }
}

TEST_F(TerminalTest, EditAsksAgainOnATerminalAndTakesAShellScriptAsEditor) {
    ASSERT_EQ(twtest::run_process(program(), {"set", "--file", file_, "Agent", "HostSymbol", ""}, "").exit_code, 0);
    const std::string before = read_file(file_);
    // First run: adds a line nothing reads; second run: takes it out and changes a value.
    const fs::path script = dir_ / "editor.sh";
    std::ofstream(script) << "#!/bin/sh\n"
                             "for f; do :; done\n"
                             "[ \"$1\" = --an-option ] || exit 9\n"
                             "if grep -q '^junk' \"$f\"; then\n"
                             "  sed -e '/^junk/d' -e 's/^TimeOut=20/TimeOut=60/' \"$f\" > \"$f.new\" && mv \"$f.new\" \"$f\"\n"
                             "else\n"
                             "  printf 'junk\\n' >> \"$f\"\n"
                             "fi\n";
    fs::permissions(script, fs::perms::owner_all);
    const std::string visual = script.string() + " --an-option";

    for (const char* answer : {"n\n", "\n"}) {
        SCOPED_TRACE(answer);
        int master = -1;
        const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setenv("VISUAL", visual.c_str(), 1);
            execl(program().c_str(), program().c_str(), "edit", "--file", file_.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        std::string transcript;
        ASSERT_TRUE(read_until(master, "Edit again? [Y/n] ", &transcript)) << transcript;
        EXPECT_THAT(transcript, HasSubstr("neither a comment"));
        EXPECT_EQ(write(master, answer, 2 - (answer[0] == '\n')), static_cast<ssize_t>(2 - (answer[0] == '\n')));
        read_until(master, "\x01never", &transcript);
        close(master);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        if (answer[0] == 'n') {
            EXPECT_EQ(WEXITSTATUS(status), 4) << transcript;
            EXPECT_THAT(transcript, HasSubstr("nothing was saved"));
            EXPECT_EQ(read_file(file_), before);
        } else {
            EXPECT_EQ(WEXITSTATUS(status), 0) << transcript;
            std::string expected = before;
            expected.replace(expected.find("TimeOut=20"), 10, "TimeOut=60");
            EXPECT_EQ(read_file(file_), expected);
        }
    }
}

TEST_F(TerminalTest, OutputThatCannotBeWrittenIsAFailure) {
    const std::string path = program();
    const int full = open("/dev/full", O_WRONLY);
    if (full < 0) GTEST_SKIP() << "no /dev/full";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"path"}, {"--help"}, {"--version"}, {"show", "--file", file_}}) {
        if (args[0] == "show") std::ofstream(file_) << "[Agent]\nTimeOut=20\n";
        SCOPED_TRACE(::testing::PrintToString(args));
        int err[2];
        ASSERT_EQ(pipe(err), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            dup2(full, STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            std::vector<char*> argv = {const_cast<char*>(path.c_str())};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(err[1]);
        std::string message;
        char buffer[256];
        for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) message.append(buffer, static_cast<size_t>(n));
        close(err[0]);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 5);
        EXPECT_THAT(message, HasSubstr("standard output could not be written"));
    }
    close(full);
}

}  // namespace
