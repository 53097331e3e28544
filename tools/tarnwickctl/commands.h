/* SPDX-License-Identifier: Apache-2.0 */
// tarnwickctl's subcommands: path, show, get and set, on the library's exported functions.
#ifndef TARNWICKCTL_COMMANDS_H
#define TARNWICKCTL_COMMANDS_H

#include <iosfwd>
#include <string>
#include <vector>

namespace twctl {

// The exit statuses, in the manner of git config: one for each kind of outcome a script
// acts on.
enum ExitStatus {
    kExitOk = 0,          // done, whether anything changed or not
    kExitMissingKey = 1,  // get: no entry of the key (in the section named)
    kExitUsage = 2,       // the command line was wrong; the usage is printed
    kExitFaulty = 3,      // the file is faulty: check's findings, a damaged scrambled value
    kExitRefused = 4,     // refused input, nothing written: a name or value the store refuses,
                          // an unknown section, a schema key in another section, an edit
                          // that adds findings, a secret holding a NUL byte or missing
    kExitFailed = 5,      // an error of the library or the system (a missing or unreadable
                          // file or state, no memory, a planted file, the lock, a failed
                          // save); one line names it
};

// The status for a result code of the library or the store.
int exit_status(int32_t code);

// Runs the command line args (without the program's name). Normal output goes to out,
// messages to err; set --scramble reads its value from standard input. Returns the exit
// status. Exceptions of the library (the machine-wide lock failing) pass through.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace twctl

#endif
