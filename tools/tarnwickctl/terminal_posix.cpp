#include "terminal.h"

#include <csignal>

#include <termios.h>
#include <unistd.h>

namespace twctl {

namespace {

// The mode to restore; written before the handlers are installed, read by them.
struct termios g_saved;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];

void restore_and_reraise(int sig) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved);
    signal(sig, SIG_DFL);
    raise(sig);
}

}  // namespace

EchoOff::EchoOff() {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &g_saved) != 0) return;
    struct sigaction action = {};
    action.sa_handler = restore_and_reraise;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        sigaction(kSignals[i], &action, &g_previous[i]);
    }
    struct termios quiet = g_saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;  // the line end still shows, so the next output starts afresh
    terminal_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    if (!terminal_) {
        for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
            sigaction(kSignals[i], &g_previous[i], nullptr);
        }
    }
}

EchoOff::~EchoOff() {
    if (!terminal_) return;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved);
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        sigaction(kSignals[i], &g_previous[i], nullptr);
    }
}

}  // namespace twctl
