// Runs a program as a separate process, for tests that drive a command-line tool.
#ifndef TARNWICK_TESTS_PROCESS_H
#define TARNWICK_TESTS_PROCESS_H

#include <string>
#include <vector>

namespace twtest {

struct ProcessResult {
    int exit_code = -1;  // -1 when the program could not be started
    std::string out;     // standard output, line ends as "\n"
    std::string err;     // standard error, line ends as "\n"
};

// Starts program with args, writes input to its standard input and closes it, collects both
// outputs and waits for the program to end.
ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input);

// The directory of the running program, without a trailing separator.
std::string own_directory();

// Sets an environment variable of this process, which the programs it starts inherit.
void set_environment(const std::string& name, const std::string& value);

}  // namespace twtest

#endif
