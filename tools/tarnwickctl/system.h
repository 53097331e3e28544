/* SPDX-License-Identifier: Apache-2.0 */
// The few services of the operating system that tarnwickctl's commands need beyond standard
// C++: one implementation per platform (system_posix.cpp, system_win.cpp).
#ifndef TARNWICKCTL_SYSTEM_H
#define TARNWICKCTL_SYSTEM_H

#include <string>

namespace twctl {

// Whether standard input, or standard error, is a terminal (a console on Windows).
bool stdin_is_terminal();
bool stderr_is_terminal();

// The editor when neither VISUAL nor EDITOR is set: "vi" on POSIX, "notepad" on Windows.
const char* default_editor();

// Runs editor, a command line as VISUAL and EDITOR hold it (it may carry arguments), with file
// as its last argument, through the system's command interpreter (POSIX: sh; Windows: cmd),
// on this process's terminal, and waits for it. Returns its exit status, or -1 when it could
// not be started.
int run_editor(const std::string& editor, const std::string& file);

// Creates a new directory that only the caller can read or enter, in the system's temporary
// directory, and stores its path in *dir. False when none could be made.
bool make_private_directory(std::string* dir);

}  // namespace twctl

#endif
