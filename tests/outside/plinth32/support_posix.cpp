#include "support.h"

#include <unistd.h>

#include <cstdlib>

namespace support {

std::string temp_env() {
    const char* value = std::getenv("TMPDIR");
    return value != nullptr ? value : "";
}

void set_temp_env(const std::string& dir) {
    if (dir.empty()) unsetenv("TMPDIR");
    else setenv("TMPDIR", dir.c_str(), 1);
}

std::string program_dir() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return std::string();
    const std::string path(buf, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/'));
}

std::string plinth32_dir() { return PLINTH32_DIR; }

std::string default_temp_dir() { return "/tmp/"; }

}  // namespace support
