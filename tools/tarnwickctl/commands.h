// tarnwickctl's subcommands: path, show, get and set, on the library's exported functions.
#ifndef TARNWICKCTL_COMMANDS_H
#define TARNWICKCTL_COMMANDS_H

#include <iosfwd>
#include <string>
#include <vector>

namespace twctl {

enum ExitStatus {
    kExitOk = 0,      // done
    kExitFailed = 1,  // the library or its store reported an error; one line names the code
    kExitUsage = 2,   // the command line was wrong; the usage is printed
};

// Runs the command line args (without the program's name). Normal output goes to out,
// messages to err; set --scramble reads its value from standard input. Returns the exit
// status. Exceptions of the library (the machine-wide lock failing) pass through.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace twctl

#endif
