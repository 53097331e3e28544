#include "process.h"

#include <windows.h>

namespace twtest {

static std::string own_dir() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n == MAX_PATH) return ".";
    const std::string exe(path, n);
    return exe.substr(0, exe.find_last_of("\\/"));
}

long long spawn_helper(const std::string& name, const std::vector<std::string>& args) {
    const std::string program = own_dir() + "\\" + name + ".exe";
    std::string command = "\"" + program + "\"";
    for (const std::string& a : args) command += " \"" + a + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    CloseHandle(pi.hThread);
    return static_cast<long long>(reinterpret_cast<uintptr_t>(pi.hProcess));
}

int wait_helper(long long process) {
    const HANDLE h = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(process));
    DWORD code = 0;
    const bool ok = WaitForSingleObject(h, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(h, &code);
    CloseHandle(h);
    return ok ? static_cast<int>(code) : -1;
}

void use_private_locks(const std::string&) {}

}  // namespace twtest
