// SPDX-License-Identifier: Apache-2.0
#include <sys/stat.h>

#include "crash_support.h"

namespace crashtest {

bool mark_file(const std::string& path) { return chmod(path.c_str(), 0640) == 0; }

bool file_marked(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && (st.st_mode & 07777) == 0640;
}

}  // namespace crashtest
