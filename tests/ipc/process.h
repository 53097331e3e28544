// Starting a helper program of the test's own bin directory, and the lock's isolation.
#ifndef TARNWICK_TESTS_IPC_PROCESS_H
#define TARNWICK_TESTS_IPC_PROCESS_H

#include <string>
#include <vector>

namespace twtest {

// Starts the program name (without extension) from the test's own directory; -1 on failure.
long long spawn_helper(const std::string& name, const std::vector<std::string>& args);

// Waits for the process to end and returns its exit code, or -1.
int wait_helper(long long process);

// Makes this process and the helpers it starts use a private set of named locks under dir,
// where the platform keeps them in files; elsewhere (a private Wine prefix) does nothing.
void use_private_locks(const std::string& dir);

}  // namespace twtest

#endif
