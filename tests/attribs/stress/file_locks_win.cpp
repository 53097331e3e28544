// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include "file_locks.h"

namespace twload {

Unreadable::Unreadable(const std::string& path) : path_(path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    handle_ = reinterpret_cast<intptr_t>(h);
    active_ = h != INVALID_HANDLE_VALUE;
}

Unreadable::~Unreadable() {
    if (active_) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool set_read_only(const std::string& path, bool read_only) {
    return SetFileAttributesA(path.c_str(), read_only ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL) != 0;
}

}  // namespace twload
