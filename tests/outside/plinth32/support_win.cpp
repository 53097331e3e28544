#include "support.h"

#include <windows.h>

namespace support {

namespace {

std::string module_dir(HMODULE module) {
    char buf[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(module, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return std::string();
    const std::string path(buf, n);
    return path.substr(0, path.rfind('\\'));
}

}  // namespace

std::string temp_env() {
    char buf[MAX_PATH * 4];
    const DWORD n = GetEnvironmentVariableA("TMP", buf, sizeof buf);
    return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

void set_temp_env(const std::string& dir) {
    const char* value = dir.empty() ? nullptr : dir.c_str();
    SetEnvironmentVariableA("TMP", value);
    SetEnvironmentVariableA("TEMP", value);
}

std::string program_dir() { return module_dir(nullptr); }

std::string plinth32_dir() { return module_dir(GetModuleHandleA("plinth32.dll")); }

std::string default_temp_dir() { return std::string(); }

}  // namespace support
