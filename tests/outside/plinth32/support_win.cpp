// SPDX-License-Identifier: Apache-2.0
#include "support.h"

#include <windows.h>

namespace support {

std::string plinth32_dir() {
    char buf[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(GetModuleHandleA("plinth32.dll"), buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return std::string();
    const std::string path(buf, n);
    return path.substr(0, path.rfind('\\'));
}

std::string default_temp_dir() { return std::string(); }

}  // namespace support
