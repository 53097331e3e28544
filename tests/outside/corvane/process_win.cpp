#include "process.h"

#include <windows.h>

namespace testproc {

namespace {

HANDLE handle(std::intptr_t process) { return reinterpret_cast<HANDLE>(process); }

// One argument quoted for the C run-time's command-line parser.
std::string quote(const std::string& arg) {
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

}  // namespace

std::string helper(const std::string& name) {
    char buf[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    const std::string self(buf, n < sizeof buf ? n : 0);
    return self.substr(0, self.rfind('\\') + 1) + name + ".exe";
}

Child::Child(const std::string& program, const std::vector<std::string>& args) {
    std::string command = quote(program);
    for (const std::string& a : args) command += " " + quote(a);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return;
    CloseHandle(info.hThread);
    process_ = reinterpret_cast<std::intptr_t>(info.hProcess);
    running_ = true;
}

Child::~Child() {
    if (running_) {
        kill();
        wait();
    }
}

void Child::kill() {
    if (running_) TerminateProcess(handle(process_), 9);
}

int Child::wait() {
    if (!running_) return exit_code_;
    WaitForSingleObject(handle(process_), INFINITE);
    return ended() ? exit_code_ : -1;
}

bool Child::ended() {
    if (!running_) return true;
    if (WaitForSingleObject(handle(process_), 0) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    GetExitCodeProcess(handle(process_), &code);
    CloseHandle(handle(process_));
    running_ = false;
    exit_code_ = static_cast<int>(code);
    return true;
}

}  // namespace testproc
