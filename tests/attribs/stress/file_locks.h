/* SPDX-License-Identifier: Apache-2.0 */
// Files a host cannot read or write, made the platform's way.
#ifndef TARNWICK_TESTS_ATTRIBS_STRESS_FILE_LOCKS_H
#define TARNWICK_TESTS_ATTRIBS_STRESS_FILE_LOCKS_H

#include <cstdint>
#include <string>

namespace twload {

// Keeps a file unreadable while it lives (POSIX: no permissions at all; Windows: held open
// without sharing). active() is false where the platform lets this process read it anyway
// (POSIX as root).
class Unreadable {
public:
    explicit Unreadable(const std::string& path);
    ~Unreadable();
    Unreadable(const Unreadable&) = delete;
    Unreadable& operator=(const Unreadable&) = delete;
    bool active() const { return active_; }

private:
    std::string path_;
    intptr_t handle_ = -1;
    bool active_ = false;
};

// Makes a file read-only (POSIX: mode 0444; Windows: the read-only attribute), or writable again.
bool set_read_only(const std::string& path, bool read_only);

}  // namespace twload

#endif
