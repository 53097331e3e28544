/* SPDX-License-Identifier: Apache-2.0 */
// Child processes for tests that need more than one: helper programs built beside the test,
// the programs under test, and what they print.
#ifndef TARNWICK_TESTS_SUPPORT_CHILD_PROCESS_H
#define TARNWICK_TESTS_SUPPORT_CHILD_PROCESS_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace twtest {

namespace fs = std::filesystem;

// Directory of the running test program.
fs::path program_dir();
// base + ".exe" on Windows, base on POSIX.
std::string executable_name(const std::string& base);
// The program base (no extension) in the running test's own directory.
fs::path helper_path(const std::string& base);

int current_process_id();

// A running child that inherits this process's environment. Destroying one that still runs
// kills it and waits for it.
class Child {
public:
    Child() = default;  // never started
    // Starts program with args (argv[1...]) in the working directory cwd (empty: this
    // process's); running() is false when it could not be started.
    Child(const fs::path& program, const std::vector<std::string>& args, const fs::path& cwd = {});
    ~Child();
    Child(Child&& other) noexcept;
    Child& operator=(Child&& other) noexcept;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool running() const { return running_; }
    // Kills the child at once, as a crash or an operator would.
    void kill();
    // Waits for the child to end and returns its exit code: POSIX 128 + signal when a signal
    // ended it; Windows the process exit code (an exception code for a crash). -1 when it was
    // never started.
    int wait();
    // True once the child has ended (without waiting).
    bool ended();

private:
    void finish(int exit_code);

    bool running_ = false;
    int exit_code_ = -1;
    std::intptr_t process_ = 0;  // pid or process HANDLE
};

struct ProcessResult {
    int exit_code = -1;  // as Child::wait; -1 when the program could not be started
    std::string out;     // standard output, line ends as "\n"
    std::string err;     // standard error, line ends as "\n"
};

// Starts program with args, writes input to its standard input and closes it, collects both
// outputs and waits for the program to end.
ProcessResult run_process(const fs::path& program, const std::vector<std::string>& args,
                          const std::string& input = "");

// POSIX only: starts program with args on a new pseudo-terminal as its controlling terminal,
// calls converse with the terminal's master side (closed when converse returns), then waits
// for the program and returns its exit code as Child::wait does; -1 when it could not start.
int run_on_terminal(const fs::path& program, const std::vector<std::string>& args,
                    const std::function<void(int master)>& converse);

}  // namespace twtest

#endif
