// Child processes for tests that need a second process: helper programs built beside the test.
#ifndef OUTSIDE_TEST_PROCESS_H
#define OUTSIDE_TEST_PROCESS_H

#include <cstdint>
#include <string>
#include <vector>

namespace testproc {

// Path of the helper program `name` (no extension) in the running test's own directory.
std::string helper(const std::string& name);

// A running child. Destroying one that still runs kills it and waits for it.
class Child {
public:
    // Starts program with args (argv[1...]); running() is false when it could not be started.
    Child(const std::string& program, const std::vector<std::string>& args);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool running() const { return running_; }
    // Kills the child at once, as a crash or an operator would.
    void kill();
    // Waits for the child to end; its exit code (POSIX: 128 + signal when a signal ended it;
    // Windows: the process exit code, e.g. an exception code). -1 when it was never started.
    int wait();
    // True once the child has ended (without waiting).
    bool ended();

private:
    bool running_ = false;
    int exit_code_ = -1;
    std::intptr_t process_ = 0;  // pid or process HANDLE
};

// A file that processes append lines to, one event per line.
class EventLog {
public:
    explicit EventLog(std::string path);
    const std::string& path() const { return path_; }
    // Empties the log (creating the file).
    void clear() const;
    void append(const std::string& event) const;
    std::vector<std::string> events() const;
    // Waits until event is in the log; false when child ended first without writing it.
    bool wait_for(const std::string& event, Child& child) const;

private:
    std::string path_;
};

}  // namespace testproc

#endif
