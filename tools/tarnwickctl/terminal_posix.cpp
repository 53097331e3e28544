// SPDX-License-Identifier: Apache-2.0
#include "terminal.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <termios.h>
#include <unistd.h>

namespace twctl {

namespace {

// Written before the handlers are installed, read by them.
struct termios g_saved;  // the mode to restore
struct termios g_quiet;  // echo off
char g_prompt[256];
size_t g_prompt_size = 0;

constexpr int kAllSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT};
constexpr size_t kCount = sizeof kAllSignals / sizeof kAllSignals[0];
struct sigaction g_previous[kCount];

// What was typed after the prompt never reaches whoever reads the terminal next (the shell):
// the input queue is discarded before the terminal gets its mode back.
void restore_discarding_input() {
    tcflush(STDIN_FILENO, TCIFLUSH);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved);
}

void restore_and_reraise(int sig) {
    restore_discarding_input();
    signal(sig, SIG_DFL);
    raise(sig);
}

// Asks again: anything typed meanwhile is discarded with the mode change, and the prompt is
// shown once more, so that the secret is what is typed after it.
void quiet_again() {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_quiet);
    if (g_prompt_size > 0) {
        ssize_t ignored = write(STDERR_FILENO, g_prompt, g_prompt_size);
        (void)ignored;
    }
}

// Ctrl+Z: what was typed so far is discarded (the shell must not read it), the terminal gets
// its mode back while stopped, and continuing asks again. The stop itself is the default
// action, taken with the handler out of the way; when the program continues it returns here.
void stop(int) {
    const int saved_errno = errno;
    restore_discarding_input();
    struct sigaction dfl = {}, mine;
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(SIGTSTP, &dfl, &mine);
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
    raise(SIGTSTP);  // stops here (ignored in an orphaned process group)
    sigaction(SIGTSTP, &mine, nullptr);
    quiet_again();
    errno = saved_errno;
}

// Continued after a stop this program did not see (SIGSTOP), or after the stop above: the
// shell may have given the terminal its own mode meanwhile.
void resume(int) {
    const int saved_errno = errno;
    struct termios now;
    if (tcgetattr(STDIN_FILENO, &now) == 0 && (now.c_lflag & ECHO)) quiet_again();
    errno = saved_errno;
}

}  // namespace

EchoOff::EchoOff(const std::string& prompt) {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &g_saved) != 0) return;
    g_prompt_size = prompt.size() < sizeof g_prompt ? prompt.size() : 0;
    std::memcpy(g_prompt, prompt.data(), g_prompt_size);
    g_quiet = g_saved;
    g_quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    g_quiet.c_lflag |= ECHONL;   // the line end still shows, so the next output starts afresh
    // NOFLSH stays off: the terminal itself discards the input on Ctrl+C, Ctrl+\ and Ctrl+Z.
    g_quiet.c_lflag &= ~static_cast<tcflag_t>(NOFLSH);

    for (size_t i = 0; i < kCount; ++i) {
        struct sigaction action = {};
        const int sig = kAllSignals[i];
        action.sa_handler = sig == SIGTSTP ? stop : sig == SIGCONT ? resume : restore_and_reraise;
        sigemptyset(&action.sa_mask);
        for (int other : kAllSignals) sigaddset(&action.sa_mask, other);
        if (sig == SIGTSTP || sig == SIGCONT) action.sa_flags = SA_RESTART;
        sigaction(sig, &action, &g_previous[i]);
    }
    // Type-ahead from before the prompt was shown as typed: it is dropped.
    terminal_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_quiet) == 0;
    if (!terminal_) {
        for (size_t i = 0; i < kCount; ++i) sigaction(kAllSignals[i], &g_previous[i], nullptr);
    }
}

EchoOff::~EchoOff() {
    if (!terminal_) return;
    for (size_t i = 0; i < kCount; ++i) sigaction(kAllSignals[i], &g_previous[i], nullptr);
    // The line was read whole; anything typed after it is not the program's either.
    restore_discarding_input();
}

}  // namespace twctl
