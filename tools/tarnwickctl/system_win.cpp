// SPDX-License-Identifier: Apache-2.0
#include "system.h"

#include <cstdlib>
#include <vector>

#include <windows.h>

namespace twctl {

namespace {

bool is_console(DWORD which) {
    DWORD mode = 0;
    const HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

}  // namespace

bool stdin_is_terminal() { return is_console(STD_INPUT_HANDLE); }

bool stderr_is_terminal() { return is_console(STD_ERROR_HANDLE); }

const char* default_editor() { return "notepad"; }

int run_editor(const std::string& editor, const std::string& file) {
    char comspec[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("ComSpec", comspec, sizeof comspec);
    const std::string shell = (n > 0 && n < sizeof comspec) ? comspec : "cmd.exe";
    // /s: cmd takes everything between the first and the last quote as the command line, so
    // the editor's own quotes survive.
    std::string command = "\"" + shell + "\" /d /s /c \"" + editor + " \"" + file + "\"\"";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    const BOOL got = GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return got ? static_cast<int>(code) : -1;
}

bool make_private_directory(std::string* dir) {
    // The user's temporary directory belongs to the user; a new directory in it inherits that.
    char base[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof base, base);
    if (n == 0 || n >= sizeof base) return false;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string path = std::string(base) + "tarnwickctl-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount() + attempt);
        if (CreateDirectoryA(path.c_str(), nullptr)) {
            *dir = path;
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

}  // namespace twctl
