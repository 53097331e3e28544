// SPDX-License-Identifier: Apache-2.0
#include "terminal.h"

#include <cstdio>

#include <windows.h>

namespace twctl {

namespace {

HANDLE g_input = nullptr;
DWORD g_saved_mode = 0;

// Ctrl+C and Ctrl+Break end the program: what was typed is discarded, so that the command
// interpreter does not read it, and the console's echo is put back.
BOOL WINAPI restore_on_break(DWORD) {
    FlushConsoleInputBuffer(g_input);
    SetConsoleMode(g_input, g_saved_mode);
    return FALSE;  // the default handler ends the process
}

}  // namespace

EchoOff::EchoOff(const std::string&) {
    g_input = GetStdHandle(STD_INPUT_HANDLE);
    if (g_input == nullptr || g_input == INVALID_HANDLE_VALUE) return;
    if (!GetConsoleMode(g_input, &g_saved_mode)) return;  // not a console: a pipe or a file
    SetConsoleCtrlHandler(restore_on_break, TRUE);
    terminal_ = SetConsoleMode(g_input, g_saved_mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
    if (!terminal_) SetConsoleCtrlHandler(restore_on_break, FALSE);
}

EchoOff::~EchoOff() {
    if (!terminal_) return;
    SetConsoleMode(g_input, g_saved_mode);
    SetConsoleCtrlHandler(restore_on_break, FALSE);
    std::fputs("\n", stderr);  // the Enter that ended the line was not echoed
}

}  // namespace twctl
