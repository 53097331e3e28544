// SPDX-License-Identifier: Apache-2.0
#include "child_process.h"

#include <windows.h>

#include <string>
#include <thread>

namespace twtest {

namespace {

HANDLE handle(std::intptr_t process) { return reinterpret_cast<HANDLE>(process); }

// One argument quoted so that the C run-time's parser gives it back unchanged.
std::string quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string q = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        q.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        q += c;
        backslashes = 0;
    }
    q.append(backslashes * 2, '\\');
    return q + "\"";
}

std::string command_line(const std::string& program, const std::vector<std::string>& args) {
    std::string command = quote(program);
    for (const std::string& a : args) command += " " + quote(a);
    return command;
}

void read_all(HANDLE h, std::string* sink) {
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) sink->append(buffer, n);
}

std::string without_cr(const std::string& text) {
    std::string s;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        s += text[i];
    }
    return s;
}

int wait_for_process(HANDLE process) {
    DWORD code = 0;
    if (WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code)) return -1;
    return static_cast<int>(code);
}

}  // namespace

fs::path program_dir() {
    char path[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    return fs::path(std::string(path, n < sizeof path ? n : 0)).parent_path();
}

std::string executable_name(const std::string& base) { return base + ".exe"; }

int current_process_id() { return static_cast<int>(GetCurrentProcessId()); }

Child::Child(const fs::path& program, const std::vector<std::string>& args, const fs::path& cwd) {
    const std::string file = program.string();
    const std::string dir = cwd.string();
    std::string command = command_line(file, args);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(file.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        dir.empty() ? nullptr : dir.c_str(), &startup, &info))
        return;
    CloseHandle(info.hThread);
    process_ = reinterpret_cast<std::intptr_t>(info.hProcess);
    running_ = true;
}

void Child::kill() {
    if (running_) TerminateProcess(handle(process_), 9);
}

int Child::wait() {
    if (running_) {
        finish(wait_for_process(handle(process_)));
    }
    return exit_code_;
}

bool Child::ended() {
    if (!running_) return true;
    if (WaitForSingleObject(handle(process_), 0) != WAIT_OBJECT_0) return false;
    finish(wait_for_process(handle(process_)));
    return true;
}

void Child::finish(int exit_code) {
    CloseHandle(handle(process_));
    process_ = 0;
    running_ = false;
    exit_code_ = exit_code;
}

ProcessResult run_process(const fs::path& program, const std::vector<std::string>& args, const std::string& input) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE in_r, in_w, out_r, out_w, err_r, err_w;
    if (!CreatePipe(&in_r, &in_w, &inherit, 0)) return result;
    if (!CreatePipe(&out_r, &out_w, &inherit, 0)) {
        CloseHandle(in_r);
        CloseHandle(in_w);
        return result;
    }
    if (!CreatePipe(&err_r, &err_w, &inherit, 0)) {
        for (HANDLE h : {in_r, in_w, out_r, out_w}) CloseHandle(h);
        return result;
    }
    // The test's own ends stay here.
    SetHandleInformation(in_w, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(out_r, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_r, HANDLE_FLAG_INHERIT, 0);

    const std::string file = program.string();
    std::string command = command_line(file, args);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in_r;
    si.hStdOutput = out_w;
    si.hStdError = err_w;
    PROCESS_INFORMATION pi = {};
    // Under Wine a start now and then fails under load and succeeds when tried again; a child
    // that never ran has done nothing a second start could hide.
    BOOL started = FALSE;
    DWORD start_error = 0;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0) Sleep(100);
        started = CreateProcessA(file.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
        if (!started) start_error = GetLastError();
    }
    CloseHandle(in_r);
    CloseHandle(out_w);
    CloseHandle(err_w);
    if (started) {
        std::thread err_reader(read_all, err_r, &result.err);
        DWORD written = 0;
        if (!input.empty()) WriteFile(in_w, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
        CloseHandle(in_w);
        read_all(out_r, &result.out);
        err_reader.join();
        result.exit_code = wait_for_process(pi.hProcess);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        result.out = without_cr(result.out);
        result.err = without_cr(result.err);
    } else {
        CloseHandle(in_w);
        result.err = "CreateProcess failed with error " + std::to_string(start_error);
    }
    CloseHandle(out_r);
    CloseHandle(err_r);
    return result;
}

}  // namespace twtest
