// SPDX-License-Identifier: Apache-2.0
#include <sys/stat.h>
#include <unistd.h>

#include "file_locks.h"

namespace twload {

Unreadable::Unreadable(const std::string& path) : path_(path) {
    active_ = chmod(path.c_str(), 0) == 0 && access(path.c_str(), R_OK) != 0;
}

Unreadable::~Unreadable() { chmod(path_.c_str(), 0644); }

bool set_read_only(const std::string& path, bool read_only) {
    return chmod(path.c_str(), read_only ? 0444 : 0644) == 0;
}

}  // namespace twload
