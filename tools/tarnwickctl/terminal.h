/* SPDX-License-Identifier: Apache-2.0 */
// The terminal of standard input, for reading a secret without showing it.
#ifndef TARNWICKCTL_TERMINAL_H
#define TARNWICKCTL_TERMINAL_H

#include <string>

namespace twctl {

// Turns off echo of the terminal (console) of standard input while it lives, and restores
// the previous mode when destroyed or when the program is interrupted meanwhile. When
// standard input is not a terminal (a pipe, a file) it does nothing and terminal() is false.
// Nothing typed at the prompt ever reaches the shell: on an interrupting signal (Ctrl+C,
// Ctrl+\, SIGTERM, SIGHUP) the terminal's input queue is discarded before its mode is put
// back. On POSIX, a stop from the terminal (Ctrl+Z) discards what was typed so far and puts
// the previous mode back while the program is stopped; continuing turns echo off again and
// shows prompt once more, so that the value read is what was typed after the last prompt.
// Reads interrupted by the stop fail with EINTR, to be retried. One at a time per process.
class EchoOff {
public:
    explicit EchoOff(const std::string& prompt);
    ~EchoOff();
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

    // Whether standard input is a terminal (and echo was turned off).
    bool terminal() const { return terminal_; }

private:
    bool terminal_ = false;
};

}  // namespace twctl

#endif
