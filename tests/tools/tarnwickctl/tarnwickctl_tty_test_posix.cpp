// A secret typed at a terminal: prompted for, never echoed, stored.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include "process.h"

namespace fs = std::filesystem;

namespace {

// Reads the terminal's output until it holds text, or until the terminal closes.
bool read_until(int master, const std::string& text, std::string* transcript) {
    char buffer[256];
    while (transcript->find(text) == std::string::npos) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // EIO: the program closed the terminal
        transcript->append(buffer, static_cast<size_t>(n));
    }
    return true;
}

TEST(TarnwickctlTerminal, TypedSecretIsPromptedNotEchoedAndStored) {
    char templ[] = "/tmp/tarnwickctl-tty-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    const fs::path dir = templ;
    const std::string file = (dir / "tty.cfg").string();
    const std::string program = twtest::own_directory() + "/" + TARNWICKCTL_FILE_NAME;

    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(program.c_str(), program.c_str(), "set", "--scramble", "--file", file.c_str(), "Agent",
              "ServerPassword", static_cast<char*>(nullptr));
        _exit(127);
    }
    // The prompt comes once echo is off; only then is the secret typed.
    std::string transcript;
    EXPECT_TRUE(read_until(master, "Value of Agent/ServerPassword: ", &transcript)) << transcript;
    const std::string typed = "typed secret\n";
    EXPECT_EQ(write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    read_until(master, "\x01never", &transcript);  // everything up to the end
    close(master);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << transcript;
    EXPECT_EQ(transcript.find("typed secret"), std::string::npos) << transcript;

    const twtest::ProcessResult get = twtest::run_process(program, {"get", "--reveal", "--file", file, "ServerPassword"}, "");
    EXPECT_EQ(get.out, "typed secret\n");
    fs::remove_all(dir);
}

}  // namespace
