#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

#include "test_support.h"

namespace twtest {

// _putenv_s updates both the run-time's copy (getenv) and the process environment that
// children inherit; an empty value removes the variable.
void set_env(const char* name, const char* value) { _putenv_s(name, value != nullptr ? value : ""); }

void set_temp_dir(const fs::path& dir) {
    set_env("TMP", dir.string().c_str());
    set_env("TEMP", dir.string().c_str());
}

void EnvGuard::set_temp_dir(const fs::path& dir) {
    remember("TMP");
    remember("TEMP");
    twtest::set_temp_dir(dir);
}

fs::path program_dir() {
    char path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return fs::path(std::string(path, length)).parent_path();
}

fs::path layout_library_dir() { return program_dir(); }

const char* library_folder_name() { return "bin"; }

bool is_shared_library(const fs::path& file) {
    std::string ext = file.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".dll";
}

std::string executable_name(const std::string& base) { return base + ".exe"; }

const char* library_path_variable() { return ""; }

int current_process_id() { return static_cast<int>(GetCurrentProcessId()); }

Child start_process(const fs::path& program, const std::vector<std::string>& args, const fs::path& cwd) {
    std::string command = "\"" + program.string() + "\"";
    for (const std::string& arg : args) command += " \"" + arg + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const std::string dir = cwd.string();
    if (!CreateProcessA(program.string().c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                        &startup, &info)) {
        ADD_FAILURE() << "CreateProcess failed for " << program << ": " << GetLastError();
        return Child{};
    }
    CloseHandle(info.hThread);
    return Child{reinterpret_cast<intptr_t>(info.hProcess)};
}

int wait_process(Child child) {
    if (child.handle == 0) return -1;
    const HANDLE process = reinterpret_cast<HANDLE>(child.handle);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code)) code = static_cast<DWORD>(-1);
    CloseHandle(process);
    return static_cast<int>(code);
}

}  // namespace twtest
