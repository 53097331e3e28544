// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include "crash_support.h"

namespace crashtest {

bool mark_file(const std::string& path) { return SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN) != 0; }

bool file_marked(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
}

}  // namespace crashtest
