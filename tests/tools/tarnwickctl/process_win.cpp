#include "process.h"

#include <thread>

#include <windows.h>

namespace twtest {

namespace {

// One argument quoted so that the C run-time's parser gives it back unchanged.
std::string quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string q = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            q.append(backslashes * 2 + 1, '\\');
            q += '"';
            backslashes = 0;
        } else {
            q.append(backslashes, '\\');
            q += c;
            backslashes = 0;
        }
    }
    q.append(backslashes * 2, '\\');
    return q + "\"";
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

}  // namespace

ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE in_r, in_w, out_r, out_w, err_r, err_w;
    if (!CreatePipe(&in_r, &in_w, &inherit, 0)) return result;
    if (!CreatePipe(&out_r, &out_w, &inherit, 0)) return result;
    if (!CreatePipe(&err_r, &err_w, &inherit, 0)) return result;
    // The test's own ends stay here.
    SetHandleInformation(in_w, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(out_r, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(err_r, HANDLE_FLAG_INHERIT, 0);

    std::string command_line = quote(program);
    for (const std::string& a : args) command_line += " " + quote(a);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in_r;
    si.hStdOutput = out_w;
    si.hStdError = err_w;
    PROCESS_INFORMATION pi = {};
    const BOOL started = CreateProcessA(program.c_str(), &command_line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &si, &pi);
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
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        result.exit_code = static_cast<int>(code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        result.out = without_cr(result.out);
        result.err = without_cr(result.err);
    } else {
        CloseHandle(in_w);
    }
    CloseHandle(out_r);
    CloseHandle(err_r);
    return result;
}

std::string own_directory() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n == MAX_PATH) return ".";
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of("\\/"));
}

void set_environment(const std::string& name, const std::string& value) {
    SetEnvironmentVariableA(name.c_str(), value.c_str());
}

}  // namespace twtest
