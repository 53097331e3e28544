// A named lock is flock() on a lock file in one directory shared by every process and account.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "corvane.h"
#include "corvane_lock.h"

namespace corvane {
namespace {

const char* lock_dir() {
    const char* dir = std::getenv("CORVANE_LOCK_DIR");
    return dir != nullptr && dir[0] != '\0' ? dir : "/run/lock";
}

// Letters, digits, '-', '_' and '.' stand for themselves; every other byte (the separator
// among them) becomes %XX, so that distinct names give distinct files.
std::string lock_path(const char* name) {
    static const char kHex[] = "0123456789ABCDEF";
    static const char kPrefix[] = "/corvane-";
    static const char kSuffix[] = ".lock";
    const char* const dir = lock_dir();
    const size_t name_size = std::strlen(name);
    std::string path;
    path.reserve(std::strlen(dir) + sizeof kPrefix + 3 * name_size + sizeof kSuffix);
    path.append(dir).append(kPrefix);
    for (size_t i = 0; i < name_size; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.';
        if (plain) {
            path += static_cast<char>(c);
        } else {
            path += '%';
            path += kHex[c >> 4];
            path += kHex[c & 0xF];
        }
    }
    return path.append(kSuffix);
}

// Opens the lock file, creating it readable and writable by all when it is missing. The file
// almost always exists, so it is opened first and created only when absent; a file that appears
// between the two (another process creating it) is opened again. An existing file is opened
// without O_CREAT, which sticky-directory protections allow for another account's file, and for
// reading alone when writing is refused: flock() needs only an open descriptor, so a file
// created by another account with fewer rights still serves. No open follows a symbolic link,
// and none waits: O_NONBLOCK keeps a FIFO planted at the path from blocking the open (open_lock
// then refuses it).
int open_lock_file(const std::string& path) {
    constexpr int kExisting = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = open(path.c_str(), O_RDWR | kExisting);
        if (fd < 0 && errno == EACCES) fd = open(path.c_str(), O_RDONLY | kExisting);
        if (fd >= 0) return fd;
        if (errno == EINTR) continue;
        if (errno != ENOENT) return -1;
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | kExisting, 0666);
        if (fd >= 0) {
            fchmod(fd, 0666);  // past the umask
            return fd;
        }
        // Created meanwhile by another process: open it as above.
        if (errno != EEXIST && errno != EINTR) return -1;
    }
    return -1;
}

}  // namespace

bool open_lock(const char* name, NativeLock* lock) {
    const int fd = open_lock_file(lock_path(name));
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return false;
    }
    *lock = fd;
    return true;
}

bool acquire(NativeLock lock) {
    while (flock(static_cast<int>(lock), LOCK_EX) != 0)
        if (errno != EINTR) return false;
    return true;
}

bool acquire_within(NativeLock lock, uint32_t timeout_ms) {
    // flock() has no time limit of its own: poll, from a short pause up to a tenth of a second.
    // The clock is first read when the lock is found taken, so a free lock costs no clock read.
    auto pause = std::chrono::milliseconds(1);
    std::chrono::steady_clock::time_point deadline;
    bool timing = false;
    for (;;) {
        if (flock(static_cast<int>(lock), LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        const auto now = std::chrono::steady_clock::now();
        if (!timing) {
            deadline = now + std::chrono::milliseconds(timeout_ms);
            timing = true;
        }
        if (now >= deadline) return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        if (pause < std::chrono::milliseconds(100)) pause *= 2;
    }
}

void release(NativeLock lock) { flock(static_cast<int>(lock), LOCK_UN); }

void close_lock(NativeLock lock) { close(static_cast<int>(lock)); }

}  // namespace corvane
