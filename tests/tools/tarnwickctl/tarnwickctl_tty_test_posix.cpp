// SPDX-License-Identifier: Apache-2.0
// A secret typed at a terminal: prompted for, never echoed, stored.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include <unistd.h>

#include "child_process.h"
#include "files.h"

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
    const twtest::ScratchDir dir("tarnwickctl-tty");
    const std::string file = dir.path("tty.cfg");
    const twtest::fs::path program = twtest::program_dir() / TARNWICKCTL_FILE_NAME;

    std::string transcript;
    const int exit_code = twtest::run_on_terminal(
        program, {"set", "--scramble", "--file", file, "Agent", "ServerPassword"}, [&](int master) {
            // The prompt comes once echo is off; only then is the secret typed.
            EXPECT_TRUE(read_until(master, "Value of Agent/ServerPassword: ", &transcript)) << transcript;
            const std::string typed = "typed secret\n";
            EXPECT_EQ(write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
            read_until(master, "\x01never", &transcript);  // everything up to the end
        });
    ASSERT_NE(exit_code, -1) << "could not start " << program;
    EXPECT_EQ(exit_code, 0) << transcript;
    EXPECT_EQ(transcript.find("typed secret"), std::string::npos) << transcript;

    const twtest::ProcessResult get = twtest::run_process(program, {"get", "--reveal", "--file", file, "ServerPassword"}, "");
    EXPECT_EQ(get.out, "typed secret\n");
}

}  // namespace
